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
    kExitDevice = 1, // no answer, "ERR", or no port
    kExitUsage = 2,
    kExitFile = 3,
};

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

// A reservation row of the list ("予約3:水　12:34:56  ENABLE  POWER ON ").
struct ShownReservation {
    int number = 0;
    std::optional<int> day; // 0..8 (8 has no name); empty for a code shown as blanks
    int hour = 0, minute = 0, second = 0;
    bool enabled = false;
    bool powerOff = false;
};
// Nothing when the text is not a row the program writes.
std::optional<ShownReservation> parseReservationRow(const QString& row);

// The eleven rows of a table read as {"clock": {"day", "time"},
// "reservations": [{"number", "day", "time", "enabled", "action"}, ...]};
// a row that does not parse is null.
QJsonObject tableJson(const QStringList& rows);

int exitCode(Outcome outcome);

} // namespace morvane
