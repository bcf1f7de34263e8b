// SPDX-License-Identifier: MIT
#pragma once

#include "serialline.h"

namespace morvane {

// A serial line that hands every call on to another: the base of the lines
// that watch or count what passes, each overriding only what it looks at.
class ForwardingLine : public SerialLine {
public:
    explicit ForwardingLine(SerialLine& line) : line_(line) {}

    void Output(const QByteArray& data) override { line_.Output(data); }
    int InBufferCount() override { return line_.InBufferCount(); }
    QByteArray Input() override { return line_.Input(); }
    bool waitForInput(int msecs) override { return line_.waitForInput(msecs); }
    bool failed() const override { return line_.failed(); }
    void close() override { line_.close(); }
    void setExchangeActive(bool active) override { line_.setExchangeActive(active); }

private:
    SerialLine& line_;
};

} // namespace morvane
