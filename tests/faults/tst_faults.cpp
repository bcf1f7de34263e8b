// Fault matrix: the real window against every fault mode of morvane-sim, for
// every action that talks to the device. Each cell runs alone (own folder,
// simulator and window) and checks the messages shown, the commands the device
// received, the list, the editor, the port and both files.
#include "apptest.h"
#include "mainform.h"
#include "messageerror.h"
#include "simprocess.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <time.h>

using namespace morvane;
using namespace apptest;

namespace {

// Settings of every cell: a silent exchange costs at most ComReTry x ComTimeOut.
constexpr int ComTimeOut = 2;
constexpr int ComReTry = 1;
const QByteArray SysBefore = "COMPORT,1,\r\nComTimeOut,2,\r\nComReTry,1,\r\n";

const QString NC = QStringLiteral("Morvane が接続されていないか、コムポートが違います。");
const QString SU = QStringLiteral("COM ポートを再設定してください。");
const QString TO = QStringLiteral("タイムアウトエラーです。");
const QString INV = QStringLiteral("COM ポートが無効です。");

const QStringList& T = SimRows;

// The table after "D30215050000" (reservation 3: Tuesday 21:05:00, off).
QStringList T3() {
    QStringList r = T;
    r[3] = QStringLiteral("予約3:火　21:05:00  DISABLE POWER ON ");
    return r;
}

// Every reservation answered "N": all fields read as 0.
QStringList Z() {
    QStringList r;
    for (int n = 0; n < 10; ++n)
        r << QStringLiteral("予約%1:日　00:00:00  DISABLE POWER ON ").arg(n);
    return r;
}

// The table read with the two stray characters "xy" in front of every reply:
// the fields move two places right, so the day reads "yL" (0), the hour
// reads the day field, the minute the hour field, and so on.
const QStringList S = {
    QStringLiteral("予約0:日　00:00:00  DISABLE POWER ON "),
    QStringLiteral("予約1:日　01:08:00  DISABLE POWER ON "),
    QStringLiteral("予約2:日　02:09:30  ENABLE  POWER ON "),
    QStringLiteral("予約3:日　02:07:30  DISABLE POWER ON "),
    QStringLiteral("予約4:日　07:06:30  DISABLE POWER ON "),
    QStringLiteral("予約5:日　06:23:59  ENABLE  POWER ON "),
    QStringLiteral("予約6:日　03:12:34  ENABLE  POWER ON "),
    QStringLiteral("予約7:日　04:00:00  DISABLE POWER OFF"),
    QStringLiteral("予約8:日　05:18:45  DISABLE POWER ON "),
    QStringLiteral("予約9:日　08:24:00  DISABLE POWER ON "),
};
QStringList S3() {
    QStringList r = S;
    r[3] = QStringLiteral("予約3:日　02:21:05  DISABLE POWER ON ");
    return r;
}

// The backup file every cell starts with, and the commands its restore sends.
const QStringList B = {
    QStringLiteral("予約0:月　06:00:00  ENABLE  POWER ON "),
    QStringLiteral("予約1:火　07:15:30  DISABLE POWER ON "),
    QStringLiteral("予約2:水　08:30:00  ENABLE  POWER OFF"),
    QStringLiteral("予約3:木　12:00:59  ENABLE  POWER ON "),
    QStringLiteral("予約4:金　17:45:00  DISABLE POWER OFF"),
    QStringLiteral("予約5:土　23:59:59  ENABLE  POWER ON "),
    QStringLiteral("予約6:日　00:00:01  DISABLE POWER ON "),
    QStringLiteral("予約7:毎日05:05:05  ENABLE  POWER ON "),
    QStringLiteral("予約8:月　18:20:40  ENABLE  POWER OFF"),
    QStringLiteral("予約9:金　21:10:00  DISABLE POWER ON "),
};
const QStringList Bk = {"D00106000081", "D102070F1E00", "D203081E0081", "D3040C003B81",
                        "D405112D0000", "D506173B3B81", "D60000000100", "D70705050581",
                        "D80112142881", "D905150A0000"};

// The PC's time the editor sees: Wednesday 09:05:07.
const QDateTime Now(QDate(2026, 12, 2), QTime(9, 5, 7));
const QString SetClockCmd = QStringLiteral("N 03090507");
const QString SendResCmd = QStringLiteral("D30215050000");

const QStringList Read = {"QT", "QS", "L0", "L1", "L2", "L3", "L4", "L5", "L6", "L7", "L8", "L9"};
const QStringList ReadNoQS = QStringList{"QT"} + Read.mid(2);
const QStringList Restore = QStringList{"QT", "QS", SetClockCmd} + Bk + QStringList{"QT", "QS"};

// Patterns for the clock row (row 0 of every expected list is a pattern);
// "{now}" stands for the PC's weekday label and hour, which the simulator's
// clock follows until it is set.
const QString AnyClock = QStringLiteral("現在 :[日月火水木金土]　\\d\\d:\\d\\d:\\d\\d");
const QString SetClock = QStringLiteral("現在 :水　09:05:\\d\\d");
const QString HeadOnly = QStringLiteral("現在 :[日月火水木金土]　\\d\\d:");
const QString Empty = QString();
// With "xy" in front of the "QS" reply the minute reads "yS" (0) and the
// second shows the minute; with it in front of "QT" too, the weekday reads
// "yT" (0, Sunday) and the hour shows the weekday digits.
const QString StrayQS = QStringLiteral("現在 :{now}:00:\\d\\d");
const QString StrayBoth = QStringLiteral("現在 :日　0[0-6]:00:\\d\\d");
const QString StraySet = QStringLiteral("現在 :日　03:00:05");

QStringList rowsOf(const QString& clock, const QStringList& reservations) {
    return QStringList{clock} + reservations;
}

// The settings file after confirming port 2, time-out 2, one attempt.
QByteArray sysAfterConfirm(const QString& backUpFile) {
    return sysFile("2", "2", "1", backUpFile.toLatin1());
}

enum class Action {
    Startup,
    ClockRow,
    ReservationRow,
    SendReservation,
    SendClock,
    Restore,
    Confirm
};

// Longest the action may take: every exchange it can make timing out on every
// attempt, a settling pause after each send, and a margin.
int boundSeconds(Action a) {
    struct Cost {
        int exchanges, sends;
    };
    Cost c{};
    switch (a) {
    case Action::Startup:
        c = {12, 0};
        break;
    case Action::ClockRow:
        c = {2, 0};
        break;
    case Action::ReservationRow:
        c = {1, 0};
        break;
    case Action::SendReservation:
    case Action::SendClock:
        c = {1 + 12, 1};
        break;
    case Action::Restore:
        c = {2 + 11 + 2, 11};
        break;
    case Action::Confirm:
        c = {12, 0};
        break;
    }
    return c.exchanges * ComReTry * ComTimeOut + 2 * c.sends + 10;
}

// What happens on the line around the action.
enum class Around {
    Plain,        // nothing arrives late
    Trailing,     // something arrives after the last reply: wait for its time-out message
    Unsolicited,  // "TICK*" CR arrives every 1.2 s: run the action between two of them
    KilledBefore, // the simulator is stopped (its pty closed) just before the action
};

// Aborts the run, naming the cell, when an action does not return at all.
class Watchdog {
public:
    Watchdog(QByteArray what, int seconds)
        : what_(std::move(what)), seconds_(seconds), thread_([this] { watch(); }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> l(m_);
            done_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    void watch() {
        std::unique_lock<std::mutex> l(m_);
        if (!cv_.wait_for(l, std::chrono::seconds(seconds_), [this] { return done_; })) {
            std::fprintf(stderr, "FAIL! %s: still running after %d s (hang)\n", what_.constData(),
                         seconds_);
            std::fflush(stderr);
            std::abort();
        }
    }
    QByteArray what_;
    int seconds_;
    std::mutex m_;
    std::condition_variable cv_;
    bool done_ = false;
    std::thread thread_;
};

// The clock line's weekday label and hour for a moment of the PC's clock.
QString dayAndHour(const QDateTime& t) {
    static const QString days[] = {"日", "月", "火", "水", "木", "金", "土"};
    return days[t.date().dayOfWeek() % 7] + QStringLiteral("　") + t.toString("HH");
}

// CPU time of the whole process, all threads.
qint64 cpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

bool waitFor(const std::function<bool()>& cond, int ms) {
    QDeadlineTimer deadline(ms);
    while (!cond()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(20);
    }
    return true;
}

QtMessageHandler previousHandler = nullptr;

} // namespace

Q_DECLARE_METATYPE(Action)
Q_DECLARE_METATYPE(Around)

class TstFaults : public QObject {
    Q_OBJECT

    QStringList messages_;
    QString oldCwd_;

    void cell(const QByteArray& name, const QStringList& simArgs, Around around, Action action,
              const QStringList& messages, const QStringList& sent, const QStringList& rows,
              const QString& editor, const QStringList& dat, bool sysRewritten, bool enabled,
              bool portOpen) {
        QTest::newRow(name.constData()) << simArgs << around << action << messages << sent << rows
                                        << editor << dat << sysRewritten << enabled << portOpen;
    }

private slots:
    void initTestCase() {
        // The offscreen platform's complaint about size hints says nothing here.
        previousHandler =
            qInstallMessageHandler([](QtMsgType t, const QMessageLogContext& c, const QString& m) {
                if (!m.contains(QLatin1String("propagateSizeHints")))
                    previousHandler(t, c, m);
            });
        oldCwd_ = QDir::currentPath();
        SetMessageErrorRecorder([this](const QString& m) { messages_ << m; });
    }
    void cleanup() { QDir::setCurrent(oldCwd_); }
    void cleanupTestCase() { SetMessageErrorRecorder({}); }

    void matrix_data() {
        QTest::addColumn<QStringList>("simArgs");
        QTest::addColumn<Around>("around");
        QTest::addColumn<Action>("action");
        QTest::addColumn<QStringList>("messages"); // shown during the action and after it
        QTest::addColumn<QStringList>("sent");     // commands the device received meanwhile
        QTest::addColumn<QStringList>("rows");     // List1 afterwards; row 0 is a pattern
        QTest::addColumn<QString>("editor");       // Combo3|Combo2|hour|minute|second|Check1(1)
        QTest::addColumn<QStringList>("dat");   // backup rewritten to these lines; empty: as before
        QTest::addColumn<bool>("sysRewritten"); // settings file holds the confirmed values
        QTest::addColumn<bool>("enabled");      // Command2, Command3, Check1(1)
        QTest::addColumn<bool>("portOpen");

        using A = Action;
        const QStringList none;
        const QString nowEditor = QStringLiteral("現在|水　|09|05|07|0");
        const Around P = Around::Plain;

        // A device that never answers: start-up fails once and switches the
        // send controls off; the list stays empty, so there is no row to click.
        const QStringList silent{"--silent"};
        cell("silent/startup", silent, P, A::Startup, {NC}, {"QT"}, {}, nowEditor, none, false,
             false, true);
        cell("silent/clock-row", silent, P, A::ClockRow, {}, {}, {}, nowEditor, none, false, false,
             true);
        cell("silent/reservation-row", silent, P, A::ReservationRow, {}, {}, {}, nowEditor, none,
             false, false, true);
        cell("silent/send-reservation", silent, P, A::SendReservation, {}, {}, {}, {}, none, false,
             false, true);
        cell("silent/send-clock", silent, P, A::SendClock, {}, {}, {}, nowEditor, none, false,
             false, true);
        cell("silent/restore", silent, P, A::Restore, {}, {}, {}, {}, none, false, false, true);
        cell("silent/confirm", silent, P, A::Confirm, {NC}, {"QT"}, {}, nowEditor, none, true,
             false, true);

        // "N" to the first 13 commands: start-up takes 11 of them (a short
        // "QT" reply ends the clock query, so no "QS"); the action gets the
        // next two. A negative answer after the last attempt is no error.
        const QStringList nak{"--nak", "13"};
        cell("nak/startup", nak, P, A::Startup, {}, ReadNoQS, rowsOf(Empty, Z()), nowEditor, none,
             false, true, true);
        cell("nak/clock-row", nak, P, A::ClockRow, {}, {"QT"}, rowsOf(Empty, Z()), nowEditor, none,
             false, true, true);
        cell("nak/reservation-row", nak, P, A::ReservationRow, {}, {"L3"}, rowsOf(Empty, Z()),
             QStringLiteral("予約3|日　|0|0|0|0"), none, false, true, true);
        cell("nak/send-reservation", nak, P, A::SendReservation, {},
             QStringList{SendResCmd} + ReadNoQS, rowsOf(Empty, T), {}, T, false, true, true);
        cell("nak/send-clock", nak, P, A::SendClock, {}, QStringList{SetClockCmd} + ReadNoQS,
             rowsOf(Empty, T), {}, T, false, true, true);
        // The refused clock setting leaves the device on its own time.
        cell("nak/restore", nak, P, A::Restore, {},
             QStringList{"QT", SetClockCmd} + Bk + QStringList{"QT", "QS"}, rowsOf(AnyClock, B), {},
             none, false, true, true);
        cell("nak/confirm", nak, P, A::Confirm, {}, ReadNoQS,
             rowsOf(Empty, QStringList{Z()[0]} + T.mid(1)), nowEditor, none, true, true, true);

        // Every reply in three pieces: collected whole.
        const QStringList pieces{"--pieces", "3", "--gap", "40"};
        // Every reply 300 ms late: within the time-out even when a second
        // boundary falls into the wait.
        const QStringList late{"--delay", "300"};
        for (const auto& [mode, args] :
             {std::pair{"pieces", pieces}, std::pair{"late-short", late}}) {
            const auto n = [&](const char* action) { return QByteArray(mode) + '/' + action; };
            cell(n("startup"), args, P, A::Startup, {}, Read, rowsOf(AnyClock, T), nowEditor, none,
                 false, true, true);
            cell(n("clock-row"), args, P, A::ClockRow, {}, {"QT", "QS"}, rowsOf(AnyClock, T),
                 nowEditor, none, false, true, true);
            cell(n("reservation-row"), args, P, A::ReservationRow, {}, {"L3"}, rowsOf(AnyClock, T),
                 QStringLiteral("予約3|火　|7|30|0|0"), none, false, true, true);
            cell(n("send-reservation"), args, P, A::SendReservation, {},
                 QStringList{SendResCmd} + Read, rowsOf(AnyClock, T3()), {}, T3(), false, true,
                 true);
            cell(n("send-clock"), args, P, A::SendClock, {}, QStringList{SetClockCmd} + Read,
                 rowsOf(SetClock, T), {}, T, false, true, true);
            cell(n("restore"), args, P, A::Restore, {}, Restore, rowsOf(SetClock, B), {}, none,
                 false, true, true);
            cell(n("confirm"), args, P, A::Confirm, {}, Read, rowsOf(AnyClock, T), nowEditor, none,
                 true, true, true);
        }

        // Replies 2.2 s late: the exchange has given up; the late reply then
        // arrives on its own, lacks "*" CR, and times out in the receive event.
        const QStringList lateLong{"--delay", "2200"};
        const Around L = Around::Trailing;
        cell("late-long/startup", lateLong, L, A::Startup, {NC, TO}, {"QT"}, {}, nowEditor, none,
             false, false, true);
        cell("late-long/clock-row", lateLong, L, A::ClockRow, {}, {}, {}, nowEditor, none, false,
             false, true);
        cell("late-long/reservation-row", lateLong, L, A::ReservationRow, {}, {}, {}, nowEditor,
             none, false, false, true);
        cell("late-long/send-reservation", lateLong, L, A::SendReservation, {}, {}, {}, {}, none,
             false, false, true);
        cell("late-long/send-clock", lateLong, L, A::SendClock, {}, {}, {}, nowEditor, none, false,
             false, true);
        cell("late-long/restore", lateLong, L, A::Restore, {}, {}, {}, {}, none, false, false,
             true);
        cell("late-long/confirm", lateLong, L, A::Confirm, {NC, TO}, {"QT"}, {}, nowEditor, none,
             true, false, true);

        // "xy" 150 ms after every reply. The simulator queues its output, so
        // each stray pair lands in front of the next reply; the last one
        // arrives after the action and times out in the receive event. The
        // action starts right after start-up, so even its first reply has it.
        const QStringList stray{"--stray", "xy", "--stray-after", "150"};
        cell("stray/startup", stray, L, A::Startup, {TO}, Read, rowsOf(StrayQS, S), nowEditor, none,
             false, true, true);
        cell("stray/clock-row", stray, L, A::ClockRow, {TO}, {"QT", "QS"}, rowsOf(StrayBoth, S),
             nowEditor, none, false, true, true);
        cell("stray/reservation-row", stray, L, A::ReservationRow, {TO}, {"L3"}, rowsOf(StrayQS, S),
             QStringLiteral("予約3|日　|2|7|30|0"), none, false, true, true);
        cell("stray/send-reservation", stray, L, A::SendReservation, {TO},
             QStringList{SendResCmd} + Read, rowsOf(StrayBoth, S3()), {}, S3(), false, true, true);
        cell("stray/send-clock", stray, L, A::SendClock, {TO}, QStringList{SetClockCmd} + Read,
             rowsOf(StraySet, S), {}, S, false, true, true);
        cell("stray/restore", stray, L, A::Restore, {TO}, Restore, rowsOf(StraySet, B), {}, none,
             false, true, true);
        // The pair left from start-up is waiting when the port is reopened:
        // it is dropped, so "QT" is read clean.
        cell("stray/confirm", stray, L, A::Confirm, {TO}, Read, rowsOf(StrayQS, S), nowEditor, none,
             true, true, true);

        // "TICK*" CR unasked every 1.2 s, between actions: collected without a
        // message, and it never leaks into the next reply. At start-up one is
        // already waiting in the line when the port opens and must be dropped.
        const QStringList unsol{"--unsolicited", "TICK", "--every", "1200"};
        const Around U = Around::Unsolicited;
        cell("unsolicited/startup", unsol, U, A::Startup, {}, Read, rowsOf(AnyClock, T), nowEditor,
             none, false, true, true);
        cell("unsolicited/clock-row", unsol, U, A::ClockRow, {}, {"QT", "QS"}, rowsOf(AnyClock, T),
             nowEditor, none, false, true, true);
        cell("unsolicited/reservation-row", unsol, U, A::ReservationRow, {}, {"L3"},
             rowsOf(AnyClock, T), QStringLiteral("予約3|火　|7|30|0|0"), none, false, true, true);
        cell("unsolicited/send-reservation", unsol, U, A::SendReservation, {},
             QStringList{SendResCmd} + Read, rowsOf(AnyClock, T3()), {}, T3(), false, true, true);
        cell("unsolicited/send-clock", unsol, U, A::SendClock, {}, QStringList{SetClockCmd} + Read,
             rowsOf(SetClock, T), {}, T, false, true, true);
        cell("unsolicited/restore", unsol, U, A::Restore, {}, Restore, rowsOf(SetClock, B), {},
             none, false, true, true);
        cell("unsolicited/confirm", unsol, U, A::Confirm, {}, Read, rowsOf(AnyClock, T), nowEditor,
             none, true, true, true);

        // The device is switched off while the window is idle. The line's
        // failure shows at the next exchange, which closes the port.
        const Around K = Around::KilledBefore;
        cell("gone-idle/startup", {}, K, A::Startup, {}, {}, {}, nowEditor, none, false, true,
             false);
        // The clock row is rewritten with the (empty) result of the failed query.
        cell("gone-idle/clock-row", {}, K, A::ClockRow, {NC}, {}, rowsOf(Empty, T), nowEditor, none,
             false, true, false);
        cell("gone-idle/reservation-row", {}, K, A::ReservationRow, {NC}, {}, rowsOf(AnyClock, T),
             nowEditor, none, false, true, false);
        cell("gone-idle/send-reservation", {}, K, A::SendReservation, {NC}, {}, rowsOf(AnyClock, T),
             {}, none, false, true, false);
        cell("gone-idle/send-clock", {}, K, A::SendClock, {NC}, {}, rowsOf(AnyClock, T), {}, none,
             false, true, false);
        cell("gone-idle/restore", {}, K, A::Restore, {NC}, {}, {}, {}, none, false, true, false);
        cell("gone-idle/confirm", {}, K, A::Confirm, {INV}, {}, rowsOf(AnyClock, T), nowEditor,
             none, true, true, false);

        // The device stops answering in the middle of the action. Start-up
        // takes 12 commands; K counts on from there.
        const auto stop = [](int k) { return QStringList{"--stop-after", QString::number(k)}; };
        cell("stop/startup@L3", stop(5), P, A::Startup, {NC}, Read.mid(0, 6),
             rowsOf(AnyClock, T.mid(0, 3)), nowEditor, none, false, false, true);
        // The "QS" part of the clock row fails: row 0 keeps the head of the line.
        cell("stop/clock-row@QS", stop(13), P, A::ClockRow, {NC}, {"QT", "QS"}, rowsOf(HeadOnly, T),
             nowEditor, none, false, true, true);
        cell("stop/reservation-row@L3", stop(12), P, A::ReservationRow, {NC}, {"L3"},
             rowsOf(AnyClock, T), nowEditor, none, false, true, true);
        // The write succeeds, the read-back stops at L2: the backup is kept.
        cell("stop/send-reservation@L2", stop(17), P, A::SendReservation, {NC},
             QStringList{SendResCmd} + Read.mid(0, 5), rowsOf(AnyClock, T.mid(0, 2)), {}, none,
             false, true, true);
        // The write itself fails; the read-back still runs and fails too.
        cell("stop/send-reservation@D", stop(12), P, A::SendReservation, {NC, NC},
             {SendResCmd, "QT"}, {}, {}, none, false, true, true);
        cell("stop/send-clock@QT", stop(13), P, A::SendClock, {NC}, {SetClockCmd, "QT"}, {}, {},
             none, false, true, true);
        // D8, D9 and the closing clock query each fail on their own; row 0
        // keeps the clock read before the restore.
        cell("stop/restore@D8", stop(23), P, A::Restore, {NC, NC, NC}, Restore.mid(0, 14),
             rowsOf(AnyClock, B), {}, none, false, true, true);
        cell("stop/confirm@L2", stop(16), P, A::Confirm, {NC}, Read.mid(0, 5),
             rowsOf(AnyClock, T.mid(0, 2)), nowEditor, none, true, true, true);

        // The device goes away in the middle of the action: the port is
        // closed, and whatever the action still wants to send is refused.
        const auto vanish = [](int k) { return QStringList{"--vanish-after", QString::number(k)}; };
        cell("vanish/startup@L3", vanish(5), P, A::Startup, {NC}, Read.mid(0, 6),
             rowsOf(AnyClock, T.mid(0, 3)), nowEditor, none, false, false, false);
        cell("vanish/clock-row@QS", vanish(13), P, A::ClockRow, {NC}, {"QT", "QS"},
             rowsOf(HeadOnly, T), nowEditor, none, false, true, false);
        cell("vanish/reservation-row@L3", vanish(12), P, A::ReservationRow, {NC}, {"L3"},
             rowsOf(AnyClock, T), nowEditor, none, false, true, false);
        cell("vanish/send-reservation@L2", vanish(17), P, A::SendReservation, {NC},
             QStringList{SendResCmd} + Read.mid(0, 5), rowsOf(AnyClock, T.mid(0, 2)), {}, none,
             false, true, false);
        // Gone at the write: the read-back does not even start, and the list
        // and the backup stay as they were.
        cell("vanish/send-reservation@D", vanish(12), P, A::SendReservation, {NC}, {SendResCmd},
             rowsOf(AnyClock, T), {}, none, false, true, false);
        cell("vanish/send-clock@QT", vanish(13), P, A::SendClock, {NC}, {SetClockCmd, "QT"}, {}, {},
             none, false, true, false);
        cell("vanish/restore@D8", vanish(23), P, A::Restore, {NC, SU, SU}, Restore.mid(0, 12),
             rowsOf(AnyClock, B), {}, none, false, true, false);
        cell("vanish/confirm@L2", vanish(16), P, A::Confirm, {NC}, Read.mid(0, 5),
             rowsOf(AnyClock, T.mid(0, 2)), nowEditor, none, true, true, false);
        // Gone during start-up: the new port's link is left dangling, the
        // values are saved, the port stays closed.
        cell("vanish/confirm-after-startup@L3", vanish(5), P, A::Confirm, {INV}, {},
             rowsOf(AnyClock, T.mid(0, 3)), nowEditor, none, true, false, false);
    }

    void matrix() {
        QFETCH(QStringList, simArgs);
        QFETCH(Around, around);
        QFETCH(Action, action);
        QFETCH(QStringList, messages);
        QFETCH(QStringList, sent);
        QFETCH(QStringList, rows);
        QFETCH(QString, editor);
        QFETCH(QStringList, dat);
        QFETCH(bool, sysRewritten);
        QFETCH(bool, enabled);
        QFETCH(bool, portOpen);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(QDir::setCurrent(dir.path()));
        const QString datPath = dir.filePath("Morvane.DAT");
        const QString sysPath = dir.filePath("Morvane.SYS");
        QVERIFY(writeAll(sysPath, SysBefore));
        QVERIFY(writeAll(datPath, cp932Lines(B)));
        QVERIFY(writeAll(dir.filePath("table.txt"), SimTable));

        SimProcess sim;
        QVERIFY2(sim.start(QStringList{"--link", dir.filePath("COM1"), "--table",
                                       dir.filePath("table.txt")} +
                           simArgs),
                 qPrintable(sim.errorString()));
        QElapsedTimer sinceSim;
        sinceSim.start();
        // The settings panel's port 2 is the same device.
        QVERIFY(QFile::link(sim.path(), dir.filePath("COM2")));

        const QDateTime cellStart = QDateTime::currentDateTime();
        messages_.clear();
        MainForm form;
        form.setNowProvider([] { return Now; });
        const auto tick = [&form] { return form.link.RecBuf == QLatin1String("TICK*\r"); };

        if (action == Action::Startup) {
            // Let the first unasked text reach the line before the port opens.
            if (around == Around::Unsolicited)
                QThread::msleep(ulong(std::max<qint64>(0, 1300 - sinceSim.elapsed())));
        } else {
            form.Form_Load();
            // Start the action from a quiet line; stray text must not be let
            // in here, it belongs to the action's first reply.
            if (around == Around::Unsolicited)
                QVERIFY2(waitFor(tick, 4000), "no unasked text after start-up");
            // Let the stray pair from start-up reach the line, unread.
            if (around == Around::Trailing && simArgs.contains("--stray"))
                QThread::msleep(400);
            if (around == Around::Trailing && simArgs.contains("--delay"))
                QVERIFY2(waitFor([&] { return messages_.contains(TO); }, 8000),
                         "late reply to start-up not seen");
            messages_.clear();
        }
        if (around == Around::KilledBefore) {
            sim.stop();
            // Start-up would otherwise fall back to the machine's first port.
            // A simulator stopped right after it started may not have had the
            // time to remove its link.
            if (action == Action::Startup) {
                QFile::remove(dir.filePath("COM1"));
                QVERIFY(QFile::link(dir.filePath("no-such-pty"), dir.filePath("COM1")));
            }
        }
        // Once the device is gone, port 2 must not lead to whatever pty takes
        // its number next.
        if (!QFileInfo::exists(dir.filePath("COM1"))) {
            QVERIFY(QFile::remove(dir.filePath("COM2")));
            QVERIFY(QFile::link(dir.filePath("no-such-pty"), dir.filePath("COM2")));
        }

        const QByteArray datBefore = readAll(datPath);
        const QByteArray sysBefore = readAll(sysPath);
        const int mark = int(sim.loggedCommands().size());

        const int bound = boundSeconds(action);
        QElapsedTimer took;
        {
            Watchdog dog(QByteArray(QTest::currentDataTag()), 2 * bound + 20);
            const qint64 cpuBefore = cpuMs();
            took.start();
            act(form, action, dir.path());
            const qint64 ms = took.elapsed();
            const qint64 cpu = cpuMs() - cpuBefore;
            QVERIFY2(ms <= bound * 1000,
                     qPrintable(QStringLiteral("took %1 ms, bound %2 s").arg(ms).arg(bound)));
            // Waiting for the device must block, not spin.
            if (ms >= 1000)
                QVERIFY2(cpu * 2 < ms,
                         qPrintable(QStringLiteral("%1 ms of CPU in %2 ms").arg(cpu).arg(ms)));

            // Receive events that were held back during the action.
            const bool talked = sim.loggedCommands().size() > mark;
            if (around == Around::Unsolicited) {
                QVERIFY2(waitFor(tick, 4000), "unasked text not collected after the action");
            } else if (around == Around::Trailing && talked) {
                QVERIFY2(waitFor([&] { return messages_.contains(TO); }, 6000),
                         "trailing text did not time out");
            }
            QTest::qWait(100);
        }

        QCOMPARE(messages_, messages);
        QCOMPARE(sim.loggedCommands().mid(mark), sent);

        auto* list = form.findChild<QListWidget*>("List1");
        QVERIFY(list);
        QStringList shown;
        for (int i = 0; i < list->count(); ++i)
            shown << list->item(i)->text();
        if (rows.isEmpty()) {
            QCOMPARE(shown, QStringList());
        } else {
            QCOMPARE(shown.size(), rows.size());
            QString pattern = rows.first();
            pattern.replace(
                QLatin1String("{now}"),
                QStringLiteral("(?:%1|%2)")
                    .arg(dayAndHour(cellStart), dayAndHour(QDateTime::currentDateTime())));
            const QRegularExpression row0(QRegularExpression::anchoredPattern(pattern));
            QVERIFY2(
                row0.match(shown.first()).hasMatch(),
                qPrintable(QStringLiteral("row 0 \"%1\" !~ %2").arg(shown.first(), rows.first())));
            QCOMPARE(shown.mid(1), rows.mid(1));
        }

        if (!editor.isEmpty()) {
            const QStringList e = editor.split(u'|');
            QCOMPARE(form.findChild<QComboBox*>("Combo3")->currentText(), e[0]);
            QCOMPARE(form.findChild<QComboBox*>("Combo2")->currentText(), e[1]);
            QCOMPARE(form.findChild<QComboBox*>("Combo1(0)")->currentText(), e[2]);
            QCOMPARE(form.findChild<QComboBox*>("Combo1(1)")->currentText(), e[3]);
            QCOMPARE(form.findChild<QComboBox*>("Combo1(2)")->currentText(), e[4]);
            QCOMPARE(form.findChild<QCheckBox*>("Check1(1)")->checkState() == Qt::Checked,
                     e[5] == u"1");
        }

        // Files are as they were or fully rewritten, never in between.
        QCOMPARE(readAll(datPath), dat.isEmpty() ? datBefore : cp932Lines(dat));
        QCOMPARE(readAll(sysPath), sysRewritten ? sysAfterConfirm(datPath) : sysBefore);
        if (action != Action::Startup)
            QCOMPARE(datBefore, cp932Lines(B));

        QCOMPARE(form.findChild<QPushButton*>("Command2")->isEnabled(), enabled);
        QCOMPARE(form.findChild<QPushButton*>("Command3")->isEnabled(), enabled);
        QCOMPARE(form.findChild<QCheckBox*>("Check1(1)")->isEnabled(), enabled);
        QCOMPARE(form.MSComm1.PortOpen(), portOpen);
        QCOMPARE(form.link.ComStatus, qint16(portOpen ? 0 : 99));
    }

private:
    // Drives the window as the user would; a disabled button or a missing row
    // cannot be clicked.
    void act(MainForm& form, Action action, const QString& dir) {
        const auto button = [&form](const char* name) {
            auto* b = form.findChild<QPushButton*>(QLatin1String(name));
            if (!b)
                qFatal("no button %s", name);
            return b;
        };
        auto* list = form.findChild<QListWidget*>("List1");
        const auto clickRow = [&](int row) {
            if (row >= list->count())
                return;
            list->setCurrentRow(row);
            form.List1_Click();
        };
        switch (action) {
        case Action::Startup:
            form.Form_Load();
            break;
        case Action::ClockRow:
            clickRow(0);
            break;
        case Action::ReservationRow:
            clickRow(4);
            break;
        case Action::SendReservation:
            form.findChild<QComboBox*>("Combo3")->setCurrentIndex(3);
            form.findChild<QComboBox*>("Combo2")->setCurrentIndex(2);
            form.findChild<QComboBox*>("Combo1(0)")->setEditText("21");
            form.findChild<QComboBox*>("Combo1(1)")->setEditText("5");
            form.findChild<QComboBox*>("Combo1(2)")->setEditText("0");
            form.findChild<QCheckBox*>("Check1(1)")->setCheckState(Qt::Unchecked);
            button("Command2")->click();
            break;
        case Action::SendClock:
            button("Command2")->click();
            break;
        case Action::Restore:
            form.Frame2_DblClick();
            button("Command3")->click();
            break;
        case Action::Confirm:
            form.Frame2_DblClick();
            form.findChild<QLineEdit*>("Text1")->setText("2");
            form.findChild<QLineEdit*>("Text2")->setText("2");
            form.findChild<QLineEdit*>("Text3")->setText("1");
            form.findChild<QLineEdit*>("Text4")->setText(QDir(dir).filePath("Morvane.DAT"));
            button("Command1(0)")->click();
            break;
        }
    }
};

QTEST_MAIN(TstFaults)
#include "tst_faults.moc"
