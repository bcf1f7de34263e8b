#pragma once

#include "commport.h"
#include "fakeclock.h"

#include <QByteArray>
#include <QList>
#include <algorithm>
#include <functional>
#include <limits>
#include <utility>

namespace morvane::test {

// A scripted comm port on a FakeClock. Characters arrive at set times on the
// clock's running count; WaitForInput moves the clock on to the next arrival
// (or by the time-out), so exchanges run instantly and deterministically.
class FakePort final : public CommPort {
public:
    explicit FakePort(FakeClock& clock) : clock_(clock) {}

    // Characters arriving at absolute time atMs of the clock's running count.
    FakePort& arriveAt(qint64 atMs, const QByteArray& bytes) {
        const auto pos = std::upper_bound(arrivals_.begin(), arrivals_.end(), atMs,
                                          [](qint64 t, const Arrival& a) { return t < a.at; });
        arrivals_.insert(pos, Arrival{atMs, bytes});
        lastScheduled_ = std::max(lastScheduled_, atMs);
        return *this;
    }

    // Characters arriving delayMs after the previous scripted arrival, or
    // after the present moment when that is later (as in a responder).
    FakePort& arriveAfter(qint64 delayMs, const QByteArray& bytes) {
        return arriveAt(std::max(lastScheduled_, clock_.now()) + delayMs, bytes);
    }

    // Called with every frame written by Output, at the moment it is sent:
    // lets a test play the device (arriveAfter then counts from the send).
    void setResponder(std::function<void(const QByteArray&)> responder) {
        responder_ = std::move(responder);
    }

    // The line goes away at time atMs, or as soon as the n-th Output is made.
    void failAt(qint64 atMs) { failAt_ = atMs; }
    void failOnOutput(int n) { failOnOutput_ = n; }

    // CommPort
    void Output(const QByteArray& data) override {
        deliverDue();
        if (closed || failed_)
            return;
        outputs.append(data);
        outputTimes.append(clock_.now());
        if (outputs.size() == failOnOutput_) {
            failed_ = true;
            return;
        }
        if (responder_)
            responder_(data);
    }

    int InBufferCount() override {
        deliverDue();
        return closed ? 0 : static_cast<int>(buffer_.size());
    }

    QByteArray Input() override {
        deliverDue();
        if (closed)
            return {};
        ++inputCalls;
        return std::exchange(buffer_, {});
    }

    bool WaitForInput(int msecs) override {
        ++waitCalls;
        maxWaitMs = std::max(maxWaitMs, msecs);
        if (clock_.msecsOfDay() % 1000 + msecs > 1000)
            ++waitsPastSecond;
        deliverDue();
        if (closed || failed_)
            return false;
        if (!buffer_.isEmpty())
            return true;
        const qint64 deadline = clock_.now() + std::max(msecs, 0);
        qint64 next = failAt_;
        if (!arrivals_.isEmpty())
            next = std::min(next, arrivals_.first().at);
        if (next <= deadline) {
            clock_.setNow(next);
            deliverDue();
            return !failed_ && !buffer_.isEmpty();
        }
        clock_.setNow(deadline);
        return false;
    }

    bool Failed() const override { return failed_ || clock_.now() >= failAt_; }

    void Close() override {
        ++closeCalls;
        closed = true;
    }

    void SetExchangeActive(bool active) override {
        exchangeActive = active;
        ++activeChanges;
    }

    // Characters delivered but not yet taken by Input.
    QByteArray waiting() const { return buffer_; }
    // Scripted arrivals still in the future.
    int scheduled() const { return static_cast<int>(arrivals_.size()); }

    QList<QByteArray> outputs;
    QList<qint64> outputTimes;
    int waitCalls = 0;
    int maxWaitMs = 0;
    int waitsPastSecond = 0; // waits that would block across a change of second
    int inputCalls = 0;
    int closeCalls = 0;
    bool closed = false;
    bool exchangeActive = false;
    int activeChanges = 0;

private:
    struct Arrival {
        qint64 at;
        QByteArray bytes;
    };

    void deliverDue() {
        while (!arrivals_.isEmpty() && arrivals_.first().at <= clock_.now())
            buffer_ += arrivals_.takeFirst().bytes;
        if (clock_.now() >= failAt_)
            failed_ = true;
    }

    FakeClock& clock_;
    QList<Arrival> arrivals_;
    QByteArray buffer_;
    qint64 lastScheduled_ = std::numeric_limits<qint64>::min();
    qint64 failAt_ = std::numeric_limits<qint64>::max();
    int failOnOutput_ = -1;
    bool failed_ = false;
    std::function<void(const QByteArray&)> responder_;
};

} // namespace morvane::test
