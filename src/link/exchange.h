#pragma once

#include "clock.h"
#include "commport.h"

#include "../store/messagefn.h"
#include "../store/sysfile.h"

#include <QString>
#include <functional>

namespace morvane {

class MSComm;

// Message texts of the exchange.
inline const QString MsgNotConnected =
    QStringLiteral("Morvane が接続されていないか、コムポートが違います。");
inline const QString MsgSetUpPortAgain = QStringLiteral("COM ポートを再設定してください。");
inline const QString MsgTimeOut = QStringLiteral("タイムアウトエラーです。");

// Longest text one reply wait collects; past it the attempt counts as timed out.
inline constexpr int MaxReplyChars = 4096;

// The device link as MainForm shares it: the port, ComStatus, the shared
// command and reply texts, and the two exchange procedures.
class Link {
public:
    Link(const SysSettingsRecord& settings, Clock& clock, MessageFn messageError);

    // The port the exchanges use; null means none (as after a failed open).
    void setPort(CommPort* port) { port_ = port; }
    CommPort* port() const { return port_; }

    // Called between slices of a wait so the window can repaint; it must not
    // deliver user input. Empty in tests.
    void setPump(std::function<void()> pump) { pump_ = std::move(pump); }

    // Sends TRN_BUF + CR and collects the reply (attempts, time-out, messages).
    void CMM_TRNA(const QString& TRN_BUF, QString& REC_BUF);
    // Collects text up to "*" CR; "ERROR" and a message after a time-out.
    void CMM_REC(QString& REC_BUF);

    // Blocks until the clock's second has changed `ticks` times (settling
    // pause of a send), letting only repaints through.
    void waitTicks(int ticks);

    qint16 ComStatus = 0; // 0 open, 99 last configuration failed
    QString TrnBuf;
    QString RecBuf;

    Clock& clock() const { return clock_; }
    const MessageFn& messageError() const { return messageError_; }

private:
    enum class WaitResult { Seen, TimedOut, PortFailed };
    WaitResult replyWait(QString& collected, const QString& terminator);
    void portFailed();

    const SysSettingsRecord& settings_;
    Clock& clock_;
    MessageFn messageError_;
    std::function<void()> pump_;
    CommPort* port_ = nullptr;
};

// The settings string handed to the component: " 9600,N,8,1" for the defaults.
QString CommSettingsString(const SysSettingsRecord& s);

// Configures and opens the port from the settings; returns ComStatus (0 or 99).
// Never shows a message.
qint16 COM_Init(MSComm& MSComm1, const SysSettingsRecord& SysSettings);

} // namespace morvane
