// Runs every fuzz target body over its seed corpus and its saved findings.
// A body aborts with the input's name when an invariant breaks.
#include "targets.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using namespace morvane::fuzz;

namespace {

QStringList inputsOf(const QString& target, const QString& kind) {
    const QDir dir(QStringLiteral(MORVANE_FUZZ_DIR "/") + kind + u'/' + target);
    QStringList paths;
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name))
        paths << dir.filePath(name);
    return paths;
}

} // namespace

class TstFuzzRegressions : public QObject {
    Q_OBJECT
private slots:
    void replay_data();
    void replay();
    void everyTargetHasSeedsAndAFindingsDirectory();
};

void TstFuzzRegressions::replay_data() {
    QTest::addColumn<int>("target");
    QTest::addColumn<QString>("path");
    for (int t = 0; t < int(std::size(Targets)); ++t) {
        const QString name = QString::fromLatin1(Targets[t].name);
        for (const QString& kind : {QStringLiteral("corpus"), QStringLiteral("regressions")})
            for (const QString& path : inputsOf(name, kind))
                QTest::addRow("%s/%s/%s", qPrintable(name), qPrintable(kind),
                              qPrintable(QFileInfo(path).fileName()))
                    << t << path;
    }
}

void TstFuzzRegressions::replay() {
    QFETCH(int, target);
    QFETCH(QString, path);
    QFile f(path);
    QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(path));
    const QByteArray bytes = f.readAll();
    const QByteArray name = path.toLocal8Bit();
    SetInputName(name.constData());
    // Copied into a buffer of its own size so a read past the end is caught
    // under the sanitizers, as in the fuzzer.
    std::vector<uint8_t> data(bytes.begin(), bytes.end());
    QCOMPARE(Targets[target].body(data.data(), data.size()), 0);
    SetInputName(nullptr);
}

void TstFuzzRegressions::everyTargetHasSeedsAndAFindingsDirectory() {
    for (const Target& t : Targets) {
        const QString name = QString::fromLatin1(t.name);
        QVERIFY2(inputsOf(name, QStringLiteral("corpus")).size() >= 3, t.name);
        QVERIFY2(QDir(QStringLiteral(MORVANE_FUZZ_DIR "/regressions/") + name).exists(), t.name);
    }
}

QTEST_GUILESS_MAIN(TstFuzzRegressions)
#include "tst_fuzz_regressions.moc"
