// The comm component: settings strings, port paths, COM_Init, and the real
// thing on a pseudo-terminal made here with openpty.
#include "exchange.h"
#include "mscomm.h"

#include <QFile>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

using namespace morvane;

namespace {

// The far end of a pseudo-terminal; the near end is reached through a link
// COM3 in a temporary start-up directory.
struct PtyRig {
    int master = -1, heldSlave = -1;
    QString slavePath;
    QTemporaryDir appDir;
    SysSettingsRecord settings;

    PtyRig() {
        int slave = -1;
        if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
            return;
        slavePath = QString::fromLocal8Bit(::ptsname(master));
        ::close(slave);
        QFile::link(slavePath, appDir.filePath(QStringLiteral("COM3")));
        QFile::link(appDir.filePath(QStringLiteral("gone")),
                    appDir.filePath(QStringLiteral("COM5")));
        settings.COMPORT = 3;
    }
    ~PtyRig() {
        closeMaster();
        ::close(heldSlave);
    }
    bool ok() const { return master >= 0 && appDir.isValid(); }

    // Keeps the near end open in raw mode, so that bytes written now wait in
    // the terminal until the component opens it.
    bool holdSlave() {
        heldSlave = ::open(slavePath.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        termios t{};
        if (heldSlave < 0 || ::tcgetattr(heldSlave, &t) != 0)
            return false;
        ::cfmakeraw(&t);
        return ::tcsetattr(heldSlave, TCSANOW, &t) == 0;
    }
    void write(const QByteArray& b) {
        QCOMPARE(::write(master, b.constData(), b.size()), b.size());
    }
    // Reads n bytes from the master side, giving up after about two seconds.
    QByteArray read(int n) {
        QByteArray got(n, '\0');
        qsizetype have = 0;
        for (int i = 0; i < 20 && have < n; ++i) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 100) > 0)
                have += std::max<ssize_t>(::read(master, got.data() + have, n - have), 0);
        }
        return got.left(have);
    }
    void closeMaster() { ::close(std::exchange(master, -1)); }
    bool open(MSComm& comm) {
        comm.setAppDir(appDir.path());
        return COM_Init(comm, settings) == 0;
    }
};

// Waits for count bytes to be waiting in the component, via WaitForInput.
bool waitForBytes(MSComm& comm, int count) {
    QDeadlineTimer deadline(2000);
    while (comm.InBufferCount() < count && !deadline.hasExpired())
        comm.WaitForInput(100);
    return comm.InBufferCount() >= count;
}

} // namespace

class TestMSComm : public QObject {
    Q_OBJECT
private slots:
    void parseSettings_data();
    void parseSettings();
    void settingsStringAndPath();
    void initFails_data();
    void initFails();
    void openOutputInputGone();
    void receiveEventHeldDuringExchange();
};

void TestMSComm::parseSettings_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("line"); // baud, parity, data bits, stop bits; empty: refused
    const auto add = [](const char* text, const QList<int>& line) {
        QTest::newRow(text) << QString::fromUtf8(text) << line;
    };
    using P = QSerialPort;
    add(" 9600,N,8,1", {9600, P::NoParity, 8, P::OneStop});
    add("19200,e,7,2", {19200, P::EvenParity, 7, P::TwoStop});
    add("300,O,5,1.5", {300, P::OddParity, 5, P::OneAndHalfStop});
    add(" 115200,M,6,1", {115200, P::MarkParity, 6, P::OneStop});
    add(" 1,s,8,1", {1, P::SpaceParity, 8, P::OneStop});
    for (const char* bad :
         {"", " 9600,N,8", "  9600,N,8,1", " 0,N,8,1", " 99999999999,N,8,1", " 9600,X,8,1",
          " 9600,N,9,1", " 9600,N,8,3", " 9600,N,8,1 ", " ９６００,N,8,1"})
        add(bad, {});
}

void TestMSComm::parseSettings() {
    QFETCH(QString, text);
    QFETCH(QList<int>, line);

    LineSettings out;
    out.baud = 4711; // a refused string changes nothing
    QCOMPARE(ParseCommSettings(text, out), !line.isEmpty());
    if (line.isEmpty())
        line = {4711, QSerialPort::NoParity, 8, QSerialPort::OneStop};
    QCOMPARE((QList<int>{out.baud, out.parity, out.dataBits, out.stopBits}), line);
}

void TestMSComm::settingsStringAndPath() {
    SysSettingsRecord s;
    QCOMPARE(CommSettingsString(s), QStringLiteral(" 9600,N,8,1"));
    s.BAUDRATE = -300;
    s.PARITY = QStringLiteral("e");
    QCOMPARE(CommSettingsString(s), QStringLiteral("-300,e,8,1"));

    QTemporaryDir dir;
    QVERIFY(QFile::link(QStringLiteral("/dev/null"), dir.filePath(QStringLiteral("COM3"))));
    QVERIFY(
        QFile::link(dir.filePath(QStringLiteral("gone")), dir.filePath(QStringLiteral("COM5"))));
    QCOMPARE(PortPathFor(3, dir.path()), dir.filePath(QStringLiteral("COM3")));
    QCOMPARE(PortPathFor(5, dir.path()),
             dir.filePath(QStringLiteral("COM5"))); // dangling
    QCOMPARE(PortPathFor(4, dir.path()), QStringLiteral("/dev/ttyS3"));
    QCOMPARE(PortPathFor(0, dir.path()), QString());
}

void TestMSComm::initFails_data() {
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("bits");
    QTest::addColumn<QString>("parity");
    QTest::newRow("dangling link") << 5 << 8 << "N";
    QTest::newRow("port 0") << 0 << 8 << "N";
    QTest::newRow("nine data bits") << 3 << 9 << "N";
    QTest::newRow("unknown parity") << 3 << 8 << "X";
}

void TestMSComm::initFails() {
    QFETCH(int, port);
    QFETCH(int, bits);
    QFETCH(QString, parity);

    PtyRig rig; // COM3 would open, COM5 is a dangling link
    QVERIFY(rig.ok());
    MSComm comm;
    comm.setAppDir(rig.appDir.path());
    SysSettingsRecord bad;
    bad.COMPORT = static_cast<qint16>(port);
    bad.BITS = static_cast<qint16>(bits);
    bad.PARITY = parity;
    QCOMPARE(COM_Init(comm, bad), qint16(99));
    QVERIFY(!comm.PortOpen());
    // The same component opens once the settings are usable again.
    QVERIFY(rig.open(comm));
}

void TestMSComm::openOutputInputGone() {
    PtyRig rig;
    QVERIFY(rig.ok());
    QVERIFY(rig.holdSlave());
    rig.write("stale"); // left over from before the open: never part of
                        // a reply
    MSComm comm;
    QVERIFY(rig.open(comm));
    QVERIFY(!comm.WaitForInput(100));
    QCOMPARE(comm.InBufferCount(), 0);

    comm.Output("QT\r");
    QCOMPARE(rig.read(3), QByteArray("QT\r"));
    rig.write("0312\r");
    QVERIFY(waitForBytes(comm, 5));
    QCOMPARE(comm.Input(), QByteArray("0312\r"));
    QCOMPARE(comm.InBufferCount(), 0);

    // A second component cannot take the busy port.
    MSComm second;
    QVERIFY(!rig.open(second));
    QVERIFY(!second.PortOpen());

    // The far end goes away: the port closes at the first report, so
    // the event loop sees no stream of errors and waits do not spin.
    int lineErrors = 0;
    connect(comm.findChild<QSerialPort*>(), &QSerialPort::errorOccurred, this,
            [&](QSerialPort::SerialPortError e) {
                lineErrors += e == QSerialPort::ReadError || e == QSerialPort::ResourceError;
            });
    rig.closeMaster();
    QDeadlineTimer deadline(2000);
    while (!comm.Failed() && !deadline.hasExpired())
        comm.WaitForInput(100);
    QVERIFY(comm.Failed());
    QVERIFY(!comm.PortOpen());
    QVERIFY(!comm.WaitForInput(100));
    QTest::qWait(200);
    QCOMPARE(lineErrors, 1);
}

void TestMSComm::receiveEventHeldDuringExchange() {
    PtyRig rig;
    QVERIFY(rig.ok());
    MSComm comm;
    QVERIFY(rig.open(comm));
    QList<int> events;
    connect(&comm, &MSComm::OnComm, this, [&] { events << comm.CommEvent(); });

    // Read during an exchange (as its wait does) and still waiting when
    // it ends: reported then, through the queue, and never while it
    // runs.
    comm.SetExchangeActive(true);
    rig.write("1*\r");
    QVERIFY(waitForBytes(comm, 3));
    QTest::qWait(100); // a pump running the queue delivers nothing
    QVERIFY(events.isEmpty());
    comm.SetExchangeActive(false);
    QVERIFY(events.isEmpty()); // not from inside the call
    QTRY_COMPARE(events, QList<int>{comEvReceive});
    QCOMPARE(comm.Input(), QByteArray("1*\r"));

    // Posted before the exchange began: it waits for the end even if
    // the queue runs meanwhile.
    rig.write("3*\r");
    QVERIFY(waitForBytes(comm, 3)); // readyRead here posts the event
    comm.SetExchangeActive(true);
    QTest::qWait(100);
    QCOMPARE(events.size(), 1);
    comm.SetExchangeActive(false);
    QTRY_COMPARE(events.size(), 2);
}

QTEST_GUILESS_MAIN(TestMSComm)
#include "tst_mscomm.moc"
