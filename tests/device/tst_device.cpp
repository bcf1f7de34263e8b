// SPDX-License-Identifier: MIT
// The device's text formats, the operations over a scripted device, and the
// decisions of the send, restore and settings actions.
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
QDateTime pcNow() {
    return QDateTime(QDate(2024, 5, 19), QTime(9, 5, 7));
}

// A device answering 50 ms after each command: replies by exact command, else
// by first letter, used in turn with the last one repeated; none: silence.
struct Rig {
    SysSettingsRecord settings;
    FakeClock clock{kT0};
    FakeLine line{clock};
    QStringList messages;
    QHash<QString, QStringList> replies = {{"QT", {"X0312\r"}},
                                           {"QS", {"X2D07\r"}},
                                           {"L", {"X0100000081\r"}},
                                           {"D", {"*\r"}},
                                           {"N", {"*\r"}}};
    Link link{settings, line, clock, [this](const QString& m) { messages << m; }};
    PlainList list{true};
    PlainEditor editor{true};
    QTemporaryDir dir;

    Rig() {
        list.rows = QStringList{"clock", "row 1"};
        // An editor nothing has touched yet: reservation 8, Monday, 1:2:3, grayed.
        editor.values = {8, 1, "1", "2", "3", 2};
        line.setResponder([this](const QByteArray& frame) {
            const QString cmd = QString::fromLatin1(frame.chopped(1));
            QStringList& r = replies[replies.contains(cmd) ? cmd : cmd.left(1)];
            if (!r.isEmpty())
                line.arriveAt(clock.now() + 50,
                              (r.size() > 1 ? r.takeFirst() : r.first()).toLatin1());
        });
    }
    QString path(const char* name) const { return dir.filePath(name); }
};

// "reservation day hour minute second enable", for one comparison.
QString state(const EditorValues& v) {
    return QStringLiteral("%1 %2 %3 %4 %5 %6")
        .arg(v.reservation)
        .arg(v.day)
        .arg(v.hour, v.minute, v.second)
        .arg(v.enable);
}

// One row of a table: the inputs and what is wanted, as texts.
using Row = QStringList;

} // namespace

class TstDevice : public QObject {
    Q_OBJECT
private slots:
    // The text forms: the clock line from "QT|QS" ("none": the "QT" reply is
    // refused), reservation n's line from its reply, row n parsed back
    // ("reservation day hour minute second enabled", -1: left as it is), and
    // the command sent for "Combo3|Combo2|hour|minute|second|Check1(1)".
    void formats_data() {
        QTest::addColumn<Row>("r"); // what, n, input, output
        for (const Row& r : QList<Row>{
                 {"clock", "", "X0312\r|X2D07\r", "現在 :水　18:45:07"},
                 {"clock", "", "X0709\r|X0A0B\r", "現在 :毎日09:10:11"},
                 {"clock", "", "X000a\r|X3b3a\r", "現在 :日　10:59:58"},
                 {"clock", "", "X06FF\r|XFFFF\r", "現在 :土　55:55:55"}, // not clamped
                 {"clock", "", "X03\r", "現在 :水　00:"}, // four characters: the hour is the CR
                 {"clock", "", "X03", "none"},
                 {"clock", "", "X0812\r", "none"},
                 {"clock", "", "X-112\r", "none"},
                 // Flag 8 and above: enabled; what is left after taking 8 off
                 // is 1 for power off, anything else power on.
                 {"line", "3", "X02071E0009\r", "予約3:火　07:30:00  ENABLE  POWER OFF"},
                 {"line", "1", "X0100000001\r", "予約1:月　00:00:00  DISABLE POWER OFF"},
                 {"line", "2", "X030A0B0C08\r", "予約2:水　10:11:12  ENABLE  POWER ON "},
                 {"line", "4", "X04173B3B81\r", "予約4:木　23:59:59  ENABLE  POWER ON "},
                 {"line", "7", "x070c1e3b09\r", "予約7:毎日12:30:59  ENABLE  POWER OFF"},
                 {"line", "8", "X00183C3C00\r", "予約8:日　00:00:00  DISABLE POWER ON "},
                 {"line", "1", "X08010203\r", "予約1:01:02:03  DISABLE POWER ON "}, // no label
                 {"line", "9", "XFF010203\r", "予約9:    01:02:03  DISABLE POWER ON "},
                 {"line", "4", "N\r", "予約4:日　00:00:00  DISABLE POWER ON "},
                 {"line", "0", "X0517\r", "予約0:金　23:00:00  DISABLE POWER ON "},
                 // The row decides the reservation, not the number in the text.
                 {"parse", "2", "予約3:毎日06:30:00  ENABLE  POWER ON ", "1 7 6 30 0 1"},
                 {"parse", "0", "現在 :水　12:34:56", "10 3 12 34 56 0"},
                 {"parse", "11", "予約0:土　23:59:59  ENABLE  POWER ON ", "10 6 23 59 59 1"},
                 {"parse", "12", "予約0:日　24:60:03  DISABLE POWER ON ", "-1 0 -1 -1 3 0"},
                 {"parse", "3", "予約2:    10:20:30  ENABLE  POWER ON ", "2 -1 0 0 0 0"},
                 {"parse", "5", "予約4:月　01:02:03  enable  POWER ON ", "4 1 1 2 3 0"},
                 {"parse", "6", "予約5:金　07", "5 5 7 0 0 0"},
                 {"send", "", "2|7|6|30|0|1", "D207061E0081"},
                 {"send", "", "9|6|23|59|59|0", "D906173B3B00"},
                 {"send", "", "10|3|12|34|56|1", "N 030C2238"}, // the box does not count
                 {"send", "", "10|-1|09|x||0", "N -1090000"},
                 {"send", "", "-1|0|0|0|0|0", "D-10000000000"},
                 {"send", "", "5|-1|0| 1 0|0|2", "D5FF000A0000"}, // grayed is not enabled
                 {"send", "", "3|2|1|300|-1|0", "D302012CFF00"},
                 {"send", "", "8|0|2147483648|-2147483649|7.5|0", "D80000000800"}})
            QTest::newRow(qPrintable(r.join(' '))) << r;
    }
    void formats() {
        QFETCH(Row, r);
        const QStringList in = r[2].split(u'|');
        const int n = r[1].toInt();
        QString got;
        if (r[0] == "clock") {
            const std::optional<QString> head = clockLineHead(in[0]);
            got = !head ? "none" : *head + (in.size() > 1 ? clockLineTail(in[1]) : QString());
        } else if (r[0] == "line") {
            got = reservationLine(n, r[2]);
        } else if (r[0] == "parse") {
            const ParsedLine p = parseListLine(n, r[2]);
            for (std::optional<int> v : {p.reservation, p.day, p.hour, p.minute, p.second})
                got += QString::number(v.value_or(-1)) + ' ';
            got += QString::number(p.enabled);
        } else {
            got = buildSendCommand(
                {in[0].toInt(), in[1].toInt(), in[2], in[3], in[4], in[5].toInt()});
        }
        QCOMPARE(got, r[3]);
    }

    // Row I loaded into the editor (before: reservation 8, day 1, 1:2:3,
    // grayed), the list holding only the clock row.
    void setTime_data() {
        QTest::addColumn<Row>("r"); // row, reply to "L" row-1 (or "QT"), editor, clock row
        for (const Row& r : QList<Row>{{"0", "X0312\r", "10 0 09 05 07 2", "現在 :水　18:45:07"},
                                       {"0", "ERR\r", "10 0 09 05 07 2", ""},
                                       {"4", "X05171E0081\r", "3 5 23 30 0 1", "clock"},
                                       {"4", "X070A0B0C7F\r", "3 7 10 11 12 0", "clock"},
                                       // day 8, hour 24 and minute 60 keep their items
                                       {"4", "X08183C3B80\r", "3 1 1 2 59 1", "clock"},
                                       {"4", "N\r", "3 0 0 0 0 0", "clock"},
                                       {"12", "x020a1e2bff\r", "8 2 10 30 43 1", "clock"},
                                       {"4", "ERR 1\r", "8 1 1 2 3 2", "clock"}})
            QTest::newRow(qPrintable(r.join(' '))) << r;
    }
    void setTime() {
        QFETCH(Row, r);
        const int row = r[0].toInt();
        Rig rig;
        rig.replies[row ? "L" : "QT"] = QStringList{r[1]};
        rig.list.rows = {"clock"};
        QCOMPARE(Set_Time(rig.link, rig.list, rig.editor, row, pcNow()), !r[1].contains("ERR"));
        const QStringList clockQuery = QStringList{"QT", "QS"}.mid(0, r[3].isEmpty() ? 1 : 2);
        QCOMPARE(rig.line.sent(), row ? QStringList{"L" + QString::number(row - 1)} : clockQuery);
        QCOMPARE(state(rig.editor.values), r[2]);
        QCOMPARE(rig.list.rows, QStringList{r[3]});
    }

    // A reply without "*" or "E" is given two changes of the second.
    void trnTimePause_data() {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<qint64>("end");
        for (auto [reply, ms] :
             {std::pair{"*\r", 50}, {"ERR\r", 50}, {"xE\r", 50}, {"\r", 1500}, {"N\r", 1500}})
            QTest::newRow(reply) << QString(reply) << kT0 + ms;
    }
    void trnTimePause() {
        QFETCH(QString, reply);
        QFETCH(qint64, end);
        Rig rig;
        rig.replies["D"] = QStringList{reply};
        rig.editor.setTimeText(0, "6");
        QCOMPARE(TRN_Time(rig.link, rig.editor), reply != "ERR\r");
        QCOMPARE(rig.line.sent(), QStringList{"D80106020300"});
        QCOMPARE(rig.clock.now(), end);
    }

    // The send button: the entry, then the table read back into the list;
    // the backup is rewritten only from a whole read-back. `failing` is the
    // command answered "ERR", or "silent", "garbled" (every L reply a bare
    // CR), "99" (no port), "file" (no folder for the backup).
    void sendEntry_data() {
        QTest::addColumn<Row>("r"); // failing, outcome, commands sent, rows, written, messages
        for (const Row& r : QList<Row>{{"", "0", "13", "11", "1", "0"},
                                       {"D", "1", "13", "11", "1", "0"}, // good read-back
                                       {"QS", "1", "3", "0", "0", "0"},
                                       {"L5", "1", "9", "6", "0", "0"},
                                       {"silent", "1", "2", "0", "0", "2"},
                                       {"99", "1", "0", "2", "0", "1"}, // the list kept
                                       {"file", "2", "13", "11", "0", "1"},
                                       {"garbled", "1", "13", "11", "0", "0"}})
            QTest::newRow(qPrintable(r[0])) << r;
    }
    void sendEntry() {
        QFETCH(Row, r);
        Rig rig;
        rig.replies["L3"] = QStringList{"X02071E0009\r"};
        rig.replies[r[0]] = QStringList{"ERR\r"};
        if (r[0] == "silent")
            rig.replies.clear();
        if (r[0] == "garbled")
            rig.replies["L"] = rig.replies["L3"] = QStringList{"\r"};
        rig.link.ComStatus = r[0] == "99" ? 99 : 0;
        QVERIFY(putFile(rig.path("Morvane.DAT"), "last good\r\n"));
        const QString backup = rig.path(r[0] == "file" ? "no/Morvane.DAT" : "Morvane.DAT");
        QCOMPARE(int(morvane::sendEntry(rig.link, rig.list, rig.editor, backup)), r[1].toInt());
        QCOMPARE(rig.line.sent(), (QStringList{"D80101020300"} + kTableRead).mid(0, r[2].toInt()));
        QCOMPARE(rig.list.count(), r[3].toInt());
        QCOMPARE(rig.messages.size(), r[5].toInt());
        QStringList table;
        for (int n = 0; n < 10; ++n)
            table << QStringLiteral("予約%1:月　00:00:00  ENABLE  POWER ON ").arg(n);
        table[3] = "予約3:火　07:30:00  ENABLE  POWER OFF";
        if (r[3] == "11" && r[0] != "garbled")
            QCOMPARE(rig.list.rows, QStringList{"現在 :水　18:45:07"} + table);
        QCOMPARE(readAll(rig.path("Morvane.DAT")),
                 r[4] == "1" ? cp932Lines(table) : QByteArray("last good\r\n"));
    }

    // Clock first, then each line to the reservation of its position. "QT"
    // replies in turn (none: a silent device; "!ms": the line goes away then).
    void readSetting_data() {
        QTest::addColumn<QStringList>("file"); // "-": no file
        QTest::addColumn<QStringList>("qt");
        QTest::addColumn<QStringList>("sent");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<int>("outcome");
        QStringList lines = {"予約7:毎日06:30:00  ENABLE  POWER ON ",
                             "予約1:火　07:30:05  DISABLE POWER OFF"};
        QStringList sent = {"QT", "QS", "N 00090507", "D007061E0081", "D102071E0500"};
        for (int n = 2; n < 12; ++n) {
            lines << QStringLiteral("予約%1:月　00:00:00  DISABLE POWER ON ").arg(n);
            if (n < 10)
                sent << "D" + QString::number(n) + "0100000000";
        }
        const QStringList twice = {"X0312\r", "X0409\r"}, after = {"現在 :木　09:45:07"};
        const QStringList first = {"現在 :水　18:45:07"}, clock = {"QT", "QS"};
        const int done = int(Outcome::kDone), failed = int(Outcome::kDeviceFailed);
        QTest::newRow("twelve lines, ten sent")
            << lines << twice << sent + clock << after + lines.mid(0, 10) << done;
        QTest::newRow("empty file")
            << QStringList() << twice << sent.mid(0, 3) + clock << after << done;
        QTest::newRow("missing file") << QStringList{"-"} << twice << QStringList()
                                      << QStringList{"clock", "row 1"} << int(Outcome::kFileFailed);
        QTest::newRow("last query fails: row 0 kept")
            << lines.mid(0, 1) << QStringList{"X0312\r", "ERR\r"}
            << sent.mid(0, 4) + clock.mid(0, 1) << first + lines.mid(0, 1) << failed;
        QTest::newRow("last clock unreadable: row 0 kept")
            << lines.mid(0, 1) << QStringList{"X0312\r", "X\r"} << sent.mid(0, 4) + clock.mid(0, 1)
            << first + lines.mid(0, 1) << failed;
        QTest::newRow("silent device")
            << lines << QStringList() << clock.mid(0, 1) << QStringList() << failed;
        QTest::newRow("line gone at D1: stop there")
            << lines << QStringList{"X0312\r", "!220"} << sent.mid(0, 5) << first + lines.mid(0, 10)
            << failed;
    }
    void readSetting() {
        QFETCH(QStringList, file);
        QFETCH(QStringList, qt);
        QFETCH(QStringList, sent);
        QFETCH(QStringList, rows);
        QFETCH(int, outcome);
        Rig rig;
        const bool noFile = file == QStringList{"-"};
        if (!noFile)
            QVERIFY(putFile(rig.path("Morvane.DAT"), cp932Lines(file)));
        if (qt.value(1).startsWith('!'))
            rig.line.failAt(kT0 + qt.takeLast().mid(1).toInt());
        rig.replies["QT"] = qt;
        qint16 fileErr = 7;
        int pumps = 0;
        QCOMPARE(int(ReadSetting(rig.link, rig.list, rig.editor, rig.path("Morvane.DAT"), fileErr,
                                 pcNow, [&] { ++pumps; })),
                 outcome);
        QCOMPARE(rig.line.sent(), sent);
        QCOMPARE(rig.list.rows, rows);
        QCOMPARE(rig.messages.size(), int(qt.size() != 2 || noFile));
        QCOMPARE(fileErr, qint16(noFile ? 0 : 7));
        // The event queue runs after every row added and before every send.
        const int sends = int(sent.filter(QRegularExpression("^[DN]")).size());
        QCOMPARE(pumps, sends ? std::min<int>(file.size(), 10) + sends : 0);
    }

    // A backup file's lines checked before a restore sends any: the first
    // line at fault (counted from 1), or the lines that say POWER OFF.
    void checkRestore_data() {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("line");
        QTest::addColumn<QList<int>>("powerOff");
        const QString on = "予約0:水　12:34:56  ENABLE  POWER ON ";
        const QString off = "予約1:毎日06:30:00  DISABLE POWER OFF";
        const auto row = [](const char* tag, QStringList lines, RestoreFault f, int line,
                            QList<int> powerOff = {}) {
            QTest::newRow(tag) << lines << int(f) << line << powerOff;
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
        QFETCH(QList<int>, powerOff);
        const RestoreCheck c = checkRestoreLines(lines);
        QTEST(int(c.fault), "fault");
        QTEST(c.line, "line");
        if (c.fault == RestoreFault::kNone)
            QCOMPARE(c.powerOffLines, powerOff);
    }

    // The clock set from the PC and read back; after a set without an
    // answer nothing is read.
    void syncClock_data() {
        QTest::addColumn<QString>("failing"); // the command answered "ERR", or "silent"
        QTest::addColumn<int>("sent");        // commands sent: "N 00090507", "QT", "QS"
        QTest::addColumn<QString>("clock");   // empty: the outcome is kDeviceFailed
        QTest::newRow("answered") << "" << 3 << "現在 :水　18:45:07";
        QTest::newRow("set refused") << "N 00090507" << 1 << "";
        QTest::newRow("silent") << "silent" << 1 << "";
        QTest::newRow("QS refused") << "QS" << 3 << "";
    }
    void syncClock() {
        QFETCH(QString, failing);
        QFETCH(QString, clock);
        Rig rig;
        rig.replies[failing] = QStringList{"ERR\r"};
        if (failing == "silent")
            rig.replies.clear();
        const ClockSync s = morvane::syncClock(rig.link, rig.editor, pcNow());
        QCOMPARE(int(s.outcome), int(clock.isEmpty() ? Outcome::kDeviceFailed : Outcome::kDone));
        QCOMPARE(s.clock, clock);
        QFETCH(int, sent);
        QCOMPARE(rig.line.sent(), QStringList({"N 00090507", "QT", "QS"}).mid(0, sent));
    }

    // The panel's four boxes against port 1, time-out 2, one attempt, /old.
    void checkSystemPanel_data() {
        QTest::addColumn<Row>("r"); // Text1..Text4, then the record or the focus and message
        const QString range = "-32768 から 32767 までの数値を設定してください。";
        const QString tooShort = "タイムアウト時間は２秒以上を設定してください。";
        const QString path = "バックアップファイル名には、カンマと制御文字は使えません。";
        for (const Row& r :
             QList<Row>{{"3", "1.5", "0", "  /b c.dat ", "3 2 0 /b c.dat"},
                        {"abc", "2x", "-4", "", "0 2 -4 "},
                        {"5", "1", "9", "/x", "5 2 1 /old", "2", tooShort},
                        {"5", "", "9", "/x", "5 2 1 /old", "2", tooShort},
                        {"40000", "2", "1", "/x", "1 2 1 /old", "1", range},
                        {"5", "99999", "1", "/x", "1 2 1 /old", "2", range},
                        {"5", "2", "-40000", "/x", "1 2 1 /old", "3", range},
                        // the settings file would cut the path, drop a tab
                        {"5", "1", "1", "/d/backup,2026.dat", "1 2 1 /old", "4", path},
                        {"5", "1", "1", "/a\tb", "1 2 1 /old", "4", path}})
            QTest::newRow(qPrintable(r.mid(0, 4).join('|'))) << r;
    }
    void checkSystemPanel() {
        QFETCH(Row, r);
        SysSettingsRecord before;
        before.BackUpFile = "/old";
        const PanelCheck c = morvane::checkSystemPanel({r[0], r[1], r[2], r[3]}, before);
        const SysSettingsRecord& s = c.settings;
        QCOMPARE(QStringLiteral("%1 %2 %3 ").arg(s.COMPORT).arg(s.ComTimeOut).arg(s.ComReTry) +
                     s.BackUpFile,
                 r[4]);
        QCOMPARE(QString::number(c.focusBox) + c.message, r.value(5, "0") + r.value(6));
    }
};

QTEST_GUILESS_MAIN(TstDevice)
#include "tst_device.moc"
