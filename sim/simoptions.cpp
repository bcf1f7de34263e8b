// SPDX-License-Identifier: MIT
#include "simoptions.h"

#include <cerrno>
#include <cstdlib>

namespace morvane::sim {

const char* const kUsage =
    "usage: morvane-sim [options]\n"
    "Simulates the timer device on a pseudo-terminal; prints the slave path as the first\n"
    "line of standard output and runs until SIGTERM or SIGINT.\n"
    "  --link PATH          symbolic link PATH -> pty slave (replaced if present, removed on "
    "exit)\n"
    "  --table FILE         reservations kept in FILE: ten lines \"DD HH MM SS FF\" in hex\n"
    "  --log FILE           append every command line received to FILE\n"
    "  --silent             never answer\n"
    "  --nak K              answer the first K commands with \"N\"\n"
    "  --pieces N --gap MS  send each reply in N pieces, MS ms apart\n"
    "  --delay MS           answer MS ms after the command\n"
    "  --baud B             pace the line both ways at B bit/s, 10 bits a byte; a command\n"
    "                       counts from the arrival of its CR\n"
    "  --stray TEXT         send TEXT (no CR) after every reply\n"
    "  --stray-after MS     ... MS ms after the reply's last byte (default 0)\n"
    "  --unsolicited TEXT   send TEXT \"*\" CR unasked: once, 1000 ms after start, or\n"
    "  --every MS           ... every MS ms, the first MS ms after start\n"
    "  --stop-after K       answer the first K commands, then nothing\n"
    "  --vanish-after K     answer K commands; on the next one close the pty, remove the\n"
    "                       link and exit with status 0\n"
    "  --fail CMD           answer \"ERR\" to the command CMD (may be given again)\n"
    "  --version            print \"morvane-sim VERSION\" and exit\n"
    "  --help               print this text and exit\n";

namespace {

bool toNumber(const std::string& text, long lo, long hi, long* out) {
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi)
        return false;
    *out = v;
    return true;
}

} // namespace

std::optional<Options> parseOptions(const std::vector<std::string>& args, std::string* error) {
    Options o;
    auto fail = [&](const std::string& why) -> std::optional<Options> {
        *error = why;
        return std::nullopt;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h")
            return fail("");
        if (a == "--version") {
            o.showVersion = true;
            return o;
        }
        if (a == "--silent") {
            o.silent = true;
            continue;
        }
        if (i + 1 >= args.size())
            return fail("unknown option or missing value: " + a);
        const std::string& v = args[++i];
        long n = 0;
        auto number = [&](long lo, long hi) {
            if (!toNumber(v, lo, hi, &n))
                return false;
            return true;
        };
        constexpr long kMaxMs = 3600L * 1000;
        constexpr long kMaxCount = 1000000000L;
        bool ok = true;
        if (a == "--link")
            o.linkPath = v;
        else if (a == "--table")
            o.tablePath = v;
        else if (a == "--log")
            o.logPath = v;
        else if (a == "--fail")
            o.failing.push_back(v);
        else if (a == "--stray")
            o.stray = v;
        else if (a == "--unsolicited")
            o.unsolicited = v;
        else if (a == "--nak")
            ok = number(0, kMaxCount) && ((o.nak = int(n)), true);
        else if (a == "--pieces")
            ok = number(1, 1000) && ((o.pieces = int(n)), true);
        else if (a == "--gap")
            ok = number(0, kMaxMs) && ((o.gapMs = int(n)), true);
        else if (a == "--delay")
            ok = number(0, kMaxMs) && ((o.delayMs = int(n)), true);
        else if (a == "--baud")
            ok = number(1, 10000000) && ((o.baud = n), true);
        else if (a == "--stray-after")
            ok = number(0, kMaxMs) && ((o.strayAfterMs = int(n)), true);
        else if (a == "--every")
            ok = number(0, kMaxMs) && ((o.everyMs = int(n)), true);
        else if (a == "--stop-after")
            ok = number(0, kMaxCount) && ((o.stopAfter = int(n)), true);
        else if (a == "--vanish-after")
            ok = number(0, kMaxCount) && ((o.vanishAfter = int(n)), true);
        else
            return fail("unknown option: " + a);
        if (!ok)
            return fail("bad value for " + a + ": " + v);
    }
    if (o.unsolicited && o.unsolicited->empty())
        return fail("--unsolicited needs a non-empty text");
    return o;
}

} // namespace morvane::sim
