// SPDX-License-Identifier: MIT
#include "simdevice.h"

#include <ctime>

namespace morvane::sim {

namespace {

constexpr int kSecondsPerWeek = 7 * 24 * 3600;

int upperHexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The two hex digits at pos as a byte, or -1. The device speaks upper-case hex
// only, so a lower-case field is an error.
int parseUpperHexPair(std::string_view s, std::size_t pos) {
    const int hi = upperHexDigit(s[pos]);
    const int lo = upperHexDigit(s[pos + 1]);
    return (hi < 0 || lo < 0) ? -1 : hi * 16 + lo;
}

// The two decimal digits at pos as a number, or -1.
int parseDecimalPair(std::string_view s, std::size_t pos) {
    const char a = s[pos];
    const char b = s[pos + 1];
    if (a < '0' || a > '9' || b < '0' || b > '9')
        return -1;
    return (a - '0') * 10 + (b - '0');
}

void appendHex(std::string& out, int value) {
    static constexpr char kHexDigits[] = "0123456789ABCDEF";
    out += kHexDigits[(value >> 4) & 0xF];
    out += kHexDigits[value & 0xF];
}

void appendDec(std::string& out, int value) {
    out += char('0' + (value / 10) % 10);
    out += char('0' + value % 10);
}

bool isBetween(int v, int lo, int hi) {
    return v >= lo && v <= hi;
}

int lenientHex(char c) {
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return upperHexDigit(c);
}

} // namespace

std::optional<Table> parseTable(std::string_view text, std::string* error) {
    Table table{};
    int count = 0;
    int lineNo = 0;
    auto fail = [&](const std::string& why) -> std::optional<Table> {
        if (error)
            *error = "line " + std::to_string(lineNo) + ": " + why;
        return std::nullopt;
    };
    while (!text.empty()) {
        ++lineNo;
        const std::size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        if (line.empty())
            continue;
        if (count == kReservationCount)
            return fail("more than ten reservation lines");
        // "DD HH MM SS FF": five two-digit fields separated by single blanks.
        if (line.size() != 14)
            return fail("expected \"DD HH MM SS FF\" in hex");
        std::uint8_t v[5];
        for (int f = 0; f < 5; ++f) {
            const std::size_t p = std::size_t(f) * 3;
            const int hi = lenientHex(line[p]);
            const int lo = lenientHex(line[p + 1]);
            if (hi < 0 || lo < 0 || (f < 4 && line[p + 2] != ' '))
                return fail("expected \"DD HH MM SS FF\" in hex");
            v[f] = std::uint8_t(hi * 16 + lo);
        }
        table[count++] = Reservation{v[0], v[1], v[2], v[3], v[4]};
    }
    if (count != kReservationCount)
        return fail("expected ten reservation lines, found " + std::to_string(count));
    return table;
}

std::string formatTable(const Table& table) {
    std::string out;
    for (const Reservation& r : table) {
        appendHex(out, r.day);
        out += ' ';
        appendHex(out, r.hour);
        out += ' ';
        appendHex(out, r.minute);
        out += ' ';
        appendHex(out, r.second);
        out += ' ';
        appendHex(out, r.flag);
        out += '\n';
    }
    return out;
}

ClockValue SimDevice::clockAt(SteadyClock::time_point now) const {
    if (!setValue_) {
        const std::time_t t = std::time(nullptr);
        std::tm local{};
        localtime_r(&t, &local);
        return {local.tm_wday, local.tm_hour, local.tm_min, local.tm_sec};
    }
    const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(now - setAt_).count();
    const ClockValue& s = *setValue_;
    long long secs = ((s.weekday * 24LL + s.hour) * 60 + s.minute) * 60 + s.second + elapsed;
    secs %= kSecondsPerWeek;
    ClockValue v;
    v.second = int(secs % 60);
    v.minute = int(secs / 60 % 60);
    v.hour = int(secs / 3600 % 24);
    v.weekday = int(secs / 86400);
    return v;
}

void SimDevice::setClock(const ClockValue& value, SteadyClock::time_point now) {
    setValue_ = value;
    setAt_ = now;
}

SimDevice::Answer SimDevice::handle(std::string_view cmd, SteadyClock::time_point now) {
    Answer a;
    if (cmd == "QT") {
        const ClockValue c = clockAt(now);
        a.reply = "T";
        appendDec(a.reply, c.weekday);
        appendHex(a.reply, c.hour);
        return a;
    }
    if (cmd == "QS") {
        const ClockValue c = clockAt(now);
        a.reply = "S";
        appendHex(a.reply, c.minute);
        appendHex(a.reply, c.second);
        return a;
    }
    if (cmd.size() == 2 && cmd[0] == 'L' && cmd[1] >= '0' && cmd[1] <= '9') {
        const Reservation& r = table_[std::size_t(cmd[1] - '0')];
        a.reply = "L";
        for (int v : {r.day, r.hour, r.minute, r.second, r.flag})
            appendHex(a.reply, v);
        return a;
    }
    if (cmd.size() == 12 && cmd[0] == 'D' && cmd[1] >= '0' && cmd[1] <= '9') {
        const int day = parseUpperHexPair(cmd, 2);
        const int hour = parseUpperHexPair(cmd, 4);
        const int minute = parseUpperHexPair(cmd, 6);
        const int second = parseUpperHexPair(cmd, 8);
        const int flag = parseUpperHexPair(cmd, 10);
        if (isBetween(day, 0, 7) && isBetween(hour, 0, 23) && isBetween(minute, 0, 59) &&
            isBetween(second, 0, 59) && flag >= 0) {
            table_[std::size_t(cmd[1] - '0')] =
                Reservation{std::uint8_t(day), std::uint8_t(hour), std::uint8_t(minute),
                            std::uint8_t(second), std::uint8_t(flag)};
            a.reply = "*";
            a.tableChanged = true;
            return a;
        }
    }
    if (cmd.size() == 10 && cmd.substr(0, 2) == "N ") {
        const int day = parseDecimalPair(cmd, 2);
        const int hour = parseUpperHexPair(cmd, 4);
        const int minute = parseUpperHexPair(cmd, 6);
        const int second = parseUpperHexPair(cmd, 8);
        if (isBetween(day, 0, 6) && isBetween(hour, 0, 23) && isBetween(minute, 0, 59) &&
            isBetween(second, 0, 59)) {
            setClock({day, hour, minute, second}, now);
            a.reply = "*";
            return a;
        }
    }
    a.reply = "ERR";
    return a;
}

} // namespace morvane::sim
