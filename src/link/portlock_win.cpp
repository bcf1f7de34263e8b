// SPDX-License-Identifier: MIT
// Device locks on Windows: the system opens a serial port for one process
// only, so there is nothing to add, and it does not tell who holds one.
#include "portlock.h"

namespace morvane {

const bool kHoldersKnown = false;

QString reachedDevice(const QString& path) {
    return path;
}

DeviceLock::Result DeviceLock::take(const QString&) {
    error_.clear();
    return Result::kTaken;
}

void DeviceLock::release() {}

std::optional<PortHolder> deviceHolder(const QString&) {
    return std::nullopt;
}

} // namespace morvane
