// SPDX-License-Identifier: MIT
#pragma once

#include "clock.h"
#include "messagefn.h"
#include "serialline.h"
#include "sysfile.h"

#include <QString>
#include <memory>

namespace morvane {

// Message texts of the exchange.
inline const QString kMsgNotConnected =
    QStringLiteral("Morvane が接続されていないか、コムポートが違います。");
inline const QString kMsgSetUpPortAgain = QStringLiteral("COM ポートを再設定してください。");
inline const QString kMsgTimeOut = QStringLiteral("タイムアウトエラーです。");

// What REC_BUF holds after an exchange that got no answer.
inline const QString kReplyError = QStringLiteral("ERROR");

// Longest text one reply wait collects; past it the attempt counts as timed out.
inline constexpr int kMaxReplyChars = 4096;

// A failed exchange ("ERROR") or a device error reply: "ERR" anywhere, case
// counting.
bool replyFailed(const QString& reply);

// How the link blocks while it waits for the device or for the clock. Without
// one it blocks in the line and in the clock and handles no events (the
// command line, the tests); the window's handles every event but user input
// meanwhile, so that it repaints.
class Waiter {
public:
    virtual ~Waiter() = default;
    // Blocks until characters are waiting on the line, the line has failed,
    // or msecs have passed.
    virtual void waitForInput(SerialLine& line, int msecs) = 0;
    // Blocks for msecs; characters arriving meanwhile stay waiting.
    virtual void sleep(int msecs) = 0;
};

// The device link the front ends share: ComStatus, the shared command and
// reply texts, and the two exchange procedures over one serial line.
class Link {
public:
    Link(const SysSettingsRecord& settings, SerialLine& line, Clock& clock, MessageFn messageError);

    // The line the exchanges use; a benchmark wraps it to count bytes.
    void setLine(SerialLine& line) { line_ = &line; }

    // Takes over every wait of the link; none: the plain blocking waits.
    void setWaiter(std::unique_ptr<Waiter> waiter) { waiter_ = std::move(waiter); }

    // Sends TRN_BUF + CR and collects the reply (attempts, time-out, messages).
    void CMM_TRNA(const QString& TRN_BUF, QString& REC_BUF);
    // Collects text up to "*" CR; "ERROR" and a message after a time-out.
    void CMM_REC(QString& REC_BUF);

    // TrnBuf = command, then CMM_TRNA(TrnBuf, RecBuf); true when the reply
    // did not fail.
    bool exchange(const QString& command);

    // Blocks until the clock's second has changed `ticks` times (settling
    // pause of a send), letting no user input through.
    void waitTicks(int ticks);

    const MessageFn& messageError() const { return messageError_; }

    qint16 ComStatus = kComStatusOpen;
    QString TrnBuf;
    QString RecBuf;

private:
    enum class WaitResult { kSeen, kTimedOut, kLineFailed };
    WaitResult replyWait(QString& collected, const QString& terminator);
    void waitForInput(int msecs);
    void sleep(int msecs);

    const SysSettingsRecord& settings_;
    SerialLine* line_;
    Clock& clock_;
    MessageFn messageError_;
    std::unique_ptr<Waiter> waiter_;
};

} // namespace morvane
