// SPDX-License-Identifier: MIT
// morvane-cli as a process against the simulator, judged by the commands the
// simulator logged, what the program printed, the backup file and the exit
// status; its reading of the command line; its English for the shared
// layers' messages.
#include "cli.h"
#include "cominit.h"
#include "exchange.h"
#include "messages.h"
#include "mscomm.h"
#include "simprocess.h"
#include "testdata.h"
#include "textfile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <QtTest>

using namespace morvane;
using namespace morvane::test;

namespace {

const QString kClock = QStringLiteral("<clock>"); // a clock row, whatever the time
const QStringList kTable = QStringList{kClock} + kSimRows;
const QRegularExpression kClockRow("^現在 :.{2}[0-9]{2}:[0-9]{2}:[0-9]{2}$",
                                   QRegularExpression::MultilineOption);
const QStringList kBackup = {QStringLiteral("予約0:水　12:34:56  ENABLE  POWER ON "),
                             QStringLiteral("予約1:毎日06:30:00  DISABLE POWER OFF")};

// The rows a JSON table stands for, in the list's own spelling.
QStringList rowsOf(const QJsonObject& table) {
    QStringList rows{table["clock"]["day"].toInt(-1) >= 0 ? kClock : "?"};
    for (const QJsonValue& v : table["reservations"].toArray())
        rows << QStringLiteral("予約%1:%2%3  %4 POWER %5")
                    .arg(v["number"].toInt())
                    .arg(DayName().value(v["day"].toInt(-1), "?"), v["time"].toString(),
                         v["enabled"].toBool() ? "ENABLE " : "DISABLE",
                         v["action"] == "off" ? "OFF" : "ON ");
    return rows;
}

} // namespace

class TstCli : public QObject {
    Q_OBJECT
private slots:
    // In a folder with Morvane.SYS (port 1, 2 s, one attempt, backup file
    // Morvane.DAT holding kBackup) and the simulator linked as COM1 holding
    // kSimTable; beside them empty.dat, lf.dat and utf8.dat (kBackup with no
    // line, with LF line ends, in UTF-8), and the folders utf8 (Morvane.SYS
    // in UTF-8) and port0 (COMPORT 0). "DIR" in an argument is that folder;
    // `sent` is a pattern. `setup`: "hold" (this process holds COM1 for the
    // run), "hold MS" (lets go after MS ms), "sh REDIRECTION" (run by the
    // shell with that redirection).
    void commands_data() {
        for (const char* column : {"setup", "sim", "args", "sent"})
            QTest::addColumn<QString>(column);
        QTest::addColumn<QStringList>("message"); // each once on stderr; PID: this process's
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("out");
        QTest::addColumn<QByteArray>("backup");
        const QString read = kTableRead.join(' '), set3 = "set 3 wed 12:34:56 on";
        const QString today = QString::number(QDate::currentDate().dayOfWeek() % 7);
        const QString restored =
            "QT QS N 0" + today + "[0-9A-F]{6} D0030C223881 D107061E0000 QT QS";
        QStringList set = kSimRows;
        set[3] = QStringLiteral("予約3:水　12:34:56  ENABLE  POWER ON ");
        const auto row = [](const char* tag, QString setup, QString sim, QString args, int status,
                            QString sent, QStringList out, QStringList message,
                            QStringList backup = kBackup) {
            QTest::newRow(tag) << setup << sim << args << sent << message << status << out
                               << cp932Lines(backup);
        };
        const QString off = "line 2 says POWER OFF";
        row("show", "", "", "show", 0, read, kTable, {});
        row("show --json", "", "", "show --json", 0, read, kTable, {});
        row("sync-clock", "", "", "sync-clock", 0, "N 0" + today + "[0-9A-F]{6} QT QS", {kClock},
            {});
        row("set", "", "", set3, 0, "D3030C223881 " + read, QStringList{kClock} + set, {}, set);
        row("backup", "", "", "backup", 0, read, {"DIR/Morvane.DAT"}, {}, kSimRows);
        row("restore", "", "", "restore", 0, restored, {kClock}, {off});
        row("restore, no file", "", "", "restore none.dat", 3, "", {}, {"none.dat: not found"});
        row("restore, not a backup", "", "", "restore DIR/Morvane.SYS", 3, "", {},
            {"line 1 is not a reservation"});
        row("restore, empty file", "", "", "restore DIR/empty.dat", 3, "", {}, {"no reservation"});
        row("restore, LF line ends", "", "", "restore DIR/lf.dat", 3, "", {},
            {"lf.dat: line 1 has LF line ends"});
        row("restore, UTF-8", "", "", "restore DIR/utf8.dat", 3, "", {},
            {"utf8.dat: not code page 932"});
        row("settings in UTF-8", "", "", "--dir DIR/utf8 show", 3, "", {},
            {"Morvane.SYS: not code page 932"});
        row("silent", "", "--silent", set3, 1, "D3030C223881 QT", {},
            {"it is not connected", "The port is open"});
        row("ERR to L5", "", "--fail L5", set3, 1,
            "D3030C223881 " + read.left(read.indexOf("L6") - 1), {}, {"\"ERR\" to \"L5\""});
        row("device vanishes", "", "--vanish-after 3", "show", 1, "QT QS L0 L1", {},
            {"COM1 is DIR/COM1 → ", "went away"});
        row("COMPORT 0", "", "", "--dir DIR/port0 show", 1, "", {},
            {"Set COMPORT in Morvane.SYS to 1 or more"});
        row("port in use", "hold", "", "show", 4, "", {},
            {"COM1 is in use", "process PID", "--wait"});
        row("port freed while waiting", "hold 1000", "", "--wait 5 show", 0, read, kTable, {});
        row("stdout full", "sh >/dev/full", "", "show", 3, read, {}, {"no space left"});
        row("stdout closed", "sh >&-", "", "show", 3, read, {}, {"standard output is closed"});
        row("stderr full", "sh 2>/dev/full", "", "restore", 3, restored, {kClock}, {});
        row("bad number", "", "", "set 10 wed 12:34:56 on", 2, "", {}, {"Usage:"});
        row("dash-led time", "", "", "set 3 wed -1:00:00 on", 2, "", {},
            {"time \"-1:00:00\"", "Usage:"});
        row("unknown option", "", "", "show --all", 2, "", {}, {"\"--all\"", "Usage:"});
    }
    void commands() {
        QFETCH(QString, setup);
        QFETCH(QString, sim);
        QFETCH(QString, args);
        QFETCH(QString, sent);
        QFETCH(QStringList, message);
        QFETCH(QStringList, out);
        SimProcess device;
        const QString dir = device.tempDir();
        QVERIFY(QDir(dir).mkpath("utf8") && QDir(dir).mkpath("port0"));
        QVERIFY(putFile(dir + "/table.txt", kSimTable) &&
                putFile(dir + "/Morvane.SYS", sysFileBytes("1", "2", "1", "Morvane.DAT")) &&
                putFile(dir + "/Morvane.DAT", cp932Lines(kBackup)) &&
                putFile(dir + "/empty.dat", "") &&
                putFile(dir + "/lf.dat", cp932(kBackup.join('\n') + '\n')) &&
                putFile(dir + "/utf8.dat", (kBackup.join("\r\n") + "\r\n").toUtf8()) &&
                putFile(dir + "/utf8/Morvane.SYS",
                        "COMPORT,1,通信ポート番号\r\nBackUpFile,Morvane.DAT,\r\n") &&
                putFile(dir + "/port0/Morvane.SYS", sysFileBytes("0", "2", "1", "Morvane.DAT")));
        QVERIFY2(device.start(sim.split(' ', Qt::SkipEmptyParts) +
                              QStringList{"--link", dir + "/COM1", "--table", dir + "/table.txt"}),
                 qPrintable(device.errorString()));

        MSComm holder;
        if (setup.startsWith("hold")) {
            QCOMPARE(COM_Init(holder, SysSettingsRecord{}, dir), kComStatusOpen);
            if (const int ms = setup.section(' ', 1).toInt())
                QTimer::singleShot(ms, &holder, [&holder] { holder.setPortOpen(false); });
        }
        QString program = qEnvironmentVariable(
            "MORVANE_CLI", QCoreApplication::applicationDirPath() + "/../bin/morvane-cli");
        QStringList arguments = ("--dir DIR " + args).split(' ').replaceInStrings("DIR", dir);
        if (setup.startsWith("sh ")) {
            arguments =
                QStringList{"-c", "exec \"$0\" \"$@\" " + setup.mid(3), program} + arguments;
            program = "sh";
        }
        QProcess cli;
        cli.start(program, arguments);
        // The event loop runs meanwhile, for the holder to let go.
        QTRY_VERIFY_WITH_TIMEOUT(cli.state() == QProcess::NotRunning, 20000);
        const QString stdOut = QString::fromUtf8(cli.readAllStandardOutput());
        const QString stdErr = QString::fromUtf8(cli.readAllStandardError());
        QTEST(cli.exitCode(), "status");
        for (const QString& m :
             message.replaceInStrings("DIR", dir)
                 .replaceInStrings("PID", QString::number(QCoreApplication::applicationPid())))
            QVERIFY2(stdErr.count(m) == 1, qPrintable(m + " in:\n" + stdErr));
        if (message.isEmpty())
            QVERIFY2(stdErr.isEmpty(), qPrintable(stdErr));
        // English only; and as no port here is missing, no advice to link one.
        QVERIFY2(!stdErr.contains(QRegularExpression("[\\x{3000}-\\x{9FFF}\\x{FF00}-\\x{FFEF}]")),
                 qPrintable(stdErr));
        QVERIFY2(!stdErr.contains("ln -s"), qPrintable(stdErr));
        // In use is not broken.
        if (cli.exitCode() == kExitBusy)
            QVERIFY2(!stdErr.contains(englishMessage(kMsgSetUpPortAgain)), qPrintable(stdErr));
        const QString log = device.loggedCommands().join(' ');
        QVERIFY2(QRegularExpression("^(" + sent + ")$").match(log).hasMatch(), qPrintable(log));
        QCOMPARE(args.contains("--json")
                     ? rowsOf(QJsonDocument::fromJson(stdOut.toUtf8()).object())
                     : QString(stdOut).replace(kClockRow, kClock).split('\n', Qt::SkipEmptyParts),
                 out.replaceInStrings("DIR", dir));
        QTEST(readAll(dir + "/Morvane.DAT"), "backup");
    }

    // The command line taken apart: options anywhere before "--", words
    // starting with a single "-" kept as arguments.
    void splitArguments_data() {
        QTest::addColumn<QString>("args");
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<QString>("dir"); // "-": none given
        QTest::addColumn<int>("wait");
        QTest::addColumn<bool>("json");
        QTest::addColumn<QString>("error"); // how the refusal begins; empty: taken
        const auto row = [](const char* args, QStringList words, QString dir = "-", int wait = 0,
                            bool json = false, QString error = {}) {
            QTest::newRow(args) << QString(args) << words << dir << wait << json << error;
        };
        row("set 3 wed -1:00:00 on", {"set", "3", "wed", "-1:00:00", "on"});
        row("backup -x.dat", {"backup", "-x.dat"});
        row("show --json --dir d --wait 600", {"show"}, "d", 600, true);
        row("--wait=86400 --dir=a --dir b show", {"show"}, "b", 86400);
        row("--wait 0 -- --json -v --all", {"--json", "-v", "--all"});
        row("show --all", {}, "-", 0, false, "unknown option \"--all\"");
        row("--wait 86401 show", {}, "-", 0, false, "--wait \"86401\"");
        row("--wait 1.5 show", {}, "-", 0, false, "--wait \"1.5\"");
        row("--wait -1 show", {}, "-", 0, false, "--wait \"-1\"");
        row("--wait= show", {}, "-", 0, false, "--wait \"\"");
        row("show --wait", {}, "-", 0, false, "--wait needs a value");
        row("--dir= show", {}, "-", 0, false, "--dir needs a value");
    }
    void splitArguments() {
        QFETCH(QString, args);
        QFETCH(QString, error);
        QString why;
        const std::optional<CommandLine> c = morvane::splitArguments(args.split(' '), &why);
        QVERIFY2(why.startsWith(error), qPrintable(why));
        QCOMPARE(c.has_value(), error.isEmpty());
        if (!c)
            return;
        QTEST(c->words, "words");
        QTEST(c->dir.value_or("-"), "dir");
        QTEST(c->waitSeconds, "wait");
        QTEST(c->json, "json");
    }

    // Every message of the shared layers in English: the exchange's, and
    // each file error's text.
    void englishMessages_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("english"); // a part of it
        QTest::newRow("not connected") << kMsgNotConnected << "does not answer";
        QTest::newRow("set up again") << kMsgSetUpPortAgain << "did not open";
        QTest::newRow("time-out") << kMsgTimeOut << "Timed out";
        for (auto [number, english] : {std::pair{kFileErrBadText, "Shift_JIS"},
                                       {kFileErrTooLarge, "too large"},
                                       {kFileErrTooManyLines, "too many lines"},
                                       {kFileErrBadNameOrNumber, "file name"},
                                       {kFileErrNotFound, "not found"},
                                       {kFileErrBadMode, "cannot be opened"},
                                       {kFileErrAlreadyOpen, "already open"},
                                       {kFileErrIO, "input/output"},
                                       {kFileErrDiskFull, "disk full"},
                                       {kFileErrPastEnd, "end of file"},
                                       {kFileErrBadName, "file name"},
                                       {kFileErrDeviceUnavailable, "not available"},
                                       {kFileErrAccessDenied, "permission denied"},
                                       {kFileErrDiskNotReady, "not ready"},
                                       {kFileErrPathAccess, "directory"},
                                       {kFileErrPathNotFound, "path not found"},
                                       {FileErr(99), "file error 99"}})
            QTest::newRow(qPrintable(QString::number(number))) << fileErrorText(number) << english;
    }
    void englishMessages() {
        QFETCH(QString, message);
        QFETCH(QString, english);
        const QString text = englishMessage(message);
        QVERIFY2(text.contains(english), qPrintable(text));
        QVERIFY2(QRegularExpression("^[\\x{20}-\\x{7E}]+$").match(text).hasMatch(),
                 qPrintable(text));
    }

    // Numbers that share a text share a meaning, and a text the table does
    // not hold is still told.
    void fileErrorMeanings() {
        for (const FileErrorMeaning& m : morvane::fileErrorMeanings())
            QCOMPARE(englishMessage(fileErrorText(m.number)), m.english);
        QVERIFY(englishMessage("謎").contains("謎"));
        QCOMPARE(englishMessage("plain words"), QString("plain words"));
    }

    // The clock in JSON: Sunday is day 0; a clock row of another shape is null.
    void clockJson() {
        QCOMPARE(tableJson({QStringLiteral("現在 :日　01:02:03")})["clock"].toObject(),
                 (QJsonObject{{"day", 0}, {"time", "01:02:03"}}));
        QVERIFY(tableJson({QStringLiteral("現在 :日　01:02")})["clock"].isNull());
    }

    // A command line's reservation as the editor's values ("reservation day
    // hour minute second enable"), or refused.
    void requests_data() {
        QTest::addColumn<QString>("args");
        for (const char* row :
             {"set 0 every 0:00:00 off|0 7 0 0 0 0", "set 9 7 23:59:59 ON|9 7 23 59 59 1",
              "set 5 Sat 07:05:09 off|5 6 7 5 9 0", "set 1 8 12:00:00 on", "set 1 mon 24:00:00 on",
              "set 1 mon 12:00:60 on", "set 1 mon 12:00 on", "set 1 mon 12:00:00 yes",
              "set １ mon 12:00:00 on", "sync-clock now"})
            QTest::newRow(row) << QString(row);
    }
    void requests() {
        QFETCH(QString, args);
        const std::optional<Request> r =
            parseRequest(args.section('|', 0, 0).split(' '), false, nullptr);
        const EditorValues e = r ? r->entry : EditorValues{};
        QCOMPARE(r ? QString("%1 %2 %3 %4 %5 %6")
                         .arg(e.reservation)
                         .arg(e.day)
                         .arg(e.hour, e.minute, e.second)
                         .arg(e.enable)
                   : "refused",
                 args.contains('|') ? args.section('|', 1) : "refused");
    }
};

QTEST_GUILESS_MAIN(TstCli)
#include "tst_cli.moc"
