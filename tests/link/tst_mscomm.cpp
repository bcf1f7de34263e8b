// SPDX-License-Identifier: MIT
// The comm component: settings strings, port paths, COM_Init, and the real
// QSerialPort path on a pseudo-terminal made here with openpty.
#include "cominit.h"
#include "fakeline.h"
#include "mscomm.h"
#include "portreport.h"
#include "testdata.h"

#include <QTemporaryDir>
#include <QtTest>

#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

using namespace morvane;
using namespace morvane::test;

Q_DECLARE_METATYPE(PortFacts)

namespace {

// The far end of a pseudo-terminal; the near end is reached through links
// COM3 and COM4 in a temporary start-up directory, beside a dangling COM5.
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
        QFile::link(slavePath, appDir.filePath("COM4"));
        QFile::link(appDir.filePath("gone"), appDir.filePath("COM5"));
        settings.COMPORT = 3;
    }
    ~PtyRig() {
        ::close(master);
        ::close(heldSlave);
    }
    qint16 open(MSComm& comm, qint16 port = 3) {
        settings.COMPORT = port;
        return COM_Init(comm, settings, appDir.path());
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

PortHolder thisProcess() {
    return {QCoreApplication::applicationPid(), QCoreApplication::applicationName()};
}

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
        PtyRig rig; // COM3, COM4 and a dangling COM5 there; no COM6
        QCOMPARE(portPathFor(6, rig.appDir.path()), QStringLiteral("/dev/ttyS5"));
        QCOMPARE(portPathFor(0, rig.appDir.path()), QString());
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
        QCOMPARE(comm.lastAttempt().path, rig.appDir.filePath("COM3"));
        QCOMPARE(comm.lastAttempt().device, rig.slavePath);
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

    // What the port boxes add: the facts the system gives.
    void portFacts() {
        PtyRig rig;
        MSComm comm, second;
        const auto facts = [&](qint16 port, qint16 bits = 8) {
            rig.settings.COMPORT = port;
            rig.settings.BITS = bits;
            return morvane::portFacts(comm, rig.settings, rig.appDir.path());
        };
        QCOMPARE(rig.open(comm), qint16(0));
        QVERIFY(facts(3).open && facts(3).linkTarget == rig.slavePath);
        QCOMPARE(rig.open(second, 4), qint16(99)); // the same device through another link
        const PortFacts busy = morvane::portFacts(second, rig.settings, rig.appDir.path());
        QCOMPARE(busy.trouble, PortTrouble::kBusy);
        QCOMPARE(busy.holder, thisProcess());
        QCOMPARE(busy.holderNow, std::optional(thisProcess()));
        QCOMPARE(rig.open(second, 5), qint16(99));
        QCOMPARE(morvane::portFacts(second, rig.settings, rig.appDir.path()).trouble,
                 PortTrouble::kMissing);
        QCOMPARE(facts(0).trouble, PortTrouble::kNoNumber);
        QCOMPARE(facts(3, 9).trouble, PortTrouble::kBadSettings);
        comm.setPortOpen(false); // let go: the busy port is free now
        QCOMPARE(morvane::portFacts(second, rig.settings, rig.appDir.path()).holderNow,
                 std::nullopt);
    }

    // A port is held by the device it reaches, against this process too
    // (root ignores the exclusive-open flag; the lock binds everyone). A dead
    // holder's lock file is taken over; a live one's is respected and named.
    void oneOwnerPerDevice() {
        PtyRig rig;
        MSComm first, second;
        QCOMPARE(rig.open(first, 4), qint16(0));
        QCOMPARE(rig.open(second, 3), qint16(99));
        QCOMPARE(second.lastAttempt().holder, thisProcess());
        first.setPortOpen(false);
        QCOMPARE(rig.open(second, 3), qint16(0));
        second.setPortOpen(false);

        const QString lockFile = "/run/lock/" + lockFileName(rig.slavePath);
        if (!QFileInfo(lockFile).dir().exists() || !QFileInfo(lockFile).dir().isReadable())
            QSKIP("no /run/lock here");
        QProcess sleeper;
        sleeper.start("sleep", {"30"});
        QVERIFY(sleeper.waitForStarted());
        for (auto [pid, opens] :
             {std::pair{qint64(999'999'999), true}, {sleeper.processId(), false}}) {
            QVERIFY(putFile(lockFile, QByteArray::number(pid) + "\nsleep\n\n"));
            QCOMPARE(rig.open(first, 3), opens ? qint16(0) : qint16(99));
            first.setPortOpen(false);
        }
        QCOMPARE(first.lastAttempt().trouble, PortTrouble::kBusy);
        QCOMPARE(first.lastAttempt().holder, (PortHolder{sleeper.processId(), "sleep"}));
        QFile::remove(lockFile);
        sleeper.kill();
        sleeper.waitForFinished();
    }

    // Waiting for a busy port: given up after the wait, or opened once the
    // holder lets go, sleeping in between rather than spinning.
    void waitForAFreePort() {
        PtyRig rig;
        MSComm holder, waiter;
        QCOMPARE(rig.open(holder), qint16(0));
        FakeClock clock;
        const qint64 start = clock.now();
        QCOMPARE(COM_InitWhenFree(waiter, rig.settings, rig.appDir.path(), 1000, clock),
                 qint16(99));
        QCOMPARE(clock.now() - start, 1000);
        QCOMPARE(clock.sleepCalls, 4);
        QCOMPARE(COM_InitWhenFree(waiter, rig.settings, rig.appDir.path(), 0, clock), qint16(99));
        QCOMPARE(clock.sleepCalls, 4);
        // A missing port is not waited for.
        rig.settings.COMPORT = 5;
        QCOMPARE(COM_InitWhenFree(waiter, rig.settings, rig.appDir.path(), 1000, clock),
                 qint16(99));
        QCOMPARE(clock.sleepCalls, 4);
        rig.settings.COMPORT = 3;
        QTimer::singleShot(0, [&] { holder.setPortOpen(false); });
        clock.onSleep = [] { QCoreApplication::processEvents(); };
        QCOMPARE(COM_InitWhenFree(waiter, rig.settings, rig.appDir.path(), 1000, clock), qint16(0));
        QCOMPARE(clock.sleepCalls, 5);
    }

    void lockFileNames_data() {
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("name");
        QTest::newRow("/dev") << "/dev/ttyUSB0"
                              << "LCK..ttyUSB0";
        QTest::newRow("pty") << "/dev/pts/7"
                             << "LCK..pts_7";
        QTest::newRow("elsewhere") << "/home/u/COM1"
                                   << "LCK.._home_u_COM1";
    }
    void lockFileNames() {
        QFETCH(QString, device);
        QTEST(lockFileName(device), "name");
    }

    // The holder of a whole-file lock on device 0:5 inode 87, from the
    // system's lock table.
    void lockTable_data() {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<qint64>("pid");
        QTest::newRow("held") << QByteArray("1: POSIX  ADVISORY  WRITE 11 00:05:87 0 EOF\n"
                                            "2: FLOCK  ADVISORY  WRITE 4711 00:05:87 0 EOF\n")
                              << qint64(4711);
        QTest::newRow("another inode")
            << QByteArray("1: FLOCK  ADVISORY  WRITE 4711 00:05:870 0 EOF") << qint64(0);
        QTest::newRow("another device")
            << QByteArray("1: FLOCK  ADVISORY  WRITE 4711 00:15:87 0 EOF") << qint64(0);
        QTest::newRow("only waiting")
            << QByteArray("1: -> FLOCK  ADVISORY  WRITE 4711 00:05:87 0 EOF") << qint64(0);
        QTest::newRow("garbled") << QByteArray("1: FLOCK  ADVISORY  WRITE x 00:05:87 0 EOF\n\0\xff")
                                 << qint64(0);
    }
    void lockTable() {
        QFETCH(QByteArray, table);
        QTEST(flockHolderIn(table, 0, 5, 87), "pid");
    }

    // The report's text in the window's language and in the command line's.
    void reports_data() {
        QTest::addColumn<PortFacts>("facts");
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("text");
        const QList<ListedPort> two = {{"/dev/ttyS0", "", ""},
                                       {"/dev/ttyUSB0", "FT232R", "dialout"}};
        const PortFacts denied{.number = 3,
                               .path = "/a b/COM3",
                               .linkTarget = "/dev/ttyUSB0",
                               .trouble = PortTrouble::kDenied,
                               .deniedGroup = "dialout",
                               .appDir = "/a b",
                               .ports = two};
        const auto row = [](const char* tag, const PortFacts& f, Language l, const QString& text) {
            QTest::newRow(tag) << f << int(l) << text;
        };
        const auto ja = Language::kJapanese;
        const auto en = Language::kEnglish;
        const QString jaPorts =
            "\nこのコンピューターのシリアルポート: /dev/ttyS0、/dev/ttyUSB0（FT232R）";
        const QString enPorts =
            "\nSerial ports of this computer: /dev/ttyS0, /dev/ttyUSB0 (FT232R)";
        row("denied", denied, ja,
            "COM3 は /a b/COM3 → /dev/ttyUSB0 です。開く権限がありません（グループ dialout "
            "のメンバーが開けます）。" +
                jaPorts +
                "\nCOM3 を開けるようにするには: sudo adduser $USER "
                "dialout（このあとログインし直してください）");
        PortFacts f = denied;
        f.trouble = PortTrouble::kMissing; // another port then, not the group
        row("missing", f, en,
            "COM3 is /a b/COM3 → /dev/ttyUSB0. There is no such device." + enPorts +
                "\nTo make /dev/ttyS0 COM3: ln -sfn /dev/ttyS0 '/a b/COM3'");
        // A port in use, or one that works, is no reason to change a link.
        f.trouble = PortTrouble::kNone;
        f.open = true;
        row("silent", f, ja,
            "COM3 は /a b/COM3 → /dev/ttyUSB0 です。ポートは開いていますが、Morvane "
            "が応答しません。" +
                jaPorts);
        f.open = false;
        f.trouble = PortTrouble::kGone;
        row("gone", f, en,
            "COM3 is /a b/COM3 → /dev/ttyUSB0. The device went away while in use (unplugged, or "
            "closed at the far end)." +
                enPorts);
        f.trouble = PortTrouble::kBusy;
        f.holder = {4711, "morvane-cli"};
        row("busy", f, en,
            "COM3 is /a b/COM3 → /dev/ttyUSB0. Now another program (morvane-cli, process 4711) is "
            "using it. Close that program or let it finish, then try again." +
                enPorts);
        row("busy, ja", f, ja,
            "COM3 は /a b/COM3 → /dev/ttyUSB0 です。ほかのプログラム（morvane-cli、プロセス番号 "
            "4711）が使っています。そのプログラムを終了するか閉じてから、もう一度試してください。" +
                jaPorts);
        f.triedEarlier = f.triedAtStartUp = true;
        f.triedAt = QTime(9, 5, 7);
        row("busy at start-up, free now", f, ja,
            "COM3 は /a b/COM3 → /dev/ttyUSB0 です。起動したとき（09:05:07）、ほかのプログラム"
            "（morvane-cli、プロセス番号 4711）が使っていました。今は使われていません。「<System>」"
            "画面で「決　定」を押すとポートを開きます。" +
                jaPorts);
        f.triedAtStartUp = false;
        f.holder = {};
        f.holderNow = PortHolder{99, "morvane"};
        row("busy earlier, still", f, ja,
            "COM3 は /a b/COM3 → /dev/ttyUSB0 です。09:05:07 に開こうとしたとき、ほかのプログラムが"
            "使っていました。今もほかのプログラム（morvane、プロセス番号 99）が使っています。"
            "そのプログラムを終了するか閉じてから、「<System>」画面で「決　定」を押してください。" +
                jaPorts);
        row("no number", {.number = 0, .trouble = PortTrouble::kNoNumber}, en,
            "There is no port COM0: port numbers start at 1.\nThis computer shows no serial port.\n"
            "Set COMPORT in Morvane.SYS to 1 or more (the window's system panel does it).");
    }
    void reports() {
        QFETCH(PortFacts, facts);
        QFETCH(int, language);
        QTEST(portReport(facts, Language(language)), "text");
    }
};

QTEST_GUILESS_MAIN(TstMSComm)
#include "tst_mscomm.moc"
