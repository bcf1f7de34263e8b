// SPDX-License-Identifier: MIT
// Command-line options of morvane-sim.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace morvane::sim {

struct Options {
    std::string linkPath;  // --link: symbolic link to the pty slave
    std::string tablePath; // --table: reservations kept in this file
    std::string logPath;   // --log: every command line appended here
    bool silent = false;   // --silent: never answer
    int nak = 0;           // --nak K: answer the first K commands with "N"
    int pieces = 1;        // --pieces N: split each reply into N pieces
    int gapMs = 0;         // --gap MS: pause between pieces
    int delayMs = 0;       // --delay MS: answer this late
    long baud = 0;         // --baud B: pace both ways at B bit/s (10 bits a byte); 0 = unpaced
    std::string stray;     // --stray TEXT: sent after every reply, no terminator
    int strayAfterMs = 0;  // --stray-after MS: pause between a reply and its stray text
    std::optional<std::string> unsolicited; // --unsolicited TEXT: sent as TEXT "*" CR
    int everyMs = 0;                  // --every MS: repeat period of the unsolicited text; 0 = once
    int stopAfter = -1;               // --stop-after K: answer K commands, then nothing
    int vanishAfter = -1;             // --vanish-after K: close the pty on command K+1
    std::vector<std::string> failing; // --fail CMD: answer "ERR" to this command (repeatable)
    bool showVersion = false;         // --version: print the version and exit
};

// Returns the options, or nothing with a message in *error. "--help" gives
// nothing with an empty error; "--version" gives options with showVersion set
// and the rest of the arguments unread.
std::optional<Options> parseOptions(const std::vector<std::string>& args, std::string* error);

extern const char* const kUsage;

} // namespace morvane::sim
