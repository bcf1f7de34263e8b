// SPDX-License-Identifier: MIT
// morvane-cli processes and the window reaching one simulated device through
// two folders' links: whoever gets the port has it whole, the others send nothing.
#include "formprobe.h"
#include "mainform.h"
#include "messageerror.h"
#include "simprocess.h"
#include "testdata.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace morvane;
using namespace morvane::test;

namespace {

constexpr int kExitBusy = 4;

std::unique_ptr<QProcess> startCli(const QString& dir, const QStringList& args) {
    auto cli = std::make_unique<QProcess>();
    cli->start(qEnvironmentVariable("MORVANE_CLI",
                                    QCoreApplication::applicationDirPath() + "/../bin/morvane-cli"),
               QStringList{"--dir", dir} + args);
    return cli;
}

struct CliRun {
    int status = -1; // -1: it did not end by itself
    QStringList out;
    QString err;
};

CliRun finish(QProcess& cli) {
    if (!cli.waitForFinished(20000) || cli.exitStatus() != QProcess::NormalExit)
        return {};
    return {cli.exitCode(),
            QString::fromUtf8(cli.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts),
            QString::fromUtf8(cli.readAllStandardError())};
}

} // namespace

class TstContention : public QObject {
    Q_OBJECT

    SimProcess sim_;
    QTemporaryDir folders_[2]; // each with its COM1; the first with Morvane.SYS too
    QStringList messages_;

    QString folder(int i) const { return folders_[i].path(); }

private slots:
    void initTestCase() {
        setMessageErrorRecorder([this](const QString& m, const QString&) { messages_ << m; });
    }
    // The simulator linked as COM1 in the first folder; the second folder's
    // COM1 is another link to the same pseudo-terminal.
    void init() {
        messages_.clear();
        QVERIFY(putFile(folder(0) + "/table.txt", kSimTable));
        QVERIFY(sim_.start({"--link", folder(0) + "/COM1", "--table", folder(0) + "/table.txt"}));
        QVERIFY(putFile(folder(0) + "/Morvane.SYS", "COMPORT,1,\r\n")); // no first-start message
        QFile::remove(folder(1) + "/COM1");
        QVERIFY(QFile::link(sim_.path(), folder(1) + "/COM1"));
    }
    void cleanup() {
        sim_.stop();
        QDir::setCurrent(QDir::tempPath());
    }

    // Pairs of `show` at once through the two links: each run reads the
    // whole table right, or is told the port is in use and sends nothing.
    void pairsOfShow() {
        int done = 0, busy = 0;
        for (int round = 0; round < 20; ++round) {
            const std::unique_ptr<QProcess> pair[] = {startCli(folder(0), {"show"}),
                                                      startCli(folder(1), {"show"})};
            for (const auto& cli : pair) {
                const CliRun r = finish(*cli);
                if (r.status == kExitBusy) {
                    ++busy;
                    QCOMPARE(r.out, QStringList());
                    QVERIFY2(r.err.contains("in use") && r.err.contains("--wait"),
                             qPrintable(r.err));
                    continue;
                }
                QCOMPARE(r.status, 0);
                QCOMPARE(r.out.mid(1), kSimRows);
                QVERIFY2(r.out[0].contains(QRegularExpression("^現在 :.{2}\\d\\d:\\d\\d:\\d\\d$")),
                         qPrintable(r.out[0]));
                ++done;
            }
        }
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
        const CliRun r = finish(*startCli(folder(1), {"show"}));
        QCOMPARE(r.status, kExitBusy);
        QCOMPARE(r.out, QStringList());
        QVERIFY2(r.err.contains(QString::number(QCoreApplication::applicationPid())),
                 qPrintable(r.err));
        control<QListWidget>(&form, "List1")->setCurrentRow(4);
        form.List1_Click();
        QCOMPARE(sim_.loggedCommands(), kTableRead + QStringList{"L3"});
        QCOMPARE(listRows(&form).mid(1), kSimRows);
        QCOMPARE(messages_, QStringList());
    }

    // The daily clock sync started while the window is open waits for it to
    // close, then sets the clock.
    void syncWaitsForTheWindow() {
        QVERIFY(QDir::setCurrent(folder(0)));
        MainForm form;
        form.Form_Load();
        const auto sync = startCli(folder(1), {"--wait", "10", "sync-clock"});
        QTest::qWait(2000);
        QCOMPARE(sync->state(), QProcess::Running);
        QVERIFY(form.close());
        QCOMPARE(finish(*sync).status, 0);
        const QStringList sent = sim_.loggedCommands().mid(kTableRead.size());
        QCOMPARE(sent.size(), 3);
        QVERIFY2(sent[0].contains(QRegularExpression("^N 0[0-6][0-9A-F]{6}$")),
                 qPrintable(sent[0]));
        QCOMPARE(sent.mid(1), (QStringList{"QT", "QS"}));
    }
};

QTEST_MAIN(TstContention)
#include "tst_contention.moc"
