// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

namespace morvane {

// ComStatus values: the port is configured and open, or the last
// configuration failed (or the line went away) and the port is closed.
inline constexpr qint16 kComStatusOpen = 0;
inline constexpr qint16 kComStatusFailed = 99;

// What the command exchange needs of a serial line. The comm component
// (MSComm over QSerialPort) implements it, and so does the tests' scripted
// line; Output, InBufferCount and Input carry the component's own names.
class SerialLine {
public:
    virtual ~SerialLine() = default;
    // Queues text for sending and returns at once.
    virtual void Output(const QByteArray& data) = 0;
    // Number of received characters waiting.
    virtual int InBufferCount() = 0;
    // Takes every waiting character.
    virtual QByteArray Input() = 0;
    // Blocks up to msecs for characters to arrive, without handling events.
    // Returns true when characters are waiting.
    virtual bool waitForInput(int msecs) = 0;
    // True once the line has gone away (device unplugged, far end closed).
    virtual bool failed() const = 0;
    // Closes the port.
    virtual void close() = 0;
    // Exchange in progress: the component holds its receive event back until
    // the exchange is over, then reports it if characters are still waiting.
    virtual void setExchangeActive(bool active) = 0;
};

} // namespace morvane
