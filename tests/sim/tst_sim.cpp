// Drives morvane-sim over its pseudo-terminal with plain POSIX I/O.
#include "simprocess.h"

#include <QDateTime>
#include <QFileInfo>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The PC end of the line: raw 8N1, every read bounded by poll.
struct Port {
    int fd = -1;
    int reads = 0; // reads the last read() needed
    ~Port() { close(); }
    bool open(const QString& path) {
        fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios tio{};
        if (fd < 0 || ::tcgetattr(fd, &tio) != 0)
            return false;
        ::cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        // Bytes from before this open never count as a reply.
        return ::tcsetattr(fd, TCSANOW, &tio) == 0 && ::tcflush(fd, TCIOFLUSH) == 0;
    }
    void close() {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    bool send(const QByteArray& b) {
        return ::write(fd, b.constData(), size_t(b.size())) == b.size();
    }
    // Until `crs` CRs have come (0: all that comes) or `ms` have passed.
    QByteArray read(int crs, int ms = 3000) {
        QByteArray got;
        QDeadlineTimer deadline(ms);
        for (reads = 0; crs == 0 || got.count('\r') < crs; ++reads) {
            pollfd p{fd, POLLIN, 0};
            char buf[512];
            if (::poll(&p, 1, int(qMax<qint64>(0, deadline.remainingTime()))) <= 0)
                break;
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n <= 0)
                break;
            got.append(buf, int(n));
        }
        return got;
    }
    QByteArray ask(const QByteArray& cmd) { return send(cmd + '\r') ? read(1) : "<write failed>"; }
};

// L0, L4 (odd values), L8 (lower-case in the file) and L9 differ from empty.
const QByteArray kTable = "02 07 1E 00 09\n" + QByteArray("00 00 00 00 00\n").repeated(3) +
                          "FF 18 3C 3C FF\n" + QByteArray("00 00 00 00 00\n").repeated(3) +
                          "05 0e 0f 10 11\n00 00 00 00 81\n";
const QByteArray kEmpty = "L0000000000\r";

bool putFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool start(SimProcess& sim, Port& port, const QStringList& args = {}) {
    if (sim.start(args) && port.open(sim.path()))
        return true;
    qWarning() << sim.errorString();
    return false;
}

} // namespace

class TstSim : public QObject {
    Q_OBJECT

private slots:
    // Sent in one write; `want` is everything that comes back. The simulator
    // holds kTable; a CR at the end of `want` ends the read, else a window does.
    void exchanges_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("send");
        QTest::addColumn<QByteArray>("want");
        const auto row = [](const char* tag, const QStringList& args, const QByteArray& send,
                            const QByteArray& want) { QTest::newRow(tag) << args << send << want; };
        row("L0", {}, "L0\r", "L02071E0009\r");
        row("L4 odd values", {}, "L4\r", "LFF183C3CFF\r");
        row("L8 upper-case out", {}, "L8\r", "L050E0F1011\r");
        row("store, read back", {}, "D2070C22385A\rL2\r", "*\rL070C22385A\r");
        row("bad store keeps entry", {}, "D9081700003B\rD90717\rL9\r", "ERR\rERR\rL0000000081\r");
        row("set clock, QT", {}, "N 030C2200\rQT\r", "*\rT030C\r");
        for (const char* bad : {"", "qt", " QT", "QT ", "L10", "LA", "D207061e0081", "D207063C0081",
                                "N 070C2238", "N 030c2238", "N030C2238", "ERR", "*"})
            row(qPrintable(QStringLiteral("bad \"%1\"").arg(bad)), {}, bad + QByteArray("\r"),
                "ERR\r");
        row("LF ignored, two in a write", {}, "L\n1\r\nL2\r", kEmpty + kEmpty);
        row("over-long line answered once", {}, QByteArray(300, 'Q') + "QT\rL1\r",
            "ERR\r" + kEmpty);
        row("silent", {"--silent"}, "QT\rL0\r", "");
        row("nak", {"--nak", "2"}, "D2070A000081\rL2\rL2\rXX\r", "N\rN\r" + kEmpty + "ERR\r");
        row("fail", {"--fail", "L5", "--fail", "QS"}, "L5\rQS\rL1\r", "ERR\rERR\r" + kEmpty);
        row("pieces", {"--pieces", "3", "--gap", "200"}, "L1\rXX\r", kEmpty + "ERR\r");
        row("delay", {"--delay", "1200"}, "L1\r", kEmpty);
        row("stop-after", {"--stop-after", "2", "--nak", "1"}, "L1\rL1\rL1\r", "N\r" + kEmpty);
        row("unsolicited", {"--unsolicited", "HELLO", "--every", "150"}, "", "HELLO*\rHELLO*\r");
        row("stray", {"--stray", "#?", "--stray-after", "50"}, "L1\r", kEmpty + "#?");
        row("baud", {"--baud", "300"}, "L1\rL1\r", kEmpty + kEmpty);
    }
    void exchanges() {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, send);
        QFETCH(QByteArray, want);
        SimProcess sim;
        Port port;
        QVERIFY(putFile(sim.tempDir() + "/table.txt", kTable));
        QVERIFY(start(sim, port, args + QStringList{"--table", sim.tempDir() + "/table.txt"}));
        QVERIFY(port.send(send));
        if (args.contains("--delay"))
            QCOMPARE(port.read(0, 200), QByteArray()); // not early
        const QByteArray got = port.read(want.endsWith('\r') ? int(want.count('\r')) : 0,
                                         want.endsWith('\r') ? 5000 : 800);
        QCOMPARE(got, want);
        if (args.contains("--pieces") || args.contains("--baud"))
            QVERIFY2(port.reads > 1, "came in one read");
        if (!args.contains("--unsolicited"))
            QCOMPARE(port.read(0, 200), QByteArray()); // and nothing more
        QVERIFY(sim.isRunning());
    }

    void clock() {
        SimProcess sim;
        Port port;
        QVERIFY(start(sim, port));
        // Until set it follows the host; an hour may turn between the readings.
        const auto hostQT = [] {
            const QDateTime t = QDateTime::currentDateTime();
            return "T0" + QByteArray::number(t.date().dayOfWeek() % 7) +
                   QByteArray::number(t.time().hour(), 16).toUpper().rightJustified(2, '0') + '\r';
        };
        const QByteArray before = hostQT(), reply = port.ask("QT"), after = hostQT();
        QVERIFY2(reply == before || reply == after, reply.constData());

        QCOMPARE(port.ask("N 030C2200"), QByteArray("*\r"));
        const QByteArray qs = port.ask("QS");
        QVERIFY2(qs.startsWith("S22") && qs.size() == 6 && qs.mid(3, 2).toInt(nullptr, 16) < 0x1E,
                 qs.constData());
        // Saturday 23:59:59 runs on into Sunday 00:00.
        QCOMPARE(port.ask("N 06173B3B"), QByteArray("*\r"));
        QByteArray qt = port.ask("QT");
        for (QDeadlineTimer deadline(4000); qt == "T0617\r" && !deadline.hasExpired();)
            QThread::msleep(100), qt = port.ask("QT");
        QCOMPARE(qt, QByteArray("T0000\r"));
    }

    void tableFile() {
        QTemporaryDir dir;
        const QString table = dir.filePath("table.txt");
        {
            SimProcess sim;
            Port port;
            QVERIFY(start(sim, port, {"--table", table}));
            QCOMPARE(fileBytes(table), QByteArray("00 00 00 00 00\n").repeated(10)); // created
            QCOMPARE(port.ask("D9071700003B"), QByteArray("*\r"));
            QCOMPARE(fileBytes(table),
                     QByteArray("00 00 00 00 00\n").repeated(9) + "07 17 00 00 3B\n");
        }
        SimProcess sim;
        Port port;
        QVERIFY(start(sim, port, {"--table", table}));
        QCOMPARE(port.ask("L9"), QByteArray("L071700003B\r"));

        for (const QByteArray& bad : {kTable + "00 00 00 00 00\n", kTable.left(15),
                                      QByteArray(kTable).replace("1E", "1G")}) {
            QVERIFY(putFile(table, bad));
            QVERIFY(!sim.start({"--table", table}));
            QVERIFY(sim.waitForExit(3000));
            QCOMPARE(sim.exitCode(), 2);
            QCOMPARE(fileBytes(table), bad); // left as it was
        }
    }

    void logAndReopen() {
        QTemporaryDir dir;
        SimProcess sim;
        Port port;
        QVERIFY(start(sim, port, {"--log", dir.filePath("sim.log")}));
        QVERIFY(port.send("QT\r\rD207061E0081\rxyz?\r" + QByteArray(300, 'Q') + "\r"));
        QCOMPARE(port.read(5).count('\r'), 5);
        for (int i = 0; i < 2; ++i) { // the line survives the PC end closing
            port.close();
            QVERIFY(port.open(sim.path()));
            QCOMPARE(port.ask("L2"), QByteArray("L07061E0081\r"));
        }
        QCOMPARE(sim.loggedCommands(),
                 (QStringList{"QT", "", "D207061E0081", "xyz?", QString(256, 'Q'), "L2", "L2"}));
    }

    void link() {
        QTemporaryDir dir;
        const QString link = dir.filePath("COM1");
        QVERIFY(QFile::link("/nonexistent", link)); // a stale link is replaced
        {
            SimProcess sim;
            Port port;
            QVERIFY(sim.start({"--link", link}));
            QCOMPARE(QFileInfo(link).symLinkTarget(), sim.path());
            QVERIFY(port.open(link));
            QCOMPARE(port.ask("L7"), kEmpty);
            sim.stop();
            QVERIFY(!QFileInfo(link).isSymLink()); // removed on exit
        }
        QVERIFY(putFile(link, "keep")); // anything but a link is left alone
        SimProcess sim;
        QVERIFY(!sim.start({"--link", link}));
        QCOMPARE(fileBytes(link), QByteArray("keep"));
    }

    void vanishHangsUp() {
        QTemporaryDir dir;
        const QString link = dir.filePath("COM1");
        SimProcess sim;
        Port port;
        QVERIFY(sim.start({"--vanish-after", "1", "--link", link}));
        QVERIFY(port.open(link));
        QCOMPARE(port.ask("L0"), kEmpty);
        QVERIFY(port.send("L1\r"));
        pollfd p{port.fd, POLLIN, 0};
        QCOMPARE(::poll(&p, 1, 3000), 1);
        char c;
        const ssize_t n = ::read(port.fd, &c, 1);
        QVERIFY2((p.revents & POLLHUP) || n == 0 || (n < 0 && errno == EIO), "no hang-up");
        QVERIFY(n <= 0);
        QVERIFY(sim.waitForExit(3000));
        QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.exitCode(), 0);
        QVERIFY(!QFileInfo(link).isSymLink());
    }
};

QTEST_GUILESS_MAIN(TstSim)
#include "tst_sim.moc"
