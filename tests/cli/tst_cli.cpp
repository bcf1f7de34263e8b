// SPDX-License-Identifier: MIT
// morvane-cli as a process against the simulator; its command line; its English.
#include "cli.h"
#include "exchange.h"
#include "messages.h"
#include "simprocess.h"
#include "testdata.h"
#include "textfile.h"

#include <QtTest>

using namespace morvane;
using namespace morvane::test;

namespace {

const QString kClock = QStringLiteral("<clock>"); // a clock row, whatever the time
const QString kNow = QStringLiteral("N <now>");   // the clock command for this computer's time
const QRegularExpression kClockRow("^現在 :.{2}[0-9]{2}:[0-9]{2}:[0-9]{2}$");
const QStringList kBackup = {QStringLiteral("予約0:水　12:34:56  ENABLE  POWER OFF"),
                             QStringLiteral("予約1:毎日06:30:00  DISABLE POWER OFF")};

// A run in a folder ("DIR") with the simulator linked as COM1 holding kSimTable.
struct Run {
    QByteArray sys = sysFileBytes("1", "2", "1", "Morvane.DAT"); // Morvane.SYS
    QByteArray dat = cp932Lines(kBackup);                        // Morvane.DAT, the backup file
    int exit = kExitDone;
    QStringList sent;                 // the simulator's command log
    QStringList out;                  // kClock for a clock row; JSON: see commands()
    QList<QStringList> err;           // what each "morvane-cli: " message on stderr holds
    std::optional<QStringList> after; // Morvane.DAT afterwards; none: unchanged
};

// A command line through splitArguments, then parseRequest.
struct Line {
    QString error;     // how the refusal begins; empty: taken
    QString dir = "-"; // none given
    int wait = 0;
    bool json = false, help = false, version = false;
    std::optional<EditorValues> entry; // a reservation to set
};

} // namespace

class TstCli : public QObject {
    Q_OBJECT
private slots:
    // The tag: the command line after "--dir DIR"; after a comma simulator options, a
    // redirection of the output or a note. A busy port: see tst_contention.
    void commands_data() {
        QTest::addColumn<Run>("run");
        const auto row = [](const char* tag, const Run& r) { QTest::newRow(tag) << r; };
        const QStringList read = kTableRead, send3 = QStringList{"D3030C223881"} + read;
        const QStringList restored = {"QT", "QS", kNow, "D0030C223881", "D107061E0000", "QT", "QS"};
        QStringList set = kSimRows;
        set[3] = QStringLiteral("予約3:水　12:34:56  ENABLE  POWER ON ");
        row("show", {.sent = read, .out = QStringList{kClock} + kSimRows});
        row("show --json", {.sent = read});
        row("sync-clock", {.sent = {kNow, "QT", "QS"}, .out = {kClock}});
        row("set 3 wed 12:34:56 on",
            {.sent = send3, .out = QStringList{kClock} + set, .after = set});
        row("backup", {.sent = read, .out = {"DIR/Morvane.DAT"}, .after = kSimRows});
        row("restore", {.sent = restored, .out = {kClock}, .err = {{"lines 1, 2 say POWER OFF"}}});
        row("restore DIR/table.txt", {.exit = 3, .err = {{"table.txt: line 1 has LF line ends"}}});
        row("restore, no line", {.dat = "", .exit = 3, .err = {{"no reservation"}}});
        row("restore, UTF-8", {.dat = kBackup.join("\r\n").toUtf8(),
                               .exit = 3,
                               .err = {{"Morvane.DAT: not code page"}}});
        row("show, settings in UTF-8", {.sys = "COMPORT,1,通信ポート番号\r\n",
                                        .exit = 3,
                                        .err = {{"Morvane.SYS: not code page"}}});
        row("show, --silent",
            {.exit = 1, .sent = {"QT"}, .err = {{"not connected", "port is open"}}});
        row("show, --nak 1",
            {.exit = 1, .sent = QStringList{"QT"} + read.mid(2), .err = {{"could not be read"}}});
        row("set 3 wed 12:34:56 on, --fail L5",
            {.exit = 1, .sent = send3.mid(0, 9), .err = {{"\"ERR\" to \"L5\""}}});
        row("show, COMPORT 0", {.sys = "COMPORT,0,\r\n",
                                .exit = 1,
                                .err = {{"did not open", "Set COMPORT in Morvane.SYS to 1"}}});
        row("show, >/dev/full", {.exit = 3, .sent = read, .err = {{"no space left"}}});
        row("show, >&-", {.exit = 3, .sent = read, .err = {{"output is closed"}}});
        row("restore, 2>/dev/full", {.exit = 3, .sent = restored, .out = {kClock}});
        row("set 3 wed -1:00:00 on", {.exit = 2, .err = {{"time \"-1:00:00\"", "Usage:"}}});
    }
    void commands() {
        QFETCH(Run, run);
        const QString tag = QTest::currentDataTag(), args = tag.section(", ", 0, 0);
        const QString setup = tag.section(", ", 1);
        SimProcess device;
        const QString dir = device.tempDir();
        QVERIFY(putFile(dir + "/table.txt", kSimTable) && putFile(dir + "/Morvane.SYS", run.sys) &&
                putFile(dir + "/Morvane.DAT", run.dat));
        const QStringList sim{"--link", dir + "/COM1", "--table", dir + "/table.txt"};
        QVERIFY(device.start(setup.startsWith("--") ? setup.split(' ') + sim : sim));
        QProcess cli;
        if (setup.endsWith(">/dev/full"))
            (setup[0] == '>' ? cli.setStandardOutputFile("/dev/full")
                             : cli.setStandardErrorFile("/dev/full"));
        if (setup == ">&-")
            cli.setChildProcessModifier([] { ::close(1); });
        cli.start(
            qEnvironmentVariable("MORVANE_CLI", qApp->applicationDirPath() + "/../bin/morvane-cli"),
            ("--dir DIR " + args).split(' ').replaceInStrings("DIR", dir));
        QVERIFY(cli.waitForFinished(20000));
        const QString stdOut = QString::fromUtf8(cli.readAllStandardOutput());
        const QString stdErr = QString::fromUtf8(cli.readAllStandardError());
        QCOMPARE(cli.exitCode(), run.exit);
        const QStringList told = stdErr.split("morvane-cli: ", Qt::SkipEmptyParts);
        QCOMPARE(told.size(), run.err.size());
        for (qsizetype i = 0; i < told.size(); ++i)
            for (const QString& part : run.err[i])
                QVERIFY2(told[i].contains(part), qPrintable(part + " in:\n" + told[i]));
        // English only; and as no port here is missing, no advice to link one.
        QVERIFY2(!stdErr.contains(QRegularExpression("[\u3000-\uFFEF]|ln -s")), qPrintable(stdErr));
        const QString now = QString("^N 0%1[0-9A-F]{6}$").arg(QDate::currentDate().dayOfWeek() % 7);
        QCOMPARE(device.loggedCommands().replaceInStrings(QRegularExpression(now), kNow), run.sent);
        if (args.contains("--json")) // the table read, as tableJson gives it
            QCOMPARE(QJsonDocument::fromJson(stdOut.toUtf8())["reservations"].toArray(),
                     tableJson(QStringList{kClock} + kSimRows)["reservations"].toArray());
        else
            QCOMPARE(stdOut.split('\n', Qt::SkipEmptyParts).replaceInStrings(kClockRow, kClock),
                     run.out.replaceInStrings("DIR", dir));
        QCOMPARE(readAll(dir + "/Morvane.DAT"), run.after ? cp932Lines(*run.after) : run.dat);
    }

    void commandLines_data() {
        QTest::addColumn<Line>("c");
        const auto row = [](const char* args, const Line& c) { QTest::newRow(args) << c; };
        const auto set = [](auto a, EditorValues e) { QTest::newRow(a) << Line{.entry = e}; };
        row("show --json --dir d --wait 600", {.dir = "d", .wait = 600, .json = true});
        row("--wait=86400 --dir=a --dir b show", {.dir = "b", .wait = 86400});
        row("-h --version show", {.help = true, .version = true});
        row("--wait 0 -- -v", {.error = "unknown command \"-v\""});
        row("show --all", {.error = "unknown option \"--all\""});
        row("--wait 86401 show", {.error = "--wait \"86401\""});
        row("--wait -1 show", {.error = "--wait \"-1\""});
        row("show --wait", {.error = "--wait needs a value"});
        row("--dir= show", {.error = "--dir needs a value"});
        row("backup --json", {.error = "--json goes with show only", .json = true});
        row("sync-clock now", {.error = "sync-clock: wrong number"});
        set("set 0 every 0:00:00 off",
            {.reservation = 0, .day = 7, .hour = "0", .minute = "0", .second = "0"});
        set("set 9 7 23:59:59 off",
            {.reservation = 9, .day = 7, .hour = "23", .minute = "59", .second = "59"});
        set("set 5 Sat 07:05:09 ON",
            {.reservation = 5, .day = 6, .hour = "7", .minute = "5", .second = "9", .enable = 1});
        row("set 10 mon 12:00:00 on", {.error = "reservation \"10\""});
        row("set １ mon 12:00:00 on", {.error = "reservation \"１\""});
        row("set 1 8 12:00:00 on", {.error = "day \"8\""});
        row("set 1 mon 24:00:00 on", {.error = "time \"24:00:00\""});
        row("set 1 mon 12:60:00 on", {.error = "time \"12:60:00\""});
        row("set 1 mon 12:00:60 on", {.error = "time \"12:00:60\""});
        row("set 1 mon 12:00 on", {.error = "time \"12:00\""});
        row("set 1 mon 12:00:00 yes", {.error = "flag \"yes\""});
    }
    void commandLines() {
        QFETCH(Line, c);
        QString why;
        const auto got = splitArguments(QString(QTest::currentDataTag()).split(' '), &why);
        const auto r = got ? parseRequest(got->words, got->json, &why) : std::nullopt;
        QCOMPARE(c.error.isEmpty() ? why : why.left(c.error.size()), c.error);
        if (!got)
            return;
        QCOMPARE(got->dir.value_or("-"), c.dir);
        QCOMPARE(got->waitSeconds, c.wait);
        QCOMPARE(got->json, c.json);
        QCOMPARE(got->help, c.help);
        QCOMPARE(got->version, c.version);
        QCOMPARE(r && r->action == Action::kSet, c.entry.has_value());
        if (!c.entry)
            return;
        QCOMPARE(r->entry.reservation, c.entry->reservation);
        QCOMPARE(r->entry.day, c.entry->day);
        QCOMPARE(r->entry.hour, c.entry->hour);
        QCOMPARE(r->entry.minute, c.entry->minute);
        QCOMPARE(r->entry.second, c.entry->second);
        QCOMPARE(r->entry.enable, c.entry->enable);
    }

    // Numbers that share a text share a meaning; a text the table does not hold is still told.
    void englishMessages() {
        for (const FileErrorMeaning& m : fileErrorMeanings())
            QCOMPARE(englishMessage(fileErrorText(m.number)), m.english);
        QCOMPARE(englishMessage(kMsgTimeOut), "Timed out waiting for the Morvane.");
        QCOMPARE(englishMessage(fileErrorText(99)), "file error 99");
        QCOMPARE(englishMessage("謎"), "a message without an English text: 謎");
        QCOMPARE(englishMessage("plain words"), "plain words");
    }

    // Sunday is day 0; a row of another shape is null.
    void jsonTable() {
        const QJsonObject t = tableJson({QStringLiteral("現在 :日　01:02:03"), kSimRows[2], "?"});
        QCOMPARE(t["clock"].toObject(), (QJsonObject{{"day", 0}, {"time", "01:02:03"}}));
        const QJsonDocument row = QJsonDocument::fromJson(
            R"({"number": 2, "day": 2, "time": "09:30:15", "enabled": true, "action": "off"})");
        QCOMPARE(t["reservations"][0].toObject(), row.object());
        QVERIFY(t["reservations"][1].isNull());
        QVERIFY(tableJson({QStringLiteral("現在 :日　01:02")})["clock"].isNull());
    }
};

QTEST_GUILESS_MAIN(TstCli)
#include "tst_cli.moc"
