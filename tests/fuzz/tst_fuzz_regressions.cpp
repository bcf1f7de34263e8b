// SPDX-License-Identifier: MIT
// Runs every fuzz target body over its seed corpus and its saved findings,
// with the normal compiler: a fixed finding stays fixed. A body aborts with
// the input's name when an invariant breaks.
#include "targets.h"

#include <QDir>
#include <QtTest>

using namespace morvane::fuzz;

class TstFuzzRegressions : public QObject {
    Q_OBJECT
private slots:
    void replay_data() {
        QTest::addColumn<int>("target");
        QTest::addColumn<QString>("path");
        for (int t = 0; t < int(std::size(kTargets)); ++t) {
            const QString dir = QStringLiteral(MORVANE_FUZZ_DIR "/%2/") + kTargets[t].name;
            // Every target has seeds.
            QVERIFY2(QDir(dir.arg("corpus")).entryList(QDir::Files).size() >= 3, kTargets[t].name);
            for (const char* kind : {"corpus", "regressions"})
                for (const QFileInfo& f :
                     QDir(dir.arg(QLatin1String(kind))).entryInfoList(QDir::Files))
                    QTest::addRow("%s/%s/%s", kTargets[t].name, kind, qPrintable(f.fileName()))
                        << t << f.filePath();
        }
    }
    void replay() {
        QFETCH(int, target);
        QFETCH(QString, path);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        const QByteArray name = path.toLocal8Bit();
        setInputName(name.constData());
        // A buffer of the input's own size, so that a read past its end is
        // caught under the sanitizers, as in the fuzzer.
        std::vector<uint8_t> data(bytes.begin(), bytes.end());
        QCOMPARE(kTargets[target].body(data.data(), data.size()), 0);
        setInputName(nullptr);
    }
};

QTEST_GUILESS_MAIN(TstFuzzRegressions)
#include "tst_fuzz_regressions.moc"
