// SPDX-License-Identifier: MIT
// Several programs wanting one timer: morvane-cli processes and the window,
// each reaching the one simulated device through a folder of its own and a
// link of its own. Whoever gets the port has it whole; the others are told
// it is in use and send nothing.
#include "formprobe.h"
#include "mainform.h"
#include "messageerror.h"
#include "simprocess.h"
#include "testdata.h"

#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

using namespace morvane;
using namespace morvane::test;

namespace {

constexpr int kExitBusy = 4;
const QRegularExpression kClockRow(QStringLiteral("^現在 :.{2}[0-9]{2}:[0-9]{2}:[0-9]{2}$"));

struct CliRun {
    int status = -1;
    QStringList out;
    QString err;
};

class Cli {
public:
    void start(const QString& dir, const QStringList& args) {
        process_.start(qEnvironmentVariable("MORVANE_CLI", QCoreApplication::applicationDirPath() +
                                                               "/../bin/morvane-cli"),
                       QStringList{"--dir", dir} + args);
    }
    CliRun finish(int msecs = 20000) {
        CliRun r;
        if (!process_.waitForFinished(msecs) || process_.exitStatus() != QProcess::NormalExit)
            return r;
        r.status = process_.exitCode();
        r.out = QString::fromUtf8(process_.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        r.err = QString::fromUtf8(process_.readAllStandardError());
        return r;
    }
    QProcess& process() { return process_; }

private:
    QProcess process_;
};

} // namespace

class TstContention : public QObject {
    Q_OBJECT

    SimProcess sim_;
    QTemporaryDir folders_[2]; // each with Morvane.SYS naming port 1, and its COM1
    QStringList messages_;
    QString oldCwd_;

    QString folder(int i) const { return folders_[i].path(); }

private slots:
    void initTestCase() {
        if (::geteuid() != 0)
            qInfo("not root: the exclusive-open flag alone would keep a second program out");
        oldCwd_ = QDir::currentPath();
        setMessageErrorRecorder([this](const QString& m, const QString&) { messages_ << m; });
    }
    // The simulator linked as COM1 in the first folder; the second folder's
    // COM1 is another link to the same pseudo-terminal.
    void init() {
        messages_.clear();
        QVERIFY(putFile(folder(0) + "/table.txt", kSimTable));
        QVERIFY(sim_.start({"--link", folder(0) + "/COM1", "--table", folder(0) + "/table.txt"}));
        for (int i = 0; i < 2; ++i)
            QVERIFY(putFile(folder(i) + "/Morvane.SYS", "COMPORT,1,\r\n"));
        QFile::remove(folder(1) + "/COM1");
        QVERIFY(QFile::link(sim_.path(), folder(1) + "/COM1"));
    }
    void cleanup() {
        sim_.stop();
        QDir::setCurrent(oldCwd_);
    }

    // Pairs of `show` at once through the two links: each run reads the
    // whole table right, or is told the port is in use and sends nothing.
    void pairsOfShow() {
        int done = 0, busy = 0;
        for (int round = 0; round < 20; ++round) {
            Cli pair[2];
            for (int i = 0; i < 2; ++i)
                pair[i].start(folder(i), {"show"});
            for (Cli& cli : pair) {
                const CliRun r = cli.finish();
                if (r.status == kExitBusy) {
                    QCOMPARE(r.out, QStringList());
                    QVERIFY2(r.err.contains("in use"), qPrintable(r.err));
                    ++busy;
                    continue;
                }
                QCOMPARE(r.status, 0);
                QCOMPARE(r.out.size(), 11);
                QVERIFY2(kClockRow.match(r.out.first()).hasMatch(), qPrintable(r.out.first()));
                QCOMPARE(r.out.mid(1), kSimRows);
                ++done;
            }
        }
        qInfo("%d shows read the table, %d were told the port is in use", done, busy);
        QVERIFY2(busy > 0, "no two runs overlapped: the lock went untried");
        QStringList reads;
        for (int i = 0; i < done; ++i)
            reads += kTableRead;
        QCOMPARE(sim_.loggedCommands(), reads);
    }

    // The window holds the port: the command line is refused without a
    // byte sent, and the window keeps its port, its list and its traffic.
    void windowHoldsThePort() {
        QVERIFY(QDir::setCurrent(folder(0)));
        MainForm form;
        form.Form_Load();
        QCOMPARE(sim_.loggedCommands(), kTableRead);
        Cli cli;
        cli.start(folder(1), {"show"});
        const CliRun r = cli.finish();
        QCOMPARE(r.status, kExitBusy);
        QCOMPARE(r.out, QStringList());
        QVERIFY2(r.err.contains(QString::number(QCoreApplication::applicationPid())),
                 qPrintable(r.err));
        QCOMPARE(sim_.loggedCommands(), kTableRead);
        auto* list = control<QListWidget>(&form, "List1");
        list->setCurrentRow(4);
        form.List1_Click();
        QCOMPARE(sim_.loggedCommands(), kTableRead + QStringList{"L3"});
        QCOMPARE(listRows(&form).mid(1), kSimRows);
        QCOMPARE(messages_, QStringList());
    }

    // The daily clock sync started while the window is open waits for it to
    // close, then sets the clock.
    void syncWaitsForTheWindow() {
        QVERIFY(QDir::setCurrent(folder(0)));
        auto form = std::make_unique<MainForm>();
        form->Form_Load();
        Cli cli;
        cli.start(folder(1), {"--wait", "10", "sync-clock"});
        QTest::qWait(2000);
        QCOMPARE(cli.process().state(), QProcess::Running);
        QVERIFY(form->close());
        const CliRun r = cli.finish();
        QCOMPARE(r.status, 0);
        const QStringList sent = sim_.loggedCommands().mid(kTableRead.size());
        QCOMPARE(sent.size(), 3);
        QVERIFY2(QRegularExpression("^N 0[0-6][0-9A-F]{6}$").match(sent.value(0)).hasMatch(),
                 qPrintable(sent.join(' ')));
        QCOMPARE(sent.mid(1), (QStringList{"QT", "QS"}));
    }
};

QTEST_MAIN(TstContention)
#include "tst_contention.moc"
