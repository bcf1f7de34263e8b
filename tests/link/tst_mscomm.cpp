// SPDX-License-Identifier: MIT
// The comm component, its device lock and port report, over a pseudo-terminal.
#include "cominit.h"
#include "fakeline.h"
#include "portreport.h"
#include "testdata.h"

#include <QtTest>

#include <poll.h>
#include <pty.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

using namespace morvane;
using namespace morvane::test;
using namespace Qt::StringLiterals;

namespace {

// The far end of a pseudo-terminal; in a temporary start-up directory COM3
// links to the near end, COM4 to COM3; COM5 dangles, COM6 is a folder.
struct PtyRig {
    int master = -1, slave = -1;
    QString slavePath;
    QTemporaryDir appDir;
    SysSettingsRecord settings;

    PtyRig() {
        termios raw{}; // the near end held open raw: bytes written now wait there
        ::cfmakeraw(&raw);
        if (::openpty(&master, &slave, nullptr, &raw, nullptr) != 0)
            return;
        slavePath = QString::fromLocal8Bit(::ptsname(master));
        QFile::link(slavePath, appDir.filePath("COM3"));
        QFile::link(appDir.filePath("COM3"), appDir.filePath("COM4"));
        QFile::link(appDir.filePath("gone"), appDir.filePath("COM5"));
        QFile::link(appDir.path(), appDir.filePath("COM6"));
    }
    ~PtyRig() {
        ::close(master);
        ::close(slave);
    }
    qint16 open(MSComm& comm, qint16 port = 3) {
        settings.COMPORT = port;
        return COM_Init(comm, settings, appDir.path());
    }
    PortFacts facts(const MSComm& comm) { return portFacts(comm, settings, appDir.path()); }
    // What the component wrote, read at the far end within two seconds.
    QByteArray read() {
        char buf[64];
        pollfd p{master, POLLIN, 0};
        const ssize_t n = ::poll(&p, 1, 2000) > 0 ? ::read(master, buf, sizeof buf) : 0;
        return QByteArray(buf, std::max<ssize_t>(n, 0));
    }
    // Writes at the far end; true once the component has all of it waiting.
    bool send(MSComm& comm, const QByteArray& bytes) {
        const bool written = ::write(master, bytes.constData(), bytes.size()) == bytes.size();
        for (QDeadlineTimer end(2000); comm.InBufferCount() < bytes.size() && !end.hasExpired();)
            comm.waitForInput(100);
        return written && comm.InBufferCount() >= bytes.size();
    }
};

} // namespace

Q_DECLARE_METATYPE(PortFacts)

class TstMSComm : public QObject {
    Q_OBJECT
private slots:
    void parseSettings_data() {
        using P = QSerialPort;
        columns<QString, bool, qint32, P::Parity, P::DataBits, P::StopBits>(
            {"text", "ok", "baud", "parity", "bits", "stops"});
        row("lowest, no blank", "1,o,5,1.5", true, 1, P::OddParity, P::Data5, P::OneAndHalfStop);
        row("highest", " 2147483647,M,6,2", true, 2147483647, P::MarkParity, P::Data6, P::TwoStop);
        row("space", " 9600,s,7,1", true, 9600, P::SpaceParity, P::Data7, P::OneStop);
        const auto refused = [](const char* tag, const char* text) { // the line stays as it was
            row(tag, text, false, 4711, P::NoParity, P::Data8, P::OneStop);
        };
        refused("three fields", " 9600,N,8");
        refused("two blanks", "  9600,N,8,1");
        refused("speed 0", " 0,N,8,1");
        refused("speed too high", " 2147483648,N,8,1");
        refused("parity X", " 9600,X,8,1");
        refused("9 bits", " 9600,N,9,1");
        refused("stop 3", " 9600,N,8,3");
    }
    void parseSettings() {
        QFETCH(QString, text);
        LineSettings out;
        out.baud = 4711;
        QTEST(parseCommSettings(text, out), "ok");
        QTEST(out.baud, "baud");
        QTEST(out.parity, "parity");
        QTEST(out.dataBits, "bits");
        QTEST(out.stopBits, "stops");
    }

    void namesAndPaths() {
        MSComm comm; // the control's properties refuse what it would
        QVERIFY(!comm.setInputLen(-1));
        QVERIFY(!comm.setRThreshold(-1));
        QVERIFY(!comm.setHandshaking(-1) && !comm.setHandshaking(4));
        QVERIFY(!comm.setCommPort(0));
        QVERIFY(!comm.waitForInput(10)); // closed
        QCOMPARE(commSettingsString({}), u" 9600,N,8,1"_s);
        QCOMPARE(commSettingsString({.BAUDRATE = 0}), u" 0,N,8,1"_s);
        // A sign takes the blank's place.
        QCOMPARE(commSettingsString({.BAUDRATE = -300, .PARITY = u"e"_s}), u"-300,e,8,1"_s);
        PtyRig rig; // COM3, COM4 and a dangling COM5 there; no COM1
        QCOMPARE(portPathFor(1, rig.appDir.path()), u"/dev/ttyS0"_s);
        QCOMPARE(portPathFor(5, rig.appDir.path()), rig.appDir.filePath("COM5"));
        QCOMPARE(lockFileName(u"/dev/ttyUSB0"_s), u"LCK..ttyUSB0"_s);
        QCOMPARE(lockFileName(u"/home/u/COM1"_s), u"LCK.._home_u_COM1"_s);
    }

    // One device, two links: failed opens, an exchange, the receive event, one
    // owner at a time and waiting for it, the far end going away.
    void oneDeviceTwoLinks() {
        PtyRig rig;
        QCOMPARE(deviceHolder(rig.slavePath), std::nullopt);
        QCOMPARE(::write(rig.master, "stale", 5), 5); // from before the open: never a reply
        MSComm comm, second;
        rig.settings.BITS = 9;
        QCOMPARE(rig.open(comm), kComStatusFailed);
        QCOMPARE(rig.facts(comm).trouble, PortTrouble::kBadSettings);
        rig.settings.BITS = 8;
        rig.settings.PARITY = u"E"_s;
        QCOMPARE(rig.open(comm, 0), kComStatusFailed);
        QCOMPARE(rig.facts(comm).trouble, PortTrouble::kNoNumber);
        QCOMPARE(rig.open(comm, 5), kComStatusFailed);
        QCOMPARE(rig.facts(comm).trouble, PortTrouble::kMissing);
        QCOMPARE(rig.open(comm, 6), kComStatusFailed);
        QCOMPARE(rig.facts(comm).trouble, PortTrouble::kOther);
        QCOMPARE(rig.facts(comm).detail, QString::fromLocal8Bit(std::strerror(EISDIR)));

        QCOMPARE(rig.open(comm), kComStatusOpen);
        QVERIFY(rig.facts(comm).open);
        QCOMPARE(comm.findChild<QSerialPort*>()->parity(), QSerialPort::EvenParity);
        QVERIFY(!comm.waitForInput(100));
        QCOMPARE(comm.InBufferCount(), 0);
        comm.Output("QT\r");
        QCOMPARE(rig.read(), QByteArray("QT\r"));
        QVERIFY(rig.send(comm, "0312\r"));
        QCOMPARE(comm.Input(), QByteArray("0312\r"));

        // What an exchange read and left is reported after it, through the queue.
        QList<int> events;
        connect(&comm, &MSComm::OnComm, this, [&] { events << comm.CommEvent(); });
        comm.setExchangeActive(true);
        QVERIFY(rig.send(comm, "1*\r"));
        QTest::qWait(100); // a pump running the queue delivers nothing
        comm.setExchangeActive(false);
        QVERIFY(events.isEmpty()); // not from inside the call
        QTRY_COMPARE(events, QList<int>{kComEvReceive});
        QCOMPARE(comm.Input(), QByteArray("1*\r"));
        QVERIFY(rig.send(comm, "2*\r"));
        QCOMPARE(comm.Input(), QByteArray("2*\r")); // read before its event came: it never does
        QTest::qWait(100);
        QCOMPARE(events.size(), 1);
        QVERIFY(rig.send(comm, "*")); // one character is enough
        comm.setExchangeActive(true); // the event posted before waits for the end
        QTest::qWait(100);
        QCOMPARE(events.size(), 1);
        comm.setExchangeActive(false);
        QTRY_COMPARE(events.size(), 2);

        // Held against this process too (root ignores the exclusive-open flag);
        // a wait sleeps between tries, never for a missing port.
        FakeClock clock(0);
        const auto wait = [&](qint16 port, int ms) {
            rig.settings.COMPORT = port;
            return COM_InitWhenFree(second, rig.settings, rig.appDir.path(), ms, clock);
        };
        QCOMPARE(wait(4, 1000), kComStatusFailed);
        QCOMPARE(clock.now(), 1000);
        QCOMPARE(clock.sleepCalls, 4);
        const PortFacts busy = rig.facts(second);
        const PortHolder me{QCoreApplication::applicationPid(), "tst_mscomm"};
        QCOMPARE(busy.trouble, PortTrouble::kBusy);
        QCOMPARE(busy.linkTarget, rig.slavePath); // every link followed
        QCOMPARE(busy.holder, me);
        QCOMPARE(busy.holderNow, std::optional(me));
        QFile::remove("/run/lock/" + lockFileName(rig.slavePath)); // the system's lock table tells
        QCOMPARE(deviceHolder(rig.slavePath), std::optional(me));
        QCOMPARE(wait(5, 1000), kComStatusFailed);
        QCOMPARE(clock.sleepCalls, 4);
        QTimer::singleShot(0, [&] { comm.setPortOpen(false); });
        clock.onSleep = [] { QCoreApplication::processEvents(); };
        QCOMPARE(wait(4, 1000), kComStatusOpen);
        QCOMPARE(clock.sleepCalls, 5);

        // The far end goes away: closed at once, so that no error stream follows.
        ::close(std::exchange(rig.master, -1));
        for (QDeadlineTimer deadline(2000); !second.failed() && !deadline.hasExpired();)
            second.waitForInput(100);
        QVERIFY(second.failed());
        QVERIFY(!second.PortOpen());
        QCOMPARE(second.InBufferCount(), 0);
        QCOMPARE(rig.facts(second).trouble, PortTrouble::kGone);
        QCOMPARE(::flock(rig.slave, LOCK_EX | LOCK_NB), 0); // the device is let go
    }

    // The device lock on descriptor 0 (no standard input); a toolkit lock file naming its holder.
    void lockFiles() {
        PtyRig rig;
        MSComm comm;
        const int in = ::dup(0);
        ::close(0);
        const qint16 status = rig.open(comm);
        comm.setPortOpen(false);
        const int freed = ::flock(rig.slave, LOCK_EX | LOCK_NB); // before 0 is taken again
        ::dup2(in, 0);
        ::close(in);
        QCOMPARE(status, kComStatusOpen);
        QCOMPARE(freed, 0);
        const QString lockFile = "/run/lock/" + lockFileName(rig.slavePath);
        if (!QFileInfo(QFileInfo(lockFile).path()).isWritable())
            QSKIP("no /run/lock here");
        const qint64 pid = QCoreApplication::applicationPid();
        QVERIFY(putFile(lockFile, QByteArray::number(pid) + "\ntst_mscomm\n\n"));
        QCOMPARE(rig.open(comm), kComStatusFailed);
        QFile::remove(lockFile);
        QCOMPARE(comm.lastAttempt().trouble, PortTrouble::kBusy);
        QCOMPARE(comm.lastAttempt().holder, (PortHolder{pid, "tst_mscomm"}));
    }

    // The holder of a whole-file lock on device 12:1b (hexadecimal), inode 87.
    void lockTable_data() {
        columns<QByteArray, qint64>({"table", "pid"});
        const auto row = [](const char* tag, const QByteArray& table, qint64 pid) {
            QTest::newRow(tag) << table << pid;
        };
        row("held",
            "1: POSIX ADVISORY WRITE 11 12:1b:87 0 EOF\n2: FLOCK ADVISORY WRITE 0 12:1b:87 0 EOF\n"
            "3: FLOCK  ADVISORY  WRITE 4711 12:1b:87 0 EOF",
            4711);
        row("another inode", "1: FLOCK  ADVISORY  WRITE 4711 12:1b:870 0 EOF", 0);
        row("another major", "1: FLOCK  ADVISORY  WRITE 4711 13:1b:87 0 EOF", 0);
        row("another minor", "1: FLOCK  ADVISORY  WRITE 4711 12:1c:87 0 EOF", 0);
        row("only waiting", "1: -> FLOCK  ADVISORY  WRITE 4711 12:1b:87 0 EOF", 0);
        row("garbled", QByteArrayLiteral("1: FLOCK  ADVISORY  WRITE x 12:1b:87 0 EOF\n\0\xff"), 0);
    }
    void lockTable() {
        QFETCH(QByteArray, table);
        QTEST(flockHolderIn(table, 0x12, 0x1b, 87), "pid");
    }

    // The report's text in the window's language and in the command line's.
    void reports_data() {
        columns<PortFacts, int, QString>({"facts", "language", "text"});
        const Language ja = Language::kJapanese, en = Language::kEnglish;
        // The whole text: what COM3 is, `why`, the serial ports there are, `advice`.
        const auto row = [](const char* tag, const PortFacts& f, Language l, const char* why,
                            const char* advice = "") {
            const bool j = l == Language::kJapanese;
            const QString is = j ? u"COM3 は /a b/COM3 → /dev/ttyUSB0 です。"_s
                                 : u"COM3 is /a b/COM3 → /dev/ttyUSB0. "_s;
            const QString ports =
                j ? u"\nこのコンピューターのシリアルポート: /dev/ttyS0、/dev/ttyUSB0（FT232R）"_s
                  : u"\nSerial ports of this computer: /dev/ttyS0, /dev/ttyUSB0 (FT232R)"_s;
            QTest::newRow(tag) << f << int(l) << is + why + ports + advice;
        };
        PortFacts f{.number = 3,
                    .path = "/a b/COM3",
                    .linkTarget = "/dev/ttyUSB0",
                    .trouble = PortTrouble::kDenied,
                    .deniedGroup = "dialout",
                    .appDir = "/a b",
                    .ports = {{"/dev/ttyS0", "", ""}, {"/dev/ttyUSB0", "FT232R", "dialout"}}};
        row("denied", f, ja, "開く権限がありません（グループ dialout のメンバーが開けます）。",
            "\nCOM3 を開けるようにするには: sudo adduser $USER dialout"
            "（このあとログインし直してください）");
        f.trouble = PortTrouble::kMissing; // another port then, not the group
        row("missing", f, en, "There is no such device.",
            "\nTo make /dev/ttyS0 COM3: ln -sfn /dev/ttyS0 '/a b/COM3'");
        // A port in use, or one that works, is no reason to change a link.
        f.trouble = PortTrouble::kNone;
        f.open = true;
        row("silent", f, ja, "ポートは開いていますが、Morvane が応答しません。");
        f.open = false;
        f.trouble = PortTrouble::kGone;
        row("gone", f, en,
            "The device went away while in use (unplugged, or closed at the far end).");
        f.trouble = PortTrouble::kBusy;
        f.holder = {4711, "morvane-cli"};
        row("busy, ja", f, ja,
            "ほかのプログラム（morvane-cli、プロセス番号 4711）が使っています。"
            "そのプログラムを終了するか閉じてから、もう一度試してください。");
        f.triedEarlier = f.triedAtStartUp = true;
        f.triedAt = QTime(9, 5, 7);
        row("busy at start-up, free now", f, ja,
            "起動したとき（09:05:07）、ほかのプログラム（morvane-cli、プロセス番号 4711）が"
            "使っていました。今は使われていません。「<System>」画面で「決　定」を押すと"
            "ポートを開きます。");
        f.triedAtStartUp = false;
        f.holder = {};
        f.holderNow = PortHolder{99, "morvane"};
        row("busy earlier, still", f, ja,
            "09:05:07 に開こうとしたとき、ほかのプログラムが使っていました。今もほかの"
            "プログラム（morvane、プロセス番号 99）が使っています。そのプログラムを終了"
            "するか閉じてから、「<System>」画面で「決　定」を押してください。");
        QTest::newRow("no number")
            << PortFacts{.number = 0, .trouble = PortTrouble::kNoNumber} << int(en)
            << u"There is no port COM0: port numbers start at 1.\nThis computer shows no serial "
               "port.\nSet COMPORT in Morvane.SYS to 1 or more (the window's system panel does it)."_s;
    }
    void reports() {
        QFETCH(PortFacts, facts);
        QFETCH(int, language);
        QTEST(portReport(facts, Language(language)), "text");
    }
};
QTEST_GUILESS_MAIN(TstMSComm)
#include "tst_mscomm.moc"
