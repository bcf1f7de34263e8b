// SPDX-License-Identifier: MIT
// Drives morvane-sim over its pseudo-terminal with plain POSIX I/O.
#include "simprocess.h"
#include "testdata.h"

#include <QtTest>

#include <poll.h>
#include <unistd.h>

using namespace morvane;
using namespace morvane::test;

namespace {

// Until `crs` CRs have come (0: all that comes), `ms` have passed or the line hangs up.
QByteArray readPort(QFile& port, int crs, int ms) {
    QByteArray got;
    char buf[512];
    pollfd p{port.handle(), POLLIN, 0};
    for (QDeadlineTimer end(ms);
         (crs == 0 || got.count('\r') < crs) && ::poll(&p, 1, int(end.remainingTime())) > 0;) {
        const ssize_t n = ::read(port.handle(), buf, sizeof buf);
        if (n <= 0)
            return got + "<hang-up>";
        got.append(buf, int(n));
    }
    return got;
}

const QByteArray kZero = "00 00 00 00 00\n";
// L0, L4 (odd values), L8 (lower case) and L9 (blanks around) differ from empty.
const QByteArray kTable = "02 07 1E 00 09\n" + kZero.repeated(3) + "FF 18 3C 3C FF\n" +
                          kZero.repeated(3) + "05 0e 0f 10 11\n 00 00 00 00 81 \r\n";
const QByteArray kEmpty = "L0000000000\r";

} // namespace

class TstSim : public QObject {
    Q_OBJECT
private slots:
    // Sent in one write to the simulator holding kTable, reached through a link;
    // `want` is all that comes back, the last of it no sooner than `minMs`.
    void exchanges_data() {
        columns<QStringList, QByteArray, QByteArray, int>({"args", "send", "want", "minMs"});
        const auto row = [](const char* tag, QStringList args, QByteArray send, QByteArray want,
                            int minMs = 0) { QTest::newRow(tag) << args << send << want << minMs; };
        row("table, store, clock", {}, "L0\rL4\rL8\rL9\rD2070C22385A\rL2\rN 030C2200\rQT\rQS\r",
            "L02071E0009\rLFF183C3CFF\rL050E0F1011\rL0000000081\r*\rL070C22385A\r*"
            "\rT030C\rS2200\r");
        row("bad commands; a bad store keeps the entry", {},
            "\rqt\r QT\rQT \rL10\rLA\rD207061e0081\rD207063C0081\rN 070C2238\rN 030c2238\r"
            "N030C2238\rERR\r*\rD9081700003B\rD90717\rL9\r",
            QByteArray("ERR\r").repeated(15) + "L0000000081\r");
        row("LFs ignored, an over-long line answered once", {},
            "L\n1\r\nL2\r" + QByteArray(300, 'Q') + "QT\rL1\r", kEmpty + kEmpty + "ERR\r" + kEmpty);
        row("fail", {"--fail", "L5", "--fail", "QS"}, "L5\rQS\rL1\r", "ERR\rERR\r" + kEmpty);
        row("pieces", {"--pieces", "3", "--gap", "200"}, "L1\rXX\r", kEmpty + "ERR\r", 4 * 200);
        row("delay", {"--delay", "1200"}, "L1\r", kEmpty, 1200);
        row("stop-after", {"--stop-after", "2", "--nak", "1"}, "L1\rL1\rL1\r", "N\r" + kEmpty);
        row("silent, vanish at once", {"--vanish-after", "0", "--silent"}, "L1\r", "<hang-up>");
        // 300 bit/s, 10 / 300 s a byte both ways: a reply leaves once its CR is in.
        row("baud", {"--baud", "300"}, "D2070C22385A\rL2\r", "*\rL070C22385A\r",
            (16 + 12) * 100 / 3);
    }
    void exchanges() {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, send);
        QFETCH(QByteArray, want);
        QFETCH(int, minMs);
        SimProcess sim;
        const QString table = sim.tempDir() + "/table.txt", link = sim.tempDir() + "/COM1";
        QVERIFY(putFile(table, kTable) && QFile::link("/nonexistent", link)); // a stale link
        QVERIFY(sim.start(args << "--table" << table << "--link" << link));
        QFile port(link); // the PC end; the line outlives its closing
        QVERIFY(port.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
        port.close();
        QVERIFY(port.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
        QElapsedTimer sent;
        sent.start();
        QCOMPARE(port.write(send), send.size());
        // With no CR at the end, what comes in a window counts; a hang-up ends it early.
        const int crs = want.endsWith('\r') ? int(want.count('\r')) : 0;
        const bool vanish = want.endsWith("<hang-up>");
        QCOMPARE(readPort(port, crs, crs || vanish ? 5000 : 800), want);
        QCOMPARE_GE(sent.elapsed() * 10, minMs * 9); // not too early; a tenth off for rounding
        if (!args.contains("--every") && !vanish)
            QCOMPARE(readPort(port, 0, 300), QByteArray()); // and nothing more
        QStringList log = QString::fromLatin1(send).remove(u'\n').split(u'\r');
        log.removeLast(); // every line, LFs dropped, cut to 256 characters
        for (QString& line : log)
            line.truncate(256);
        QTRY_COMPARE(sim.loggedCommands(), log);
        QTRY_COMPARE(sim.running(), !vanish); // only a vanish ends it
        sim.stop();
        QCOMPARE(sim.exitCode(), 0);
        QVERIFY(!QFileInfo(link).isSymLink()); // removed on exit
    }
};

QTEST_GUILESS_MAIN(TstSim)
#include "tst_sim.moc"
