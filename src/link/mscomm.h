// SPDX-License-Identifier: MIT
#pragma once

#include "serialline.h"
#include "sysfile.h"

#include <QObject>
#include <QSerialPort>
#include <QString>

namespace morvane {

// CommEvent code of the receive event, the only one the component raises.
inline constexpr int kComEvReceive = 2;

// Line settings parsed from a settings string such as " 9600,N,8,1".
struct LineSettings {
    qint32 baud = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

// Parses a settings string; false when the component cannot use it.
bool parseCommSettings(const QString& settings, LineSettings& out);

// The settings string for the record: " 9600,N,8,1" for the defaults.
QString commSettingsString(const SysSettingsRecord& s);

// The device path for port number n: "COMn" on Windows; elsewhere the entry
// "COMn" in appDir when there is one, else /dev/ttyS(n-1). Empty below 1.
QString portPathFor(int n, const QString& appDir);

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

    // The path the component tried to open last, and why that failed.
    QString portPath() const { return lastPath_; }
    QSerialPort::SerialPortError openError() const { return openError_; }
    QString openErrorString() const { return openErrorString_; }

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

private:
    void onReadyRead();
    void onError(QSerialPort::SerialPortError e);
    // Posts the receive event to the event queue (at most one waits there).
    void postReceive();
    void deliverReceive();
    void applyLine();
    void applyFlow();

    QSerialPort port_;
    QString appDir_;
    int commPort_ = 1;
    LineSettings line_;
    QString lastPath_;
    QSerialPort::SerialPortError openError_ = QSerialPort::NoError;
    QString openErrorString_;
    int inputLen_ = 0;
    int rThreshold_ = 0;
    int handshaking_ = 0;
    int commEvent_ = 0;
    bool failed_ = false;
    bool exchangeActive_ = false;
    bool receivePending_ = false; // receive event posted, not yet delivered
    bool unreported_ = false;     // characters arrived since the last receive event
};

// Configures and opens the port from the settings; returns ComStatus (0 or 99).
// Never shows a message.
qint16 COM_Init(MSComm& MSComm1, const SysSettingsRecord& SysSettings);

} // namespace morvane
