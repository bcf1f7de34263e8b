// SPDX-License-Identifier: MIT
// Protocol model of the timer device: its clock, its ten reservations and the
// answer to each command line. No I/O here; the server feeds it lines.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace morvane::sim {

using SteadyClock = std::chrono::steady_clock;

struct Reservation {
    std::uint8_t day = 0;
    std::uint8_t hour = 0;
    std::uint8_t minute = 0;
    std::uint8_t second = 0;
    std::uint8_t flag = 0;
    bool operator==(const Reservation&) const = default;
};

constexpr int kReservationCount = 10;
using Table = std::array<Reservation, kReservationCount>;

struct ClockValue {
    int weekday = 0; // 0 Sunday .. 6 Saturday
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// Ten lines "DD HH MM SS FF" (hex). Any byte value is accepted in every field so
// that odd device contents can be staged; blank lines are ignored.
std::optional<Table> parseTable(std::string_view text, std::string* error);
std::string formatTable(const Table& table);

class SimDevice {
public:
    struct Answer {
        std::string reply;         // without the terminating CR
        bool tableChanged = false; // a reservation was stored
    };

    Answer handle(std::string_view command, SteadyClock::time_point now);

    // Follows the host's local time until set; after a set it runs on from the
    // set value on the monotonic clock.
    ClockValue clockAt(SteadyClock::time_point now) const;
    void setClock(const ClockValue& value, SteadyClock::time_point now);

    const Table& table() const { return table_; }
    void setTable(const Table& table) { table_ = table; }

private:
    Table table_{};
    std::optional<ClockValue> setValue_;
    SteadyClock::time_point setAt_{};
};

} // namespace morvane::sim
