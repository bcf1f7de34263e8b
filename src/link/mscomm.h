#pragma once

#include "commport.h"

#include <QObject>
#include <QSerialPort>
#include <QString>

namespace morvane {

// Event codes of CommEvent.
enum CommEventCode : int {
    comEvSend = 1,
    comEvReceive = 2,
    comEvCTS = 3,
    comEvDSR = 4,
    comEvCD = 5,
    comEvRing = 6,
    comEventBreak = 1001,
    comEventCTSTO = 1002,
    comEventDSRTO = 1003,
    comEventFrame = 1004,
    comEventOverrun = 1006,
    comEventCDTO = 1007,
    comEventRxOver = 1008,
    comEventRxParity = 1009,
    comEventTxFull = 1010,
};

// Line settings parsed from a settings string such as " 9600,N,8,1".
struct LineSettings {
    qint32 baud = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

// Parses a settings string; false when the component cannot use it.
bool ParseCommSettings(const QString& settings, LineSettings& out);

// The device path for port number n: "COMn" on Windows; elsewhere the entry
// "COMn" in appDir when there is one, else /dev/ttyS(n-1). Empty below 1.
QString PortPathFor(int n, const QString& appDir);

// The serial communications component the window holds as MSComm1: the
// members the program uses, with the Comm control's meaning, over QSerialPort.
// Setters return false where the control would raise an error.
class MSComm : public QObject, public ::morvane::CommPort {
    Q_OBJECT
public:
    explicit MSComm(QObject* parent = nullptr);
    ~MSComm() override;

    // Where COMn is looked up on POSIX systems (the start-up directory).
    void setAppDir(const QString& dir) { appDir_ = dir; }

    bool setCommPort(int n); // only while closed
    int CommPort() const { return commPort_; }
    bool setSettings(const QString& s);
    QString Settings() const { return settings_; }
    bool setInputLen(int n);
    bool setRThreshold(int n);
    bool setHandshaking(int n);
    bool setPortOpen(bool open); // opening a missing or busy port fails
    bool PortOpen() const;
    int CommEvent() const { return commEvent_; }

    // CommPort
    void Output(const QByteArray& data) override;
    int InBufferCount() override;
    QByteArray Input() override;
    bool WaitForInput(int msecs) override;
    bool Failed() const override { return failed_; }
    void Close() override { setPortOpen(false); }
    void SetExchangeActive(bool active) override;

    // Test hook: the path the component opened last.
    QString portPath() const;

signals:
    // Raised through the event queue, never inside an exchange; read CommEvent.
    void OnComm();

private:
    void onReadyRead();
    void onError(QSerialPort::SerialPortError e);
    // Posts the receive event to the event queue (at most one waits there).
    void raise(int code);
    void deliverReceive();
    void applyLine();
    void applyFlow();

    QSerialPort port_;
    QString appDir_;
    int commPort_ = 1;
    QString settings_ = QStringLiteral("9600,N,8,1");
    LineSettings line_;
    QString lastPath_;
    int inputLen_ = 0;
    int rThreshold_ = 0;
    int handshaking_ = 0;
    int commEvent_ = 0;
    bool failed_ = false;
    bool exchangeActive_ = false;
    bool receivePending_ = false; // receive event posted, not yet delivered
};

} // namespace morvane
