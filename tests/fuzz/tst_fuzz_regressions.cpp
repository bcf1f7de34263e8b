// SPDX-License-Identifier: MIT
// Every fuzz target's seeds and findings, each in a process of its own: one crash, one row.
#include "targets.h"
#include "testdata.h"

#include <QtTest>

using namespace morvane;
using namespace morvane::fuzz;

class TstFuzzRegressions : public QObject {
    Q_OBJECT
    // Set in the environment of the process that replays one input.
    static constexpr char kChild[] = "MORVANE_FUZZ_REPLAY_CHILD";
private slots:
    void replay_data() {
        QTest::addColumn<int>("target");
        QTest::addColumn<QString>("path");
        for (int t = 0; t < int(std::size(kTargets)); ++t) {
            const QString dir = QStringLiteral(MORVANE_FUZZ_DIR "/%2/") + kTargets[t].name;
            QVERIFY2(QDir(dir.arg("corpus")).entryList(QDir::Files).size() >= 3, kTargets[t].name);
            for (const char* kind : {"corpus", "regressions"})
                for (const QFileInfo& f : QDir(dir.arg(kind)).entryInfoList(QDir::Files))
                    QTest::addRow("%s/%s/%s", kTargets[t].name, kind, qPrintable(f.fileName()))
                        << t << f.filePath();
        }
    }
    void replay() {
        QFETCH(int, target);
        QFETCH(QString, path);
        if (qEnvironmentVariableIsSet(kChild)) {
            // Exactly the input's size: a read past its end is caught under the sanitizers.
            const QByteArray bytes = test::readAll(path), name = path.toLocal8Bit();
            std::vector<uint8_t> data(bytes.begin(), bytes.end());
            setInputName(name.constData());
            kTargets[target].body(data.data(), data.size());
            return;
        }
        QProcess child;
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.setEnvironment(QProcess::systemEnvironment() << QLatin1String(kChild) + "=1");
        child.start(QCoreApplication::applicationFilePath(),
                    {"replay:" + QString(QTest::currentDataTag())});
        QVERIFY(child.waitForFinished(60000));
        const QByteArray out = child.readAll();
        QVERIFY2(child.exitStatus() == QProcess::NormalExit, ("crashed:\n" + out).constData());
        QVERIFY2(child.exitCode() == 0, ("failed:\n" + out).constData());
    }
};

QTEST_GUILESS_MAIN(TstFuzzRegressions)
#include "tst_fuzz_regressions.moc"
