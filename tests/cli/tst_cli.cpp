// SPDX-License-Identifier: MIT
// morvane-cli as a process against the simulator, judged by the commands the
// simulator logged, what the program printed, the backup file and the exit
// status; and its reading of a reservation on the command line.
#include "cli.h"
#include "simprocess.h"
#include "testdata.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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
    // kSimTable. "DIR" in an argument is that folder; `sent` is a pattern.
    void commands_data() {
        for (const char* column : {"sim", "args", "sent", "message"}) // message: once on stderr
            QTest::addColumn<QString>(column);
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("out");
        QTest::addColumn<QByteArray>("backup");
        const QString read = kTableRead.join(' '), set3 = "set 3 wed 12:34:56 on";
        const QString today = QString::number(QDate::currentDate().dayOfWeek() % 7);
        QStringList set = kSimRows;
        set[3] = QStringLiteral("予約3:水　12:34:56  ENABLE  POWER ON ");
        const auto row = [](const char* tag, QString sim, QString args, int status, QString sent,
                            QStringList out, QString message, QStringList backup) {
            QTest::newRow(tag) << sim << args << sent << message << status << out
                               << cp932Lines(backup);
        };
        row("show", "", "show", 0, read, kTable, "", kBackup);
        row("show --json", "", "show --json", 0, read, kTable, "", kBackup);
        row("sync-clock", "", "sync-clock", 0, "N 0" + today + "[0-9A-F]{6} QT QS", {kClock}, "",
            kBackup);
        row("set", "", set3, 0, "D3030C223881 " + read, QStringList{kClock} + set, "", set);
        row("backup", "", "backup", 0, read, {"DIR/Morvane.DAT"}, "", kSimRows);
        row("restore", "", "restore", 0,
            "QT QS N 0" + today + "[0-9A-F]{6} D0030C223881 D107061E0000 QT QS", {kClock}, "",
            kBackup);
        row("restore, no file", "", "restore none.dat", 3, "", {}, "ファイル名が見つかりません。",
            kBackup);
        row("restore, no backup", "", "restore DIR/table.txt", 3, "", {},
            "line 1 is not a reservation", kBackup);
        row("silent", "--silent", set3, 1, "D3030C223881 QT", {}, kMsgNotConnected, kBackup);
        row("ERR to L5", "--fail L5", set3, 1, "D3030C223881 " + read.left(read.indexOf("L6") - 1),
            {}, "\"ERR\" to \"L5\"", kBackup);
        row("bad number", "", "set 10 wed 12:34:56 on", 2, "", {}, "Usage:", kBackup);
        row("unknown flag", "", "show --all", 2, "", {}, "Usage:", kBackup);
    }
    void commands() {
        QFETCH(QString, sim);
        QFETCH(QString, args);
        QFETCH(QString, sent);
        QFETCH(QString, message);
        QFETCH(QStringList, out);
        SimProcess device;
        const QString dir = device.tempDir();
        QVERIFY(writeAll(dir + "/table.txt", kSimTable) &&
                writeAll(dir + "/Morvane.SYS", sysFileBytes("1", "2", "1", "Morvane.DAT")) &&
                writeAll(dir + "/Morvane.DAT", cp932Lines(kBackup)));
        QVERIFY2(device.start(sim.split(' ', Qt::SkipEmptyParts) +
                              QStringList{"--link", dir + "/COM1", "--table", dir + "/table.txt"}),
                 qPrintable(device.errorString()));
        QProcess cli;
        cli.start(qEnvironmentVariable("MORVANE_CLI", QCoreApplication::applicationDirPath() +
                                                          "/../bin/morvane-cli"),
                  ("--dir DIR " + args).split(' ').replaceInStrings("DIR", dir));
        QVERIFY(cli.waitForFinished(20000));
        const QString stdOut = QString::fromUtf8(cli.readAllStandardOutput());
        const QString stdErr = QString::fromUtf8(cli.readAllStandardError());
        QTEST(cli.exitCode(), "status");
        QVERIFY2(message.isEmpty() ? stdErr.isEmpty() : stdErr.count(message) == 1,
                 qPrintable(stdErr));
        const QString log = device.loggedCommands().join(' ');
        QVERIFY2(QRegularExpression("^(" + sent + ")$").match(log).hasMatch(), qPrintable(log));
        QCOMPARE(args.contains("--json")
                     ? rowsOf(QJsonDocument::fromJson(stdOut.toUtf8()).object())
                     : QString(stdOut).replace(kClockRow, kClock).split('\n', Qt::SkipEmptyParts),
                 out.replaceInStrings("DIR", dir));
        QTEST(readAll(dir + "/Morvane.DAT"), "backup");
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
