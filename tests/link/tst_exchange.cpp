// SPDX-License-Identifier: MIT
// The command exchange on a scripted line and a fake clock: attempts, the
// inactivity time-out in ticks, the messages and what is left in the reply.
#include "exchange.h"
#include "fakeline.h"

#include <QtTest>

using namespace morvane;
using namespace morvane::test;

namespace {

constexpr qint64 kT0 = 36'000'000; // 10:00:00.000 on the fake clock
const QString kError = QStringLiteral("ERROR");

// Stands for the window's waiter: counts the waits, and those made with the
// receive event not held back, then blocks as the plain waits do.
struct CountingWaiter final : Waiter {
    CountingWaiter(FakeClock& c, FakeLine& l) : clock(c), line(l) {}
    void waitForInput(SerialLine& l, int ms) override {
        ++waits, unheld += !line.exchangeActive, l.waitForInput(ms);
    }
    void sleep(int ms) override { ++waits, unheld += !line.exchangeActive, clock.sleep(ms); }
    FakeClock& clock;
    FakeLine& line;
    int waits = 0, unheld = 0;
};

struct Rig {
    SysSettingsRecord settings;
    FakeClock clock{kT0};
    FakeLine line{clock};
    QString rec = QStringLiteral("old");
    QStringList messages;
    QStringList recAtMessage; // what the reply held when each box opened
    CountingWaiter* waiter = new CountingWaiter(clock, line); // the link owns it
    Link link{settings, line, clock,
              [this](const QString& m) { messages << m, recAtMessage << rec; }};

    Rig(int timeOut, int reTry, qint64 start) {
        settings.ComTimeOut = qint16(timeOut);
        settings.ComReTry = qint16(reTry);
        clock.setNow(start);
        link.setWaiter(std::unique_ptr<Waiter>(waiter));
    }
};

// CMM_TRNA "QT", or CMM_REC when recvOnly; what arrives when ("ms:text" after
// kT0, "ms:!" the line goes away); how many sends, the reply, the message,
// and when it is over (ms after kT0).
struct Case {
    bool recvOnly;
    int timeOut, reTry, start;
    QStringList script;
    int sends;
    QString reply, message;
    int end;
};

// A long stream arriving in 500-character pieces, 100 ms apart.
QStringList stream(const QByteArray& bytes) {
    QStringList s;
    for (qsizetype at = 0; at < bytes.size(); at += 500)
        s << QString::number(100 * (at / 500 + 1)) + u':' + QLatin1String(bytes.mid(at, 500));
    return s;
}

// One character a second for a minute: a noisy line.
QStringList trickle() {
    QStringList s;
    for (int t = 1000; t <= 60000; t += 1000)
        s << QString::number(t) + ":x";
    return s;
}

} // namespace

Q_DECLARE_METATYPE(Case)

class TstExchange : public QObject {
    Q_OBJECT
private slots:
    void exchange_data() {
        QTest::addColumn<Case>("c");
        const auto row = [](const char* name, const Case& c) { QTest::newRow(name) << c; };
        const QString nc = kMsgNotConnected, to = kMsgTimeOut;
        const QByteArray full = QByteArray(4095, 'x') + '\r';
        // Attempts and the time-out: each attempt waits timeOut changes of the second.
        row("silent, defaults", {false, 2, 1, 537, {}, 1, kError, nc, 2000});
        row("three attempts", {false, 2, 3, 0, {}, 3, kError, nc, 6000});
        row("zero attempts send once", {false, 2, 0, 0, {}, 1, kError, nc, 2000});
        row("negative attempts send once", {false, 2, -4, 250, {}, 1, kError, nc, 2000});
        row("time-out 0 still sends", {false, 0, 3, 10, {}, 3, kError, nc, 10});
        row("time-out 1 ends at the next second", {false, 1, 1, 999, {}, 1, kError, nc, 1000});
        // Each piece starts the time-out again.
        row("pieces", {false, 2, 1, 0, {"800:03", "1900:12", "2900:\r"}, 1, "0312\r", {}, 2900});
        row("piece at the tick", {false, 2, 1, 0, {"1999:0", "3000:3\r"}, 1, "03\r", {}, 3000});
        row("piece then silence", {false, 2, 1, 0, {"1500:03"}, 1, kError, nc, 3000});
        row("text after CR stays", {false, 2, 1, 0, {"300:0312\r*\r"}, 1, "0312\r*\r", {}, 300});
        row("waiting text first", {false, 2, 1, 0, {"-5000:X*", "200:12\r"}, 1, "X*12\r", {}, 200});
        row("late reply, next attempt", {false, 2, 2, 0, {"2050:A1\r"}, 2, "A1\r", {}, 2050});
        // An "N" anywhere asks again; the last answer is returned as it is.
        row("negative every time", {false, 2, 2, 0, {"200:07N1\r", "400:N\r"}, 2, "N\r", {}, 400});
        row("negative then good", {false, 2, 3, 0, {"200:NAK\r", "400:03\r"}, 2, "03\r", {}, 400});
        row("negative then silence", {false, 2, 2, 0, {"200:N\r"}, 2, kError, nc, 2000});
        row("lower-case n is an answer", {false, 2, 3, 0, {"200:n\r"}, 1, "n\r", {}, 200});
        row("device error is an answer", {false, 2, 3, 0, {"200:ERR\r"}, 1, "ERR\r", {}, 200});
        // A reply is bounded: the piece that overflows ends the attempt.
        row("4096 characters", {false, 2, 1, 0, stream(full), 1, QString(full), {}, 900});
        row("4097 characters", {false, 2, 1, 0, stream('x' + full), 1, kError, nc, 900});
        // However the characters trickle in, an attempt waits 30 s at most.
        row("trickle", {false, 2, 2, 0, trickle(), 2, kError, nc, 60000});
        row("unsolicited trickle", {true, 2, 1, 0, trickle(), 0, kError, to, 30000});
        // The line goes away: no further attempt, the port is closed.
        row("gone while waiting", {false, 2, 3, 0, {"1000:03", "1200:!"}, 1, kError, nc, 1200});
        row("gone before, time-out 0", {false, 0, 3, 0, {"0:!"}, 0, kError, nc, 0});
        // Unsolicited text runs up to "*" CR.
        row("unsolicited", {true, 2, 1, 0, {"100:12*", "1500:\r"}, 0, "12*\r", {}, 1500});
        row("unsolicited CR alone", {true, 2, 1, 0, {"0:0312\r"}, 0, kError, to, 2000});
        row("unsolicited chatter",
            {true, 2, 1, 0, stream(QByteArray(9000, 'x')), 0, kError, to, 900});
        row("unsolicited, gone", {true, 2, 1, 0, {"100:12", "400:!"}, 0, kError, to, 400});
    }
    void exchange() {
        QFETCH(Case, c);
        Rig r(c.timeOut, c.reTry, kT0 + c.start);
        for (const QString& s : c.script) {
            const qint64 at = kT0 + s.section(u':', 0, 0).toLongLong();
            if (s.section(u':', 1) == u"!")
                r.line.failAt(at);
            else
                r.line.arriveAt(at, s.section(u':', 1).toLatin1());
        }
        if (c.recvOnly)
            r.link.CMM_REC(r.rec);
        else
            r.link.CMM_TRNA(QStringLiteral("QT"), r.rec);

        const bool gone = c.script.join(' ').endsWith(":!");
        QCOMPARE(r.line.outputs, QList<QByteArray>(c.sends, "QT\r"));
        QCOMPARE(r.rec, c.reply);
        QCOMPARE(r.messages, c.message.isEmpty() ? QStringList() : QStringList{c.message});
        // A send shows its message before the reply becomes "ERROR"; a receive after.
        QCOMPARE(r.recAtMessage.value(0) == kError, c.recvOnly && !c.message.isEmpty());
        QCOMPARE(r.clock.now(), kT0 + c.end);
        QCOMPARE(r.line.closeCalls, gone ? 1 : 0);
        QCOMPARE(r.link.ComStatus, qint16(gone ? 99 : 0));
        // Every wait goes through the waiter with the receive event held, and
        // blocks up to the next arrival or change of the second, not in slices.
        QVERIFY(r.line.waitsPastSecond == 0 && r.line.waitCalls == r.waiter->waits);
        QVERIFY(r.line.waitCalls <= c.script.size() + 2 * (1 + (c.end - c.start) / 1000));
        QVERIFY(r.waiter->unheld == 0 && !r.line.exchangeActive);
    }

    // No port: nothing is sent, the reply keeps what it held, and the
    // exchange says so even when that old reply holds no "ERR".
    void refusedWithoutPort() {
        Rig r(2, 3, kT0);
        r.link.ComStatus = 99;
        r.link.CMM_TRNA(QStringLiteral("QT"), r.rec);
        r.link.RecBuf = QStringLiteral("kept");
        QVERIFY(!r.link.exchange(QStringLiteral("QS")));
        QCOMPARE(r.messages, QStringList(2, kMsgSetUpPortAgain));
        QCOMPARE(r.rec + r.link.RecBuf + QString::number(r.line.outputs.size()),
                 QStringLiteral("oldkept0"));
        QVERIFY(replyFailed(kError) && replyFailed("xERR") && !replyFailed("Err"));
    }

    void waitTicks_data() {
        QTest::addColumn<qint64>("start");
        QTest::addColumn<int>("ticks");
        QTest::addColumn<qint64>("end");
        QTest::newRow("two from mid-second") << kT0 + 300 << 2 << kT0 + 2000;
        QTest::newRow("one just before") << kT0 + 999 << 1 << kT0 + 1000;
        QTest::newRow("none") << kT0 + 500 << 0 << kT0 + 500;
        QTest::newRow("across midnight")
            << FakeClock::kDayMs - 300 << 2 << FakeClock::kDayMs + 1000;
    }
    void waitTicks() {
        QFETCH(qint64, start);
        QFETCH(int, ticks);
        QFETCH(qint64, end);
        Rig r(2, 1, start);
        r.line.arriveAt(start, "1*\r");
        r.link.waitTicks(ticks);
        QCOMPARE(r.clock.now(), end);
        QVERIFY(r.clock.sleepCalls == ticks && r.waiter->waits == ticks); // one a tick
        QVERIFY(r.waiter->unheld == 0 && !r.line.exchangeActive);
        QCOMPARE(r.line.InBufferCount(), 3); // waiting text is left for the receive event
    }
};

QTEST_GUILESS_MAIN(TstExchange)
#include "tst_exchange.moc"
