// SPDX-License-Identifier: MIT
#pragma once

#include "exchange.h"
#include "forwardingline.h"

namespace morvane {

// The port as morvane-cli's link uses it, passed straight through. It keeps
// the first command the device answered with "ERR": the exchange hands such
// a reply back without a message, and the program has to say what failed.
class WatchedLine final : public ForwardingLine {
public:
    using ForwardingLine::ForwardingLine;

    void Output(const QByteArray& data) override {
        command_ = data.trimmed();
        reply_.clear();
        ForwardingLine::Output(data);
    }
    QByteArray Input() override {
        const QByteArray in = ForwardingLine::Input();
        // Past the longest reply the exchange takes, the text is no reply.
        if (refused_.isEmpty() && reply_.size() <= kMaxReplyChars) {
            reply_ += in;
            if (reply_.contains("ERR"))
                refused_ = command_;
        }
        return in;
    }

    // The first command answered with "ERR", without its CR; empty if none was.
    QString refused() const { return QString::fromLatin1(refused_); }

private:
    QByteArray command_;
    QByteArray reply_;
    QByteArray refused_;
};

} // namespace morvane
