// SPDX-License-Identifier: MIT
#pragma once

#include "exchange.h"
#include "mscomm.h"

#include <QElapsedTimer>

namespace morvane {

// The window's waits: each in an event loop of its own that takes no user
// input and blocks until the port has characters or fails, or the time is up.
// Paints and other events are handled as they come, and nothing wakes the
// program in between. While replies keep coming, the loop runs at most every
// 40 ms: a row at a time would repaint far more often than the eye can tell.
class WindowWaiter final : public Waiter {
public:
    explicit WindowWaiter(MSComm& comm) : comm_(comm) {}

    void waitForInput(SerialLine& line, int msecs) override;
    void sleep(int msecs) override;

private:
    MSComm& comm_;
    QElapsedTimer sinceLoop_; // since the last loop ended
};

} // namespace morvane
