// Drives morvane-sim over its pseudo-terminal with plain POSIX I/O.
#include "simprocess.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The PC end of the line: raw 8N1, reads bounded by poll.
class Port {
public:
    ~Port() { close(); }
    bool open(const QString& path) {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_fd < 0)
            return false;
        termios tio{};
        if (::tcgetattr(m_fd, &tio) != 0)
            return false;
        ::cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        if (::tcsetattr(m_fd, TCSANOW, &tio) != 0)
            return false;
        // Bytes from before this open never count as a reply.
        ::tcflush(m_fd, TCIOFLUSH);
        return true;
    }
    void close() {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    bool send(const QByteArray& bytes) {
        return ::write(m_fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }
    // Reads until `count` CRs have arrived or the time runs out.
    QByteArray readLines(int count = 1, int timeoutMs = 3000) {
        QByteArray got;
        QDeadlineTimer deadline(timeoutMs);
        reads = 0;
        while (got.count('\r') < count && !deadline.hasExpired()) {
            if (!readOnce(&got, int(deadline.remainingTime())))
                break;
        }
        return got;
    }
    // Everything that arrives within the window.
    QByteArray readFor(int windowMs) {
        QByteArray got;
        QDeadlineTimer deadline(windowMs);
        reads = 0;
        while (!deadline.hasExpired()) {
            if (!readOnce(&got, int(deadline.remainingTime())))
                break;
        }
        return got;
    }
    QByteArray ask(const QByteArray& command) {
        if (!send(command + '\r'))
            return "<write failed>";
        return readLines();
    }
    int fd() const { return m_fd; }
    int reads = 0;

private:
    bool readOnce(QByteArray* got, int waitMs) {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, qMax(0, waitMs)) <= 0 || !(p.revents & POLLIN))
            return false;
        char buf[512];
        const ssize_t n = ::read(m_fd, buf, sizeof buf);
        if (n <= 0)
            return false;
        got->append(buf, n);
        ++reads;
        return true;
    }
    int m_fd = -1;
};

const QByteArray kTable = "02 07 1E 00 09\n"
                          "00 00 00 00 00\n"
                          "07 17 3B 3B 81\n"
                          "01 0C 22 38 08\n"
                          "FF 18 3C 3C FF\n"
                          "06 00 00 01 01\n"
                          "03 09 05 1E 00\n"
                          "04 0A 0B 0C 0D\n"
                          "05 0e 0f 10 11\n"
                          "00 00 00 00 81\n";

bool writeFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

} // namespace

class TestSim : public QObject {
    Q_OBJECT

private:
    // Starts a simulator and opens its port; reports failure through QtTest.
    bool startAndOpen(SimProcess& sim, Port& port, const QStringList& args = {}) {
        if (!sim.start(args)) {
            qWarning() << sim.errorString();
            return false;
        }
        return port.open(sim.path());
    }

private slots:
    void replies_data();
    void replies();
    void storeThenReadBack_data();
    void storeThenReadBack();
    void rejectedStoreKeepsTable();
    void clockFollowsHostUntilSet();
    void setClockRunsOnAndWraps();
    void tablePersistsAcrossRestarts();
    void badTableFileRefused();
    void logRecordsRawCommands();
    void framingAndGarbage();
    void survivesPortReopen();
    void linkPointsAtPty();
    void silentNeverAnswers();
    void nakAnswersFirstCommands();
    void failAnswersErrToNamedCommands();
    void piecesArriveSeparately();
    void delayAnswersLate();
    void stopAfterGoesSilent();
    void vanishHangsUp();
    void unsolicitedTextArrivesUnasked();
    void strayFollowsEachReply();
    void baudPacedReplyIsWhole();
};

void TestSim::replies_data() {
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("L0") << QByteArray("L0") << QByteArray("L02071E0009\r");
    QTest::newRow("L1 empty") << QByteArray("L1") << QByteArray("L0000000000\r");
    QTest::newRow("L2") << QByteArray("L2") << QByteArray("L07173B3B81\r");
    QTest::newRow("L3") << QByteArray("L3") << QByteArray("L010C223808\r");
    QTest::newRow("L4 odd values") << QByteArray("L4") << QByteArray("LFF183C3CFF\r");
    QTest::newRow("L5") << QByteArray("L5") << QByteArray("L0600000101\r");
    QTest::newRow("L6") << QByteArray("L6") << QByteArray("L0309051E00\r");
    QTest::newRow("L7") << QByteArray("L7") << QByteArray("L040A0B0C0D\r");
    QTest::newRow("L8 upper-case out") << QByteArray("L8") << QByteArray("L050E0F1011\r");
    QTest::newRow("L9") << QByteArray("L9") << QByteArray("L0000000081\r");
    QTest::newRow("store") << QByteArray("D00000000000") << QByteArray("*\r");
    QTest::newRow("set clock") << QByteArray("N 00000000") << QByteArray("*\r");
    const char* bad[] = {"",
                         "Q",
                         "QX",
                         "qt",
                         " QT",
                         "QT ",
                         "L",
                         "LA",
                         "L10",
                         "L-1",
                         "D207061E008",
                         "D207061E00811",
                         "DA07061E0081",
                         "D208061E0081",
                         "D207181E0081",
                         "D2070G1E0081",
                         "D207063C0081",
                         "D207061E3C81",
                         "D207061e0081",
                         "D-107061E0081",
                         "N 070C2238",
                         "N 0A0C2238",
                         "N 03180000",
                         "N 030C3C00",
                         "N 030C223C",
                         "N 030c2238",
                         "N 030C22",
                         "N030C2238",
                         "N 030C22380",
                         "N",
                         "ERR",
                         "*"};
    for (const char* b : bad)
        QTest::newRow(qPrintable(QStringLiteral("bad \"%1\"").arg(QLatin1String(b))))
            << QByteArray(b) << QByteArray("ERR\r");
}

void TestSim::replies() {
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, reply);
    QTemporaryDir dir;
    const QString table = dir.filePath("table.txt");
    QVERIFY(writeFile(table, kTable));
    SimProcess sim;
    Port port;
    QVERIFY(startAndOpen(sim, port, {"--table", table}));
    QCOMPARE(port.ask(command), reply);
}

void TestSim::storeThenReadBack_data() {
    QTest::addColumn<QByteArray>("store");
    QTest::addColumn<QByteArray>("load");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("every day, enabled")
        << QByteArray("D207061E0081") << QByteArray("L2") << QByteArray("L07061E0081\r");
    QTest::newRow("upper bounds") << QByteArray("D907173B3BFF") << QByteArray("L9")
                                  << QByteArray("L07173B3BFF\r");
    QTest::newRow("all zero") << QByteArray("D00000000000") << QByteArray("L0")
                              << QByteArray("L0000000000\r");
    QTest::newRow("odd flag") << QByteArray("D5030C22385A") << QByteArray("L5")
                              << QByteArray("L030C22385A\r");
}

void TestSim::storeThenReadBack() {
    QFETCH(QByteArray, store);
    QFETCH(QByteArray, load);
    QFETCH(QByteArray, reply);
    QTemporaryDir dir;
    const QString table = dir.filePath("table.txt");
    QVERIFY(writeFile(table, kTable));
    SimProcess sim;
    Port port;
    QVERIFY(startAndOpen(sim, port, {"--table", table}));
    QCOMPARE(port.ask(store), QByteArray("*\r"));
    QCOMPARE(port.ask(load), reply);
}

void TestSim::rejectedStoreKeepsTable() {
    SimProcess sim;
    Port port;
    QVERIFY(startAndOpen(sim, port));
    QCOMPARE(port.ask("D3040A0B0C01"), QByteArray("*\r"));
    QCOMPARE(port.ask("D3071800000"), QByteArray("ERR\r"));
    QCOMPARE(port.ask("D308000000FF"), QByteArray("ERR\r"));
    QCOMPARE(port.ask("L3"), QByteArray("L040A0B0C01\r"));
    QCOMPARE(port.ask("L4"), QByteArray("L0000000000\r"));
}

void TestSim::clockFollowsHostUntilSet() {
    SimProcess sim;
    Port port;
    QVERIFY(startAndOpen(sim, port));
    const QDateTime before = QDateTime::currentDateTime();
    const QByteArray reply = port.ask("QT");
    const QDateTime after = QDateTime::currentDateTime();
    auto expected = [](const QDateTime& t) {
        return QByteArray("T0") + QByteArray::number(t.date().dayOfWeek() % 7) +
               QByteArray::number(t.time().hour(), 16).toUpper().rightJustified(2, '0') + '\r';
    };
    // An hour may turn between the two readings of the host clock.
    QVERIFY2(reply == expected(before) || reply == expected(after), reply.constData());
}

void TestSim::setClockRunsOnAndWraps() {
    SimProcess sim;
    Port port;
    QVERIFY(startAndOpen(sim, port));
    QCOMPARE(port.ask("N 030C2200"), QByteArray("*\r"));
    QCOMPARE(port.ask("QT"), QByteArray("T030C\r"));
    const QByteArray qs = port.ask("QS");
    QVERIFY2(qs.startsWith("S22") && qs.size() == 6, qs.constData());
    QVERIFY2(qs.mid(3, 2).toInt(nullptr, 16) < 0x1E, qs.constData()); // well within a minute

    // Saturday 23:59:59 turns into Sunday 00:00.
    QCOMPARE(port.ask("N 06173B3B"), QByteArray("*\r"));
    QByteArray qt = port.ask("QT");
    QDeadlineTimer deadline(4000);
    while (qt == "T0617\r" && !deadline.hasExpired()) {
        QThread::msleep(100);
        qt = port.ask("QT");
    }
    QCOMPARE(qt, QByteArray("T0000\r"));
}

void TestSim::tablePersistsAcrossRestarts() {
    QTemporaryDir dir;
    const QString table = dir.filePath("table.txt");
    {
        SimProcess sim;
        Port port;
        QVERIFY(startAndOpen(sim, port, {"--table", table}));
        // A missing file is created with an empty table.
        QCOMPARE(readFile(table), QByteArray("00 00 00 00 00\n").repeated(10));
        QCOMPARE(port.ask("D302071E0009"), QByteArray("*\r"));
        QCOMPARE(port.ask("D9071700003B"), QByteArray("*\r"));
        QCOMPARE(readFile(table), QByteArray("00 00 00 00 00\n").repeated(3) + "02 07 1E 00 09\n" +
                                      QByteArray("00 00 00 00 00\n").repeated(5) +
                                      "07 17 00 00 3B\n");
    }
    SimProcess sim;
    Port port;
    QVERIFY(startAndOpen(sim, port, {"--table", table}));
    QCOMPARE(port.ask("L3"), QByteArray("L02071E0009\r"));
    QCOMPARE(port.ask("L9"), QByteArray("L071700003B\r"));
    QCOMPARE(port.ask("L4"), QByteArray("L0000000000\r"));
}

void TestSim::badTableFileRefused() {
    QTemporaryDir dir;
    const QString table = dir.filePath("table.txt");
    const QByteArray bad[] = {"00 00 00 00 00\n", kTable + "00 00 00 00 00\n",
                              QByteArray(kTable).replace("02 07", "02-07"),
                              QByteArray(kTable).replace("1E", "1G")};
    for (const QByteArray& content : bad) {
        QVERIFY(writeFile(table, content));
        SimProcess sim;
        QVERIFY(!sim.start({"--table", table}));
        QVERIFY(sim.waitForExit(3000));
        QCOMPARE(sim.exitCode(), 2);
        QCOMPARE(readFile(table), content); // left as it was
    }
}

void TestSim::logRecordsRawCommands() {
    SimProcess sim;
    Port port;
    QVERIFY(startAndOpen(sim, port, {"--silent"}));
    QVERIFY(port.send("QT\rL3\r\rD207061E0081\rxyz?\rN 030C2238\r"));
    QVERIFY(sim.waitForLoggedCount(6));
    QCOMPARE(sim.loggedCommands(),
             QStringList({"QT", "L3", "", "D207061E0081", "xyz?", "N 030C2238"}));
}

void TestSim::framingAndGarbage() {
    SimProcess sim;
    Port port;
    QVERIFY(startAndOpen(sim, port));
    // LF is ignored wherever it appears; one write may hold several commands.
    QVERIFY(port.send("L\n1\r\nL2\r"));
    QCOMPARE(port.readLines(2), QByteArray("L0000000000\rL0000000000\r"));

    // An over-long line is dropped whole and answered once.
    QVERIFY(port.send(QByteArray(300, 'Q') + "QT\r"));
    QCOMPARE(port.readLines(), QByteArray("ERR\r"));
    QByteArray binary;
    for (int i = 0; i < 256; ++i)
        if (i != '\r' && i != '\n')
            binary.append(char(i));
    QVERIFY(port.send(binary + '\r'));
    QCOMPARE(port.readLines(), QByteArray("ERR\r"));
    QVERIFY(port.send(QByteArray(5000, '\xff') + '\r'));
    QCOMPARE(port.readLines(), QByteArray("ERR\r"));
    QCOMPARE(port.readFor(200), QByteArray()); // nothing more came
    QCOMPARE(port.ask("D0010203040F"), QByteArray("*\r"));
    QCOMPARE(port.ask("L0"), QByteArray("L010203040F\r"));

    const QStringList log = sim.loggedCommands();
    QCOMPARE(log.size(), 7);
    QCOMPARE(log.at(0), QStringLiteral("L1"));
    QCOMPARE(log.at(2).size(), 256); // kept to the bounded line
}

void TestSim::survivesPortReopen() {
    SimProcess sim;
    Port port;
    QVERIFY(startAndOpen(sim, port));
    QCOMPARE(port.ask("D1010101010F"), QByteArray("*\r"));
    for (int i = 0; i < 3; ++i) {
        port.close();
        QThread::msleep(100);
        QVERIFY(sim.isRunning());
        QVERIFY(port.open(sim.path()));
        QCOMPARE(port.ask("L1"), QByteArray("L010101010F\r"));
    }
}

void TestSim::linkPointsAtPty() {
    QTemporaryDir dir;
    const QString link = dir.filePath("COM1");
    QVERIFY(QFile::link("/nonexistent", link)); // a stale link is replaced
    {
        SimProcess sim;
        Port port;
        QVERIFY(sim.start({"--link", link}));
        QCOMPARE(QFileInfo(link).symLinkTarget(), sim.path());
        QVERIFY(port.open(link));
        QCOMPARE(port.ask("L7"), QByteArray("L0000000000\r"));
        sim.stop();
        QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink());
    }
    // Anything other than a link is not overwritten.
    QVERIFY(writeFile(link, "keep"));
    SimProcess sim;
    QVERIFY(!sim.start({"--link", link}));
    QCOMPARE(readFile(link), QByteArray("keep"));
}

void TestSim::silentNeverAnswers() {
    SimProcess sim;
    Port port;
    QVERIFY(startAndOpen(sim, port, {"--silent"}));
    QVERIFY(port.send("QT\rL0\r"));
    QCOMPARE(port.readFor(500), QByteArray());
    QCOMPARE(sim.loggedCommands(), QStringList({"QT", "L0"}));
}

void TestSim::nakAnswersFirstCommands() {
    SimProcess sim;
    Port port;
    QVERIFY(startAndOpen(sim, port, {"--nak", "2"}));
    QCOMPARE(port.ask("D2070A000081"), QByteArray("N\r"));
    QCOMPARE(port.ask("L2"), QByteArray("N\r"));
    // The refused store did not happen.
    QCOMPARE(port.ask("L2"), QByteArray("L0000000000\r"));
    QCOMPARE(port.ask("XX"), QByteArray("ERR\r"));
}

void TestSim::failAnswersErrToNamedCommands() {
    SimProcess sim;
    Port port;
    QVERIFY(startAndOpen(sim, port, {"--fail", "L5", "--fail", "QS"}));
    QCOMPARE(port.ask("L5"), QByteArray("ERR\r"));
    QCOMPARE(port.ask("QS"), QByteArray("ERR\r"));
    QCOMPARE(port.ask("L4"), QByteArray("L0000000000\r"));
}

void TestSim::piecesArriveSeparately() {
    SimProcess sim;
    Port port;
    QVERIFY(startAndOpen(sim, port, {"--pieces", "3", "--gap", "200"}));
    QVERIFY(port.send("L0\r"));
    QCOMPARE(port.readLines(1, 5000), QByteArray("L0000000000\r"));
    QVERIFY2(port.reads > 1, "reply came in one read");
    QCOMPARE(port.ask("XX"), QByteArray("ERR\r"));
}

void TestSim::delayAnswersLate() {
    SimProcess sim;
    Port port;
    QVERIFY(startAndOpen(sim, port, {"--delay", "1200"}));
    QVERIFY(port.send("L0\r"));
    QCOMPARE(port.readFor(200), QByteArray());
    QCOMPARE(port.readLines(1, 5000), QByteArray("L0000000000\r"));
}

void TestSim::stopAfterGoesSilent() {
    SimProcess sim;
    Port port;
    QVERIFY(startAndOpen(sim, port, {"--stop-after", "2", "--nak", "1"}));
    QCOMPARE(port.ask("L0"), QByteArray("N\r"));
    QCOMPARE(port.ask("L0"), QByteArray("L0000000000\r"));
    QVERIFY(port.send("L0\r"));
    QCOMPARE(port.readFor(500), QByteArray());
    QVERIFY(sim.waitForLoggedCount(3));
    QVERIFY(sim.isRunning());
}

void TestSim::vanishHangsUp() {
    QTemporaryDir dir;
    const QString link = dir.filePath("COM1");
    SimProcess sim;
    Port port;
    QVERIFY(sim.start({"--vanish-after", "1", "--link", link}));
    QVERIFY(port.open(link));
    QCOMPARE(port.ask("L0"), QByteArray("L0000000000\r"));
    QVERIFY(port.send("L1\r"));
    pollfd p{port.fd(), POLLIN, 0};
    QVERIFY(::poll(&p, 1, 3000) == 1);
    char c;
    const ssize_t n = ::read(port.fd(), &c, 1);
    QVERIFY2((p.revents & POLLHUP) || n == 0 || (n < 0 && errno == EIO),
             "no hang-up seen on the port");
    QVERIFY(n <= 0);
    QVERIFY(sim.waitForExit(3000));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
}

void TestSim::unsolicitedTextArrivesUnasked() {
    SimProcess sim;
    Port port;
    QVERIFY(startAndOpen(sim, port, {"--unsolicited", "HELLO", "--every", "150"}));
    const QByteArray got = port.readLines(2, 3000);
    QCOMPARE(got, QByteArray("HELLO*\rHELLO*\r"));
    QVERIFY(sim.loggedCommands().isEmpty());
}

void TestSim::strayFollowsEachReply() {
    SimProcess sim;
    Port port;
    QVERIFY(startAndOpen(sim, port, {"--stray", "#?", "--stray-after", "50"}));
    QVERIFY(port.send("L0\r"));
    QByteArray got = port.readLines();
    QDeadlineTimer deadline(3000);
    while (!got.endsWith("#?") && !deadline.hasExpired())
        got += port.readFor(100);
    QCOMPARE(got, QByteArray("L0000000000\r#?"));
    got = port.ask("Z");
    got += port.readFor(300);
    QCOMPARE(got, QByteArray("ERR\r#?"));
}

void TestSim::baudPacedReplyIsWhole() {
    SimProcess sim;
    Port port;
    QVERIFY(startAndOpen(sim, port, {"--baud", "300"}));
    QVERIFY(port.send("L0\rL1\r"));
    QCOMPARE(port.readLines(2, 5000), QByteArray("L0000000000\rL0000000000\r"));
    QVERIFY2(port.reads > 1, "paced output came in one read");
}

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
