// SPDX-License-Identifier: MIT
// The command exchange on a fake line and clock: attempts, time-outs, messages, replies.
#include "fakeline.h"
#include "testdata.h"

#include <QtTest>

using namespace morvane;
using namespace morvane::test;

namespace {

constexpr qint64 kT0 = 36'000'000; // 10:00:00.000 on the fake clock

// CMM_TRNA "QT", or CMM_REC (which sends nothing) when recv; what arrives when ("ms:text" after
// kT0, "ms:!" the line goes away); how many sends, the reply and when it is over (ms after kT0). A
// failure shows one message: not connected for a send, time-out for a receive.
struct Case {
    bool recv = false;
    int timeOut = 2, reTry = 1, start = 0;
    QStringList script;
    int sends = 1;
    QString reply = kReplyError;
    int end = 0;
};

} // namespace

class TstExchange : public QObject {
    Q_OBJECT
private slots:
    void exchange_data() {
        QTest::addColumn<Case>("c");
        const auto row = [](const char* name, const Case& c) { QTest::newRow(name) << c; };
        const QByteArray full = QByteArray(4095, 'x') + '\r';
        // A long stream arriving in 500-character pieces, 100 ms apart.
        const auto stream = [](const QByteArray& bytes) {
            QStringList s;
            for (qsizetype at = 0; at < bytes.size(); at += 500)
                s << QString::number(at / 5 + 100) + u':' + QLatin1String(bytes.mid(at, 500));
            return s;
        };
        QStringList trickle; // one character a second for a minute: a noisy line
        for (int t = 1000; t <= 60000; t += 1000)
            trickle << QString::number(t) + ":x";
        // Attempts and the time-out: each attempt waits timeOut changes of the second.
        row("silent, defaults", {.start = 537, .end = 2000});
        row("three attempts", {.reTry = 3, .sends = 3, .end = 6000});
        row("zero attempts send once", {.reTry = 0, .end = 2000});
        row("negative attempts send once", {.reTry = -4, .start = 250, .end = 2000});
        row("time-out 0 still sends",
            {.timeOut = 0, .reTry = 3, .start = 10, .sends = 3, .end = 10});
        row("time-out 1 ends at the next second", {.timeOut = 1, .start = 999, .end = 1000});
        // Each piece starts the time-out again.
        row("pieces", {.script = {"800:03", "1900:12", "2900:\r"}, .reply = "0312\r", .end = 2900});
        row("piece at the tick", {.script = {"1999:0", "3000:3\r"}, .reply = "03\r", .end = 3000});
        row("piece then silence", {.script = {"1500:03"}, .end = 3000});
        row("text after CR stays", {.script = {"300:0312\r*\r"}, .reply = "0312\r*\r", .end = 300});
        row("waiting text first",
            {.script = {"-5000:X*", "200:12\r"}, .reply = "X*12\r", .end = 200});
        row("late reply, next attempt",
            {.reTry = 2, .script = {"2050:A1\r"}, .sends = 2, .reply = "A1\r", .end = 2050});
        // An "N" anywhere asks again; the last answer is returned as it is.
        row("negative every time",
            {.reTry = 2, .script = {"20:7N\r", "40:N\r"}, .sends = 2, .reply = "N\r", .end = 40});
        row("negative then good",
            {.reTry = 3, .script = {"20:NA\r", "40:03\r"}, .sends = 2, .reply = "03\r", .end = 40});
        row("negative then silence", {.reTry = 2, .script = {"200:N\r"}, .sends = 2, .end = 2000});
        row("lower-case n is an answer",
            {.reTry = 3, .script = {"200:n\r"}, .reply = "n\r", .end = 200});
        row("device error is an answer",
            {.reTry = 3, .script = {"200:ERR\r"}, .reply = "ERR\r", .end = 200});
        // A reply is bounded: the piece that overflows ends the attempt.
        row("4096 characters", {.script = stream(full), .reply = full, .end = 900});
        row("4097 characters", {.script = stream('x' + full), .end = 900});
        // However the characters trickle in, an attempt waits 30 s at most.
        row("trickle", {.reTry = 2, .script = trickle, .sends = 2, .end = 60000});
        row("unsolicited trickle", {.recv = true, .script = trickle, .end = 30000});
        // The line goes away: no further attempt, the port is closed.
        row("gone while waiting", {.reTry = 3, .script = {"1000:03", "1200:!"}, .end = 1200});
        row("gone before, time-out 0", {.timeOut = 0, .reTry = 3, .script = {"0:!"}, .sends = 0});
        // Unsolicited text runs up to "*" CR.
        row("unsolicited",
            {.recv = true, .script = {"10:12*", "1500:\r"}, .reply = "12*\r", .end = 1500});
        row("unsolicited CR alone", {.recv = true, .script = {"0:0312\r"}, .end = 2000});
        row("unsolicited chatter",
            {.recv = true, .script = stream(QByteArray(9000, 'x')), .end = 900});
        row("unsolicited, gone", {.recv = true, .script = {"100:12", "400:!"}, .end = 400});
    }
    void exchange() {
        QFETCH(Case, c);
        LinkRig r(kT0 + c.start);
        r.settings.ComTimeOut = qint16(c.timeOut);
        r.settings.ComReTry = qint16(c.reTry);
        r.countWaits();
        for (const QString& s : c.script) {
            const qint64 at = kT0 + s.section(u':', 0, 0).toLongLong();
            const QString text = s.section(u':', 1);
            text == u"!" ? r.line.failAt(at) : r.line.arriveAt(at, text.toLatin1());
        }
        r.link.RecBuf = QStringLiteral("old");
        if (c.recv)
            r.link.CMM_REC(r.link.RecBuf);
        else
            r.link.CMM_TRNA(QStringLiteral("QT"), r.link.RecBuf);

        const bool failed = c.reply == kReplyError, gone = c.script.join(' ').endsWith(":!");
        QCOMPARE(r.line.outputs, QList<QByteArray>(c.recv ? 0 : c.sends, "QT\r"));
        QCOMPARE(r.link.RecBuf, c.reply);
        QCOMPARE(r.messages,
                 failed ? QStringList{c.recv ? kMsgTimeOut : kMsgNotConnected} : QStringList());
        // A send shows its message before the reply becomes "ERROR"; a receive after.
        QCOMPARE(r.recAtMessage.value(0) == kReplyError, c.recv && failed);
        QCOMPARE(r.clock.now(), kT0 + c.end);
        QCOMPARE(r.line.closeCalls, gone ? 1 : 0);
        QCOMPARE(r.link.ComStatus, gone ? kComStatusFailed : kComStatusOpen);
        // Every wait goes through the waiter with the receive event held, and
        // blocks up to the next arrival or change of the second, not in slices.
        QCOMPARE(r.waits, r.line.waitCalls);
        QCOMPARE_LE(r.waits, c.script.size() + 2 * (1 + (c.end - c.start) / 1000));
        QCOMPARE(r.unheld, 0);
        QVERIFY(!r.line.exchangeActive);
    }

    // No port: nothing is sent, the reply keeps what it held, and the
    // exchange says so even when that old reply holds no "ERR".
    void refusedWithoutPort() {
        LinkRig r(kT0);
        r.link.ComStatus = kComStatusFailed;
        r.link.RecBuf = QStringLiteral("kept");
        QVERIFY(!r.link.exchange(QStringLiteral("QS")));
        QCOMPARE(r.messages, QStringList{kMsgSetUpPortAgain});
        QCOMPARE(r.link.RecBuf, QStringLiteral("kept"));
        QCOMPARE(r.line.outputs.size(), 0);
        QVERIFY(replyFailed(QStringLiteral("xERR")) && !replyFailed(QStringLiteral("Err")));
    }

    // The settling pause: one sleep a tick through the waiter, the text
    // arriving meanwhile left for the receive event.
    void waitTicks_data() {
        columns<qint64, int, qint64>({"start", "ticks", "end"});
        row("two from mid-second", kT0 + 300, 2, kT0 + 2000);
        row("one just before", kT0 + 999, 1, kT0 + 1000);
        row("none", kT0 + 500, 0, kT0 + 500);
        row("across midnight", FakeClock::kDayMs - 300, 2, FakeClock::kDayMs + 1000);
    }
    void waitTicks() {
        QFETCH(qint64, start);
        QFETCH(int, ticks);
        LinkRig r(start);
        r.countWaits();
        r.line.arriveAt(start, "1*\r");
        r.link.waitTicks(ticks);
        QTEST(r.clock.now(), "end");
        QCOMPARE(r.waits, ticks);
        QCOMPARE(r.unheld, 0);
        QVERIFY(!r.line.exchangeActive);
        QCOMPARE(r.line.InBufferCount(), 3);
    }
};

QTEST_GUILESS_MAIN(TstExchange)
#include "tst_exchange.moc"
