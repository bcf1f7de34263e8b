// SPDX-License-Identifier: MIT
#pragma once

#include "clock.h"

#include <QtGlobal>
#include <algorithm>

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
        maxSleepMs = std::max(maxSleepMs, ms);
        setNow(now_ + std::max(ms, 0));
    }

    qint64 now() const { return now_; }
    void setNow(qint64 ms) {
        if (ms > now_) {
            now_ = ms;
            readsSinceMove_ = 0;
        }
    }

    int sleepCalls = 0;
    int maxSleepMs = 0;

private:
    static constexpr int kSpinLimit = 1'000'000;
    qint64 now_;
    mutable int readsSinceMove_ = 0;
};

} // namespace morvane::test
