// SPDX-License-Identifier: MIT
// One owner per serial device: the device a port path reaches, an exclusive
// lock on it, and who holds it when the lock is taken.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace morvane {

// A process that holds a serial device, as far as the system tells.
struct PortHolder {
    qint64 pid = 0;  // 0 when the system does not tell
    QString program; // empty when the system does not tell
    bool operator==(const PortHolder&) const = default;
};

// Whether this system can tell who holds a device without taking it.
extern const bool kHoldersKnown;

// The device a port path reaches, every symbolic link followed, so that two
// links to one adapter name one device and so share one lock. A path that
// leads nowhere stays as given, and so does a port name on Windows.
QString reachedDevice(const QString& path);

// An exclusive advisory lock on a serial device, taken before the device is
// opened for use and held while it is open. Unlike the exclusive-open flag of
// a terminal, it binds every process that asks for it, root included, and the
// system drops it when its holder dies, so a crashed program leaves nothing
// stale behind.
class DeviceLock {
public:
    enum class Result {
        kTaken,   // this process holds the device now
        kHeld,    // another process holds it
        kMissing, // there is no such device
        kDenied,  // this user may not open it
        kFailed,  // anything else; see errorString()
    };

    DeviceLock() = default;
    ~DeviceLock() { release(); }
    DeviceLock(const DeviceLock&) = delete;
    DeviceLock& operator=(const DeviceLock&) = delete;

    Result take(const QString& device);
    void release();
    bool held() const { return fd_ >= 0; }
    QString errorString() const { return error_; }

private:
    int fd_ = -1;
    QString error_;
};

// Who holds the device now, read without taking anything: the owner named in
// the toolkit's lock file while that process lives, else the holder of an
// advisory lock in the system's lock table. Nothing when nobody holds it (or
// the system cannot tell, see kHoldersKnown).
std::optional<PortHolder> deviceHolder(const QString& device);

// The process holding an advisory whole-file lock on the file with the given
// device numbers and inode, from the text of the system's lock table
// (/proc/locks); 0 when there is none. Waiting requests ("->") do not count.
qint64 flockHolderIn(const QByteArray& table, unsigned major, unsigned minor, quint64 inode);

// The name of the toolkit's lock file for a device ("LCK..ttyUSB0" for
// /dev/ttyUSB0, "LCK.._dev_x_COM1" elsewhere), without its folder.
QString lockFileName(const QString& device);

} // namespace morvane
