// SPDX-License-Identifier: MIT
// The one loop that writes a whole buffer to a POSIX descriptor, for the
// program's file access and for the simulator.
#pragma once

#include <cerrno>
#include <cstddef>
#include <unistd.h>

namespace morvane {

// Writes all `size` bytes, again after an interrupted or short write; false
// with errno set when the system refuses.
inline bool writeAll(int fd, const char* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t w = ::write(fd, data + done, size - done);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(w);
    }
    return true;
}

} // namespace morvane
