// SPDX-License-Identifier: MIT
#include "simserver.h"

#include "writeall_posix.h"

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

namespace morvane::sim {

namespace {

constexpr std::size_t kMaxLine = 256;
// With --baud, a PC that writes faster than the wire carries fills the input
// queue; once it holds this much the pty is no longer read, so the rest waits
// in the kernel's bounded pty buffer and the PC's writes block, as they do on
// a serial port whose transmit buffer is full.
constexpr std::size_t kMaxPendingInput = 4096;
// Output nobody reads piles up in the pty; beyond this, new output is dropped.
constexpr std::size_t kMaxQueued = 64 * 1024;
constexpr auto kUnsolicitedOnceAfter = std::chrono::milliseconds(1000);

volatile std::sig_atomic_t stopRequested = 0;

void onSignal(int) {
    stopRequested = 1;
}

std::chrono::milliseconds ms(int v) {
    return std::chrono::milliseconds(v);
}

std::string errnoText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

} // namespace

SimServer::SimServer(Options options, SimDevice& device)
    : options_(std::move(options)), device_(device) {
    if (options_.baud > 0)
        byteTime_ = std::chrono::duration_cast<Duration>(
            std::chrono::duration<double>(10.0 / double(options_.baud)));
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
    ::sigprocmask(SIG_BLOCK, &block, &waitMask_);
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        sigdelset(&waitMask_, s);

    if (!options_.logPath.empty()) {
        logFd_ = ::open(options_.logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (logFd_ < 0) {
            *error = errnoText("cannot open log " + options_.logPath);
            return false;
        }
    }
    if (::openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) {
        *error = errnoText("openpty");
        return false;
    }
    char name[256];
    if (::ttyname_r(slave_, name, sizeof name) != 0) {
        *error = errnoText("ttyname");
        return false;
    }
    slavePath_ = name;
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);

    // The line discipline of the slave decides translation and echo: raw, 8N1.
    termios tio{};
    if (::tcgetattr(slave_, &tio) != 0) {
        *error = errnoText("tcgetattr");
        return false;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~tcflag_t(PARENB | CSTOPB | CSIZE | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    if (::tcsetattr(slave_, TCSANOW, &tio) != 0) {
        *error = errnoText("tcsetattr");
        return false;
    }

    if (!options_.linkPath.empty()) {
        struct stat st {};
        if (::lstat(options_.linkPath.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
            *error = "refusing to replace " + options_.linkPath + ": not a symbolic link";
            return false;
        }
        // Made under a temporary name and renamed, so the link never goes missing.
        const std::string tmp = options_.linkPath + ".sim" + std::to_string(::getpid());
        ::unlink(tmp.c_str());
        if (::symlink(slavePath_.c_str(), tmp.c_str()) != 0 ||
            ::rename(tmp.c_str(), options_.linkPath.c_str()) != 0) {
            *error = errnoText("cannot make link " + options_.linkPath);
            ::unlink(tmp.c_str());
            return false;
        }
        linkMade_ = true;
    }

    std::fprintf(stdout, "%s\n", slavePath_.c_str());
    std::fflush(stdout);
    return true;
}

void SimServer::closeAll() {
    if (linkMade_) {
        // Only our own link: someone may have pointed it elsewhere meanwhile.
        char target[512];
        const ssize_t n = ::readlink(options_.linkPath.c_str(), target, sizeof target - 1);
        if (n >= 0 && std::string(target, std::size_t(n)) == slavePath_)
            ::unlink(options_.linkPath.c_str());
        linkMade_ = false;
    }
    for (int* fd : {&master_, &slave_, &logFd_}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

int SimServer::run() {
    sigset_t waitMask = waitMask_;

    const TimePoint start = SteadyClock::now();
    lastEnd_ = lineFree_ = start;
    if (options_.unsolicited) {
        unsolicitedPending_ = true;
        nextUnsolicited_ =
            start + (options_.everyMs > 0 ? ms(options_.everyMs) : kUnsolicitedOnceAfter);
    }

    char buf[4096];
    while (!stopRequested) {
        TimePoint now = SteadyClock::now();
        deliverInput(now);
        if (unsolicitedPending_ && !vanishing_ && now >= nextUnsolicited_) {
            enqueue(*options_.unsolicited + "*\r", now, {});
            if (options_.everyMs > 0) {
                nextUnsolicited_ += ms(options_.everyMs);
                if (nextUnsolicited_ <= now)
                    nextUnsolicited_ = now + ms(options_.everyMs);
            } else {
                unsolicitedPending_ = false;
            }
        }
        pumpOutput(now);
        if (vanishing_ && out_.empty())
            break;

        const bool reading = !vanishing_ && input_.size() < kMaxPendingInput;
        pollfd pfd{master_, short(reading ? POLLIN : 0), 0};
        if (writeBlocked_)
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
            writeBlocked_ = false;
        if (pfd.revents & POLLIN) {
            const ssize_t n =
                ::read(master_, buf, std::min(sizeof buf, kMaxPendingInput - input_.size()));
            if (n > 0) {
                onRead(buf, std::size_t(n), SteadyClock::now());
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

void SimServer::onRead(const char* data, std::size_t size, TimePoint now) {
    if (options_.baud == 0) {
        onInput(data, size, now, Duration::zero());
        return;
    }
    // What arrived before this read goes first. Anything left is still on the
    // wire, so the new bytes follow it; otherwise the first of them arrives a
    // byte time from now.
    deliverInput(now);
    if (input_.empty())
        inputFirst_ = now + byteTime_;
    input_.append(data, size);
}

void SimServer::deliverInput(TimePoint now) {
    if (input_.empty() || now < inputFirst_)
        return;
    const auto count =
        std::min<std::size_t>(input_.size(), std::size_t((now - inputFirst_) / byteTime_) + 1);
    onInput(input_.data(), count, inputFirst_, byteTime_);
    input_.erase(0, count);
    inputFirst_ += byteTime_ * Duration::rep(count);
    if (vanishing_)
        input_.clear();
}

// Byte i of data arrives at first + i * step; a line is handled when its CR arrives.
void SimServer::onInput(const char* data, std::size_t size, TimePoint first, Duration step) {
    for (std::size_t i = 0; i < size && !vanishing_; ++i) {
        const char c = data[i];
        if (c == '\n')
            continue;
        if (c == '\r') {
            onLine(first + step * Duration::rep(i));
            continue;
        }
        if (line_.size() < kMaxLine)
            line_ += c;
        else
            lineOverflow_ = true;
    }
}

void SimServer::onLine(TimePoint now) {
    const std::string line = std::move(line_);
    const bool overflow = lineOverflow_;
    line_.clear();
    lineOverflow_ = false;
    ++commandCount_;
    // Logged before answering: once a reply is seen, its command is in the log.
    logLine(line);

    if (options_.vanishAfter >= 0 && commandCount_ > options_.vanishAfter) {
        vanishing_ = true;
        return;
    }
    if (options_.silent || (options_.stopAfter >= 0 && commandCount_ > options_.stopAfter))
        return;
    if (commandCount_ <= options_.nak) {
        answer("N", now);
        return;
    }
    if (overflow || std::find(options_.failing.begin(), options_.failing.end(), line) !=
                        options_.failing.end()) {
        answer("ERR", now);
        return;
    }
    const SimDevice::Answer a = device_.handle(line, now);
    if (a.tableChanged)
        saveTable();
    answer(a.reply, now);
}

void SimServer::answer(const std::string& reply, TimePoint now) {
    const std::string text = reply + "\r";
    const TimePoint at = now + ms(options_.delayMs);
    const std::size_t pieces = std::min<std::size_t>(std::size_t(options_.pieces), text.size());
    std::size_t from = 0;
    for (std::size_t i = 0; i < pieces; ++i) {
        const std::size_t to = text.size() * (i + 1) / pieces;
        enqueue(text.substr(from, to - from), at,
                i == 0 ? Duration::zero() : Duration(ms(options_.gapMs)));
        from = to;
    }
    if (!options_.stray.empty())
        enqueue(options_.stray, at, ms(options_.strayAfterMs));
}

void SimServer::enqueue(std::string data, TimePoint notBefore, Duration gap) {
    if (data.empty() || outBytes_ + data.size() > kMaxQueued)
        return;
    outBytes_ += data.size();
    out_.push_back(Segment{std::move(data), notBefore, gap, 0});
}

SimServer::TimePoint SimServer::segmentStart(const Segment& s) const {
    if (s.sent > 0)
        return s.notBefore; // already under way
    return std::max(s.notBefore, lastEnd_ + s.gap);
}

SimServer::TimePoint SimServer::nextWake(TimePoint now) const {
    TimePoint wake = TimePoint::max();
    if (unsolicitedPending_ && !vanishing_)
        wake = nextUnsolicited_;
    if (!input_.empty() && !vanishing_) {
        // Only a CR does anything, so wake for the first one to arrive; a full
        // queue also wakes when half of it has arrived, to read on in time.
        std::size_t at = input_.find('\r');
        if (input_.size() >= kMaxPendingInput)
            at = std::min(at, input_.size() / 2);
        if (at != std::string::npos)
            wake = std::min(wake, inputFirst_ + byteTime_ * Duration::rep(at));
    }
    if (!out_.empty() && !writeBlocked_) {
        TimePoint due = segmentStart(out_.front());
        if (options_.baud > 0)
            due = std::max(due, lineFree_) + byteTime_;
        wake = std::min(wake, due);
    }
    (void)now;
    return wake;
}

void SimServer::pumpOutput(TimePoint now) {
    while (!out_.empty() && !writeBlocked_) {
        Segment& s = out_.front();
        const TimePoint start = segmentStart(s);
        if (now < start)
            return;
        s.notBefore = start;
        std::size_t count = s.data.size() - s.sent;
        TimePoint lineFree = lineFree_;
        if (options_.baud > 0) {
            // A byte goes out when its last bit would have arrived: the line is busy
            // one byte time after the later of its start and the previous byte.
            TimePoint due = std::max(start, lineFree_) + byteTime_;
            if (due + std::chrono::milliseconds(100) < now)
                due = now; // after a stall, no burst to catch up
            count = 0;
            while (count < s.data.size() - s.sent && due <= now) {
                ++count;
                lineFree = due;
                due += byteTime_;
            }
            if (count == 0)
                return;
        }
        const ssize_t n = ::write(master_, s.data.data() + s.sent, count);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                writeBlocked_ = true;
            else if (errno != EINTR) {
                // The pty is unusable; drop what is queued rather than retry forever.
                out_.clear();
                outBytes_ = 0;
            }
            return;
        }
        if (options_.baud > 0)
            lineFree_ = std::size_t(n) == count ? lineFree : now;
        s.sent += std::size_t(n);
        if (s.sent < s.data.size()) {
            if (options_.baud == 0)
                writeBlocked_ = true; // partial write: wait for room
            continue;
        }
        lastEnd_ = options_.baud > 0 ? lineFree_ : now;
        outBytes_ -= s.data.size();
        out_.pop_front();
    }
}

void SimServer::logLine(const std::string& line) {
    if (logFd_ < 0)
        return;
    const std::string logged = line + "\n";
    if (!writeAll(logFd_, logged.data(), logged.size()))
        std::perror("morvane-sim: log");
}

void SimServer::saveTable() {
    if (options_.tablePath.empty())
        return;
    // Written aside and renamed, so a reader never sees half a table.
    const std::string tmp = options_.tablePath + ".tmp";
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const std::string table = formatTable(device_.table());
    if (fd < 0 || !writeAll(fd, table.data(), table.size())) {
        std::fprintf(stderr, "morvane-sim: cannot write %s: %s\n", tmp.c_str(),
                     std::strerror(errno));
        if (fd >= 0)
            ::close(fd);
        return;
    }
    ::close(fd);
    if (::rename(tmp.c_str(), options_.tablePath.c_str()) != 0)
        std::perror("morvane-sim: rename table");
}

} // namespace morvane::sim
