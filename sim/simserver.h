// SPDX-License-Identifier: MIT
// Serves a SimDevice on a pseudo-terminal: line framing, fault injection,
// line pacing both ways, the command log and the table file.
#pragma once

#include <csignal>

#include "simdevice.h"
#include "simoptions.h"

#include <deque>
#include <string>

namespace morvane::sim {

class SimServer {
public:
    SimServer(Options options, SimDevice& device);
    ~SimServer();
    SimServer(const SimServer&) = delete;
    SimServer& operator=(const SimServer&) = delete;

    // Opens the pty (and link, log); prints the slave path. False with a message.
    bool open(std::string* error);
    // Runs until a termination signal or a vanish; returns the exit status.
    int run();

private:
    using TimePoint = SteadyClock::time_point;
    using Duration = SteadyClock::duration;

    struct Segment {
        std::string data;
        TimePoint notBefore;
        Duration gap{}; // least pause after the previous segment's last byte
        std::size_t sent = 0;
    };

    void onRead(const char* data, std::size_t size, TimePoint now);
    void deliverInput(TimePoint now);
    void onInput(const char* data, std::size_t size, TimePoint first, Duration step);
    void onLine(TimePoint now);
    void answer(const std::string& reply, TimePoint now);
    void enqueue(std::string data, TimePoint notBefore, Duration gap);
    void pumpOutput(TimePoint now);
    TimePoint segmentStart(const Segment& s) const;
    TimePoint nextWake(TimePoint now) const;
    void logLine(const std::string& line);
    void saveTable();
    void closeAll();

    Options options_;
    SimDevice& device_;
    int master_ = -1;
    sigset_t waitMask_{}; // the mask ppoll waits with: the stop signals let through
    int slave_ = -1;      // held open so the master never sees a hang-up between clients
    int logFd_ = -1;
    std::string slavePath_;
    bool linkMade_ = false;

    // With --baud: bytes read from the pty that are still on their way down the
    // simulated wire; input_[i] arrives at inputFirst_ + i byte times.
    std::string input_;
    TimePoint inputFirst_{};

    std::string line_;
    bool lineOverflow_ = false;
    long long commandCount_ = 0;
    bool vanishing_ = false;

    std::deque<Segment> out_;
    std::size_t outBytes_ = 0;
    TimePoint lastEnd_{};  // when the previous segment's last byte went out
    TimePoint lineFree_{}; // with --baud: when the line finishes the last byte
    bool writeBlocked_ = false;
    Duration byteTime_{};

    TimePoint nextUnsolicited_{};
    bool unsolicitedPending_ = false;
};

} // namespace morvane::sim
