// The command exchange on a scripted port and a fake clock: framing, attempts,
// the inactivity time-out in ticks, the messages and what is left in the reply.
#include "exchange.h"
#include "fakeclock.h"
#include "fakeport.h"

#include <QtTest>

using namespace morvane;
using morvane::test::FakeClock;
using morvane::test::FakePort;

namespace {

// 10:00:00.000 on the fake clock's running count.
constexpr qint64 T0 = 36'000'000;

const QString NotConnected = QStringLiteral("Morvane が接続されていないか、コムポートが違います。");
const QString SetUpAgain = QStringLiteral("COM ポートを再設定してください。");
const QString TimeOut = QStringLiteral("タイムアウトエラーです。");

struct Rig {
    SysSettingsRecord settings;
    FakeClock clock{T0};
    FakePort port{clock};
    QString rec;
    QStringList messages;
    QStringList recAtMessage; // what the reply held when each box opened
    int pumpCalls = 0;
    int pumpsOutsideExchange = 0;
    Link link{settings, clock, [this](const QString& m) {
                  messages << m;
                  recAtMessage << rec;
              }};

    Rig(int timeOut, int reTry, qint64 start = T0) {
        settings.ComTimeOut = static_cast<qint16>(timeOut);
        settings.ComReTry = static_cast<qint16>(reTry);
        clock.setNow(start);
        link.setPort(&port);
        link.setPump([this] {
            ++pumpCalls;
            if (!port.exchangeActive)
                ++pumpsOutsideExchange;
        });
    }

    // Device that answers every command from a list, delayMs after it.
    void answer(const QList<QByteArray>& replies, int delayMs) {
        port.setResponder([this, replies, delayMs](const QByteArray&) {
            const int i = static_cast<int>(port.outputs.size()) - 1;
            if (i < replies.size() && !replies[i].isEmpty())
                port.arriveAfter(delayMs, replies[i]);
        });
    }
};

QList<QByteArray> repeated(const QByteArray& frame, int n) {
    return QList<QByteArray>(n, frame);
}

} // namespace

class TestExchange : public QObject {
    Q_OBJECT
private slots:
    void silentDeviceWithDefaults();
    void attempts_data();
    void attempts();
    void replyPieces_data();
    void replyPieces();
    void answers_data();
    void answers();
    void lateReplyIsReadByNextAttempt();
    void waitingCharactersStartTheReply();
    void refusedWhenPortNeedsSetUp();
    void unsolicited_data();
    void unsolicited();
    void replyBound_data();
    void replyBound();
    void portFailure_data();
    void portFailure();
    void receiveOnFailedPort();
    void waitTicks_data();
    void waitTicks();
};

void TestExchange::silentDeviceWithDefaults() {
    Rig r(2, 1, T0 + 537);
    r.link.CMM_TRNA(QStringLiteral("QT"), r.rec);

    QCOMPARE(r.port.outputs, QList<QByteArray>{"QT\r"});
    QCOMPARE(r.messages, QStringList{NotConnected});
    QCOMPARE(r.recAtMessage, QStringList{QString()}); // "ERROR" comes after the box
    QCOMPARE(r.rec, QStringLiteral("ERROR"));
    // Two changes of the second after the send: 10:00:01 and 10:00:02.
    QCOMPARE(r.clock.now(), T0 + 2000);
    QCOMPARE(r.link.ComStatus, qint16(0));
    QCOMPARE(r.port.closeCalls, 0);

    // The wait blocks in the port in short slices that never straddle a
    // change of the second, and lets the pump run between them.
    QVERIFY(r.port.waitCalls > 0);
    QVERIFY(r.port.waitCalls <= 30);
    QVERIFY(r.port.maxWaitMs <= 100);
    QCOMPARE(r.port.waitsPastSecond, 0);
    QCOMPARE(r.pumpCalls, r.port.waitCalls);
    QCOMPARE(r.pumpsOutsideExchange, 0);
    QVERIFY(!r.port.exchangeActive);
}

void TestExchange::attempts_data() {
    QTest::addColumn<int>("timeOut");
    QTest::addColumn<int>("reTry");
    QTest::addColumn<qint64>("start");
    QTest::addColumn<QList<qint64>>("sendTimes");
    QTest::addColumn<qint64>("end");

    QTest::newRow("three attempts")
        << 2 << 3 << T0 << QList<qint64>{T0, T0 + 2000, T0 + 4000} << T0 + 6000;
    QTest::newRow("one attempt") << 2 << 1 << T0 << QList<qint64>{T0} << T0 + 2000;
    QTest::newRow("zero attempts send once") << 2 << 0 << T0 << QList<qint64>{T0} << T0 + 2000;
    QTest::newRow("negative attempts send once")
        << 2 << -4 << T0 + 250 << QList<qint64>{T0 + 250} << T0 + 2000;
    QTest::newRow("time-out 0 still sends")
        << 0 << 3 << T0 + 10 << QList<qint64>{T0 + 10, T0 + 10, T0 + 10} << T0 + 10;
    QTest::newRow("negative time-out") << -1 << 2 << T0 << QList<qint64>{T0, T0} << T0;
    QTest::newRow("time-out 1 ends at the next second")
        << 1 << 1 << T0 + 999 << QList<qint64>{T0 + 999} << T0 + 1000;
    QTest::newRow("time-out 1 from a whole second")
        << 1 << 2 << T0 << QList<qint64>{T0, T0 + 1000} << T0 + 2000;
}

void TestExchange::attempts() {
    QFETCH(int, timeOut);
    QFETCH(int, reTry);
    QFETCH(qint64, start);
    QFETCH(QList<qint64>, sendTimes);
    QFETCH(qint64, end);

    Rig r(timeOut, reTry, start);
    r.rec = QStringLiteral("old");
    r.link.CMM_TRNA(QStringLiteral("L3"), r.rec);

    QCOMPARE(r.port.outputs, repeated("L3\r", static_cast<int>(sendTimes.size())));
    QCOMPARE(r.port.outputTimes, sendTimes);
    QCOMPARE(r.clock.now(), end);
    QCOMPARE(r.messages, QStringList{NotConnected});
    QCOMPARE(r.rec, QStringLiteral("ERROR"));
    QVERIFY(!r.port.exchangeActive);
}

void TestExchange::replyPieces_data() {
    QTest::addColumn<QList<qint64>>("times");
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<qint64>("end");
    QTest::addColumn<QStringList>("messages");

    QTest::newRow("whole") << QList<qint64>{300} << QList<QByteArray>{"0312\r"}
                           << QStringLiteral("0312\r") << T0 + 300 << QStringList{};
    // Each piece starts the time-out again, so a slow trickle is collected.
    QTest::newRow("three pieces") << QList<qint64>{800, 1900, 2900}
                                  << QList<QByteArray>{"03", "12", "\r"} << QStringLiteral("0312\r")
                                  << T0 + 2900 << QStringList{};
    QTest::newRow("text after CR in the same read stays")
        << QList<qint64>{300} << QList<QByteArray>{"0312\r*\r"} << QStringLiteral("0312\r*\r")
        << T0 + 300 << QStringList{};
    // 10:00:01.5 restarts the count: ticks at :02 and :03.
    QTest::newRow("piece without CR then silence")
        << QList<qint64>{1500} << QList<QByteArray>{"03"} << QStringLiteral("ERROR") << T0 + 3000
        << QStringList{NotConnected};
    // The last character counts when it comes with the second tick itself.
    QTest::newRow("piece at the second tick")
        << QList<qint64>{1999, 3000} << QList<QByteArray>{"0", "3\r"} << QStringLiteral("03\r")
        << T0 + 3000 << QStringList{};
    QTest::newRow("piece just after the second tick")
        << QList<qint64>{1999, 3001} << QList<QByteArray>{"0", "3\r"} << QStringLiteral("ERROR")
        << T0 + 3000 << QStringList{NotConnected};
}

void TestExchange::replyPieces() {
    QFETCH(QList<qint64>, times);
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(QString, reply);
    QFETCH(qint64, end);
    QFETCH(QStringList, messages);

    Rig r(2, 1);
    for (int i = 0; i < times.size(); ++i)
        r.port.arriveAt(T0 + times[i], pieces[i]);
    r.link.CMM_TRNA(QStringLiteral("QT"), r.rec);

    QCOMPARE(r.rec, reply);
    QCOMPARE(r.clock.now(), end);
    QCOMPARE(r.messages, messages);
    QCOMPARE(r.port.outputs.size(), 1);
}

void TestExchange::answers_data() {
    QTest::addColumn<int>("reTry");
    QTest::addColumn<QList<QByteArray>>("replies"); // empty: no answer
    QTest::addColumn<int>("sends");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QStringList>("messages");

    QTest::newRow("negative every time")
        << 3 << repeated("N\r", 3) << 3 << QStringLiteral("N\r") << QStringList{};
    QTest::newRow("N anywhere") << 2 << repeated("07N1\r", 2) << 2 << QStringLiteral("07N1\r")
                                << QStringList{};
    QTest::newRow("negative then good") << 3 << QList<QByteArray>{"NAK\r", "0312\r"} << 2
                                        << QStringLiteral("0312\r") << QStringList{};
    QTest::newRow("lower-case n is no refusal")
        << 3 << QList<QByteArray>{"n\r"} << 1 << QStringLiteral("n\r") << QStringList{};
    QTest::newRow("negative without attempts left")
        << 0 << QList<QByteArray>{"N\r"} << 1 << QStringLiteral("N\r") << QStringList{};
    QTest::newRow("device error is a reply")
        << 3 << QList<QByteArray>{"ERR\r"} << 1 << QStringLiteral("ERR\r") << QStringList{};
    QTest::newRow("empty reply") << 2 << QList<QByteArray>{"\r"} << 1 << QStringLiteral("\r")
                                 << QStringList{};
    // Whatever the earlier attempts got, a silent last one is a failure.
    QTest::newRow("negative then silence") << 2 << QList<QByteArray>{"N\r"} << 2
                                           << QStringLiteral("ERROR") << QStringList{NotConnected};
    QTest::newRow("silence then good")
        << 2 << QList<QByteArray>{"", "0312\r"} << 2 << QStringLiteral("0312\r") << QStringList{};
}

void TestExchange::answers() {
    QFETCH(int, reTry);
    QFETCH(QList<QByteArray>, replies);
    QFETCH(int, sends);
    QFETCH(QString, reply);
    QFETCH(QStringList, messages);

    Rig r(2, reTry);
    r.answer(replies, 200);
    r.link.CMM_TRNA(QStringLiteral("D207061E0081"), r.rec);

    QCOMPARE(r.port.outputs, repeated("D207061E0081\r", sends));
    QCOMPARE(r.rec, reply);
    QCOMPARE(r.messages, messages);
    QVERIFY(!r.port.exchangeActive);
}

void TestExchange::lateReplyIsReadByNextAttempt() {
    Rig r(2, 2);
    // The answer to the first send comes just after that attempt gave up, and
    // the answer to the second send later still.
    r.port.arriveAt(T0 + 2050, "A1\r").arriveAt(T0 + 2500, "A2\r");
    r.link.CMM_TRNA(QStringLiteral("QT"), r.rec);

    QCOMPARE(r.port.outputTimes, (QList<qint64>{T0, T0 + 2000}));
    QCOMPARE(r.rec, QStringLiteral("A1\r"));
    QCOMPARE(r.clock.now(), T0 + 2050);
    QVERIFY(r.messages.isEmpty());

    // The second answer is then the reply of the next exchange.
    r.link.CMM_TRNA(QStringLiteral("QS"), r.rec);
    QCOMPARE(r.rec, QStringLiteral("A2\r"));
    QCOMPARE(r.port.outputs, (QList<QByteArray>{"QT\r", "QT\r", "QS\r"}));
}

void TestExchange::waitingCharactersStartTheReply() {
    Rig r(2, 1);
    r.port.arriveAt(T0 - 5000, "X*");
    r.port.arriveAt(T0 + 200, "0312\r");
    r.link.CMM_TRNA(QStringLiteral("QT"), r.rec);
    QCOMPARE(r.rec, QStringLiteral("X*0312\r"));
    QVERIFY(r.messages.isEmpty());
}

void TestExchange::refusedWhenPortNeedsSetUp() {
    Rig r(2, 3);
    r.link.ComStatus = 99;
    r.rec = QStringLiteral("0312\r");
    r.link.CMM_TRNA(QStringLiteral("QT"), r.rec);
    QCOMPARE(r.messages, QStringList{SetUpAgain});
    QCOMPARE(r.rec, QStringLiteral("0312\r"));
    QVERIFY(r.port.outputs.isEmpty());
    QVERIFY(!r.port.exchangeActive);
    QCOMPARE(r.link.ComStatus, qint16(99));

    // No port at all (the last open failed) is refused the same way.
    Rig none(2, 1);
    none.link.setPort(nullptr);
    none.rec = QStringLiteral("keep");
    none.link.CMM_TRNA(QStringLiteral("QT"), none.rec);
    QCOMPARE(none.messages, QStringList{SetUpAgain});
    QCOMPARE(none.rec, QStringLiteral("keep"));
}

void TestExchange::unsolicited_data() {
    QTest::addColumn<QList<qint64>>("times");
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("end");

    QTest::newRow("complete") << QList<qint64>{0} << QList<QByteArray>{"12*\r"}
                              << QStringLiteral("12*\r") << T0;
    QTest::newRow("in pieces") << QList<qint64>{100, 1500} << QList<QByteArray>{"12*", "\r"}
                               << QStringLiteral("12*\r") << T0 + 1500;
    QTest::newRow("more after the terminator in the same read")
        << QList<qint64>{0} << QList<QByteArray>{"1*\r2"} << QStringLiteral("1*\r2") << T0;
    QTest::newRow("CR alone does not end it")
        << QList<qint64>{0} << QList<QByteArray>{"0312\r"} << QStringLiteral("ERROR") << T0 + 2000;
    QTest::newRow("stray characters time out after the last one")
        << QList<qint64>{0, 1500} << QList<QByteArray>{"ab", "c"} << QStringLiteral("ERROR")
        << T0 + 3000;
    QTest::newRow("nothing") << QList<qint64>{} << QList<QByteArray>{} << QStringLiteral("ERROR")
                             << T0 + 2000;
}

void TestExchange::unsolicited() {
    QFETCH(QList<qint64>, times);
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(QString, text);
    QFETCH(qint64, end);

    Rig r(2, 3);
    r.link.ComStatus = 99; // not consulted when only receiving
    for (int i = 0; i < times.size(); ++i)
        r.port.arriveAt(T0 + times[i], pieces[i]);
    r.rec = QStringLiteral("last reply");
    r.link.CMM_REC(r.rec);

    QCOMPARE(r.rec, text);
    QCOMPARE(r.clock.now(), end);
    QVERIFY(r.port.outputs.isEmpty());
    QVERIFY(!r.port.exchangeActive);
    if (text == QStringLiteral("ERROR")) {
        QCOMPARE(r.messages, QStringList{TimeOut});
        QCOMPARE(r.recAtMessage, QStringList{QStringLiteral("ERROR")});
    } else {
        QVERIFY(r.messages.isEmpty());
    }
}

void TestExchange::replyBound_data() {
    QTest::addColumn<QByteArray>("stream"); // arrives in 500-byte pieces, 100 ms apart
    QTest::addColumn<bool>("receiveOnly");
    QTest::addColumn<QString>("result");
    QTest::addColumn<qint64>("end");

    const QByteArray full = QByteArray(4095, 'x') + '\r';
    QTest::newRow("4096 with CR is a reply")
        << full << false << QString::fromLatin1(full) << T0 + 900;
    QTest::newRow("4097 is too long")
        << QByteArray(4096, 'x') + '\r' << false << QStringLiteral("ERROR") << T0 + 900;
    QTest::newRow("endless chatter")
        << QByteArray(200'000, 'x') << false << QStringLiteral("ERROR") << T0 + 900;
    QTest::newRow("endless chatter unasked")
        << QByteArray(200'000, 'x') << true << QStringLiteral("ERROR") << T0 + 900;
    const QByteArray unasked = QByteArray(4094, 'x') + "*\r";
    QTest::newRow("4096 unasked") << unasked << true << QString::fromLatin1(unasked) << T0 + 900;
}

void TestExchange::replyBound() {
    QFETCH(QByteArray, stream);
    QFETCH(bool, receiveOnly);
    QFETCH(QString, result);
    QFETCH(qint64, end);

    Rig r(2, 1);
    for (qsizetype at = 0, i = 1; at < stream.size(); at += 500, ++i)
        r.port.arriveAt(T0 + 100 * i, stream.mid(at, 500));
    if (receiveOnly)
        r.link.CMM_REC(r.rec);
    else
        r.link.CMM_TRNA(QStringLiteral("QT"), r.rec);

    QCOMPARE(r.rec, result);
    // The attempt ends with the piece that overflows, not after a time-out.
    QCOMPARE(r.clock.now(), end);
    if (result == QStringLiteral("ERROR"))
        QCOMPARE(r.messages, QStringList{receiveOnly ? TimeOut : NotConnected});
    else
        QVERIFY(r.messages.isEmpty());
}

void TestExchange::portFailure_data() {
    QTest::addColumn<int>("timeOut");
    QTest::addColumn<qint64>("failAt");  // -1: fail at the send below
    QTest::addColumn<int>("failOnSend"); // 0: not at a send
    QTest::addColumn<int>("sends");
    QTest::addColumn<qint64>("end");

    QTest::newRow("during the first wait") << 2 << T0 + 500 << 0 << 1 << T0 + 500;
    QTest::newRow("at the second send") << 2 << qint64(-1) << 2 << 2 << T0 + 3000;
    QTest::newRow("already gone") << 2 << T0 << 0 << 0 << T0;
    QTest::newRow("gone with time-out 0") << 0 << T0 << 0 << 0 << T0;
    QTest::newRow("after a partial reply") << 2 << T0 + 1200 << 0 << 1 << T0 + 1200;
}

void TestExchange::portFailure() {
    QFETCH(int, timeOut);
    QFETCH(qint64, failAt);
    QFETCH(int, failOnSend);
    QFETCH(int, sends);
    QFETCH(qint64, end);

    Rig r(timeOut, 3);
    if (failAt >= 0)
        r.port.failAt(failAt);
    if (failOnSend > 0)
        r.port.failOnOutput(failOnSend);
    r.port.arriveAt(T0 + 1000, "03");
    r.link.CMM_TRNA(QStringLiteral("QT"), r.rec);

    QCOMPARE(r.port.outputs, repeated("QT\r", sends));
    QCOMPARE(r.messages, QStringList{NotConnected});
    QCOMPARE(r.rec, QStringLiteral("ERROR"));
    QCOMPARE(r.clock.now(), end);
    QCOMPARE(r.port.closeCalls, 1);
    QCOMPARE(r.link.ComStatus, qint16(99));
    QVERIFY(!r.port.exchangeActive);

    // The next action asks for the port to be set up again.
    r.link.CMM_TRNA(QStringLiteral("QS"), r.rec);
    QCOMPARE(r.messages, (QStringList{NotConnected, SetUpAgain}));
    QCOMPARE(r.port.outputs.size(), sends);
}

void TestExchange::receiveOnFailedPort() {
    Rig r(2, 1);
    r.port.arriveAt(T0 + 100, "12");
    r.port.failAt(T0 + 400);
    r.link.CMM_REC(r.rec);
    QCOMPARE(r.rec, QStringLiteral("ERROR"));
    QCOMPARE(r.messages, QStringList{TimeOut});
    QCOMPARE(r.clock.now(), T0 + 400);
    QCOMPARE(r.port.closeCalls, 1);
    QCOMPARE(r.link.ComStatus, qint16(99));
    QVERIFY(!r.port.exchangeActive);
}

void TestExchange::waitTicks_data() {
    QTest::addColumn<qint64>("start");
    QTest::addColumn<int>("ticks");
    QTest::addColumn<qint64>("end");

    QTest::newRow("two from mid-second") << T0 + 300 << 2 << T0 + 2000;
    QTest::newRow("two from a whole second") << T0 << 2 << T0 + 2000;
    QTest::newRow("one just before the change") << T0 + 999 << 1 << T0 + 1000;
    QTest::newRow("none") << T0 + 500 << 0 << T0 + 500;
    QTest::newRow("negative") << T0 + 500 << -1 << T0 + 500;
    QTest::newRow("across midnight") << FakeClock::DayMs - 300 << 2 << FakeClock::DayMs + 1000;
}

void TestExchange::waitTicks() {
    QFETCH(qint64, start);
    QFETCH(int, ticks);
    QFETCH(qint64, end);

    Rig r(2, 1, start);
    r.link.waitTicks(ticks);

    QCOMPARE(r.clock.now(), end);
    QVERIFY(r.clock.maxSleepMs <= 100);
    // Sleeps, not a spin: about ten slices a second at most.
    QVERIFY(r.clock.sleepCalls <= 12 * std::max(ticks, 0));
    QCOMPARE(r.pumpCalls, r.clock.sleepCalls);
    QCOMPARE(r.pumpsOutsideExchange, 0);
    QVERIFY(!r.port.exchangeActive);
    QVERIFY(r.port.outputs.isEmpty());
    QCOMPARE(r.port.inputCalls, 0);
}

QTEST_GUILESS_MAIN(TestExchange)
#include "tst_exchange.moc"
