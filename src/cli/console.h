// SPDX-License-Identifier: MIT
// Standard output and standard error as morvane-cli writes them: every line
// flushed and checked, so that a script learns from the exit status when
// what it asked for never arrived.
#pragma once

#include <QString>

#include <cstdio>

namespace morvane {

class Console {
public:
    // On POSIX systems, a standard descriptor (0..2) closed at start gets
    // /dev/null, so that no file or port opened later takes its number and
    // receives the program's output; a closed output is remembered as failed
    // and its first line reports that.
    Console();

    // Writes the text and a line end to standard output and flushes it. On
    // the first failure, says so on standard error; false for that and every
    // later line.
    bool out(const QString& text);
    // The same for standard error, where a failure can only be remembered.
    bool err(const QString& text);

    // `status`, or kExitFile in place of 0 when a write failed.
    int finish(int status) const;

private:
    static bool write(std::FILE* to, const QString& text);
    void outLost(int error); // says on standard error why standard output failed

    bool outClosed_ = false; // at start
    bool errClosed_ = false;
    bool outFailed_ = false;
    bool errLost_ = false; // a line meant for standard error did not get there
};

} // namespace morvane
