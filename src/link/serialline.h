// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

namespace morvane {

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
