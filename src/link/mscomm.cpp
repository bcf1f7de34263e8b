// SPDX-License-Identifier: MIT
#include "mscomm.h"

#include <QElapsedTimer>
#include <QMetaObject>
#include <QThread>

#include <algorithm>

namespace morvane {

MSComm::MSComm(QObject* parent) : QObject(parent), port_(this) {
    connect(&port_, &QSerialPort::readyRead, this, &MSComm::onReadyRead);
    connect(&port_, &QSerialPort::errorOccurred, this, &MSComm::onError);
}

MSComm::~MSComm() {
    setPortOpen(false);
}

bool MSComm::setCommPort(int n) {
    if (port_.isOpen() || n < 1)
        return false;
    commPort_ = n;
    return true;
}

bool MSComm::setSettings(const QString& s) {
    LineSettings parsed;
    if (!parseCommSettings(s, parsed))
        return false;
    line_ = parsed;
    if (port_.isOpen())
        applyLine();
    return true;
}

bool MSComm::setInputLen(int n) {
    if (n < 0)
        return false;
    inputLen_ = n;
    return true;
}

bool MSComm::setRThreshold(int n) {
    if (n < 0)
        return false;
    rThreshold_ = n;
    return true;
}

bool MSComm::setHandshaking(int n) {
    if (n < 0 || n > 3)
        return false;
    handshaking_ = n;
    if (port_.isOpen())
        applyFlow();
    return true;
}

// Results are not checked: a pseudo-terminal refuses parity and flow control
// (UnsupportedOperationError) yet carries the line perfectly well.
void MSComm::applyLine() {
    port_.setBaudRate(line_.baud);
    port_.setParity(line_.parity);
    port_.setDataBits(line_.dataBits);
    port_.setStopBits(line_.stopBits);
}

void MSComm::applyFlow() {
    static constexpr QSerialPort::FlowControl kFlows[] = {
        QSerialPort::NoFlowControl, QSerialPort::SoftwareControl, QSerialPort::HardwareControl,
        QSerialPort::HardwareControl};
    port_.setFlowControl(kFlows[handshaking_]);
}

bool MSComm::setPortOpen(bool open) {
    if (!open) {
        if (port_.isOpen())
            port_.close();
        lock_.release();
        return true;
    }
    if (port_.isOpen())
        return false;
    const QString path = portPathFor(commPort_, appDir_);
    attempt_ = PortAttempt{commPort_, path, reachedDevice(path),         PortTrouble::kNone,
                           {},        {},   QDateTime::currentDateTime()};
    if (path.isEmpty()) {
        attempt_.trouble = PortTrouble::kNoNumber;
        return false;
    }
    // The lock comes first: a program that does not get it leaves the line
    // as it is, settings included.
    const DeviceLock::Result locked = lock_.take(attempt_.device);
    if (locked == DeviceLock::Result::kTaken) {
        // Opened by the device it reaches, so that the toolkit's lock file
        // too is the same whichever link led there.
        port_.setPortName(attempt_.device);
        applyLine();
        applyFlow();
        if (port_.open(QIODevice::ReadWrite)) {
            // Bytes that were waiting before the open must never count as a reply.
            port_.clear();
            failed_ = false;
            unreported_ = false;
            return true;
        }
        lock_.release();
    }
    attempt_.trouble = openTrouble(locked);
    if (attempt_.trouble == PortTrouble::kBusy)
        attempt_.holder = deviceHolder(attempt_.device).value_or(PortHolder{});
    return false;
}

PortTrouble MSComm::openTrouble(DeviceLock::Result locked) {
    switch (locked) {
    case DeviceLock::Result::kHeld:
        return PortTrouble::kBusy;
    case DeviceLock::Result::kMissing:
        return PortTrouble::kMissing;
    case DeviceLock::Result::kDenied:
        return PortTrouble::kDenied;
    case DeviceLock::Result::kFailed:
        attempt_.detail = lock_.errorString();
        return PortTrouble::kOther;
    case DeviceLock::Result::kTaken:
        break;
    }
    switch (port_.error()) {
    case QSerialPort::DeviceNotFoundError:
        return PortTrouble::kMissing;
    case QSerialPort::PermissionError:
        // The device itself opened a moment ago: what stood in the way is
        // the lock file of another program.
        return kHoldersKnown ? PortTrouble::kBusy : PortTrouble::kDenied;
    default:
        attempt_.detail = port_.errorString();
        return PortTrouble::kOther;
    }
}

bool MSComm::PortOpen() const {
    return port_.isOpen();
}

void MSComm::Output(const QByteArray& data) {
    if (!port_.isOpen())
        return;
    port_.write(data);
    port_.flush();
}

int MSComm::InBufferCount() {
    if (!port_.isOpen())
        return 0;
    return static_cast<int>(std::min<qint64>(port_.bytesAvailable(), 32767));
}

QByteArray MSComm::Input() {
    if (!port_.isOpen())
        return {};
    const qint64 waiting = port_.bytesAvailable();
    return port_.read(inputLen_ > 0 ? std::min<qint64>(inputLen_, waiting) : waiting);
}

bool MSComm::waitForInput(int msecs) {
    if (!port_.isOpen())
        return false;
    if (port_.bytesAvailable() > 0)
        return true;
    QElapsedTimer timer;
    timer.start();
    if (port_.waitForReadyRead(msecs))
        return port_.bytesAvailable() > 0;
    // Whatever made the wait give up early, the caller is promised a block of
    // msecs: sleep out the rest rather than let a reply wait spin.
    if (port_.isOpen()) {
        const qint64 left = msecs - timer.elapsed();
        if (left > 0)
            QThread::msleep(static_cast<unsigned long>(left));
    }
    return port_.isOpen() && port_.bytesAvailable() > 0;
}

void MSComm::setExchangeActive(bool active) {
    exchangeActive_ = active;
    if (!active && port_.isOpen() && rThreshold_ > 0 && port_.bytesAvailable() > 0 && unreported_)
        postReceive();
}

void MSComm::onReadyRead() {
    unreported_ = true;
    emit inputOrFailure();
    // A wait emits readyRead inside an exchange: the exchange reads those
    // characters itself, and whatever is left is reported when it ends.
    if (rThreshold_ <= 0 || exchangeActive_)
        return;
    postReceive();
}

void MSComm::postReceive() {
    if (receivePending_)
        return;
    receivePending_ = true;
    QMetaObject::invokeMethod(this, &MSComm::deliverReceive, Qt::QueuedConnection);
}

void MSComm::deliverReceive() {
    receivePending_ = false;
    // A wait inside an exchange may run the event queue: the event then waits
    // for setExchangeActive(false).
    if (exchangeActive_ || !port_.isOpen())
        return;
    if (port_.bytesAvailable() < std::max(rThreshold_, 1) || !unreported_)
        return;
    // Reported once: characters a receive has waited on in vain stay for the
    // next exchange, and are not reported again until more arrive.
    unreported_ = false;
    commEvent_ = kComEvReceive;
    emit OnComm();
}

void MSComm::onError(QSerialPort::SerialPortError e) {
    if (e != QSerialPort::ReadError && e != QSerialPort::ResourceError)
        return;
    if (!port_.isOpen())
        return;
    // Closing first: Qt keeps reporting the error from the dead descriptor
    // many thousand times a second while the port stays open.
    port_.close();
    lock_.release();
    failed_ = true;
    attempt_.trouble = PortTrouble::kGone;
    emit inputOrFailure();
}

} // namespace morvane
