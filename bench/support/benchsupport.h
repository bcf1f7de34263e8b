// SPDX-License-Identifier: MIT
// What the benchmarks share: CPU time of the process and a line wrapper that
// counts the bytes both ways.
#pragma once

#include "serialline.h"

#include <sys/resource.h>

inline double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

class CountingLine final : public morvane::SerialLine {
public:
    explicit CountingLine(morvane::SerialLine& line) : line_(line) {}
    void Output(const QByteArray& d) override {
        out += d.size();
        line_.Output(d);
    }
    int InBufferCount() override { return line_.InBufferCount(); }
    QByteArray Input() override {
        QByteArray d = line_.Input();
        in += d.size();
        return d;
    }
    bool waitForInput(int ms) override { return line_.waitForInput(ms); }
    bool failed() const override { return line_.failed(); }
    void close() override { line_.close(); }
    void setExchangeActive(bool a) override { line_.setExchangeActive(a); }

    qint64 in = 0;
    qint64 out = 0;

private:
    morvane::SerialLine& line_;
};
