#pragma once

#include <QByteArray>

namespace morvane {

// What the command exchange needs of the comm component: the real one
// (MSComm over QSerialPort) and the scripted fake of the tests implement it.
class CommPort {
public:
    virtual ~CommPort() = default;
    // Queues text for sending and returns at once (the `Output` property).
    virtual void Output(const QByteArray& data) = 0;
    // Number of received characters waiting (the `InBufferCount` property).
    virtual int InBufferCount() = 0;
    // Takes every waiting character (the `Input` property with InputLen 0).
    virtual QByteArray Input() = 0;
    // Blocks up to msecs for characters to arrive, without handling events.
    // Returns true when characters are waiting.
    virtual bool WaitForInput(int msecs) = 0;
    // True once the line has gone away (device unplugged, far end closed).
    virtual bool Failed() const = 0;
    // Closes the port (PortOpen = false).
    virtual void Close() = 0;
    // Exchange in progress: the component holds back its receive event until
    // the exchange is over, then reports it if characters are still waiting.
    virtual void SetExchangeActive(bool active) = 0;
};

} // namespace morvane
