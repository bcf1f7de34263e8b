// SPDX-License-Identifier: MIT
// The decisions of morvane-cli: what the command line asks for, what a list
// row holds, the table as JSON and the exit status of an action.
#pragma once

#include "device.h"
#include "formats.h"

#include <QJsonObject>
#include <QStringList>
#include <optional>

namespace morvane {

// The program's exit status.
enum ExitCode : int {
    kExitDone = 0,
    kExitDevice = 1, // no answer, "ERR", the line failed or the port did not open
    kExitUsage = 2,  // nothing sent
    kExitFile = 3,   // a file, standard output or standard error failed
    kExitBusy = 4,   // another program holds the port; nothing sent
};

// Longest --wait: a day.
inline constexpr int kMaxWaitSeconds = 86400;

// The command line taken apart: options anywhere up to "--", the command and
// its arguments in order. A word starting with a single "-" (other than -h
// and -v) is an argument, so that a value like "-1:00:00" reaches the check
// that can name what is wrong with it.
struct CommandLine {
    QStringList words; // the command and its arguments
    std::optional<QString> dir;
    int waitSeconds = 0;
    bool json = false;
    bool help = false;
    bool version = false;
};
// Nothing, with the reason in *error, for an unknown "--" option, an option
// without its value, or a --wait other than whole seconds 0..kMaxWaitSeconds.
std::optional<CommandLine> splitArguments(const QStringList& args, QString* error);

enum class Action { kShow, kSyncClock, kSet, kBackup, kRestore };

// One command line's request, checked in full before the device is touched.
struct Request {
    Action action = Action::kShow;
    bool json = false;
    EditorValues entry; // kSet: the editor as the window's send would find it
    QString file;       // kBackup, kRestore: as given; empty for the settings file's
};

// The command and its arguments (options taken out): nothing, with the
// reason in *error, for an unknown command, a wrong number of arguments, a
// reservation outside 0..9, a day other than sun..sat, every or 0..7, a time
// outside 0:00:00..23:59:59, a flag other than on or off, or --json with a
// command that prints no table.
std::optional<Request> parseRequest(const QStringList& args, bool json, QString* error);

// The eleven rows of a table read as {"clock": {"day", "time"},
// "reservations": [{"number", "day", "time", "enabled", "action"}, ...]};
// a row that does not parse is null.
QJsonObject tableJson(const QStringList& rows);

int exitCode(Outcome outcome);

} // namespace morvane
