// The command exchange on a scripted port and a fake clock: attempts, the
// inactivity time-out in ticks, the messages and what is left in the reply.
#include "exchange.h"
#include "fakeclock.h"
#include "fakeport.h"

#include <QtTest>

using namespace morvane;
using morvane::test::FakeClock;
using morvane::test::FakePort;

namespace {

constexpr qint64 T0 = 36'000'000; // 10:00:00.000 on the fake clock

const QString NotConnected = QStringLiteral("Morvane が接続されていないか、コムポートが違います。");
const QString SetUpAgain = QStringLiteral("COM ポートを再設定してください。");
const QString TimeOut = QStringLiteral("タイムアウトエラーです。");
const QString Error = QStringLiteral("ERROR");

struct Rig {
    SysSettingsRecord settings;
    FakeClock clock{T0};
    FakePort port{clock};
    QString rec = QStringLiteral("old");
    QStringList messages;
    QStringList recAtMessage; // what the reply held when each box opened
    int pumps = 0;
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
            ++pumps;
            pumpsOutsideExchange += port.exchangeActive ? 0 : 1;
        });
    }
};

using Script = QStringList; // "ms:text" arrives at T0 + ms; "ms:!" the line goes away

// A long stream arriving in 500-character pieces, 100 ms apart.
Script stream(const QByteArray& bytes) {
    Script s;
    for (qsizetype at = 0; at < bytes.size(); at += 500)
        s << QString::number(100 * (at / 500 + 1)) + u':' + QLatin1String(bytes.mid(at, 500));
    return s;
}

// recvOnly: CMM_REC instead of CMM_TRNA "QT". end is relative to T0.
void row(const char* name, bool recvOnly, int timeOut, int reTry, int start, const Script& script,
         int sends, const QString& reply, const QString& message, int end) {
    QTest::newRow(name) << recvOnly << timeOut << reTry << start << script << sends << reply
                        << message << end;
}

} // namespace

class TestExchange : public QObject {
    Q_OBJECT
private slots:
    void exchange_data();
    void exchange();
    void refused();
    void waitTicks_data();
    void waitTicks();
};

void TestExchange::exchange_data() {
    QTest::addColumn<bool>("recvOnly");
    QTest::addColumn<int>("timeOut");
    QTest::addColumn<int>("reTry");
    QTest::addColumn<int>("start");
    QTest::addColumn<Script>("script");
    QTest::addColumn<int>("sends");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("end");

    const QString none;
    // Attempts and the time-out: each attempt waits timeOut changes of the second.
    row("silent, defaults", false, 2, 1, 537, {}, 1, Error, NotConnected, 2000);
    row("three attempts", false, 2, 3, 0, {}, 3, Error, NotConnected, 6000);
    row("zero attempts send once", false, 2, 0, 0, {}, 1, Error, NotConnected, 2000);
    row("negative attempts send once", false, 2, -4, 250, {}, 1, Error, NotConnected, 2000);
    row("time-out 0 still sends", false, 0, 3, 10, {}, 3, Error, NotConnected, 10);
    row("time-out 1 ends at the next second", false, 1, 1, 999, {}, 1, Error, NotConnected, 1000);
    // Each piece starts the time-out again.
    row("pieces", false, 2, 1, 0, {"800:03", "1900:12", "2900:\r"}, 1, "0312\r", none, 2900);
    row("piece at the second tick", false, 2, 1, 0, {"1999:0", "3000:3\r"}, 1, "03\r", none, 3000);
    row("piece then silence", false, 2, 1, 0, {"1500:03"}, 1, Error, NotConnected, 3000);
    row("text after CR stays", false, 2, 1, 0, {"300:0312\r*\r"}, 1, "0312\r*\r", none, 300);
    row("waiting text starts the reply", false, 2, 1, 0, {"-5000:X*", "200:0312\r"}, 1, "X*0312\r",
        none, 200);
    row("late reply read by the next attempt", false, 2, 2, 0, {"2050:A1\r"}, 2, "A1\r", none,
        2050);
    // An "N" anywhere asks again; the last answer is returned as it is.
    row("negative every time", false, 2, 2, 0, {"200:07N1\r", "400:N\r"}, 2, "N\r", none, 400);
    row("negative then good", false, 2, 3, 0, {"200:NAK\r", "400:0312\r"}, 2, "0312\r", none, 400);
    row("negative then silence", false, 2, 2, 0, {"200:N\r"}, 2, Error, NotConnected, 2000);
    row("lower-case n is an answer", false, 2, 3, 0, {"200:n\r"}, 1, "n\r", none, 200);
    row("device error is an answer", false, 2, 3, 0, {"200:ERR\r"}, 1, "ERR\r", none, 200);
    // A reply is bounded: the piece that overflows ends the attempt.
    const QByteArray full = QByteArray(4095, 'x') + '\r';
    row("4096 characters", false, 2, 1, 0, stream(full), 1, QString::fromLatin1(full), none, 900);
    row("4097 characters", false, 2, 1, 0, stream('x' + full), 1, Error, NotConnected, 900);
    // The line goes away: no further attempt, the port is closed.
    row("gone while waiting", false, 2, 3, 0, {"1000:03", "1200:!"}, 1, Error, NotConnected, 1200);
    row("gone before, time-out 0", false, 0, 3, 0, {"0:!"}, 0, Error, NotConnected, 0);
    // Unsolicited text runs up to "*" CR.
    row("unsolicited", true, 2, 1, 0, {"100:12*", "1500:\r"}, 0, "12*\r", none, 1500);
    row("unsolicited CR alone", true, 2, 1, 0, {"0:0312\r"}, 0, Error, TimeOut, 2000);
    row("unsolicited chatter", true, 2, 1, 0, stream(QByteArray(9000, 'x')), 0, Error, TimeOut,
        900);
    row("unsolicited, gone", true, 2, 1, 0, {"100:12", "400:!"}, 0, Error, TimeOut, 400);
}

void TestExchange::exchange() {
    QFETCH(bool, recvOnly);
    QFETCH(int, timeOut);
    QFETCH(int, reTry);
    QFETCH(int, start);
    QFETCH(Script, script);
    QFETCH(int, sends);
    QFETCH(QString, reply);
    QFETCH(QString, message);
    QFETCH(int, end);

    Rig r(timeOut, reTry, T0 + start);
    bool gone = false;
    for (const QString& s : script) {
        const qint64 at = T0 + s.section(u':', 0, 0).toLongLong();
        const QString text = s.section(u':', 1);
        if (text == u"!")
            r.port.failAt(at);
        else
            r.port.arriveAt(at, text.toLatin1());
        gone = gone || text == u"!";
    }
    if (recvOnly)
        r.link.CMM_REC(r.rec);
    else
        r.link.CMM_TRNA(QStringLiteral("QT"), r.rec);

    QCOMPARE(r.port.outputs, QList<QByteArray>(sends, "QT\r"));
    QCOMPARE(r.rec, reply);
    QCOMPARE(r.messages, message.isEmpty() ? QStringList() : QStringList{message});
    // A send shows its message before the reply becomes "ERROR"; a receive after.
    if (!message.isEmpty())
        QCOMPARE(r.recAtMessage.first() == Error, recvOnly);
    QCOMPARE(r.clock.now(), T0 + end);
    QCOMPARE(r.port.closeCalls, gone ? 1 : 0);
    QCOMPARE(r.link.ComStatus, qint16(gone ? 99 : 0));

    // Waits block in the port in slices that never straddle a change of the
    // second, with the pump between them and the receive event held back.
    QVERIFY(r.port.maxWaitMs <= 100);
    QCOMPARE(r.port.waitsPastSecond, 0);
    QVERIFY(r.port.waitCalls <= 15 * (1 + (end - start) / 1000));
    QCOMPARE(r.pumps, r.port.waitCalls);
    QCOMPARE(r.pumpsOutsideExchange, 0);
    QVERIFY(!r.port.exchangeActive);
}

void TestExchange::refused() {
    Rig r(2, 3);
    r.link.ComStatus = 99;
    r.link.CMM_TRNA(QStringLiteral("QT"), r.rec);
    QCOMPARE(r.messages, QStringList{SetUpAgain});
    QCOMPARE(r.rec, QStringLiteral("old"));
    QVERIFY(r.port.outputs.isEmpty());

    // No port at all (the last open failed).
    r.link.setPort(nullptr);
    r.link.ComStatus = 0;
    r.link.CMM_TRNA(QStringLiteral("QT"), r.rec);
    QCOMPARE(r.rec, QStringLiteral("old"));
    r.link.CMM_REC(r.rec);
    QCOMPARE(r.rec, Error);
    QCOMPARE(r.messages, (QStringList{SetUpAgain, SetUpAgain, TimeOut}));
}

void TestExchange::waitTicks_data() {
    QTest::addColumn<qint64>("start");
    QTest::addColumn<int>("ticks");
    QTest::addColumn<qint64>("end");
    QTest::newRow("two from mid-second") << T0 + 300 << 2 << T0 + 2000;
    QTest::newRow("one just before the change") << T0 + 999 << 1 << T0 + 1000;
    QTest::newRow("none") << T0 + 500 << 0 << T0 + 500;
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
    QVERIFY(r.clock.sleepCalls <= 12 * ticks);
    QCOMPARE(r.pumps, r.clock.sleepCalls);
    QCOMPARE(r.pumpsOutsideExchange, 0);
    QVERIFY(!r.port.exchangeActive);
    QCOMPARE(r.port.inputCalls, 0); // waiting text is left for the receive event
}

QTEST_GUILESS_MAIN(TestExchange)
#include "tst_exchange.moc"
