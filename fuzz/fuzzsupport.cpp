// SPDX-License-Identifier: MIT
#include "fuzzsupport.h"

#include <cstdio>
#include <cstdlib>

namespace morvane::fuzz {

namespace {

const char* inputName = nullptr;

} // namespace

void setInputName(const char* name) {
    inputName = name;
}

void checkFailed(const char* expr, const char* file, int line) {
    std::fprintf(stderr, "fuzz invariant broken at %s:%d: %s%s%s\n", file, line, expr,
                 inputName ? " input: " : "", inputName ? inputName : "");
    std::fflush(stderr);
    std::abort();
}

} // namespace morvane::fuzz
