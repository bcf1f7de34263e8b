// SPDX-License-Identifier: MIT
// Fault matrix: the real window against every fault mode of morvane-sim, for
// every action that talks to the device and can still be started. Each cell
// runs alone (own folder, simulator and window) and checks the messages, the
// commands the device received, the list, the editor, the port and both files.
#include "formprobe.h"
#include "mainform.h"
#include "messageerror.h"
#include "simprocess.h"
#include "testdata.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace morvane;
using namespace morvane::test;

namespace {

// Row 0: any clock line, the one just set, or its head alone.
const QString kAny = QStringLiteral("現在 :[日月火水木金土]　\\d\\d:\\d\\d:\\d\\d");
const QString kSet = QStringLiteral("現在 :水　09:05:\\d\\d");
const QString kHead = QStringLiteral("現在 :[日月火水木金土]　\\d\\d:");

// One action under one fault. The name is the action, and "@K" stops (or
// vanishes) the device after K commands; start-up takes 12.
struct Cell {
    const char* name = "";
    QStringList messages = {}; // shown during the action and after it
    QStringList sent = {};     // commands the device received meanwhile
    QString clock = kAny;      // List1's row 0, a pattern; empty: List1 is empty
    QStringList rows = {};     // List1's rows 1..10
    Editor editor = {};        // no reservation: the PC's time where the action
                               // resets the editor, not checked elsewhere
    bool backup = false;       // the backup now holds rows 1..10; else as it was
    bool enabled = true;       // Command2, Command3 and Check1(1)
    bool open = true;          // the port, and ComStatus 0
};

// clang-format off
const QString kNc = kMsgNotConnected;
const Editor kNowEditor = {"現在", "水　", "09", "05", "07"};   // the PC: Wednesday 09:05:07
const QStringList kSetClock = {"N 03090507"};
const std::pair<const char*, const char*> kReservation3[] = {   // Tuesday 21:05:00
    {"Combo3", "予約3"}, {"Combo2", "火　"}, {"Combo1(0)", "21"}, {"Combo1(1)", "5"}, {"Combo1(2)", "0"}};
const QStringList kSendRes = {"D30215050000"};                  // the same, off
const QStringList kT3 = kSimRows.mid(0, 3) + QStringList{"予約3:火　21:05:00  DISABLE POWER ON "} + kSimRows.mid(4);
// The backup file every cell starts with, and the commands its restore sends.
const QStringList kB = {
    "予約0:月　06:00:00  ENABLE  POWER ON ", "予約1:火　07:15:30  DISABLE POWER ON ",
    "予約2:水　08:30:00  ENABLE  POWER OFF", "予約3:木　12:00:59  ENABLE  POWER ON ",
    "予約4:金　17:45:00  DISABLE POWER OFF", "予約5:土　23:59:59  ENABLE  POWER ON ",
    "予約6:日　00:00:01  DISABLE POWER ON ", "予約7:毎日05:05:05  ENABLE  POWER ON ",
    "予約8:月　18:20:40  ENABLE  POWER OFF", "予約9:金　21:10:00  DISABLE POWER ON "};
const QStringList kRestore = QStringList{"QT", "QS"} + kSetClock + QStringList{
    "D00106000081", "D102070F1E00", "D203081E0081", "D3040C003B81", "D405112D0000",
    "D506173B3B81", "D60000000100", "D70705050581", "D80112142881", "D905150A0000", "QT", "QS"};

// Every action on a device whose replies come whole in the end.
const QList<Cell> kWhole = {
    {.name = "startup",          .sent = kTableRead,             .rows = kSimRows},
    {.name = "clock-row",        .sent = {"QT", "QS"},      .rows = kSimRows},
    {.name = "reservation-row",  .sent = {"L3"},            .rows = kSimRows,
     .editor = {.reservation = "予約3", .day = "火　", .hour = "7", .minute = "30", .second = "0"}},
    {.name = "send-reservation", .sent = kSendRes + kTableRead,  .rows = kT3, .backup = true},
    {.name = "send-clock",       .sent = kSetClock + kTableRead, .clock = kSet, .rows = kSimRows, .backup = true},
    {.name = "restore",          .sent = kRestore,          .clock = kSet, .rows = kB},
    {.name = "confirm",          .sent = kTableRead,             .rows = kSimRows},
};
// The device stops answering, or goes away, in the middle of the action.
QList<Cell> midAction(bool gone) {
    const bool o = !gone;
    QList<Cell> cells = {
        {.name = "startup@5", .messages = {kNc}, .sent = kTableRead.mid(0, 6), .rows = kSimRows.mid(0, 3), .enabled = false, .open = o},
        // The "QS" part fails: row 0 keeps the head of the line.
        {.name = "clock-row@13", .messages = {kNc}, .sent = {"QT", "QS"}, .clock = kHead, .rows = kSimRows, .open = o},
        {.name = "reservation-row@12", .messages = {kNc}, .sent = {"L3"}, .rows = kSimRows, .open = o},
        // The write succeeds, the read-back stops at L2: the backup is kept.
        {.name = "send-reservation@17", .messages = {kNc}, .sent = kSendRes + kTableRead.mid(0, 5), .rows = kSimRows.mid(0, 2), .open = o},
        {.name = "send-clock@13", .messages = {kNc}, .sent = kSetClock + QStringList{"QT"}, .clock = "", .open = o},
        {.name = "confirm@16", .messages = {kNc}, .sent = kTableRead.mid(0, 5), .rows = kSimRows.mid(0, 2), .open = o}};
    if (gone) return cells + QList<Cell>{
        // Gone at the write: the read-back does not even start.
        {.name = "send-reservation@12", .messages = {kNc}, .sent = kSendRes, .rows = kSimRows, .open = false},
        {.name = "restore@23", .messages = {kNc}, .sent = kRestore.mid(0, 12), .rows = kB, .open = false},
        // Gone during start-up: port 2's link dangles, the values are saved.
        {.name = "confirm@5", .messages = {"COM ポートが無効です。"}, .rows = kSimRows.mid(0, 3), .enabled = false, .open = false}};
    return cells + QList<Cell>{
        // The write fails; the read-back still runs and fails too.
        {.name = "send-reservation@12", .messages = {kNc, kNc}, .sent = kSendRes + QStringList{"QT"}, .clock = ""},
        // D8, D9 and the last clock query fail each; row 0 keeps the first clock.
        {.name = "restore@23", .messages = {kNc, kNc, kNc}, .sent = kRestore.mid(0, 14), .rows = kB}};
}

// A fault mode of the simulator and what it does to every action. Replies in three pieces, or
// 300 ms late (within the time-out even when a second boundary falls into the wait), or with
// "TICK*" CR arriving unasked every 1.2 s (collected without a message, never part of a reply; the
// action runs between two of them, and at start-up one already waits when the port opens).
const struct {
    const char* name;
    QStringList simArgs;
    QList<Cell> cells;
} kFamilies[] = {
    // A device that never answers: start-up fails and switches sending off,
    // the list stays empty; only the settings panel is left to try.
    {"silent", {"--silent"}, {
        {.name = "startup", .messages = {kNc}, .sent = {"QT"}, .clock = "", .enabled = false},
        {.name = "confirm", .messages = {kNc}, .sent = {"QT"}, .clock = "", .enabled = false}}},
    {"pieces", {"--pieces", "3", "--gap", "40"}, kWhole},
    {"lateShort", {"--delay", "300"}, kWhole},
    {"unsolicited", {"--unsolicited", "TICK", "--every", "1200"}, kWhole},
    {"stop", {"--stop-after"}, midAction(false)},
    {"vanish", {"--vanish-after"}, midAction(true)},
};
// clang-format on

// Drives the window as the user would; a missing row cannot be chosen.
void act(MainForm& form, const QString& action) {
    if (action == "startup")
        form.Form_Load();
    if (action.endsWith("row")) {
        control<QListWidget>(&form, "List1")->setCurrentRow(action == "clock-row" ? 0 : 4);
        form.List1_Click();
    }
    if (action == "send-reservation") // the box stays off
        for (const auto& [box, text] : kReservation3)
            control<QComboBox>(&form, box)->setEditText(QString::fromUtf8(text));
    if (action == "restore" || action == "confirm")
        form.Frame2_DblClick(); // the boxes filled from the settings
    if (action == "confirm")
        control<QLineEdit>(&form, "Text1")->setText("2");
    for (auto [prefix, button] :
         {std::pair{"send", "Command2"}, {"restore", "Command3"}, {"confirm", "Command1(0)"}})
        if (action.startsWith(prefix))
            control<QPushButton>(&form, button)->click();
}

} // namespace

Q_DECLARE_METATYPE(Cell)

class TstFaults : public QObject {
    Q_OBJECT

    QStringList messages_;

private slots:
    void initTestCase() {
        setMessageErrorRecorder([this](const QString& m, const QString&) { messages_ << m; });
    }
    void cleanup() { QDir::setCurrent(QDir::tempPath()); } // out of the folder about to go

    // The families named in MORVANE_FAULTS (CTest runs one each), or all.
    void matrix_data() {
        QTest::addColumn<QStringList>("simArgs");
        QTest::addColumn<Cell>("cell");
        const QByteArrayList only = qgetenv("MORVANE_FAULTS").split(',');
        for (const auto& f : kFamilies)
            if (only == QByteArrayList{""} || only.contains(f.name))
                for (const Cell& c : f.cells)
                    QTest::addRow("%s/%s", f.name, c.name) << f.simArgs << c;
    }
    void matrix() {
        QFETCH(QStringList, simArgs);
        QFETCH(Cell, cell);
        const bool ticks = simArgs.contains("--unsolicited");
        const QString action = QString::fromLatin1(cell.name).section(u'@', 0, 0);
        if (simArgs.last().endsWith("-after")) // the K of "@K"
            simArgs << QString::fromLatin1(cell.name).section(u'@', 1);

        QTemporaryDir dir;
        QVERIFY(QDir::setCurrent(dir.path()));
        const auto file = [&dir](const char* name) { return dir.filePath(name); };
        const QByteArray sysBefore = "COMPORT,1,\r\nComTimeOut,2,\r\nComReTry,1,\r\n";
        QVERIFY(putFile(file("Morvane.SYS"), sysBefore) && putFile(file("table.txt"), kSimTable) &&
                putFile(file("Morvane.DAT"), cp932Lines(kB)));
        SimProcess sim;
        QVERIFY(
            sim.start(QStringList{"--link", file("COM1"), "--table", file("table.txt")} + simArgs));
        QVERIFY(QFile::link(sim.path(), file("COM2"))); // port 2: the same device
        if (action == "startup" && ticks)               // a tick waits when the port opens
            QThread::msleep(1300);

        MainForm form;
        form.setNowProvider([] { return QDateTime(QDate(2026, 12, 2), QTime(9, 5, 7)); });
        const auto tick = [&form] { return form.link.RecBuf == QLatin1String("TICK*\r"); };
        if (action != "startup") {
            form.Form_Load();
            QVERIFY(!ticks || QTest::qWaitFor(tick, 4000)); // the action starts on a quiet line
        }
        messages_.clear();
        // A device gone must not be replaced by whatever pty takes its number next.
        if (!QFileInfo::exists(file("COM1")))
            QVERIFY(QFile::remove(file("COM2")) && QFile::link(file("none"), file("COM2")));
        const int mark = int(sim.loggedCommands().size());
        act(form, action);
        // Receive events held back during the action.
        QVERIFY2(!ticks || QTest::qWaitFor(tick, 4000), "unasked text not collected");
        QTest::qWait(50);

        QCOMPARE(messages_, cell.messages);
        QCOMPARE(sim.loggedCommands().mid(mark), cell.sent);
        const QStringList shown = listRows(&form);
        QCOMPARE(shown.mid(1), cell.rows);
        QVERIFY2(QRegularExpression("^" + cell.clock + "$").match(shown.value(0)).hasMatch(),
                 qPrintable(shown.value(0) + " !~ " + cell.clock));
        if (action == "startup" || action.endsWith("row") || action == "confirm")
            COMPARE_EDITOR(&form, cell.editor.reservation.isEmpty() ? kNowEditor : cell.editor);
        // Files are as they were or fully rewritten, never in between.
        QCOMPARE(readAll(file("Morvane.DAT")), cp932Lines(cell.backup ? cell.rows : kB));
        QCOMPARE(readAll(file("Morvane.SYS")),
                 action == "confirm" ? sysFileBytes("2", "2", "1", file("Morvane.DAT").toLatin1())
                                     : sysBefore);
        COMPARE_SEND_CONTROLS(&form, cell.enabled);
        QCOMPARE(form.MSComm1.PortOpen(), cell.open);
        QCOMPARE(form.link.ComStatus, cell.open ? kComStatusOpen : kComStatusFailed);
    }
};

QTEST_MAIN(TstFaults)
#include "tst_faults.moc"
