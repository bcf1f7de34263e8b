#include "simserver.h"

#include <algorithm>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

namespace {

constexpr std::size_t kMaxLine = 256;
// Output nobody reads piles up in the pty; beyond this, new output is dropped.
constexpr std::size_t kMaxQueued = 64 * 1024;
constexpr auto kUnsolicitedOnceAfter = std::chrono::milliseconds(1000);

volatile std::sig_atomic_t g_stop = 0;

void onSignal(int) {
    g_stop = 1;
}

std::chrono::milliseconds ms(int v) {
    return std::chrono::milliseconds(v);
}

bool writeAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += std::size_t(n);
    }
    return true;
}

std::string errnoText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

} // namespace

SimServer::SimServer(Options options, SimDevice& device)
    : m_opt(std::move(options)), m_device(device) {
    if (m_opt.baud > 0)
        m_byteTime = std::chrono::duration_cast<Duration>(
            std::chrono::duration<double>(10.0 / double(m_opt.baud)));
}

SimServer::~SimServer() {
    closeAll();
}

bool SimServer::open(std::string* error) {
    // Handlers go in before the link exists, so a stop that comes right after
    // the path is printed still removes it. Signals are let through only
    // inside ppoll, so none is lost between checks.
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(s, &sa, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    sigset_t block;
    sigemptyset(&block);
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&block, s);
    ::sigprocmask(SIG_BLOCK, &block, &m_waitMask);
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        sigdelset(&m_waitMask, s);

    if (!m_opt.logPath.empty()) {
        m_logFd = ::open(m_opt.logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (m_logFd < 0) {
            *error = errnoText("cannot open log " + m_opt.logPath);
            return false;
        }
    }
    if (::openpty(&m_master, &m_slave, nullptr, nullptr, nullptr) != 0) {
        *error = errnoText("openpty");
        return false;
    }
    char name[256];
    if (::ttyname_r(m_slave, name, sizeof name) != 0) {
        *error = errnoText("ttyname");
        return false;
    }
    m_slavePath = name;
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_slave, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);

    // The line discipline of the slave decides translation and echo: raw, 8N1.
    termios tio{};
    if (::tcgetattr(m_slave, &tio) != 0) {
        *error = errnoText("tcgetattr");
        return false;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~tcflag_t(PARENB | CSTOPB | CSIZE | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    if (::tcsetattr(m_slave, TCSANOW, &tio) != 0) {
        *error = errnoText("tcsetattr");
        return false;
    }

    if (!m_opt.linkPath.empty()) {
        struct stat st {};
        if (::lstat(m_opt.linkPath.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
            *error = "refusing to replace " + m_opt.linkPath + ": not a symbolic link";
            return false;
        }
        // Made under a temporary name and renamed, so the link never goes missing.
        const std::string tmp = m_opt.linkPath + ".sim" + std::to_string(::getpid());
        ::unlink(tmp.c_str());
        if (::symlink(m_slavePath.c_str(), tmp.c_str()) != 0 ||
            ::rename(tmp.c_str(), m_opt.linkPath.c_str()) != 0) {
            *error = errnoText("cannot make link " + m_opt.linkPath);
            ::unlink(tmp.c_str());
            return false;
        }
        m_linkMade = true;
    }

    std::fprintf(stdout, "%s\n", m_slavePath.c_str());
    std::fflush(stdout);
    return true;
}

void SimServer::closeAll() {
    if (m_linkMade) {
        // Only our own link: someone may have pointed it elsewhere meanwhile.
        char target[512];
        const ssize_t n = ::readlink(m_opt.linkPath.c_str(), target, sizeof target - 1);
        if (n >= 0 && std::string(target, std::size_t(n)) == m_slavePath)
            ::unlink(m_opt.linkPath.c_str());
        m_linkMade = false;
    }
    for (int* fd : {&m_master, &m_slave, &m_logFd}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

int SimServer::run() {
    sigset_t waitMask = m_waitMask;

    const TimePoint start = SteadyClock::now();
    m_lastEnd = m_lineFree = start;
    if (m_opt.unsolicited) {
        m_unsolicitedPending = true;
        m_nextUnsolicited = start + (m_opt.everyMs > 0 ? ms(m_opt.everyMs) : kUnsolicitedOnceAfter);
    }

    char buf[4096];
    while (!g_stop) {
        TimePoint now = SteadyClock::now();
        if (m_unsolicitedPending && !m_vanishing && now >= m_nextUnsolicited) {
            enqueue(*m_opt.unsolicited + "*\r", now, {});
            if (m_opt.everyMs > 0) {
                m_nextUnsolicited += ms(m_opt.everyMs);
                if (m_nextUnsolicited <= now)
                    m_nextUnsolicited = now + ms(m_opt.everyMs);
            } else {
                m_unsolicitedPending = false;
            }
        }
        pumpOutput(now);
        if (m_vanishing && m_out.empty())
            break;

        pollfd pfd{m_master, short(m_vanishing ? 0 : POLLIN), 0};
        if (m_writeBlocked)
            pfd.events |= POLLOUT;
        const TimePoint wake = nextWake(now);
        timespec ts{};
        timespec* tsp = nullptr;
        if (wake != TimePoint::max()) {
            const auto wait = std::max(Duration::zero(), wake - now);
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
            ts.tv_sec = time_t(ns / 1000000000);
            ts.tv_nsec = long(ns % 1000000000);
            tsp = &ts;
        }
        const int r = ::ppoll(&pfd, 1, tsp, &waitMask);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            std::perror("morvane-sim: ppoll");
            closeAll();
            return 1;
        }
        if (pfd.revents & POLLOUT)
            m_writeBlocked = false;
        if (pfd.revents & POLLIN) {
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n > 0) {
                onInput(buf, std::size_t(n), SteadyClock::now());
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                // EIO: no client; cannot happen while the slave is held, but never spin on it.
                ::usleep(50000);
            }
        } else if (pfd.revents & (POLLHUP | POLLERR)) {
            ::usleep(50000);
        }
    }
    closeAll();
    return 0;
}

void SimServer::onInput(const char* data, std::size_t size, TimePoint now) {
    for (std::size_t i = 0; i < size && !m_vanishing; ++i) {
        const char c = data[i];
        if (c == '\n')
            continue;
        if (c == '\r') {
            onLine(now);
            continue;
        }
        if (m_line.size() < kMaxLine)
            m_line += c;
        else
            m_lineOverflow = true;
    }
}

void SimServer::onLine(TimePoint now) {
    const std::string line = std::move(m_line);
    const bool overflow = m_lineOverflow;
    m_line.clear();
    m_lineOverflow = false;
    ++m_commandCount;
    // Logged before answering: once a reply is seen, its command is in the log.
    logLine(line);

    if (m_opt.vanishAfter >= 0 && m_commandCount > m_opt.vanishAfter) {
        m_vanishing = true;
        return;
    }
    if (m_opt.silent || (m_opt.stopAfter >= 0 && m_commandCount > m_opt.stopAfter))
        return;
    if (m_commandCount <= m_opt.nak) {
        answer("N", now);
        return;
    }
    if (overflow ||
        std::find(m_opt.failing.begin(), m_opt.failing.end(), line) != m_opt.failing.end()) {
        answer("ERR", now);
        return;
    }
    const SimDevice::Answer a = m_device.handle(line, now);
    if (a.tableChanged)
        saveTable();
    answer(a.reply, now);
}

void SimServer::answer(const std::string& reply, TimePoint now) {
    const std::string text = reply + "\r";
    const TimePoint at = now + ms(m_opt.delayMs);
    const std::size_t pieces = std::min<std::size_t>(std::size_t(m_opt.pieces), text.size());
    std::size_t from = 0;
    for (std::size_t i = 0; i < pieces; ++i) {
        const std::size_t to = text.size() * (i + 1) / pieces;
        enqueue(text.substr(from, to - from), at,
                i == 0 ? Duration::zero() : Duration(ms(m_opt.gapMs)));
        from = to;
    }
    if (!m_opt.stray.empty())
        enqueue(m_opt.stray, at, ms(m_opt.strayAfterMs));
}

void SimServer::enqueue(std::string data, TimePoint notBefore, Duration gap) {
    if (data.empty() || m_outBytes + data.size() > kMaxQueued)
        return;
    m_outBytes += data.size();
    m_out.push_back(Segment{std::move(data), notBefore, gap, 0});
}

SimServer::TimePoint SimServer::segmentStart(const Segment& s) const {
    if (s.sent > 0)
        return s.notBefore; // already under way
    return std::max(s.notBefore, m_lastEnd + s.gap);
}

SimServer::TimePoint SimServer::nextWake(TimePoint now) const {
    TimePoint wake = TimePoint::max();
    if (m_unsolicitedPending && !m_vanishing)
        wake = m_nextUnsolicited;
    if (!m_out.empty() && !m_writeBlocked) {
        TimePoint due = segmentStart(m_out.front());
        if (m_opt.baud > 0)
            due = std::max(due, m_lineFree) + m_byteTime;
        wake = std::min(wake, due);
    }
    (void)now;
    return wake;
}

void SimServer::pumpOutput(TimePoint now) {
    while (!m_out.empty() && !m_writeBlocked) {
        Segment& s = m_out.front();
        const TimePoint start = segmentStart(s);
        if (now < start)
            return;
        s.notBefore = start;
        std::size_t count = s.data.size() - s.sent;
        TimePoint lineFree = m_lineFree;
        if (m_opt.baud > 0) {
            // A byte goes out when its last bit would have arrived: the line is busy
            // one byte time after the later of its start and the previous byte.
            TimePoint due = std::max(start, m_lineFree) + m_byteTime;
            if (due + std::chrono::milliseconds(100) < now)
                due = now; // after a stall, no burst to catch up
            count = 0;
            while (count < s.data.size() - s.sent && due <= now) {
                ++count;
                lineFree = due;
                due += m_byteTime;
            }
            if (count == 0)
                return;
        }
        const ssize_t n = ::write(m_master, s.data.data() + s.sent, count);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                m_writeBlocked = true;
            else if (errno != EINTR) {
                // The pty is unusable; drop what is queued rather than retry forever.
                m_out.clear();
                m_outBytes = 0;
            }
            return;
        }
        if (m_opt.baud > 0)
            m_lineFree = std::size_t(n) == count ? lineFree : now;
        s.sent += std::size_t(n);
        if (s.sent < s.data.size()) {
            if (m_opt.baud == 0)
                m_writeBlocked = true; // partial write: wait for room
            continue;
        }
        m_lastEnd = m_opt.baud > 0 ? m_lineFree : now;
        m_outBytes -= s.data.size();
        m_out.pop_front();
    }
}

void SimServer::logLine(const std::string& line) {
    if (m_logFd < 0)
        return;
    if (!writeAll(m_logFd, line + "\n"))
        std::perror("morvane-sim: log");
}

void SimServer::saveTable() {
    if (m_opt.tablePath.empty())
        return;
    // Written aside and renamed, so a reader never sees half a table.
    const std::string tmp = m_opt.tablePath + ".tmp";
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || !writeAll(fd, formatTable(m_device.table()))) {
        std::fprintf(stderr, "morvane-sim: cannot write %s: %s\n", tmp.c_str(),
                     std::strerror(errno));
        if (fd >= 0)
            ::close(fd);
        return;
    }
    ::close(fd);
    if (::rename(tmp.c_str(), m_opt.tablePath.c_str()) != 0)
        std::perror("morvane-sim: rename table");
}

} // namespace sim
