// SPDX-License-Identifier: MIT
#pragma once

#include "clock.h"
#include "messagefn.h"
#include "serialline.h"
#include "sysfile.h"

#include <QString>
#include <functional>
#include <optional>

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

// The device link as MainForm shares it: ComStatus, the shared command and
// reply texts, and the two exchange procedures over one serial line.
class Link {
public:
    Link(const SysSettingsRecord& settings, SerialLine& line, Clock& clock, MessageFn messageError);

    // The line the exchanges use; a benchmark wraps it to count bytes.
    void setLine(SerialLine& line) { line_ = &line; }

    // Called between slices of a wait, at most every 40 ms, so the window can
    // repaint; it must not deliver user input.
    void setPump(std::function<void()> pump) { pump_ = std::move(pump); }

    // Sends TRN_BUF + CR and collects the reply (attempts, time-out, messages).
    void CMM_TRNA(const QString& TRN_BUF, QString& REC_BUF);
    // Collects text up to "*" CR; "ERROR" and a message after a time-out.
    void CMM_REC(QString& REC_BUF);

    // TrnBuf = command, then CMM_TRNA(TrnBuf, RecBuf); true when the reply
    // did not fail.
    bool exchange(const QString& command);

    // Blocks until the clock's second has changed `ticks` times (settling
    // pause of a send), letting only repaints through.
    void waitTicks(int ticks);

    const MessageFn& messageError() const { return messageError_; }

    qint16 ComStatus = kComStatusOpen;
    QString TrnBuf;
    QString RecBuf;

private:
    enum class WaitResult { kSeen, kTimedOut, kLineFailed };
    WaitResult replyWait(QString& collected, const QString& terminator);
    void pump();

    const SysSettingsRecord& settings_;
    SerialLine* line_;
    Clock& clock_;
    MessageFn messageError_;
    std::function<void()> pump_;
    std::optional<int> lastPumpMs_; // time of day of the last pump
};

} // namespace morvane
