// SPDX-License-Identifier: MIT
#pragma once

#include "commsettings.h"
#include "portlock.h"
#include "portpath.h"
#include "serialline.h"

#include <QDateTime>
#include <QObject>
#include <QSerialPort>
#include <QString>

namespace morvane {

// CommEvent code of the receive event, the only one the component raises.
inline constexpr int kComEvReceive = 2;

// Why port n did not open, or what became of it, as far as the system tells.
enum class PortTrouble {
    kNone,        // it opened, or nobody tried yet
    kNoNumber,    // no port has a number below 1
    kBadSettings, // the line settings are not usable
    kMissing,     // the device is not there
    kBusy,        // another program holds it
    kDenied,      // this user may not open it
    kGone,        // it opened, then went away (unplugged, far end closed)
    kOther,       // anything else the system reports
};

// The component's last attempt to open a port, kept for the port report.
struct PortAttempt {
    int number = 0;      // COMn; 0 before the first attempt
    QString path = {};   // what COMn named
    QString device = {}; // the device that path reached
    PortTrouble trouble = PortTrouble::kNone;
    QString detail = {};    // the system's own words, for kOther
    PortHolder holder = {}; // for kBusy: who held the device then
    QDateTime at = {};      // when it was made
};

// The serial communications component the window holds as MSComm1: the
// members the program uses, with the Comm control's meaning, over QSerialPort.
// Setters return false where the control would raise an error.
class MSComm : public QObject, public SerialLine {
    Q_OBJECT
public:
    explicit MSComm(QObject* parent = nullptr);
    ~MSComm() override;

    // Where COMn is looked up on POSIX systems (the start-up directory).
    void setAppDir(const QString& dir) { appDir_ = dir; }

    bool setCommPort(int n); // only while closed
    bool setSettings(const QString& s);
    bool setInputLen(int n);
    bool setRThreshold(int n);
    bool setHandshaking(int n);
    bool setPortOpen(bool open); // opening a missing or busy port fails
    bool PortOpen() const;
    int CommEvent() const { return commEvent_; }

    // The last attempt to open a port; kGone once an open port went away.
    const PortAttempt& lastAttempt() const { return attempt_; }

    // SerialLine
    void Output(const QByteArray& data) override;
    int InBufferCount() override;
    QByteArray Input() override;
    bool waitForInput(int msecs) override;
    bool failed() const override { return failed_; }
    void close() override { setPortOpen(false); }
    void setExchangeActive(bool active) override;

signals:
    // Raised through the event queue, never inside an exchange; read CommEvent.
    void OnComm();
    // Characters arrived or the line went away: what ends a wait for input in
    // an event loop. Raised at once, inside an exchange too.
    void inputOrFailure();

private:
    void onReadyRead();
    void onError(QSerialPort::SerialPortError e);
    // Posts the receive event to the event queue (at most one waits there).
    void postReceive();
    void deliverReceive();
    void applyLine();
    void applyFlow();
    PortTrouble openTrouble(DeviceLock::Result locked);

    QSerialPort port_;
    DeviceLock lock_;
    QString appDir_;
    int commPort_ = 1;
    LineSettings line_;
    PortAttempt attempt_;
    int inputLen_ = 0;
    int rThreshold_ = 0;
    int handshaking_ = 0;
    int commEvent_ = 0;
    bool failed_ = false; // the line went away, and the port was closed then
    bool exchangeActive_ = false;
    bool receivePending_ = false; // receive event posted, not yet delivered
    bool unreported_ = false;     // characters arrived since the last receive event
};

} // namespace morvane
