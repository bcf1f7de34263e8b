// SPDX-License-Identifier: MIT
// What the benchmarks share: CPU time of the process and a line wrapper that
// counts the bytes both ways.
#pragma once

#include "forwardingline.h"

#include <sys/resource.h>

namespace morvane::bench {

inline double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

class CountingLine final : public ForwardingLine {
public:
    using ForwardingLine::ForwardingLine;
    void Output(const QByteArray& d) override {
        out += d.size();
        ForwardingLine::Output(d);
    }
    QByteArray Input() override {
        QByteArray d = ForwardingLine::Input();
        in += d.size();
        return d;
    }

    qint64 in = 0;
    qint64 out = 0;
};

} // namespace morvane::bench
