// SPDX-License-Identifier: MIT
// morvane-sim: the timer device on a pseudo-terminal, for tests and benchmarks.
#include "simdevice.h"
#include "simoptions.h"
#include "simserver.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

using namespace morvane;

namespace {

constexpr std::streamsize kMaxTableFile = 64 * 1024;

// Loads the table file, or creates it with an empty table when it is missing.
bool prepareTable(const std::string& path, sim::SimDevice& device, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (errno != ENOENT) {
            *error = "cannot read " + path + ": " + std::strerror(errno);
            return false;
        }
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << sim::formatTable(device.table());
        if (!out.flush()) {
            *error = "cannot create " + path;
            return false;
        }
        return true;
    }
    std::string text(std::size_t(kMaxTableFile) + 1, '\0');
    in.read(text.data(), kMaxTableFile + 1);
    text.resize(std::size_t(in.gcount()));
    if (text.size() > std::size_t(kMaxTableFile)) {
        *error = path + ": file too large for a reservation table";
        return false;
    }
    std::string why;
    const auto table = sim::parseTable(text, &why);
    if (!table) {
        *error = path + ": " + why;
        return false;
    }
    device.setTable(*table);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::string error;
    const auto options = sim::parseOptions(std::vector<std::string>(argv + 1, argv + argc), &error);
    if (!options) {
        if (error.empty()) {
            std::fputs(sim::kUsage, stdout);
            return 0;
        }
        std::fprintf(stderr, "morvane-sim: %s\n%s", error.c_str(), sim::kUsage);
        return 2;
    }
    if (options->showVersion) {
        std::printf("morvane-sim %s\n", MORVANE_VERSION);
        return 0;
    }
    sim::SimDevice device;
    if (!options->tablePath.empty() && !prepareTable(options->tablePath, device, &error)) {
        std::fprintf(stderr, "morvane-sim: %s\n", error.c_str());
        return 2;
    }
    sim::SimServer server(*options, device);
    if (!server.open(&error)) {
        std::fprintf(stderr, "morvane-sim: %s\n", error.c_str());
        return 1;
    }
    return server.run();
}
