// What the benchmarks share: CPU time of the process and a port wrapper that
// counts the bytes both ways.
#pragma once

#include "commport.h"

#include <sys/resource.h>

inline double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

class CountingPort final : public morvane::CommPort {
public:
    explicit CountingPort(morvane::CommPort& p) : p_(p) {}
    void Output(const QByteArray& d) override {
        out += d.size();
        p_.Output(d);
    }
    int InBufferCount() override { return p_.InBufferCount(); }
    QByteArray Input() override {
        QByteArray d = p_.Input();
        in += d.size();
        return d;
    }
    bool WaitForInput(int ms) override { return p_.WaitForInput(ms); }
    bool Failed() const override { return p_.Failed(); }
    void Close() override { p_.Close(); }
    void SetExchangeActive(bool a) override { p_.SetExchangeActive(a); }
    qint64 in = 0, out = 0;

private:
    morvane::CommPort& p_;
};
