// The device's text formats, the operations over a scripted device, and the
// decisions of the send, restore and settings actions.
#include "device.h"
#include "fakeline.h"
#include "fakeviews.h"
#include "formats.h"
#include "panel.h"
#include "testdata.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace morvane;
using namespace morvane::test;

namespace {

constexpr qint64 kT0 = 36'000'500; // 10:00:00.500
const QString kNc = kMsgNotConnected;

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
    FakeList list;
    FakeEditor editor;
    QTemporaryDir dir;

    Rig() {
        list.rows = QStringList{"clock", "row 1"};
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

} // namespace

class TstDevice : public QObject {
    Q_OBJECT
private slots:
    // The text forms: the clock line from "QT|QS" (none: the "QT" reply is
    // refused), reservation n's line from its reply, row n parsed back
    // ("reservation day hour minute second enabled", -1: left as it is), and
    // the command sent for "Combo3|Combo2|hour|minute|second|Check1(1)".
    void formats_data() {
        QTest::addColumn<QString>("what");
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("output");
        const auto row = [](const char* what, int n, const char* input, const char* output) {
            QTest::addRow("%s %d %s", what, n, input) << what << n << input << output;
        };
        row("clock", 0, "X0312\r|X2D07\r", "現在 :水　18:45:07");
        row("clock", 0, "X0709\r|X0A0B\r", "現在 :毎日09:10:11");
        row("clock", 0, "X000a\r|X3b3a\r", "現在 :日　10:59:58");
        row("clock", 0, "X06FF\r|XFFFF\r", "現在 :土　55:55:55"); // two digits, not clamped
        row("clock", 0, "X03\r", "現在 :水　00:"); // four characters: the hour field is the CR
        row("clock", 0, "X03", "none");
        row("clock", 0, "X0812\r", "none");
        row("clock", 0, "X-112\r", "none");
        // Flag 8 and above: enabled; what is left after taking 8 off is 1 for
        // power off, anything else power on.
        row("line", 3, "X02071E0009\r", "予約3:火　07:30:00  ENABLE  POWER OFF");
        row("line", 1, "X0100000001\r", "予約1:月　00:00:00  DISABLE POWER OFF");
        row("line", 2, "X030A0B0C08\r", "予約2:水　10:11:12  ENABLE  POWER ON ");
        row("line", 4, "X04173B3B81\r", "予約4:木　23:59:59  ENABLE  POWER ON ");
        row("line", 7, "x070c1e3b09\r", "予約7:毎日12:30:59  ENABLE  POWER OFF");
        row("line", 8, "X00183C3C00\r", "予約8:日　00:00:00  DISABLE POWER ON ");
        row("line", 1, "X08010203\r", "予約1:01:02:03  DISABLE POWER ON "); // empty label
        row("line", 9, "XFF010203\r", "予約9:    01:02:03  DISABLE POWER ON ");
        row("line", 4, "N\r", "予約4:日　00:00:00  DISABLE POWER ON ");
        row("line", 0, "X0517\r", "予約0:金　23:00:00  DISABLE POWER ON ");
        // The row decides the reservation, not the number in the text.
        row("parse", 2, "予約3:毎日06:30:00  ENABLE  POWER ON ", "1 7 6 30 0 1");
        row("parse", 0, "現在 :水　12:34:56", "10 3 12 34 56 0");
        row("parse", 11, "予約0:土　23:59:59  ENABLE  POWER ON ", "10 6 23 59 59 1");
        row("parse", 12, "予約0:日　24:60:03  DISABLE POWER ON ", "-1 0 -1 -1 3 0");
        row("parse", 3, "予約2:    10:20:30  ENABLE  POWER ON ", "2 -1 0 0 0 0");
        row("parse", 5, "予約4:月　01:02:03  enable  POWER ON ", "4 1 1 2 3 0");
        row("parse", 6, "予約5:金　07", "5 5 7 0 0 0");
        row("send", 0, "2|7|6|30|0|1", "D207061E0081");
        row("send", 0, "9|6|23|59|59|0", "D906173B3B00");
        row("send", 0, "10|3|12|34|56|1", "N 030C2238"); // the enable box does not count
        row("send", 0, "10|-1|09|x||0", "N -1090000");
        row("send", 0, "-1|0|0|0|0|0", "D-10000000000");
        row("send", 0, "5|-1|0| 1 0|0|2", "D5FF000A0000"); // grayed is not enabled
        row("send", 0, "3|2|1|300|-1|0", "D302012CFF00");
        row("send", 0, "8|0|2147483648|-2147483649|7.5|0", "D80000000800");
    }
    void formats() {
        QFETCH(QString, what);
        QFETCH(int, n);
        QFETCH(QString, input);
        QFETCH(QString, output);
        const QStringList in = input.split(u'|');
        QString got;
        if (what == "clock") {
            const std::optional<QString> head = clockLineHead(in[0]);
            got = !head ? "none" : *head + (in.size() > 1 ? clockLineTail(in[1]) : QString());
        } else if (what == "line") {
            got = reservationLine(n, input);
        } else if (what == "parse") {
            const ParsedLine p = parseListLine(n, input);
            for (std::optional<int> v : {p.reservation, p.day, p.hour, p.minute, p.second})
                got += QString::number(v.value_or(-1)) + ' ';
            got += QString::number(p.enabled);
        } else {
            got = buildSendCommand(
                {in[0].toInt(), in[1].toInt(), in[2], in[3], in[4], in[5].toInt()});
        }
        QCOMPARE(got, output);
    }

    void setTime_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("reply"); // to "L" row-1; "" to "QT" for the clock row
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("row0");
        const auto row = [](int n, const char* reply, const char* state, const char* row0) {
            QTest::newRow(reply) << n << QString(reply) << QString(state) << QString(row0);
        };
        // The editor before: reservation 8, day 1, 1:2:3, enable grayed.
        row(0, "", "10 0 09 05 07 2", "現在 :水　18:45:07");
        row(0, "ERR\r", "10 0 09 05 07 2", "");
        row(4, "X05171E0081\r", "3 5 23 30 0 1", "clock");
        row(4, "X070A0B0C7F\r", "3 7 10 11 12 0", "clock");
        row(4, "X08183C3B80\r", "3 1 1 2 59 1", "clock"); // day 8, 24:60 keep their items
        row(4, "N\r", "3 0 0 0 0 0", "clock");
        row(12, "x020a1e2bff\r", "8 2 10 30 43 1", "clock"); // no reservation entry
        row(4, "ERR 1\r", "8 1 1 2 3 2", "clock");
    }
    void setTime() {
        QFETCH(int, row);
        QFETCH(QString, reply);
        QFETCH(QString, state);
        QFETCH(QString, row0);
        Rig rig;
        rig.replies[row ? "L" : "QT"] = QStringList{reply.isEmpty() ? "X0312\r" : reply};
        rig.list.rows = {"clock"}; // only the clock row: it is still refreshed
        QCOMPARE(Set_Time(rig.link, rig.list, rig.editor, row, pcNow()), !reply.contains("ERR"));
        const QStringList clockQuery = QStringList{"QT", "QS"}.mid(0, reply.isEmpty() ? 2 : 1);
        QCOMPARE(rig.line.sent(), row ? QStringList{"L" + QString::number(row - 1)} : clockQuery);
        QCOMPARE(rig.editor.state(), state);
        QCOMPARE(rig.list.rows, QStringList{row0});
    }

    void trnTimePause_data() {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<qint64>("end"); // when TRN_Time returns
        QTest::newRow("star") << "*\r" << kT0 + 50;
        QTest::newRow("error") << "ERR\r" << kT0 + 50;
        QTest::newRow("E anywhere") << "xE\r" << kT0 + 50;
        QTest::newRow("empty") << "\r" << kT0 + 1500;
        QTest::newRow("negative") << "N\r" << kT0 + 1500;
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
        QTest::addColumn<QString>("failing");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<int>("sent");
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("written");
        const auto row = [](const char* f, Outcome o, int sent, int rows, bool written) {
            QTest::newRow(f) << QString(f) << int(o) << sent << rows << written;
        };
        row("", Outcome::kDone, 13, 11, true);
        row("D", Outcome::kDeviceFailed, 13, 11, true); // refused write, good read-back
        row("QS", Outcome::kDeviceFailed, 3, 0, false);
        row("L5", Outcome::kDeviceFailed, 9, 6, false);
        row("silent", Outcome::kDeviceFailed, 2, 0, false);
        row("99", Outcome::kDeviceFailed, 0, 2, false); // the list keeps what it shows
        row("file", Outcome::kFileFailed, 13, 11, false);
        row("garbled", Outcome::kDeviceFailed, 13, 11, false);
    }
    void sendEntry() {
        QFETCH(QString, failing);
        QFETCH(int, outcome);
        QFETCH(int, sent);
        QFETCH(int, rows);
        QFETCH(bool, written);
        Rig rig;
        rig.replies["L3"] = QStringList{"X02071E0009\r"};
        rig.replies[failing] = QStringList{"ERR\r"};
        if (failing == "silent")
            rig.replies.clear();
        if (failing == "garbled")
            rig.replies["L"] = rig.replies["L3"] = QStringList{"\r"};
        rig.link.ComStatus = failing == "99" ? 99 : 0;
        const QString backup = rig.path(failing == "file" ? "no/Morvane.DAT" : "Morvane.DAT");
        QVERIFY(writeAll(rig.path("Morvane.DAT"), "last good\r\n"));
        QCOMPARE(int(morvane::sendEntry(rig.link, rig.list, rig.editor, backup)), outcome);
        QCOMPARE(rig.line.sent(), (QStringList{"D80101020300"} + kTableRead).mid(0, sent));
        QCOMPARE(rig.list.count(), rows);
        // Two time-outs; the refused send; the file error.
        QCOMPARE(rig.messages.size(),
                 failing == "silent" ? 2 : int(failing == "99" || failing == "file"));
        QStringList table;
        for (int n = 0; n < 10; ++n)
            table << QStringLiteral("予約%1:月　00:00:00  ENABLE  POWER ON ").arg(n);
        table[3] = "予約3:火　07:30:00  ENABLE  POWER OFF";
        if (rows == 11 && failing != "garbled")
            QCOMPARE(rig.list.rows, QStringList{"現在 :水　18:45:07"} + table);
        QCOMPARE(readAll(rig.path("Morvane.DAT")),
                 written ? cp932Lines(table) : QByteArray("last good\r\n"));
    }

    // Clock first, then each line to the reservation of its position.
    void readSetting_data() {
        QTest::addColumn<QStringList>("file"); // "-": no file
        QTest::addColumn<QStringList>("qt");   // successive "QT" replies; empty: silent device
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
        const QStringList twice = {"X0312\r", "X0409\r"};
        const QString after = "現在 :木　09:45:07";
        QTest::newRow("twelve lines, ten sent")
            << lines << twice << sent + QStringList{"QT", "QS"}
            << QStringList{after} + lines.mid(0, 10) << int(Outcome::kDone);
        QTest::newRow("empty file")
            << QStringList() << twice << QStringList{"QT", "QS", "N 00090507", "QT", "QS"}
            << QStringList{after} << int(Outcome::kDone);
        QTest::newRow("missing file") << QStringList{"-"} << twice << QStringList()
                                      << QStringList{"clock", "row 1"} << int(Outcome::kFileFailed);
        QTest::newRow("final query fails: row 0 kept")
            << lines.mid(0, 1) << QStringList{"X0312\r", "ERR\r"}
            << sent.mid(0, 4) + QStringList{"QT"}
            << QStringList{"現在 :水　18:45:07"} + lines.mid(0, 1) << int(Outcome::kDeviceFailed);
        QTest::newRow("silent device") << lines << QStringList() << QStringList{"QT"}
                                       << QStringList() << int(Outcome::kDeviceFailed);
        // The line goes away at D1 ("!" and when): the restore stops there.
        QTest::newRow("line gone")
            << lines << QStringList{"X0312\r", "!220"} << sent.mid(0, 5)
            << QStringList{"現在 :水　18:45:07"} + lines.mid(0, 10) << int(Outcome::kDeviceFailed);
    }
    void readSetting() {
        QFETCH(QStringList, file);
        QFETCH(QStringList, qt);
        QFETCH(QStringList, sent);
        QFETCH(QStringList, rows);
        QFETCH(int, outcome);
        Rig rig;
        if (file != QStringList{"-"})
            QVERIFY(writeAll(rig.path("Morvane.DAT"), cp932Lines(file)));
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
        QCOMPARE(rig.messages.size(), int(qt.size() != 2 || file == QStringList{"-"}));
        QCOMPARE(fileErr, qint16(file == QStringList{"-"} ? 0 : 7));
        // The event queue runs after every row added and before every send.
        const auto sends = std::count_if(sent.begin(), sent.end(), [](const QString& c) {
            return c.contains(QRegularExpression("^[DN]"));
        });
        QCOMPARE(pumps, sends ? std::min<int>(file.size(), 10) + sends : 0);
    }

    void checkSystemPanel_data() {
        QTest::addColumn<QStringList>("texts"); // Text1..Text4
        QTest::addColumn<QString>("settings");  // COMPORT ComTimeOut ComReTry BackUpFile
        QTest::addColumn<int>("focus");         // 0: accepted
        QTest::addColumn<QString>("message");
        const QString range = "-32768 から 32767 までの数値を設定してください。";
        const QString tooShort = "タイムアウト時間は２秒以上を設定してください。";
        const auto row = [](const char* tag, QStringList texts, const char* s, int focus,
                            const QString& message = {}) {
            QTest::newRow(tag) << texts << QString(s) << focus << message;
        };
        // Before: port 1, time-out 2, one attempt, backup /old.
        row("accepted, trimmed", {"3", "1.5", "0", "  /b c.dat "}, "3 2 0 /b c.dat", 0);
        row("letters", {"abc", "2x", "-4", ""}, "0 2 -4 ", 0);
        row("time-out 1 keeps the port", {"5", "1", "9", "/x"}, "5 2 1 /old", 2, tooShort);
        row("empty time-out", {"5", "", "9", "/x"}, "5 2 1 /old", 2, tooShort);
        row("port too large", {"40000", "2", "1", "/x"}, "1 2 1 /old", 1, range);
        row("time-out too large", {"5", "99999", "1", "/x"}, "1 2 1 /old", 2, range);
        row("retry too small", {"5", "2", "-40000", "/x"}, "1 2 1 /old", 3, range);
        // The settings file would cut the path at a comma, and drop a tab.
        const QString path = "バックアップファイル名には、カンマと制御文字は使えません。";
        row("comma in the path", {"5", "1", "1", "/data/backup,2026.dat"}, "1 2 1 /old", 4, path);
        row("tab in the path", {"5", "1", "1", "/a\tb"}, "1 2 1 /old", 4, path);
    }
    void checkSystemPanel() {
        QFETCH(QStringList, texts);
        QFETCH(QString, settings);
        QFETCH(int, focus);
        QFETCH(QString, message);
        SysSettingsRecord before;
        before.BackUpFile = "/old";
        const PanelCheck c =
            morvane::checkSystemPanel({texts[0], texts[1], texts[2], texts[3]}, before);
        const SysSettingsRecord& s = c.settings;
        QCOMPARE(QStringLiteral("%1 %2 %3 ").arg(s.COMPORT).arg(s.ComTimeOut).arg(s.ComReTry) +
                     s.BackUpFile,
                 settings);
        QCOMPARE(c.focusBox, focus);
        QCOMPARE(c.message, message);
    }
};

QTEST_GUILESS_MAIN(TstDevice)
#include "tst_device.moc"
