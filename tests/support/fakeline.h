// SPDX-License-Identifier: MIT
#pragma once

#include "clock.h"
#include "serialline.h"

#include <QMultiMap>
#include <algorithm>
#include <functional>
#include <limits>

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
        if (++readsSinceMove_ > kSpinLimit)
            qFatal("FakeClock: read %d times without time passing (busy wait?)", kSpinLimit);
        return static_cast<int>(now_ % kDayMs);
    }
    void sleep(int ms) override {
        ++sleepCalls;
        setNow(now_ + std::max(ms, 0));
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
    static constexpr int kSpinLimit = 1'000'000;
    qint64 now_;
    mutable int readsSinceMove_ = 0;
};

// A scripted serial line on a FakeClock. Characters arrive at set times on the
// clock's running count; waitForInput moves the clock on to the next arrival
// (or by the time-out), so exchanges run instantly and deterministically.
class FakeLine final : public SerialLine {
public:
    explicit FakeLine(FakeClock& clock) : clock_(clock) {}

    // Characters arriving at time atMs of the clock's running count, after
    // any others due then.
    void arriveAt(qint64 atMs, const QByteArray& bytes) {
        arrivals_.insert(arrivals_.upperBound(atMs), atMs, bytes);
    }
    // Called with every frame written by Output, at the moment it is sent:
    // lets a test play the device.
    void setResponder(std::function<void(const QByteArray&)> r) { responder_ = std::move(r); }
    // The line goes away at time atMs.
    void failAt(qint64 atMs) { failAt_ = atMs; }

    void Output(const QByteArray& data) override {
        if (closeCalls || failed())
            return;
        outputs.append(data);
        if (responder_)
            responder_(data);
    }
    int InBufferCount() override { return int(deliverDue().size()); }
    QByteArray Input() override { return std::exchange(deliverDue(), {}); }
    bool waitForInput(int msecs) override {
        ++waitCalls;
        waitsPastSecond += clock_.msecsOfDay() % 1000 + msecs > 1000;
        if (!deliverDue().isEmpty() || closeCalls || failed())
            return !buffer_.isEmpty();
        const qint64 next = arrivals_.isEmpty() ? failAt_ : std::min(failAt_, arrivals_.firstKey());
        clock_.setNow(std::min(next, clock_.now() + std::max(msecs, 0)));
        return !deliverDue().isEmpty();
    }
    bool failed() const override { return clock_.now() >= failAt_; }
    void close() override { ++closeCalls; }
    void setExchangeActive(bool active) override { exchangeActive = active; }

    // Commands sent, without their CR.
    QStringList sent() const {
        QStringList s;
        for (const QByteArray& o : outputs)
            s << QString::fromLatin1(o.chopped(1));
        return s;
    }

    QList<QByteArray> outputs;
    int waitCalls = 0;
    int waitsPastSecond = 0; // waits that would block across a change of second
    int closeCalls = 0;      // a closed line delivers nothing more
    bool exchangeActive = false;

private:
    QByteArray& deliverDue() {
        while (!closeCalls && !arrivals_.isEmpty() && arrivals_.firstKey() <= clock_.now())
            buffer_ += arrivals_.take(arrivals_.firstKey());
        if (closeCalls)
            buffer_.clear();
        return buffer_;
    }

    FakeClock& clock_;
    QMultiMap<qint64, QByteArray> arrivals_;
    QByteArray buffer_;
    qint64 failAt_ = std::numeric_limits<qint64>::max();
    std::function<void(const QByteArray&)> responder_;
};

} // namespace morvane::test
