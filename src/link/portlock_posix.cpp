// SPDX-License-Identifier: MIT
// Device locks on POSIX systems: flock(2) on the device node, and the
// owners the toolkit's lock files and /proc/locks name.
#include "portlock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace morvane {

const bool kHoldersKnown = true;

namespace {

// Where the toolkit puts a serial port's lock file: the first of these
// folders that holds one.
const char* const kLockFolders[] = {"/var/lock",         "/etc/locks", "/var/spool/locks",
                                    "/var/spool/uucp",   "/tmp",       "/var/tmp",
                                    "/var/lock/lockdev", "/run/lock"};

// The system's lock table is small; a bound keeps a strange one harmless.
constexpr qint64 kMaxLockTableBytes = 1024 * 1024;

bool alive(qint64 pid) {
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

// The program's own short name as the system keeps it.
QString programOf(qint64 pid) {
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(comm.read(64)).trimmed();
}

std::optional<PortHolder> lockFileOwner(const QString& device) {
    for (const char* folder : kLockFolders) {
        const QString path = QDir(QLatin1String(folder)).filePath(lockFileName(device));
        if (!QFileInfo::exists(path))
            continue;
        qint64 pid = 0;
        QString host, app;
        // A dead owner's file is stale: the next opener takes it over.
        if (!QLockFile(path).getLockInfo(&pid, &host, &app) || !alive(pid))
            return std::nullopt;
        const QString program = programOf(pid);
        return PortHolder{pid, program.isEmpty() ? app : program};
    }
    return std::nullopt;
}

std::optional<PortHolder> flockOwner(const QString& device) {
    struct stat st;
    if (::stat(QFile::encodeName(device).constData(), &st) != 0)
        return std::nullopt;
    QFile table(QStringLiteral("/proc/locks"));
    if (!table.open(QIODevice::ReadOnly))
        return std::nullopt;
    const qint64 pid = flockHolderIn(table.read(kMaxLockTableBytes), major(st.st_dev),
                                     minor(st.st_dev), st.st_ino);
    if (!alive(pid))
        return std::nullopt;
    return PortHolder{pid, programOf(pid)};
}

} // namespace

QString reachedDevice(const QString& path) {
    const QString device = QFileInfo(path).canonicalFilePath();
    return device.isEmpty() ? path : device;
}

DeviceLock::Result DeviceLock::take(const QString& device) {
    release();
    error_.clear();
    // Not a controlling terminal, and no wait for a carrier: opening must not
    // change anything on the line.
    const int fd =
        ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        error_ = QString::fromLocal8Bit(std::strerror(e));
        switch (e) {
        case ENOENT:
        case ENXIO:
        case ENODEV:
        case ENOTDIR:
            return Result::kMissing;
        case EACCES:
        case EPERM:
        case EROFS:
            return Result::kDenied;
        case EBUSY: // a terminal another program opened for itself alone
            return Result::kHeld;
        default:
            return Result::kFailed;
        }
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int e = errno;
        ::close(fd);
        error_ = QString::fromLocal8Bit(std::strerror(e));
        return e == EWOULDBLOCK ? Result::kHeld : Result::kFailed;
    }
    fd_ = fd;
    return Result::kTaken;
}

void DeviceLock::release() {
    if (fd_ >= 0)
        ::close(std::exchange(fd_, -1));
}

std::optional<PortHolder> deviceHolder(const QString& device) {
    if (std::optional<PortHolder> owner = lockFileOwner(device))
        return owner;
    return flockOwner(device);
}

} // namespace morvane
