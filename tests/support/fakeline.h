#pragma once

#include "fakeclock.h"
#include "serialline.h"

#include <QByteArray>
#include <QList>
#include <algorithm>
#include <functional>
#include <limits>
#include <utility>

namespace morvane::test {

// A scripted serial line on a FakeClock. Characters arrive at set times on the
// clock's running count; waitForInput moves the clock on to the next arrival
// (or by the time-out), so exchanges run instantly and deterministically.
class FakeLine final : public SerialLine {
public:
    explicit FakeLine(FakeClock& clock) : clock_(clock) {}

    // Characters arriving at absolute time atMs of the clock's running count.
    FakeLine& arriveAt(qint64 atMs, const QByteArray& bytes) {
        const auto pos = std::upper_bound(arrivals_.begin(), arrivals_.end(), atMs,
                                          [](qint64 t, const Arrival& a) { return t < a.at; });
        arrivals_.insert(pos, Arrival{atMs, bytes});
        return *this;
    }
    // Characters arriving delayMs after the present moment.
    FakeLine& arriveAfter(qint64 delayMs, const QByteArray& bytes) {
        return arriveAt(clock_.now() + delayMs, bytes);
    }

    // Called with every frame written by Output, at the moment it is sent:
    // lets a test play the device.
    void setResponder(std::function<void(const QByteArray&)> responder) {
        responder_ = std::move(responder);
    }

    // The line goes away at time atMs.
    void failAt(qint64 atMs) { failAt_ = atMs; }

    void Output(const QByteArray& data) override {
        if (closed || failed())
            return;
        outputs.append(data);
        if (responder_)
            responder_(data);
    }
    int InBufferCount() override {
        deliverDue();
        return closed ? 0 : static_cast<int>(buffer_.size());
    }
    QByteArray Input() override {
        deliverDue();
        return closed ? QByteArray() : std::exchange(buffer_, {});
    }
    bool waitForInput(int msecs) override {
        ++waitCalls;
        maxWaitMs = std::max(maxWaitMs, msecs);
        if (clock_.msecsOfDay() % 1000 + msecs > 1000)
            ++waitsPastSecond;
        deliverDue();
        if (closed || failed() || !buffer_.isEmpty())
            return !buffer_.isEmpty() && !closed;
        const qint64 deadline = clock_.now() + std::max(msecs, 0);
        const qint64 next = arrivals_.isEmpty() ? failAt_ : std::min(failAt_, arrivals_[0].at);
        clock_.setNow(std::min(next, deadline));
        deliverDue();
        return !buffer_.isEmpty();
    }
    bool failed() const override { return clock_.now() >= failAt_; }
    void close() override {
        ++closeCalls;
        closed = true;
    }
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
    int maxWaitMs = 0;
    int waitsPastSecond = 0; // waits that would block across a change of second
    int closeCalls = 0;
    bool closed = false;
    bool exchangeActive = false;

private:
    struct Arrival {
        qint64 at;
        QByteArray bytes;
    };

    void deliverDue() {
        while (!arrivals_.isEmpty() && arrivals_.first().at <= clock_.now())
            buffer_ += arrivals_.takeFirst().bytes;
    }

    FakeClock& clock_;
    QList<Arrival> arrivals_;
    QByteArray buffer_;
    qint64 failAt_ = std::numeric_limits<qint64>::max();
    std::function<void(const QByteArray&)> responder_;
};

} // namespace morvane::test
