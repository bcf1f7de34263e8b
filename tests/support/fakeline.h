// SPDX-License-Identifier: MIT
#pragma once

#include "clock.h"
#include "exchange.h"
#include "serialline.h"

#include <QHash>
#include <QMultiMap>
#include <QStringList>
#include <algorithm>
#include <functional>
#include <limits>
#include <memory>

namespace morvane::test {

// A clock that only moves when told to: by sleep(), by setNow(), or by a
// FakeLine waiting for input. Time is a running millisecond count; the time of
// day is that count modulo one day, so a test can cross midnight.
class FakeClock final : public Clock {
public:
    static constexpr qint64 kDayMs = 86'400'000;

    explicit FakeClock(qint64 startMs = 10 * 3'600'000) : now_(startMs) {}

    int msecsOfDay() const override {
        // Code that polls the clock without ever blocking would loop forever
        // on a clock that stands still: stop the test instead of hanging.
        if (++readsSinceMove_ > 1'000'000)
            qFatal("FakeClock: read a million times without time passing (busy wait?)");
        return int(now_ % kDayMs);
    }
    void sleep(int ms) override {
        ++sleepCalls;
        setNow(now_ + ms);
        if (onSleep)
            onSleep();
    }
    qint64 now() const { return now_; }
    void setNow(qint64 ms) {
        if (ms > now_) {
            now_ = ms;
            readsSinceMove_ = 0;
        }
    }

    int sleepCalls = 0;
    std::function<void()> onSleep; // what else happens while the caller sleeps

private:
    qint64 now_;
    mutable int readsSinceMove_ = 0;
};

// A scripted serial line on a FakeClock. Characters arrive at set times on the
// clock's running count; waitForInput moves the clock on to the next arrival
// (or by the time-out), so exchanges run instantly and deterministically.
class FakeLine final : public SerialLine {
public:
    explicit FakeLine(FakeClock& clock) : clock_(clock) {}

    // Characters arriving at time atMs, after any others due then.
    void arriveAt(qint64 atMs, const QByteArray& bytes) {
        arrivals_.insert(arrivals_.upperBound(atMs), atMs, bytes);
    }
    // Called with every frame Output writes, as it is sent: plays the device.
    void setResponder(std::function<void(const QByteArray&)> r) { responder_ = std::move(r); }
    void failAt(qint64 atMs) { failAt_ = atMs; } // the line goes away then

    void Output(const QByteArray& data) override {
        if (failed())
            return;
        outputs.append(data);
        if (responder_)
            responder_(data);
    }
    int InBufferCount() override { return int(due().size()); }
    QByteArray Input() override { return std::exchange(due(), {}); }
    bool waitForInput(int msecs) override {
        ++waitCalls;
        const qint64 next = arrivals_.isEmpty() ? failAt_ : std::min(failAt_, arrivals_.firstKey());
        if (due().isEmpty() && !failed())
            clock_.setNow(std::min(next, clock_.now() + msecs));
        return !due().isEmpty();
    }
    bool failed() const override { return clock_.now() >= failAt_; }
    void close() override { ++closeCalls; }
    void setExchangeActive(bool active) override { exchangeActive = active; }

    QList<QByteArray> outputs;
    int waitCalls = 0;
    int closeCalls = 0;
    bool exchangeActive = false;

private:
    QByteArray& due() {
        while (!arrivals_.isEmpty() && arrivals_.firstKey() <= clock_.now())
            buffer_ += arrivals_.take(arrivals_.firstKey());
        return buffer_;
    }

    FakeClock& clock_;
    QMultiMap<qint64, QByteArray> arrivals_;
    QByteArray buffer_;
    qint64 failAt_ = std::numeric_limits<qint64>::max();
    std::function<void(const QByteArray&)> responder_;
};

// A link on a FakeLine and a FakeClock, its messages recorded, and a device
// that answers each command from `replies`.
struct LinkRig {
    explicit LinkRig(qint64 startMs) : clock(startMs) {
        line.setResponder([this](const QByteArray& frame) {
            const QString cmd = QString::fromLatin1(frame.chopped(1));
            QStringList& r = replies[replies.contains(cmd) ? cmd : cmd.left(1)];
            if (!r.isEmpty())
                line.arriveAt(clock.now() + 50, (r.size() > 1 ? r.takeFirst() : r[0]).toLatin1());
        });
    }

    // Commands sent, without their CR.
    QStringList sent() const {
        QStringList s;
        for (const QByteArray& o : line.outputs)
            s << QString::fromLatin1(o.chopped(1));
        return s;
    }

    // Every wait of the link through a waiter that counts it, and counts
    // those made while the receive event is not held back.
    void countWaits() {
        struct Counting final : Waiter {
            explicit Counting(LinkRig& r) : rig(r) {}
            void waitForInput(SerialLine& l, int ms) override {
                rig.counted();
                l.waitForInput(ms);
            }
            void sleep(int ms) override {
                rig.counted();
                rig.clock.sleep(ms);
            }
            LinkRig& rig;
        };
        link.setWaiter(std::make_unique<Counting>(*this));
    }
    void counted() {
        ++waits;
        unheld += !line.exchangeActive;
    }

    SysSettingsRecord settings;
    FakeClock clock;
    FakeLine line{clock};
    // Replies 50 ms after each command: by the exact command, else by its first
    // letter; used in turn, the last one repeated. None: silence.
    QHash<QString, QStringList> replies;
    QStringList messages;
    QStringList recAtMessage; // RecBuf as each message box opened
    Link link{settings, line, clock, [this](const QString& m) {
                  messages << m;
                  recAtMessage << link.RecBuf;
              }};
    int waits = 0, unheld = 0;
};

} // namespace morvane::test
