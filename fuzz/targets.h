// SPDX-License-Identifier: MIT
// Bodies of the fuzz targets, shared by the libFuzzer executables and the
// regression test that replays the corpus and the saved findings.
#pragma once

#include <cstddef>
#include <cstdint>

namespace morvane::fuzz {

// Each body returns 0 and aborts with a message when an invariant breaks.
int fuzzSysFile(const uint8_t* data, size_t size);  // settings file reader
int fuzzTextFile(const uint8_t* data, size_t size); // code page 932 decoding and lines
int fuzzReplies(const uint8_t* data, size_t size);  // clock and reservation replies
int fuzzListLine(const uint8_t* data, size_t size); // list line parsed into the editor
int fuzzNumber(const uint8_t* data, size_t size);   // Val and rounding
int fuzzExchange(const uint8_t* data, size_t size); // CMM_TRNA / CMM_REC on a chunked port
int fuzzTyped(const uint8_t* data, size_t size);    // the panel's boxes, the command line

using Body = int (*)(const uint8_t*, size_t);
struct Target {
    const char* name; // directory name under fuzz/corpus and fuzz/regressions
    Body body;
};
inline constexpr Target kTargets[] = {
    {"sysfile", fuzzSysFile},   {"textfile", fuzzTextFile}, {"replies", fuzzReplies},
    {"listline", fuzzListLine}, {"number", fuzzNumber},     {"exchange", fuzzExchange},
    {"typed", fuzzTyped},
};

// Named in the message of a broken invariant (the regression test sets it).
void setInputName(const char* name);

} // namespace morvane::fuzz
