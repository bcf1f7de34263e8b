// SPDX-License-Identifier: MIT
// Fault matrix: the real window against every fault mode of morvane-sim, for
// every action that talks to the device and can still be started. Each cell
// runs alone (own folder, simulator and window) and checks the messages
// shown, the commands the device received, the list, the editor, the port
// and both files.
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

#include <ctime>

using namespace morvane;
using namespace morvane::test;

namespace {

// What happens on the line around the action.
enum class Around {
    kPlain,       // nothing arrives late
    kUnsolicited, // "TICK*" CR every 1.2 s: run the action between two of them
};

// One action under one fault. The name is the action, and "@K" stops (or
// vanishes) the device after K commands; start-up takes 12.
struct Cell {
    const char* name = "";
    QStringList messages = {}; // shown during the action and after it
    QStringList sent = {};     // commands the device received meanwhile
    QStringList rows = {};     // List1 afterwards; row 0 is a pattern
    QString editor = {};       // as editorState(); empty: the PC's time where the
                               // action resets the editor, not checked elsewhere
    bool backup = false;       // the backup now holds rows 1..10; else as it was
    bool enabled = true;       // Command2, Command3 and Check1(1)
    bool open = true;          // the port, and ComStatus 0
};

const QString kNc = kMsgNotConnected;
const QString kInvalid = QStringLiteral("COM ポートが無効です。");
const QString kNowEditor = QStringLiteral("現在|水　|09|05|07|0");
const QStringList kSetClock = {"N 03090507"};  // the PC: Wednesday 09:05:07
const QStringList kSendRes = {"D30215050000"}; // reservation 3: Tue 21:05:00, off
const QStringList& kT = kSimRows;

QStringList with(QStringList rows, int i, const QString& row) {
    rows[i] = row;
    return rows;
}
const QStringList kT3 = with(kT, 3, "予約3:火　21:05:00  DISABLE POWER ON ");
// The backup file every cell starts with, and the commands its restore sends.
const QStringList kB = {
    "予約0:月　06:00:00  ENABLE  POWER ON ", "予約1:火　07:15:30  DISABLE POWER ON ",
    "予約2:水　08:30:00  ENABLE  POWER OFF", "予約3:木　12:00:59  ENABLE  POWER ON ",
    "予約4:金　17:45:00  DISABLE POWER OFF", "予約5:土　23:59:59  ENABLE  POWER ON ",
    "予約6:日　00:00:01  DISABLE POWER ON ", "予約7:毎日05:05:05  ENABLE  POWER ON ",
    "予約8:月　18:20:40  ENABLE  POWER OFF", "予約9:金　21:10:00  DISABLE POWER ON "};
const QStringList kBSent = {"D00106000081", "D102070F1E00", "D203081E0081", "D3040C003B81",
                            "D405112D0000", "D506173B3B81", "D60000000100", "D70705050581",
                            "D80112142881", "D905150A0000"};
const QStringList kRestore = QStringList{"QT", "QS"} + kSetClock + kBSent + QStringList{"QT", "QS"};
const QStringList kRead = kTableRead;

// Row 0: any clock line, the one just set, or its head alone.
const QString kAny = QStringLiteral("現在 :[日月火水木金土]　\\d\\d:\\d\\d:\\d\\d");
const QString kSet = QStringLiteral("現在 :水　09:05:\\d\\d");
const QString kHead = QStringLiteral("現在 :[日月火水木金土]　\\d\\d:");

QStringList rowsOf(const QString& clock, const QStringList& reservations) {
    return QStringList{clock} + reservations;
}

// clang-format off
// Every action on a device whose replies come whole in the end.
const QList<Cell> kWhole = {
    {.name = "startup",          .sent = kRead,         .rows = rowsOf(kAny, kT)},
    {.name = "clock-row",        .sent = {"QT", "QS"},  .rows = rowsOf(kAny, kT)},
    {.name = "reservation-row",  .sent = {"L3"},        .rows = rowsOf(kAny, kT), .editor = "予約3|火　|7|30|0|0"},
    {.name = "send-reservation", .sent = kSendRes + kRead,  .rows = rowsOf(kAny, kT3), .backup = true},
    {.name = "send-clock",       .sent = kSetClock + kRead, .rows = rowsOf(kSet, kT),  .backup = true},
    {.name = "restore",          .sent = kRestore,      .rows = rowsOf(kSet, kB)},
    {.name = "confirm",          .sent = kRead,         .rows = rowsOf(kAny, kT)},
};
// The device stops answering, or goes away, in the middle of the action.
QList<Cell> midAction(bool gone) {
    const bool o = !gone;
    QList<Cell> cells = {
        {.name = "startup@5",   .messages = {kNc}, .sent = kRead.mid(0, 6), .rows = rowsOf(kAny, kT.mid(0, 3)), .enabled = false, .open = o},
        // The "QS" part fails: row 0 keeps the head of the line.
        {.name = "clock-row@13", .messages = {kNc}, .sent = {"QT", "QS"}, .rows = rowsOf(kHead, kT), .open = o},
        {.name = "reservation-row@12", .messages = {kNc}, .sent = {"L3"}, .rows = rowsOf(kAny, kT), .open = o},
        // The write succeeds, the read-back stops at L2: the backup is kept.
        {.name = "send-reservation@17", .messages = {kNc}, .sent = kSendRes + kRead.mid(0, 5), .rows = rowsOf(kAny, kT.mid(0, 2)), .open = o},
        {.name = "send-clock@13", .messages = {kNc}, .sent = kSetClock + QStringList{"QT"}, .open = o},
        {.name = "confirm@16",  .messages = {kNc}, .sent = kRead.mid(0, 5), .rows = rowsOf(kAny, kT.mid(0, 2)), .open = o}};
    if (gone) return cells + QList<Cell>{
        // Gone at the write: the read-back does not even start.
        {.name = "send-reservation@12", .messages = {kNc}, .sent = kSendRes, .rows = rowsOf(kAny, kT), .open = false},
        {.name = "restore@23", .messages = {kNc}, .sent = kRestore.mid(0, 12), .rows = rowsOf(kAny, kB), .open = false},
        // Gone during start-up: port 2's link dangles, the values are saved.
        {.name = "confirm@5", .messages = {kInvalid}, .rows = rowsOf(kAny, kT.mid(0, 3)), .enabled = false, .open = false}};
    return cells + QList<Cell>{
        // The write fails; the read-back still runs and fails too.
        {.name = "send-reservation@12", .messages = {kNc, kNc}, .sent = kSendRes + QStringList{"QT"}},
        // D8, D9 and the last clock query fail each; row 0 keeps the first clock.
        {.name = "restore@23", .messages = {kNc, kNc, kNc}, .sent = kRestore.mid(0, 14), .rows = rowsOf(kAny, kB)}};
}
// clang-format on

// A fault mode of the simulator and what it does to every action.
struct Family {
    const char* name;
    QStringList simArgs;
    Around around;
    QList<Cell> cells;
};

// clang-format off
const QList<Family>& families() {
    static const QList<Family> kFamilies = {
    // A device that never answers: start-up fails and switches sending off,
    // the list stays empty; only the settings panel is left to try.
        {"silent", {"--silent"}, Around::kPlain, {
            {.name = "startup", .messages = {kNc}, .sent = {"QT"}, .enabled = false},
            {.name = "confirm", .messages = {kNc}, .sent = {"QT"}, .enabled = false}}},
    // Replies in three pieces, or 300 ms late (within the time-out even when a
    // second boundary falls into the wait), or with "TICK*" CR arriving unasked
    // between actions (collected without a message, never part of a reply;
    // at start-up one already waits when the port opens and is dropped).
        {"pieces", {"--pieces", "3", "--gap", "40"}, Around::kPlain, kWhole},
        {"lateShort", {"--delay", "300"}, Around::kPlain, kWhole},
        {"unsolicited", {"--unsolicited", "TICK", "--every", "1200"}, Around::kUnsolicited, kWhole},
        {"stop", {"--stop-after"}, Around::kPlain, midAction(false)},
        {"vanish", {"--vanish-after"}, Around::kPlain, midAction(true)},
    };
    return kFamilies;
}
// clang-format on

} // namespace

Q_DECLARE_METATYPE(Cell)

class TstFaults : public QObject {
    Q_OBJECT

    QStringList messages_;
    QString oldCwd_;

    void run();
    static void act(MainForm& form, const QString& action, const QString& dir);

private slots:
    void initTestCase() {
        oldCwd_ = QDir::currentPath();
        setMessageErrorRecorder([this](const QString& m, const QString&) { messages_ << m; });
    }
    void cleanup() { QDir::setCurrent(oldCwd_); }

    // The families named in MORVANE_FAULTS (CTest runs one each), or all.
    void matrix_data() {
        QTest::addColumn<QStringList>("simArgs");
        QTest::addColumn<int>("around");
        QTest::addColumn<Cell>("cell");
        const QByteArrayList only = qgetenv("MORVANE_FAULTS").split(',');
        for (const Family& f : families())
            if (only == QByteArrayList{""} || only.contains(f.name))
                for (const Cell& c : f.cells)
                    QTest::addRow("%s/%s", f.name, c.name) << f.simArgs << int(f.around) << c;
    }
    void matrix() { run(); }
};

void TstFaults::run() {
    QFETCH(QStringList, simArgs);
    QFETCH(int, around);
    QFETCH(Cell, cell);
    const Around a = Around(around);
    const QString action = QString::fromLatin1(cell.name).section(u'@', 0, 0);
    if (simArgs.size() == 1 && simArgs[0].endsWith("-after")) // the K of "@K"
        simArgs << QString::fromLatin1(cell.name).section(u'@', 1);

    QTemporaryDir dir;
    QVERIFY(QDir::setCurrent(dir.path()));
    const auto file = [&dir](const char* name) { return dir.filePath(name); };
    const QByteArray sysBefore = "COMPORT,1,\r\nComTimeOut,2,\r\nComReTry,1,\r\n";
    QVERIFY(putFile(file("Morvane.SYS"), sysBefore) && putFile(file("table.txt"), kSimTable) &&
            putFile(file("Morvane.DAT"), cp932Lines(kB)));
    SimProcess sim;
    QVERIFY(sim.start(QStringList{"--link", file("COM1"), "--table", file("table.txt")} + simArgs));
    QElapsedTimer sinceSim;
    sinceSim.start();
    QVERIFY(QFile::link(sim.path(), file("COM2"))); // port 2: the same device

    messages_.clear();
    MainForm form;
    form.setNowProvider([] { return QDateTime(QDate(2026, 12, 2), QTime(9, 5, 7)); });
    const auto tick = [&form] { return form.link.RecBuf == QLatin1String("TICK*\r"); };
    if (action == "startup" && a == Around::kUnsolicited) // a tick waits when the port opens
        QThread::msleep(ulong(std::max<qint64>(0, 1300 - sinceSim.elapsed())));
    if (action != "startup") {
        form.Form_Load();
        // The action starts from a quiet line.
        QVERIFY(a != Around::kUnsolicited || QTest::qWaitFor(tick, 4000));
        messages_.clear();
    }
    // A device gone must not be replaced by whatever pty takes its number next.
    if (!QFileInfo::exists(file("COM1")))
        QVERIFY(QFile::remove(file("COM2")) && QFile::link(file("no-such-pty"), file("COM2")));
    const int mark = int(sim.loggedCommands().size());

    // A hang detector, not a speed claim: every exchange an action can make
    // timing out (two seconds each), a settling pause a send, and a margin.
    QElapsedTimer took;
    const std::clock_t cpuBefore = std::clock(); // the process's CPU time
    took.start();
    act(form, action, dir.path());
    const qint64 ms = took.elapsed(), cpu = (std::clock() - cpuBefore) * 1000 / CLOCKS_PER_SEC;
    QVERIFY2(ms < (2 * 15 + 2 * 11 + 10) * 1000, qPrintable(QString::number(ms) + " ms"));
    // Waiting for the device blocks, it does not spin.
    QVERIFY2(ms < 1000 || cpu * 2 < ms,
             qPrintable(QStringLiteral("%1 ms CPU in %2").arg(cpu).arg(ms)));
    // Receive events held back during the action.
    QVERIFY2(a != Around::kUnsolicited || QTest::qWaitFor(tick, 4000),
             "unasked text not collected");
    QTest::qWait(50);

    QCOMPARE(messages_, cell.messages);
    QCOMPARE(sim.loggedCommands().mid(mark), cell.sent);
    const QStringList shown = listRows(&form);
    QCOMPARE(shown.mid(1), cell.rows.mid(1));
    QCOMPARE(shown.size(), cell.rows.size());
    if (!shown.isEmpty())
        QVERIFY2(QRegularExpression("^" + cell.rows[0] + "$").match(shown[0]).hasMatch(),
                 qPrintable(shown[0] + " !~ " + cell.rows[0]));
    const bool resetsEditor = action == "startup" || action.endsWith("row") || action == "confirm";
    if (!cell.editor.isEmpty() || resetsEditor)
        QCOMPARE(editorState(&form), cell.editor.isEmpty() ? kNowEditor : cell.editor);
    // Files are as they were or fully rewritten, never in between.
    QCOMPARE(readAll(file("Morvane.DAT")), cp932Lines(cell.backup ? shown.mid(1) : kB));
    QCOMPARE(readAll(file("Morvane.SYS")),
             action == "confirm" ? sysFileBytes("2", "2", "1", file("Morvane.DAT").toLatin1())
                                 : sysBefore);
    QCOMPARE(sendControlsEnabled(&form), cell.enabled);
    QCOMPARE(form.MSComm1.PortOpen(), cell.open);
    QCOMPARE(form.link.ComStatus, qint16(cell.open ? 0 : 99));
}

// Drives the window as the user would; a missing row cannot be clicked.
void TstFaults::act(MainForm& form, const QString& action, const QString& dir) {
    const auto click = [&form](const char* name) { control<QPushButton>(&form, name)->click(); };
    auto* list = control<QListWidget>(&form, "List1");
    const int row = action == "clock-row" ? 0 : 4;
    if (action == "startup") {
        form.Form_Load();
    } else if (action.endsWith("row") && row < list->count()) {
        list->setCurrentRow(row);
        form.List1_Click();
    } else if (action.startsWith("send")) {
        if (action == "send-reservation") {
            control<QComboBox>(&form, "Combo3")->setCurrentIndex(3);
            control<QComboBox>(&form, "Combo2")->setCurrentIndex(2);
            for (auto [c, t] :
                 {std::pair{"Combo1(0)", "21"}, {"Combo1(1)", "5"}, {"Combo1(2)", "0"}})
                control<QComboBox>(&form, c)->setEditText(t);
            control<QCheckBox>(&form, "Check1(1)")->setCheckState(Qt::Unchecked);
        }
        click("Command2");
    } else if (action == "restore") {
        form.Frame2_DblClick();
        click("Command3");
    } else if (action == "confirm") {
        form.Frame2_DblClick();
        for (auto [box, t] : {std::pair{"Text1", "2"}, {"Text2", "2"}, {"Text3", "1"}})
            control<QLineEdit>(&form, box)->setText(t);
        control<QLineEdit>(&form, "Text4")->setText(QDir(dir).filePath("Morvane.DAT"));
        click("Command1(0)");
    }
}

QTEST_MAIN(TstFaults)
#include "tst_faults.moc"
