// SPDX-License-Identifier: MIT
// The comm component: settings strings, port paths, COM_Init, and the real
// QSerialPort path on a pseudo-terminal made here with openpty.
#include "mscomm.h"
#include "portreport.h"

#include <QTemporaryDir>
#include <QtTest>

#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

using namespace morvane;

namespace {

// The far end of a pseudo-terminal; the near end is reached through a link
// COM3 in a temporary start-up directory, beside a dangling COM5.
struct PtyRig {
    int master = -1;
    int heldSlave = -1;
    QString slavePath;
    QTemporaryDir appDir;
    SysSettingsRecord settings;

    PtyRig() {
        int slave = -1;
        if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
            return;
        slavePath = QString::fromLocal8Bit(::ptsname(master));
        // Held open in raw mode, so that bytes written now wait in the
        // terminal until the component opens it.
        termios t{};
        ::tcgetattr(slave, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(slave, TCSANOW, &t);
        heldSlave = slave;
        QFile::link(slavePath, appDir.filePath("COM3"));
        QFile::link(appDir.filePath("gone"), appDir.filePath("COM5"));
        settings.COMPORT = 3;
    }
    ~PtyRig() {
        ::close(master);
        ::close(heldSlave);
    }
    qint16 open(MSComm& comm, qint16 port = 3) {
        comm.setAppDir(appDir.path());
        settings.COMPORT = port;
        return COM_Init(comm, settings);
    }
    // Reads n bytes from the far end, giving up after about two seconds.
    QByteArray read(int n) {
        QByteArray got;
        for (int i = 0; i < 20 && got.size() < n; ++i) {
            pollfd p{master, POLLIN, 0};
            char buf[64];
            if (::poll(&p, 1, 100) > 0)
                got.append(buf, std::max<ssize_t>(::read(master, buf, sizeof buf), 0));
        }
        return got;
    }
};

bool waitForBytes(MSComm& comm, int count) {
    for (QDeadlineTimer deadline(2000); comm.InBufferCount() < count && !deadline.hasExpired();)
        comm.waitForInput(100);
    return comm.InBufferCount() >= count;
}

} // namespace

class TstMSComm : public QObject {
    Q_OBJECT
private slots:
    void parseSettings_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<int>>("line"); // baud, parity, data bits, stop bits; empty: refused
        using P = QSerialPort;
        const auto add = [](const char* text, const QList<int>& line) {
            QTest::newRow(text) << QString::fromUtf8(text) << line;
        };
        add(" 9600,N,8,1", {9600, P::NoParity, 8, P::OneStop});
        add("300,o,5,1.5", {300, P::OddParity, 5, P::OneAndHalfStop});
        add(" 115200,M,6,2", {115200, P::MarkParity, 6, P::TwoStop});
        for (const char* bad : {" 9600,N,8", "  9600,N,8,1", " 0,N,8,1", " 99999999999,N,8,1",
                                " 9600,X,8,1", " 9600,N,9,1", " ９６００,N,8,1"})
            add(bad, {});
    }
    void parseSettings() {
        QFETCH(QString, text);
        QFETCH(QList<int>, line);
        LineSettings out;
        out.baud = 4711; // a refused string changes nothing
        QCOMPARE(parseCommSettings(text, out), !line.isEmpty());
        if (line.isEmpty())
            line = {4711, QSerialPort::NoParity, 8, QSerialPort::OneStop};
        QCOMPARE((QList<int>{out.baud, out.parity, out.dataBits, out.stopBits}), line);
    }

    void settingsStringAndPaths() {
        SysSettingsRecord s;
        s.BAUDRATE = -300;
        s.PARITY = QStringLiteral("e");
        QCOMPARE(commSettingsString(SysSettingsRecord{}) + commSettingsString(s),
                 QStringLiteral(" 9600,N,8,1-300,e,8,1"));
        PtyRig rig; // COM3 and a dangling COM5 there; no COM4
        QCOMPARE(portPathFor(4, rig.appDir.path()) + portPathFor(0, rig.appDir.path()),
                 QStringLiteral("/dev/ttyS3"));
        QCOMPARE(portPathFor(5, rig.appDir.path()), rig.appDir.filePath("COM5"));
    }

    void openExchangeAndGoAway() {
        PtyRig rig;
        QVERIFY(rig.master >= 0);
        QCOMPARE(::write(rig.master, "stale", 5), 5); // from before the open: never a reply
        MSComm comm;
        rig.settings.BITS = 9;
        QCOMPARE(rig.open(comm), qint16(99));
        rig.settings.BITS = 8;
        rig.settings.PARITY = QStringLiteral("E");
        for (qint16 refused : {0, 5})
            QCOMPARE(rig.open(comm, refused), qint16(99));
        QVERIFY(!comm.PortOpen());
        QCOMPARE(rig.open(comm), qint16(0));
        QCOMPARE(comm.portPath(), rig.appDir.filePath("COM3"));
        QCOMPARE(comm.findChild<QSerialPort*>()->parity(), QSerialPort::EvenParity);
        QVERIFY(!comm.waitForInput(100));
        QCOMPARE(comm.InBufferCount(), 0);

        comm.Output("QT\r");
        QCOMPARE(rig.read(3), QByteArray("QT\r"));
        QCOMPARE(::write(rig.master, "0312\r", 5), 5);
        QVERIFY(waitForBytes(comm, 5));
        QCOMPARE(comm.Input(), QByteArray("0312\r"));
        MSComm second; // a busy port does not open twice
        QCOMPARE(rig.open(second), qint16(99));

        // The far end goes away: the port closes at the first report, so the
        // event loop sees no stream of errors and waits do not spin.
        int lineErrors = 0;
        connect(comm.findChild<QSerialPort*>(), &QSerialPort::errorOccurred, this,
                [&](QSerialPort::SerialPortError e) {
                    lineErrors += e == QSerialPort::ReadError || e == QSerialPort::ResourceError;
                });
        ::close(std::exchange(rig.master, -1));
        for (QDeadlineTimer deadline(2000); !comm.failed() && !deadline.hasExpired();)
            comm.waitForInput(100);
        QVERIFY(comm.failed() && !comm.PortOpen() && !comm.waitForInput(100));
        QTest::qWait(200);
        QCOMPARE(lineErrors, 1);
    }

    void receiveEventHeldDuringExchange() {
        PtyRig rig;
        MSComm comm;
        QCOMPARE(rig.open(comm), qint16(0));
        QList<int> events;
        connect(&comm, &MSComm::OnComm, this, [&] { events << comm.CommEvent(); });
        // Read during an exchange and still waiting when it ends: reported
        // then, through the queue, and never while it runs.
        comm.setExchangeActive(true);
        QCOMPARE(::write(rig.master, "1*\r", 3), 3);
        QVERIFY(waitForBytes(comm, 3));
        QTest::qWait(100); // a pump running the queue delivers nothing
        comm.setExchangeActive(false);
        QVERIFY(events.isEmpty()); // not from inside the call
        QTRY_COMPARE(events, QList<int>{kComEvReceive});
        QCOMPARE(comm.Input(), QByteArray("1*\r"));
        // Posted before an exchange began: it waits for the end.
        QCOMPARE(::write(rig.master, "3*\r", 3), 3);
        QVERIFY(waitForBytes(comm, 3));
        comm.setExchangeActive(true);
        QTest::qWait(100);
        QCOMPARE(events.size(), 1);
        comm.setExchangeActive(false);
        QTRY_COMPARE(events.size(), 2);
    }

    // What the port boxes add: the facts the system gives, then the text.
    void portFactsAndReport() {
        PtyRig rig;
        MSComm comm, second;
        const auto facts = [&](qint16 port, qint16 bits = 8) {
            rig.settings.COMPORT = port;
            rig.settings.BITS = bits;
            return portFacts(comm, rig.settings, rig.appDir.path());
        };
        QCOMPARE(rig.open(comm), qint16(0));
        QVERIFY(facts(3).open && facts(3).linkTarget == rig.slavePath);
        QCOMPARE(rig.open(second), qint16(99));
        QCOMPARE(portFacts(second, rig.settings, rig.appDir.path()).trouble, PortTrouble::kBusy);
        QCOMPARE(rig.open(second, 5), qint16(99));
        QCOMPARE(portFacts(second, rig.settings, rig.appDir.path()).trouble, PortTrouble::kMissing);
        QCOMPARE(facts(0).trouble, PortTrouble::kNoNumber);
        QCOMPARE(facts(3, 9).trouble, PortTrouble::kBadSettings);

        PortFacts f{.number = 3,
                    .path = "/a b/COM3",
                    .linkTarget = "/dev/ttyUSB0",
                    .trouble = PortTrouble::kDenied,
                    .deniedGroup = "dialout",
                    .appDir = "/a b",
                    .ports = {{"/dev/ttyS0", "", ""}, {"/dev/ttyUSB0", "FT232R", "dialout"}}};
        QCOMPARE(portReport(f),
                 "COM3 は /a b/COM3 → /dev/ttyUSB0 です。開く権限がありません（グループ dialout "
                 "のメンバーが開けます）。\nこのコンピューターのシリアルポート: /dev/ttyS0、"
                 "/dev/ttyUSB0（FT232R）\nCOM3 を開けるようにするには: sudo adduser $USER "
                 "dialout（このあとログインし直してください）");
        f.trouble = PortTrouble::kMissing; // another port then, not the group
        QVERIFY(portReport(f).endsWith("COM3 にするには: ln -sfn /dev/ttyS0 '/a b/COM3'"));
        f = {.number = 1, .path = "/dev/ttyUSB0", .open = true, .ports = {{"/dev/ttyUSB0"}}};
        QCOMPARE(portReport(f), "COM1 は /dev/ttyUSB0 "
                                "です。ポートは開いていますが、Morvane が応答しません。\n"
                                "このコンピューターのシリアルポート: /dev/ttyUSB0");
        f = {.number = 0, .trouble = PortTrouble::kNoNumber};
        QCOMPARE(portReport(f), "COM0 というポートはありません。\n"
                                "このコンピューターにはシリアルポートが見つかりません。");
    }
};

QTEST_GUILESS_MAIN(TstMSComm)
#include "tst_mscomm.moc"
