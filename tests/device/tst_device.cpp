// SPDX-License-Identifier: MIT
// Line formats, operations on a scripted device, and each action's decisions.
#include "device.h"
#include "fakeline.h"
#include "formats.h"
#include "panel.h"
#include "plainviews.h"
#include "testdata.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace morvane;
using namespace morvane::test;

namespace {

constexpr qint64 kT0 = 36'000'500; // 10:00:00.500

// Sunday 2024-05-19, 09:05:07 on the PC (the device counts Sunday as 0).
const QDateTime kPcNow(QDate(2024, 5, 19), QTime(9, 5, 7));

// A device answering with the simulator's table, a list holding the clock
// row, and an editor nothing has touched: reservation 8, Monday, 1:2:3, grayed.
struct Rig : LinkRig {
    Rig() : LinkRig(kT0) {
        replies = {{"QT", {"X0312\r"}}, {"QS", {"X2D07\r"}}, {"D", {"*\r"}}, {"N", {"*\r"}}};
        for (int n = 0; n < 10; ++n)
            replies["L" + QString::number(n)] = {"X" + kSimTable.mid(15 * n, 14).replace(' ', "") +
                                                 "\r"};
        list.rows = QStringList{"clock"};
        editor.values = {
            .reservation = 8, .day = 1, .hour = "1", .minute = "2", .second = "3", .enable = 2};
    }
    PlainList list{true};
    PlainEditor editor{true};
    QTemporaryDir dir;
    const QString backup = dir.filePath("Morvane.DAT");
};

} // namespace

class TstDevice : public QObject {
    Q_OBJECT
private slots:
    // The clock line: its head from the "QT" reply ("": refused, and "QS" is
    // not asked), then minute and second from the "QS" reply.
    void clockLine_data() {
        columns<QString, QString, QString, QString>({"qt", "head", "qs", "tail"});
        row("Wednesday", "X0312\r", "現在 :水　18:", "X2D07\r", "45:07");
        row("every day", "X0709\r", "現在 :毎日09:", "X0A0B\r", "10:11");
        row("lower case", "X000a\r", "現在 :日　10:", "X3b3a\r", "59:58");
        row("not clamped", "X06FF\r", "現在 :土　55:", "XFFFF\r", "55:55");
        row("the hour is the CR", "X03\r", "現在 :水　00:", "X2D\r", "45:00");
        row("three characters", "X03", "", "X\r", "00:00");
        row("day 8", "X0812\r", "", "", "00:00");
        row("day -1", "X-112\r", "", "", "00:00");
    }
    void clockLine() {
        QFETCH(QString, qt);
        QFETCH(QString, qs);
        QTEST(clockLineHead(qt).value_or(QString()), "head");
        QTEST(clockLineTail(qs), "tail");
    }

    // Reservation n's line from its "L" reply. Flag 8 and above: enabled; what
    // is left after taking 8 off is 1 for power off, anything else power on.
    // "whole": ten hexadecimal digits follow the first character.
    void reservationLine_data() {
        columns<int, QString, QString, bool>({"n", "reply", "line", "whole"});
        row("flag 9", 3, "X02071E0009\r", "予約3:火　07:30:00  ENABLE  POWER OFF", true);
        row("flag 1", 1, "X0100000001\r", "予約1:月　00:00:00  DISABLE POWER OFF", true);
        row("flag 8", 2, "X030A0B0C08\r", "予約2:水　10:11:12  ENABLE  POWER ON ", true);
        row("flag 81", 4, "X04173B3B81\r", "予約4:木　23:59:59  ENABLE  POWER ON ", true);
        row("lower case", 7, "x070c1e3b09\r", "予約7:毎日12:30:59  ENABLE  POWER OFF", true);
        row("24:60:60", 8, "X00183C3C00\r", "予約8:日　00:00:00  DISABLE POWER ON ", true);
        row("day 8: no label", 1, "X08010203\r", "予約1:01:02:03  DISABLE POWER ON ", false);
        row("day FF", 9, "XFF010203f7\r", "予約9:    01:02:03  ENABLE  POWER ON ", true);
        row("negative", 4, "N\r", "予約4:日　00:00:00  DISABLE POWER ON ", false);
        row("short", 0, "X0517\r", "予約0:金　23:00:00  DISABLE POWER ON ", false);
    }
    void reservationLine() {
        QFETCH(int, n);
        QFETCH(QString, reply);
        QTEST(morvane::reservationLine(n, reply), "line");
        QTEST(reservationReplyComplete(reply), "whole");
    }

    // Row I of the list read back into editor values (-1: the selector is
    // left as it is). The row decides the reservation, not the text.
    void parseListLine_data() {
        columns<int, QString, int, int, int, int, int, bool>(
            {"row", "text", "reservation", "day", "hour", "minute", "second", "enabled"});
        row("every day", 2, "予約3:毎日06:30:00  ENABLE  POWER ON ", 1, 7, 6, 30, 0, true);
        row("clock", 0, "現在 :水　12:34:56", 10, 3, 12, 34, 56, false);
        row("row 11", 11, "予約0:土　23:59:59  ENABLE  POWER ON ", 10, 6, 23, 59, 59, true);
        row("row 12, 24:60", 12, "予約0:日　24:60:03  DISABLE POWER ON ", -1, 0, -1, -1, 3, false);
        row("no day", 3, "予約2:    10:20:30  ENABLE  POWER ON ", 2, -1, 0, 0, 0, false);
        row("lower case", 5, "予約4:月　01:02:03  enable  POWER ON ", 4, 1, 1, 2, 3, false);
        row("cut short", 6, "予約5:金　07", 5, 5, 7, 0, 0, false);
    }
    void parseListLine() {
        QFETCH(int, row);
        QFETCH(QString, text);
        const ParsedLine p = morvane::parseListLine(row, text);
        QTEST(p.reservation.value_or(-1), "reservation");
        QTEST(p.day.value_or(-1), "day");
        QTEST(p.hour.value_or(-1), "hour");
        QTEST(p.minute.value_or(-1), "minute");
        QTEST(p.second.value_or(-1), "second");
        QTEST(p.enabled, "enabled");
    }

    // The command sent for the editor's values: the clock entry's day in decimal, a time as the low
    // byte of its rounded value, and only a checked box enables.
    void sendCommand_data() {
        columns<int, int, QString, QString, QString, int, QString>(
            {"reservation", "day", "hour", "minute", "second", "enable", "command"});
        row("enabled", 2, 7, "6", "30", "0", 1, "D207061E0081");
        row("reservation 9", 9, 6, "23", "59", "59", 0, "D906173B3B00");
        row("clock", 10, 3, "12", "34", "56", 1, "N 030C2238");
        row("clock, no day", 10, -1, "09", "x", "", 0, "N -1090000");
        row("no reservation", -1, 0, "0", "0", "0", 0, "D-10000000000");
        row("grayed", 5, -1, "0", " 1 0", "0", 2, "D5FF000A0000");
        row("past a byte", 3, 2, "1", "300", "-1", 0, "D302012CFF00");
        row("past 32 bits", 8, 0, "2147483648", "-2147483649", "7.5", 0, "D80000000800");
    }
    void sendCommand() {
        QFETCH(int, reservation);
        QFETCH(int, day);
        QFETCH(QString, hour);
        QFETCH(QString, minute);
        QFETCH(QString, second);
        QFETCH(int, enable);
        QTEST(buildSendCommand({reservation, day, hour, minute, second, enable}), "command");
    }

    // Row I loaded into the editor, the list holding the clock row: row 0
    // from the PC's time and the device's clock, a reservation row from its
    // "L" reply, a value without an item leaving its selector as it was.
    void setTime_data() {
        columns<int, QString, bool, int, int, QString, QString, QString, int, QString>(
            {"row", "reply", "answered", "reservation", "day", "hour", "minute", "second", "enable",
             "clock"});
        row("clock", 0, "X0312\r", true, 10, 0, "09", "05", "07", 2, "現在 :水　18:45:07");
        row("clock refused", 0, "ERR\r", false, 10, 0, "09", "05", "07", 2, "");
        row("L3", 4, "X05171E0081\r", true, 3, 5, "23", "30", "0", 1, "clock");
        row("L9", 10, "X070A0B0C7F\r", true, 9, 7, "10", "11", "12", 0, "clock");
        row("day 8, 24:60", 4, "X08183C3B80\r", true, 3, 1, "1", "2", "59", 1, "clock");
        row("L10, negative", 11, "N\r", true, 10, 0, "0", "0", "0", 0, "clock");
        row("refused", 4, "ERR 1\r", false, 8, 1, "1", "2", "3", 2, "clock");
    }
    void setTime() {
        QFETCH(int, row);
        QFETCH(QString, reply);
        QFETCH(bool, answered);
        Rig rig;
        rig.replies[row ? "L" + QString::number(row - 1) : "QT"] = QStringList{reply};
        QCOMPARE(Set_Time(rig.link, rig.list, rig.editor, row, kPcNow), answered);
        QCOMPARE(rig.sent(), row ? QStringList{"L" + QString::number(row - 1)}
                                 : kTableRead.mid(0, answered ? 2 : 1));
        QTEST(rig.editor.values.reservation, "reservation");
        QTEST(rig.editor.values.day, "day");
        QTEST(rig.editor.values.hour, "hour");
        QTEST(rig.editor.values.minute, "minute");
        QTEST(rig.editor.values.second, "second");
        QTEST(rig.editor.values.enable, "enable");
        QTEST(rig.list.item(0), "clock");
    }

    // The clock set from the PC and read back; after a set refused or not
    // answered nothing is read. A reply without "*" or "E" is given two
    // changes of the second. "clock": none when the outcome is kDeviceFailed.
    void syncClock_data() {
        columns<QString, QString, int, QString, qint64>({"set", "qs", "sent", "clock", "end"});
        const QString clock = "現在 :水　18:45:07";
        row("answered", "*\r", "X2D07\r", 3, clock, qint64(150));
        row("refused", "ERR\r", "X2D07\r", 1, "", qint64(50));
        row("E, no pause", "xE\r", "X2D07\r", 3, clock, qint64(150));
        row("CR, paused", "\r", "X2D07\r", 3, clock, qint64(1600));
        row("negative, paused", "N\r", "X2D07\r", 3, clock, qint64(1600));
        row("silent", "", "X2D07\r", 1, "", qint64(1500));
        row("QS refused", "*\r", "ERR\r", 3, "", qint64(150));
    }
    void syncClock() {
        QFETCH(QString, set);
        QFETCH(QString, qs);
        QFETCH(int, sent);
        QFETCH(QString, clock);
        Rig rig;
        rig.replies = {{"N", {set}}, {"QT", {"X0312\r"}}, {"QS", {qs}}};
        const ClockSync s = morvane::syncClock(rig.link, rig.editor, kPcNow);
        QCOMPARE(s.outcome, clock.isEmpty() ? Outcome::kDeviceFailed : Outcome::kDone);
        QCOMPARE(s.clock, clock);
        QCOMPARE(rig.sent(), QStringList({"N 00090507", "QT", "QS"}).mid(0, sent));
        QTEST(rig.clock.now() - kT0, "end");
    }

    // The send button: the entry, then the table read back into the list;
    // the backup is rewritten only from a whole read-back. "command" gets
    // "reply" instead ("": none); "port": there is none; "file": the backup's
    // folder is missing. "read": how a read of the table ends against that.
    void sendEntry_data() {
        columns<QString, QString, Outcome, int, int, bool, int, TableRead>(
            {"command", "reply", "outcome", "sent", "rows", "written", "messages", "read"});
        const Outcome done = Outcome::kDone, failed = Outcome::kDeviceFailed;
        const TableRead whole = TableRead::kComplete, broken = TableRead::kFailed;
        row("answered", "", "", done, 13, 11, true, 0, whole);
        row("entry refused", "D", "ERR\r", failed, 13, 11, true, 0, whole);
        row("QS refused", "QS", "ERR\r", failed, 3, 0, false, 0, broken);
        row("L5 refused", "L5", "ERR\r", failed, 9, 6, false, 0, broken);
        row("QT silent", "QT", "", failed, 2, 0, false, 1, broken);
        row("L5 garbled", "L5", "\r", failed, 13, 11, false, 0, TableRead::kGarbled);
        row("no port", "port", "", failed, 0, 1, false, 1, TableRead::kPortClosed);
        row("no folder", "file", "", Outcome::kFileFailed, 13, 11, false, 1, whole);
    }
    void sendEntry() {
        QFETCH(QString, command);
        QFETCH(QString, reply);
        QFETCH(int, sent);
        QFETCH(int, rows);
        Rig rig;
        rig.replies[command] = QStringList{reply};
        rig.link.ComStatus = command == "port" ? kComStatusFailed : kComStatusOpen;
        QVERIFY(putFile(rig.backup, "last good\r\n"));
        const QString backup = command == "file" ? rig.dir.filePath("no/Morvane.DAT") : rig.backup;
        QTEST(morvane::sendEntry(rig.link, rig.list, rig.editor, backup), "outcome");
        QCOMPARE(rig.sent(), (QStringList{"D80101020300"} + kTableRead).mid(0, sent));
        QTEST(rig.list.count(), "rows");
        QTEST(int(rig.messages.size()), "messages");
        if (command != "port" && reply != "\r")
            QCOMPARE(rig.list.rows, (QStringList{"現在 :水　18:45:07"} + kSimRows).mid(0, rows));
        QFETCH(bool, written);
        QCOMPARE(readAll(rig.backup), written ? cp932Lines(kSimRows) : QByteArray("last good\r\n"));
        QTEST(Get_Time(rig.link, rig.list), "read");
    }

    // A backup file to the device: the clock first, then each line to the reservation of its
    // position, and the clock read back into row 0. The file holds `file` lines (-1: no file); "QT"
    // answers in turn ("!ms": the line goes away then); `sent` counts the restore's commands sent.
    void readSetting_data() {
        columns<int, QStringList, int, QString, int, Outcome>(
            {"file", "qt", "sent", "clock", "messages", "outcome"});
        const QString first = "現在 :水　18:45:07", after = "現在 :木　09:45:07";
        const QStringList twice = {"X0312\r", "X0409\r"};
        const Outcome failed = Outcome::kDeviceFailed;
        row("twelve lines, ten sent", 12, twice, 15, after, 0, Outcome::kDone);
        row("empty file", 0, twice, 5, after, 0, Outcome::kDone);
        row("missing file", -1, twice, 0, QString("clock"), 1, Outcome::kFileFailed);
        row("last query fails: row 0 kept", 1, QStringList{"X0312\r", "ERR\r"}, 5, first, 0,
            failed);
        row("last clock unreadable: row 0 kept", 1, QStringList{"X0312\r", "X\r"}, 5, first, 0,
            failed);
        row("silent device", 12, QStringList(), 1, QString(), 1, failed);
        row("line gone at D1: stop there", 12, QStringList{"X0312\r", "!220"}, 5, first, 1, failed);
    }
    void readSetting() {
        QFETCH(int, file);
        QFETCH(QStringList, qt);
        QFETCH(int, sent);
        QFETCH(QString, clock);
        // Line 0 enabled every day, the others Monday at midnight.
        QStringList lines = {"予約7:毎日06:30:00  ENABLE  POWER ON "};
        QStringList restore = {"QT", "QS", "N 00090507", "D007061E0081"};
        for (int n = 1; n < 12; ++n) {
            lines << QStringLiteral("予約%1:月　00:00:00  DISABLE POWER ON ").arg(n);
            restore << "D" + QString::number(n) + "0100000000";
        }
        const int read = std::clamp(file, 0, 10);
        restore = restore.mid(0, 3 + read) + QStringList{"QT", "QS"};
        Rig rig;
        if (file >= 0)
            QVERIFY(putFile(rig.backup, cp932Lines(lines.mid(0, file))));
        if (qt.value(1).startsWith('!'))
            rig.line.failAt(kT0 + qt.takeLast().mid(1).toInt());
        rig.replies["QT"] = qt;
        qint16 fileErr = 7;
        int pumps = 0;
        QTEST(ReadSetting(
                  rig.link, rig.list, rig.editor, rig.backup, fileErr, [] { return kPcNow; },
                  [&] { ++pumps; }),
              "outcome");
        QCOMPARE(rig.sent(), restore.mid(0, sent));
        QCOMPARE(rig.list.rows,
                 clock.isEmpty() ? QStringList() : QStringList{clock} + lines.mid(0, read));
        QTEST(int(rig.messages.size()), "messages");
        QCOMPARE(fileErr, qint16(file < 0 ? 0 : 7));
        // The event queue runs after every row added and before every send.
        const int sends = int(rig.sent().filter(QRegularExpression("^[DN]")).size());
        QCOMPARE(pumps, sends ? read + sends : 0);
    }

    // A backup file's lines checked before a restore sends any: the first
    // line at fault (counted from 1), or the lines that say POWER OFF.
    void checkRestore_data() {
        columns<QStringList, RestoreFault, int, QList<int>>({"lines", "fault", "line", "powerOff"});
        const QString on = "予約0:水　12:34:56  ENABLE  POWER ON ";
        const QString off = "予約1:毎日06:30:00  DISABLE POWER OFF";
        const auto row = [](const char* tag, QStringList lines, RestoreFault f, int line,
                            QList<int> powerOff = {}) {
            QTest::newRow(tag) << lines << f << line << powerOff;
        };
        row("good, two POWER OFF", {off, on, off}, RestoreFault::kNone, 0, {1, 3});
        row("good, all POWER ON", {on, on}, RestoreFault::kNone, 0);
        row("no line", {}, RestoreFault::kNoReservation, 0);
        row("blank lines only", {"", "  "}, RestoreFault::kNoReservation, 0);
        // An LF-only file reaches the check as one line.
        row("LF line ends", {on + "\n" + off + "\n"}, RestoreFault::kLfLineEnds, 1);
        row("LF from line 3", {on, on, on + "\n" + off}, RestoreFault::kLfLineEnds, 3);
        row("empty line", {on, "", on}, RestoreFault::kEmptyLine, 2);
        row("cut short", {on, "予約1:月　08:00"}, RestoreFault::kNotReservation, 2);
        row("hour 24", {"予約1:月　24:00:00  ENABLE  POWER ON "}, RestoreFault::kNotReservation, 1);
        row("sim table", {"00 00 00 00 00"}, RestoreFault::kNotReservation, 1);
        row("day code 8", {on, "予約9:00:00:00  ENABLE  POWER OFF"}, RestoreFault::kNoDay, 2);
        row("blank day", {"予約9:    00:00:00  ENABLE  POWER ON "}, RestoreFault::kNoDay, 1);
    }
    void checkRestore() {
        QFETCH(QStringList, lines);
        const RestoreCheck c = checkRestoreLines(lines);
        QTEST(c.fault, "fault");
        QTEST(c.line, "line");
        QTEST(c.powerOffLines, "powerOff");
    }

    // The panel's four boxes against port 1, time-out 2, one attempt, /old:
    // the settings they give and, when refused, the box to focus and why.
    // "shown": the boxes are as opening the panel on those settings fills them.
    void checkSystemPanel_data() {
        columns<QString, QString, QString, QString, SysSettingsRecord, int, QString, bool>(
            {"port", "timeOut", "reTry", "path", "settings", "focus", "message", "shown"});
        const auto record = [](qint16 port, qint16 timeOut, qint16 reTry, QString path) {
            return SysSettingsRecord{
                .COMPORT = port, .ComTimeOut = timeOut, .ComReTry = reTry, .BackUpFile = path};
        };
        const SysSettingsRecord old = record(1, 2, 1, "/old"), port5 = record(5, 2, 1, "/old");
        const QString range = "-32768 から 32767 までの数値を設定してください。";
        const QString tooShort = "タイムアウト時間は２秒以上を設定してください。";
        const QString path = "バックアップファイル名には、カンマと制御文字は使えません。";
        row("as shown", " 0", " 5", "-3", "/p q.dat", record(0, 5, -3, "/p q.dat"), 0, "", true);
        row("rounded, trimmed", "3", "1.5", "0", "  /b c.dat ", record(3, 2, 0, "/b c.dat"), 0, "",
            false);
        row("no numbers", "abc", "2x", "-4", "", record(0, 2, -4, ""), 0, "", false);
        row("time-out 1", "5", "1", "9", "/x", port5, 2, tooShort, false);
        row("no time-out", "5", "", "9", "/x", port5, 2, tooShort, false);
        row("port 40000", "40000", "2", "1", "/x", old, 1, range, false);
        row("time-out 99999", "5", "99999", "1", "/x", old, 2, range, false);
        row("attempts -40000", "5", "2", "-40000", "/x", old, 3, range, false);
        // The settings file would cut the path at a comma and drop a tab.
        row("comma", "5", "1", "1", "/d/backup,2026.dat", old, 4, path, false);
        row("tab", "5", "1", "1", "/a\tb", old, 4, path, false);
    }
    void checkSystemPanel() {
        QFETCH(QString, port);
        QFETCH(QString, timeOut);
        QFETCH(QString, reTry);
        QFETCH(QString, path);
        SysSettingsRecord before;
        before.BackUpFile = "/old";
        const PanelCheck c = morvane::checkSystemPanel({port, timeOut, reTry, path}, before);
        QTEST(c.settings, "settings");
        QTEST(c.focusBox, "focus");
        QTEST(c.message, "message");
        QFETCH(bool, shown);
        if (shown) {
            const PanelTexts t = panelTexts(c.settings);
            QCOMPARE(t.port, port);
            QCOMPARE(t.timeOut, timeOut);
            QCOMPARE(t.reTry, reTry);
            QCOMPARE(t.backUpFile, path);
        }
    }
};

QTEST_GUILESS_MAIN(TstDevice)
#include "tst_device.moc"
