#include "exchange.h"

#include "mscomm.h"

#include <algorithm>

namespace morvane {

namespace {

// Longest single block of a wait, so that the pump can repaint the window.
constexpr int SliceMs = 100;

int secondOfDay(const Clock& clock) {
    return clock.msecsOfDay() / 1000;
}

// How long to block now: never past the next change of the second, so a tick
// is noticed as soon as it happens, and never longer than one slice.
int sliceMs(const Clock& clock) {
    return std::min(SliceMs, 1000 - clock.msecsOfDay() % 1000);
}

// Holds the component's receive event back for as long as the link uses the
// port, on every way out.
class ExchangeScope {
public:
    explicit ExchangeScope(CommPort* port) : port_(port) {
        if (port_)
            port_->SetExchangeActive(true);
    }
    ~ExchangeScope() {
        if (port_)
            port_->SetExchangeActive(false);
    }
    ExchangeScope(const ExchangeScope&) = delete;
    ExchangeScope& operator=(const ExchangeScope&) = delete;

private:
    CommPort* port_;
};

const QString ErrorText = QStringLiteral("ERROR");

} // namespace

Link::Link(const SysSettingsRecord& settings, Clock& clock, MessageFn messageError)
    : settings_(settings), clock_(clock), messageError_(std::move(messageError)) {}

Link::WaitResult Link::replyWait(QString& collected, const QString& terminator) {
    collected.clear();
    const int timeOut = settings_.ComTimeOut;
    int remembered = secondOfDay(clock_);
    int ticks = 0;
    bool seen = false;
    for (;;) {
        if (seen)
            return WaitResult::Seen;
        if (port_->Failed())
            return WaitResult::PortFailed;
        if (ticks >= timeOut)
            return WaitResult::TimedOut;

        if (port_->InBufferCount() > 0) {
            const QByteArray chunk = port_->Input();
            // A line that never stops talking must not grow the reply forever.
            if (collected.size() + chunk.size() > MaxReplyChars)
                return WaitResult::TimedOut;
            collected += QString::fromLatin1(chunk);
            seen = collected.contains(terminator);
            remembered = secondOfDay(clock_);
            ticks = 0;
        }

        const int now = secondOfDay(clock_);
        if (now != remembered) {
            ++ticks;
            remembered = now;
            continue;
        }
        if (seen)
            continue;

        port_->WaitForInput(sliceMs(clock_));
        if (pump_)
            pump_();
    }
}

// The line has gone away: close it so that the next action asks for the port
// to be set up again instead of talking into the void.
void Link::portFailed() {
    port_->Close();
    ComStatus = 99;
}

void Link::CMM_TRNA(const QString& TRN_BUF, QString& REC_BUF) {
    if (ComStatus == 99 || !port_) {
        messageError_(MsgSetUpPortAgain);
        return;
    }
    ExchangeScope scope(port_);
    const QByteArray frame = TRN_BUF.toLatin1() + '\r';
    int attempts = settings_.ComReTry;
    for (;;) {
        REC_BUF.clear();
        port_->Output(frame);
        const WaitResult r = replyWait(REC_BUF, QStringLiteral("\r"));
        if (r == WaitResult::PortFailed) {
            portFailed();
            messageError_(MsgNotConnected);
            REC_BUF = ErrorText;
            return;
        }
        if (r == WaitResult::Seen && !REC_BUF.contains(u'N'))
            return;
        if (--attempts >= 1)
            continue;
        if (r == WaitResult::Seen)
            return; // the last answer was negative: the caller gets it as it is
        messageError_(MsgNotConnected);
        REC_BUF = ErrorText;
        return;
    }
}

void Link::CMM_REC(QString& REC_BUF) {
    if (!port_) {
        REC_BUF = ErrorText;
        messageError_(MsgTimeOut);
        return;
    }
    ExchangeScope scope(port_);
    const WaitResult r = replyWait(REC_BUF, QStringLiteral("*\r"));
    if (r == WaitResult::Seen)
        return;
    if (r == WaitResult::PortFailed)
        portFailed();
    REC_BUF = ErrorText;
    messageError_(MsgTimeOut);
}

void Link::waitTicks(int ticks) {
    // Characters arriving now are left for the receive event after the
    // handler, even when the pump lets queued events through.
    ExchangeScope scope(port_);
    for (int i = 0; i < ticks; ++i) {
        const int start = secondOfDay(clock_);
        while (secondOfDay(clock_) == start) {
            clock_.sleep(sliceMs(clock_));
            if (pump_)
                pump_();
        }
    }
}

QString CommSettingsString(const SysSettingsRecord& s) {
    const QString speed = s.BAUDRATE < 0 ? QString::number(s.BAUDRATE)
                                         : QStringLiteral(" ") + QString::number(s.BAUDRATE);
    return speed + u',' + s.PARITY + u',' + QString::number(s.BITS) + u',' +
           QString::number(s.STOPS);
}

qint16 COM_Init(MSComm& MSComm1, const SysSettingsRecord& SysSettings) {
    if (!MSComm1.setCommPort(SysSettings.COMPORT))
        return 99;
    if (!MSComm1.setSettings(CommSettingsString(SysSettings)))
        return 99;
    if (!MSComm1.setInputLen(0))
        return 99;
    if (!MSComm1.setRThreshold(1))
        return 99;
    if (!MSComm1.setHandshaking(0))
        return 99;
    if (!MSComm1.PortOpen() && !MSComm1.setPortOpen(true))
        return 99;
    return 0;
}

} // namespace morvane
