// The comm component: settings strings, port paths, COM_Init, and the real
// thing on a pseudo-terminal made here with openpty.
#include "exchange.h"
#include "mscomm.h"

#include <QFile>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

using namespace morvane;

namespace {

// The far end of a pseudo-terminal; the near end is reached through a link
// COM3 in a temporary start-up directory.
class Pty {
public:
    Pty() {
        int slave = -1;
        if (::openpty(&master_, &slave, nullptr, nullptr, nullptr) != 0)
            return;
        slavePath_ = QString::fromLocal8Bit(::ptsname(master_));
        ::close(slave);
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    }
    ~Pty() {
        closeMaster();
        if (heldSlave_ >= 0)
            ::close(heldSlave_);
    }

    // Keeps the near end open in raw mode, so that bytes written now wait in
    // the terminal until the component opens it.
    bool holdSlave() {
        heldSlave_ = ::open(slavePath_.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        termios t{};
        if (heldSlave_ < 0 || ::tcgetattr(heldSlave_, &t) != 0)
            return false;
        ::cfmakeraw(&t);
        return ::tcsetattr(heldSlave_, TCSANOW, &t) == 0;
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    bool ok() const { return master_ >= 0 && !slavePath_.isEmpty(); }
    QString slavePath() const { return slavePath_; }

    void write(const QByteArray& bytes) {
        QCOMPARE(::write(master_, bytes.constData(), bytes.size()), bytes.size());
    }

    // Reads from the master side until n bytes came or the time is up.
    QByteArray read(int n, int timeoutMs = 2000) {
        QByteArray got;
        QDeadlineTimer deadline(timeoutMs);
        while (got.size() < n && !deadline.hasExpired()) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(deadline.remainingTime())) <= 0)
                continue;
            char buf[256];
            const ssize_t r = ::read(master_, buf, sizeof buf);
            if (r > 0)
                got.append(buf, r);
        }
        return got;
    }

    void closeMaster() {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }

private:
    int master_ = -1;
    int heldSlave_ = -1;
    QString slavePath_;
};

// Waits for count bytes to be waiting in the component, via WaitForInput.
bool waitForBytes(MSComm& comm, int count) {
    QDeadlineTimer deadline(2000);
    while (comm.InBufferCount() < count && !deadline.hasExpired())
        comm.WaitForInput(100);
    return comm.InBufferCount() >= count;
}

struct PtyRig {
    Pty pty;
    QTemporaryDir appDir;
    SysSettingsRecord settings;

    PtyRig() {
        settings.COMPORT = 3;
        if (pty.ok())
            QFile::link(pty.slavePath(), appDir.filePath(QStringLiteral("COM3")));
    }

    bool openComm(MSComm& comm) {
        comm.setAppDir(appDir.path());
        return COM_Init(comm, settings) == 0;
    }
};

} // namespace

class TestMSComm : public QObject {
    Q_OBJECT
private slots:
    void parseSettings_data();
    void parseSettings();
    void settingsString_data();
    void settingsString();
    void portPath();
    void initFails_data();
    void initFails();
    void openOutputInput();
    void busyPort();
    void farEndGone();
    void exchangeOverPty();
    void exchangeWhenFarEndGone();
    void receiveEvent();
    void receiveEventHeldDuringExchange();
};

void TestMSComm::parseSettings_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("stops");

    using P = QSerialPort;
    QTest::newRow("defaults") << " 9600,N,8,1" << true << 9600 << int(P::NoParity) << 8
                              << int(P::OneStop);
    QTest::newRow("no blank") << "9600,n,8,1" << true << 9600 << int(P::NoParity) << 8
                              << int(P::OneStop);
    QTest::newRow("even") << " 19200,E,7,2" << true << 19200 << int(P::EvenParity) << 7
                          << int(P::TwoStop);
    QTest::newRow("odd") << "300,o,5,1.5" << true << 300 << int(P::OddParity) << 5
                         << int(P::OneAndHalfStop);
    QTest::newRow("mark") << " 1,M,6,1" << true << 1 << int(P::MarkParity) << 6 << int(P::OneStop);
    QTest::newRow("space") << " 32767,s,8,2" << true << 32767 << int(P::SpaceParity) << 8
                           << int(P::TwoStop);
    QTest::newRow("wide speed") << "115200,N,8,1" << true << 115200 << int(P::NoParity) << 8
                                << int(P::OneStop);

    const char* bad[] = {"",
                         " 9600,N,8",
                         " 9600,N,8,1,",
                         "  9600,N,8,1",
                         " 9600 ,N,8,1",
                         " 0,N,8,1",
                         "-9600,N,8,1",
                         ",N,8,1",
                         "abc,N,8,1",
                         " 99999999999,N,8,1",
                         " 9600,X,8,1",
                         " 9600,NN,8,1",
                         " 9600,,8,1",
                         " 9600, N,8,1",
                         " 9600,N,9,1",
                         " 9600,N,4,1",
                         " 9600,N,08,1",
                         " 9600,N,8,3",
                         " 9600,N,8,1.0",
                         " 9600,N,8,1 ",
                         " 9600;N;8;1"};
    for (const char* b : bad)
        QTest::newRow(qPrintable(QStringLiteral("bad '%1'").arg(QLatin1String(b))))
            << QString::fromLatin1(b) << false << 0 << 0 << 0 << 0;
    QTest::newRow("bad full-width digits")
        << QStringLiteral(" ９６００,N,8,1") << false << 0 << 0 << 0 << 0;
}

void TestMSComm::parseSettings() {
    QFETCH(QString, text);
    QFETCH(bool, ok);

    LineSettings out;
    out.baud = 4711;
    QCOMPARE(ParseCommSettings(text, out), ok);
    if (!ok) {
        QCOMPARE(out.baud, 4711); // a rejected string changes nothing
        return;
    }
    QFETCH(int, baud);
    QFETCH(int, parity);
    QFETCH(int, bits);
    QFETCH(int, stops);
    QCOMPARE(out.baud, baud);
    QCOMPARE(int(out.parity), parity);
    QCOMPARE(int(out.dataBits), bits);
    QCOMPARE(int(out.stopBits), stops);
}

void TestMSComm::settingsString_data() {
    QTest::addColumn<int>("baud");
    QTest::addColumn<QString>("parity");
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("stops");
    QTest::addColumn<QString>("expected");

    QTest::newRow("defaults") << 9600 << "N" << 8 << 1 << " 9600,N,8,1";
    QTest::newRow("parity as stored") << 19200 << "e" << 7 << 2 << " 19200,e,7,2";
    QTest::newRow("negative speed") << -300 << "N" << 8 << 1 << "-300,N,8,1";
    QTest::newRow("zero") << 0 << "" << 0 << 0 << " 0,,0,0";
}

void TestMSComm::settingsString() {
    QFETCH(int, baud);
    QFETCH(QString, parity);
    QFETCH(int, bits);
    QFETCH(int, stops);
    QFETCH(QString, expected);

    SysSettingsRecord s;
    s.BAUDRATE = static_cast<qint16>(baud);
    s.PARITY = parity;
    s.BITS = static_cast<qint16>(bits);
    s.STOPS = static_cast<qint16>(stops);
    QCOMPARE(CommSettingsString(s), expected);
    QCOMPARE(CommSettingsString(SysSettingsRecord{}), QStringLiteral(" 9600,N,8,1"));
}

void TestMSComm::portPath() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QFile::link(QStringLiteral("/dev/null"), dir.filePath(QStringLiteral("COM3"))));
    QVERIFY(
        QFile::link(dir.filePath(QStringLiteral("nowhere")), dir.filePath(QStringLiteral("COM5"))));
    QFile plain(dir.filePath(QStringLiteral("COM7")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();

    QCOMPARE(PortPathFor(3, dir.path()), dir.path() + QStringLiteral("/COM3"));
    QCOMPARE(PortPathFor(5, dir.path()), dir.path() + QStringLiteral("/COM5")); // dangling
    QCOMPARE(PortPathFor(7, dir.path()), dir.path() + QStringLiteral("/COM7"));
    QCOMPARE(PortPathFor(4, dir.path()), QStringLiteral("/dev/ttyS3"));
    QCOMPARE(PortPathFor(1, dir.path()), QStringLiteral("/dev/ttyS0"));
    QCOMPARE(PortPathFor(2, QString()), QStringLiteral("/dev/ttyS1"));
    QCOMPARE(PortPathFor(0, dir.path()), QString());
    QCOMPARE(PortPathFor(-3, dir.path()), QString());
}

void TestMSComm::initFails_data() {
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("bits");
    QTest::addColumn<QString>("parity");

    QTest::newRow("dangling link") << 5 << 8 << "N";
    QTest::newRow("port 0") << 0 << 8 << "N";
    QTest::newRow("negative port") << -1 << 8 << "N";
    QTest::newRow("nine data bits") << 3 << 9 << "N";
    QTest::newRow("unknown parity") << 3 << 8 << "X";
    QTest::newRow("empty parity") << 3 << 8 << "";
}

void TestMSComm::initFails() {
    QFETCH(int, port);
    QFETCH(int, bits);
    QFETCH(QString, parity);

    PtyRig rig; // COM3 exists and would open
    QVERIFY(rig.pty.ok());
    QVERIFY(QFile::link(rig.appDir.filePath(QStringLiteral("gone")),
                        rig.appDir.filePath(QStringLiteral("COM5"))));
    rig.settings.COMPORT = static_cast<qint16>(port);
    rig.settings.BITS = static_cast<qint16>(bits);
    rig.settings.PARITY = parity;

    MSComm comm;
    comm.setAppDir(rig.appDir.path());
    QCOMPARE(COM_Init(comm, rig.settings), qint16(99));
    QVERIFY(!comm.PortOpen());

    // The same component opens once the settings are usable again.
    rig.settings = SysSettingsRecord{};
    rig.settings.COMPORT = 3;
    QCOMPARE(COM_Init(comm, rig.settings), qint16(0));
    QVERIFY(comm.PortOpen());
    QCOMPARE(comm.Settings(), QStringLiteral(" 9600,N,8,1"));
}

void TestMSComm::openOutputInput() {
    PtyRig rig;
    QVERIFY(rig.pty.ok());
    MSComm comm;
    // Left over from before the open: never part of a reply.
    QVERIFY(rig.pty.holdSlave());
    rig.pty.write("stale");
    QVERIFY(rig.openComm(comm));
    QVERIFY(!comm.WaitForInput(100));
    QCOMPARE(comm.InBufferCount(), 0);
    QVERIFY(comm.PortOpen());
    QCOMPARE(comm.CommPort(), 3);
    QCOMPARE(comm.portPath(), rig.appDir.filePath(QStringLiteral("COM3")));

    comm.Output("QT\r");
    QCOMPARE(rig.pty.read(3), QByteArray("QT\r"));

    QCOMPARE(comm.InBufferCount(), 0);
    QVERIFY(!comm.WaitForInput(50));
    rig.pty.write("0312\r");
    QVERIFY(waitForBytes(comm, 5));
    QCOMPARE(comm.InBufferCount(), 5);
    QCOMPARE(comm.Input(), QByteArray("0312\r"));
    QCOMPARE(comm.InBufferCount(), 0);
    QVERIFY(!comm.Failed());

    // Setting the open flag again is an error, closing works and is final.
    QVERIFY(!comm.setPortOpen(true));
    QVERIFY(!comm.setCommPort(4));
    QVERIFY(comm.setPortOpen(false));
    QVERIFY(!comm.PortOpen());
    QVERIFY(comm.setCommPort(4));
}

void TestMSComm::busyPort() {
    PtyRig rig;
    QVERIFY(rig.pty.ok());
    MSComm first;
    QVERIFY(rig.openComm(first));

    MSComm second;
    second.setAppDir(rig.appDir.path());
    QCOMPARE(COM_Init(second, rig.settings), qint16(99));
    QVERIFY(!second.PortOpen());

    // Free again once the first one lets go.
    first.setPortOpen(false);
    QCOMPARE(COM_Init(second, rig.settings), qint16(0));
}

void TestMSComm::farEndGone() {
    PtyRig rig;
    QVERIFY(rig.pty.ok());
    MSComm comm;
    QVERIFY(rig.openComm(comm));
    auto* serial = comm.findChild<QSerialPort*>();
    QVERIFY(serial);
    int lineErrors = 0;
    connect(serial, &QSerialPort::errorOccurred, this, [&](QSerialPort::SerialPortError e) {
        if (e == QSerialPort::ReadError || e == QSerialPort::ResourceError)
            ++lineErrors;
    });

    rig.pty.closeMaster();
    QDeadlineTimer deadline(2000);
    while (!comm.Failed() && !deadline.hasExpired())
        comm.WaitForInput(100);
    QVERIFY(comm.Failed());
    QVERIFY(!comm.PortOpen());
    QVERIFY(!comm.WaitForInput(100));
    QCOMPARE(comm.InBufferCount(), 0);

    // Closed at the first report: the event loop sees no stream of errors.
    QTest::qWait(200);
    QCOMPARE(lineErrors, 1);
}

void TestMSComm::exchangeOverPty() {
    PtyRig rig;
    QVERIFY(rig.pty.ok());
    MSComm comm;
    QVERIFY(rig.openComm(comm));
    SystemClock clock;
    QStringList messages;
    Link link(rig.settings, clock, [&](const QString& m) { messages << m; });
    link.setPort(&comm);

    // The device has already answered: the reply is read without waiting.
    rig.pty.write("0312\r");
    link.CMM_TRNA(QStringLiteral("QT"), link.RecBuf);
    QCOMPARE(link.RecBuf, QStringLiteral("0312\r"));
    QCOMPARE(rig.pty.read(3), QByteArray("QT\r"));
    QVERIFY(messages.isEmpty());
}

void TestMSComm::exchangeWhenFarEndGone() {
    PtyRig rig;
    QVERIFY(rig.pty.ok());
    rig.settings.ComReTry = 3;
    MSComm comm;
    QVERIFY(rig.openComm(comm));
    SystemClock clock;
    QStringList messages;
    Link link(rig.settings, clock, [&](const QString& m) { messages << m; });
    link.setPort(&comm);

    rig.pty.closeMaster();
    link.CMM_TRNA(QStringLiteral("QT"), link.RecBuf);
    QCOMPARE(link.RecBuf, QStringLiteral("ERROR"));
    QCOMPARE(messages, QStringList{MsgNotConnected});
    QCOMPARE(link.ComStatus, qint16(99));
    QVERIFY(!comm.PortOpen());
}

void TestMSComm::receiveEvent() {
    PtyRig rig;
    QVERIFY(rig.pty.ok());
    MSComm comm;
    QVERIFY(rig.openComm(comm));
    QList<int> events;
    QList<int> waiting;
    connect(&comm, &MSComm::OnComm, this, [&] {
        events << comm.CommEvent();
        waiting << comm.InBufferCount();
        comm.Input();
    });

    rig.pty.write("12*\r");
    QTRY_COMPARE(events.size(), 1);
    QCOMPARE(events.first(), int(comEvReceive));
    QVERIFY(waiting.first() > 0);
}

void TestMSComm::receiveEventHeldDuringExchange() {
    PtyRig rig;
    QVERIFY(rig.pty.ok());
    MSComm comm;
    QVERIFY(rig.openComm(comm));
    int events = 0;
    connect(&comm, &MSComm::OnComm, this, [&] { ++events; });

    // Characters read by the exchange itself leave nothing to report.
    comm.SetExchangeActive(true);
    rig.pty.write("0312\r");
    QVERIFY(waitForBytes(comm, 5));
    QTest::qWait(100); // a pump running the queue delivers nothing
    QCOMPARE(comm.Input(), QByteArray("0312\r"));
    comm.SetExchangeActive(false);
    QTest::qWait(200);
    QCOMPARE(events, 0);

    // Characters that came during the exchange and are still waiting are
    // reported once it is over, through the queue.
    comm.SetExchangeActive(true);
    rig.pty.write("1*\r");
    QVERIFY(waitForBytes(comm, 3));
    QTest::qWait(100);
    QCOMPARE(events, 0);
    comm.SetExchangeActive(false);
    QCOMPARE(events, 0); // not from inside the call
    QTRY_COMPARE(events, 1);
    QCOMPARE(comm.InBufferCount(), 3);

    // Reported before the exchange began but not yet delivered: the event
    // waits for the end of the exchange even if the queue runs meanwhile.
    QCOMPARE(comm.Input(), QByteArray("1*\r"));
    rig.pty.write("3*\r");
    QVERIFY(waitForBytes(comm, 3)); // readyRead here posts the event
    comm.SetExchangeActive(true);
    QTest::qWait(100);
    QCOMPARE(events, 1);
    comm.SetExchangeActive(false);
    QTRY_COMPARE(events, 2);
    QCOMPARE(comm.Input(), QByteArray("3*\r"));

    // Arriving while the event loop runs during an exchange: held as well.
    comm.SetExchangeActive(true);
    rig.pty.write("2*\r");
    QTRY_COMPARE(comm.InBufferCount(), 3);
    QCOMPARE(events, 2);
    comm.SetExchangeActive(false);
    QTRY_COMPARE(events, 3);
}

QTEST_GUILESS_MAIN(TestMSComm)
#include "tst_mscomm.moc"
