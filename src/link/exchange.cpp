// SPDX-License-Identifier: MIT
#include "exchange.h"

#include <algorithm>

namespace morvane {

namespace {

constexpr int kDayMs = 86'400'000;

// Longest one attempt may wait, however the characters trickle in: a noisy
// line must not hold the window for longer than a user would bear.
constexpr int kAttemptMs = 30'000;

int secondOfDay(const Clock& clock) {
    return clock.msecsOfDay() / 1000;
}

// Time left until the clock's second changes: a wait never blocks past it, so
// that a tick is counted as soon as it happens, and never ends before it
// without a reason.
int msToNextSecond(const Clock& clock) {
    return 1000 - clock.msecsOfDay() % 1000;
}

// Holds the component's receive event back for as long as the link uses the
// line, on every way out.
class ExchangeScope {
public:
    explicit ExchangeScope(SerialLine& line) : line_(line) { line_.setExchangeActive(true); }
    ~ExchangeScope() { line_.setExchangeActive(false); }
    ExchangeScope(const ExchangeScope&) = delete;
    ExchangeScope& operator=(const ExchangeScope&) = delete;

private:
    SerialLine& line_;
};

} // namespace

bool replyFailed(const QString& reply) {
    return reply.contains(QLatin1String("ERR"));
}

Link::Link(const SysSettingsRecord& settings, SerialLine& line, Clock& clock,
           MessageFn messageError)
    : settings_(settings), line_(&line), clock_(clock), messageError_(std::move(messageError)) {}

void Link::waitForInput(int msecs) {
    if (waiter_)
        waiter_->waitForInput(*line_, msecs);
    else
        line_->waitForInput(msecs);
}

void Link::sleep(int msecs) {
    if (waiter_)
        waiter_->sleep(msecs);
    else
        clock_.sleep(msecs);
}

Link::WaitResult Link::replyWait(QString& collected, const QString& terminator) {
    collected.clear();
    const int timeOut = settings_.ComTimeOut;
    const int startMs = clock_.msecsOfDay();
    int remembered = startMs / 1000;
    int ticks = 0;
    const auto elapsedMs = [&] { return (clock_.msecsOfDay() - startMs + kDayMs) % kDayMs; };
    for (;;) {
        if (line_->failed())
            return WaitResult::kLineFailed;
        if (ticks >= timeOut || elapsedMs() >= kAttemptMs)
            return WaitResult::kTimedOut;

        if (line_->InBufferCount() > 0) {
            const QByteArray chunk = line_->Input();
            // A line that never stops talking must not grow the reply forever.
            if (collected.size() + chunk.size() > kMaxReplyChars)
                return WaitResult::kTimedOut;
            collected += QString::fromLatin1(chunk);
            if (collected.contains(terminator))
                return WaitResult::kSeen;
            remembered = secondOfDay(clock_);
            ticks = 0;
        }

        const int now = secondOfDay(clock_);
        if (now != remembered) {
            ++ticks;
            remembered = now;
            continue;
        }
        // One block until characters come, the line fails, the second
        // changes or the attempt's time is up, with no wake-up in between.
        waitForInput(std::min(msToNextSecond(clock_), kAttemptMs - elapsedMs()));
    }
}

void Link::CMM_TRNA(const QString& TRN_BUF, QString& REC_BUF) {
    if (ComStatus == kComStatusFailed) {
        messageError_(kMsgSetUpPortAgain);
        return;
    }
    ExchangeScope scope(*line_);
    const QByteArray frame = TRN_BUF.toLatin1() + '\r';
    int attempts = settings_.ComReTry;
    for (;;) {
        REC_BUF.clear();
        line_->Output(frame);
        const WaitResult r = replyWait(REC_BUF, QStringLiteral("\r"));
        if (r == WaitResult::kLineFailed) {
            // The line has gone away: closed, so that the next action asks
            // for the port to be set up again instead of talking into the void.
            line_->close();
            ComStatus = kComStatusFailed;
            messageError_(kMsgNotConnected);
            REC_BUF = kReplyError;
            return;
        }
        if (r == WaitResult::kSeen && !REC_BUF.contains(u'N'))
            return;
        if (--attempts >= 1)
            continue;
        if (r == WaitResult::kSeen)
            return; // the last answer was negative: the caller gets it as it is
        messageError_(kMsgNotConnected);
        REC_BUF = kReplyError;
        return;
    }
}

void Link::CMM_REC(QString& REC_BUF) {
    ExchangeScope scope(*line_);
    const WaitResult r = replyWait(REC_BUF, QStringLiteral("*\r"));
    if (r == WaitResult::kSeen)
        return;
    if (r == WaitResult::kLineFailed) {
        line_->close();
        ComStatus = kComStatusFailed;
    }
    REC_BUF = kReplyError;
    messageError_(kMsgTimeOut);
}

bool Link::exchange(const QString& command) {
    TrnBuf = command;
    // A refused send leaves an older reply in RecBuf: that is no answer.
    const bool refused = ComStatus == kComStatusFailed;
    CMM_TRNA(TrnBuf, RecBuf);
    return !refused && !replyFailed(RecBuf);
}

void Link::waitTicks(int ticks) {
    // Characters arriving now are left for the receive event after the
    // handler, even when the waiter lets queued events through.
    ExchangeScope scope(*line_);
    for (int i = 0; i < ticks; ++i) {
        const int start = secondOfDay(clock_);
        while (secondOfDay(clock_) == start)
            sleep(msToNextSecond(clock_));
    }
}

} // namespace morvane
