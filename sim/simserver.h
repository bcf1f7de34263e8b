// Serves a SimDevice on a pseudo-terminal: line framing, fault injection,
// output pacing, the command log and the table file.
#pragma once

#include <csignal>

#include "simdevice.h"
#include "simoptions.h"

#include <deque>
#include <string>

namespace sim {

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

    void onInput(const char* data, std::size_t size, TimePoint now);
    void onLine(TimePoint now);
    void answer(const std::string& reply, TimePoint now);
    void enqueue(std::string data, TimePoint notBefore, Duration gap);
    void pumpOutput(TimePoint now);
    TimePoint segmentStart(const Segment& s) const;
    TimePoint nextWake(TimePoint now) const;
    void logLine(const std::string& line);
    void saveTable();
    void closeAll();

    Options m_opt;
    SimDevice& m_device;
    int m_master = -1;
    sigset_t m_waitMask{}; // the mask ppoll waits with: the stop signals let through
    int m_slave = -1;      // held open so the master never sees a hang-up between clients
    int m_logFd = -1;
    std::string m_slavePath;
    bool m_linkMade = false;

    std::string m_line;
    bool m_lineOverflow = false;
    long long m_commandCount = 0;
    bool m_vanishing = false;

    std::deque<Segment> m_out;
    std::size_t m_outBytes = 0;
    TimePoint m_lastEnd{};  // when the previous segment's last byte went out
    TimePoint m_lineFree{}; // with --baud: when the line finishes the last byte
    bool m_writeBlocked = false;
    Duration m_byteTime{};

    TimePoint m_nextUnsolicited{};
    bool m_unsolicitedPending = false;
};

} // namespace sim
