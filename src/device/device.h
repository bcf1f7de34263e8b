// SPDX-License-Identifier: MIT
#pragma once

#include "exchange.h"
#include "mscomm.h"
#include "views.h"

#include <QDateTime>
#include <QList>
#include <QStringList>
#include <functional>

namespace morvane {

// How an action on the device ended; its messages have been shown on the way.
enum class Outcome {
    kDone,         // every exchange answered, every file read or written
    kDeviceFailed, // an exchange failed or was refused, or the device answered "ERR"
    kFileFailed,   // a file could not be read or written
    kPortFailed,   // the port did not open
};

// How a read of the whole table ended.
enum class TableRead {
    kComplete,   // the clock and all ten reservations, each reply whole
    kGarbled,    // every command answered, but not every reply whole
    kFailed,     // an exchange failed, or the device answered "ERR"
    kPortClosed, // nothing was sent: the port is not open
};

// Asks the device for its clock ("QT", "QS"); Buff receives the clock line,
// possibly only its head when "QS" fails. True when the line is complete.
bool GetWatchTime(Link& link, QString& Buff);

// Reads the clock and reservations 0..9 into List1 (11 rows once complete).
// kFailed exactly when RecBuf holds "ERR" afterwards; with the port closed
// the list and RecBuf stay as they were.
TableRead Get_Time(Link& link, ListView& List1);

// Loads row I of the list into the editor (row 0: the PC's time, and a fresh
// clock row). True when the device answered.
bool Set_Time(Link& link, ListView& List1, EditorView& editor, int I, const QDateTime& now);

// Sends the editor's entry, then the settling pause. True when the device
// answered without "ERR".
bool TRN_Time(Link& link, const EditorView& editor);

// Reads row I's text back into the editor.
void List2Command(const ListView& List1, EditorView& editor, int I);

// Puts the PC's time and weekday into the editor and selects "現在".
void Set_NowTime(EditorView& editor, const QDateTime& now);

// Writes List1's reservation rows (1..10) to the backup file; false when the
// file could not be written.
bool WriteSetting(const ListView& List1, const QString& BackUpFile, const MessageFn& MessageError);

// The send button: the editor's entry goes to the device, the table is read
// back, and the backup is rewritten from the read-back only when it is
// complete, so a failed read never replaces the last good table.
Outcome sendEntry(Link& link, ListView& List1, const EditorView& editor, const QString& BackUpFile);

// Restores the backup file: clock from the PC first, then the file's lines
// (at most ten) to reservations 0.. in file order; List1 shows the file.
// `letEventsRun` runs the event queue between rows. FileErrNo as the file
// read leaves it.
Outcome ReadSetting(Link& link, ListView& List1, EditorView& editor, const QString& BackUpFile,
                    qint16& FileErrNo, const std::function<QDateTime()>& now,
                    const std::function<void()>& letEventsRun);

// The confirm button's work once the new settings are saved: the port
// closed (unless it already is), configured and opened again; then, with the
// port open, `opened` (the window shows its main panel), the editor reset to
// `now` and the table read again. kPortFailed when the port did not open,
// else kDone or, when the read failed, kDeviceFailed.
Outcome applySettings(Link& link, MSComm& MSComm1, const SysSettingsRecord& SysSettings,
                      const QString& AppDir, ListView& List1, EditorView& editor,
                      const QDateTime& now, const std::function<void()>& opened);

// ReadSetting for lines already read from the backup file (at most ten).
Outcome restoreLines(Link& link, ListView& List1, EditorView& editor, const QStringList& lines,
                     const std::function<QDateTime()>& now,
                     const std::function<void()>& letEventsRun);

// What stands in the way of restoring a backup file's lines as they are.
enum class RestoreFault {
    kNone,
    kNoReservation,  // no line at all, or blank lines only
    kLfLineEnds,     // a line holds LF: the reader splits at CR only
    kEmptyLine,      // the editor would keep the row before's values
    kNotReservation, // not a line of the reservation list
    kNoDay,          // a day code the timer does not take (8, or blank)
};

struct RestoreCheck {
    RestoreFault fault = RestoreFault::kNone;
    int line = 0;             // the first line at fault, counted from 1
    QList<int> powerOffLines; // lines that say POWER OFF, counted from 1
};

// The backup file's lines, as readBackupFile gives them, checked before any
// is sent: the editor keeps what it cannot read from a line, so a damaged
// line would go out with the values of the line before it.
RestoreCheck checkRestoreLines(const QStringList& lines);

// The clock set from the PC and read back. The clock line is empty unless
// the outcome is kDone.
struct ClockSync {
    Outcome outcome = Outcome::kDeviceFailed;
    QString clock;
};

// Sets the device's clock to `now` through the editor's clock entry, then
// reads it back; after a set the device did not answer nothing is read.
ClockSync syncClock(Link& link, EditorView& editor, const QDateTime& now);

} // namespace morvane
