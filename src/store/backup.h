// SPDX-License-Identifier: MIT
#pragma once

#include "messagefn.h"

#include <QString>
#include <QStringList>

namespace morvane {

// A backup file holds one line for each of the timer's ten reservations.
inline constexpr int kBackupLines = 10;

// Writes `lines` as the backup file: ten lines, a missing one empty, any
// beyond the tenth dropped. False when the file could not be written; the
// message has been shown and the old file is untouched.
bool writeBackupFile(const QString& BackUpFile, const QStringList& lines,
                     const MessageFn& MessageError);

// Reads the backup file: true with at most its first ten lines in `lines`,
// since further lines have no reservation to go to. On failure the message
// has been shown and FileErrNo holds the error number, except that a missing
// file (53), once told, is not kept.
bool readBackupFile(const QString& BackUpFile, QStringList& lines, qint16& FileErrNo,
                    const MessageFn& MessageError);

} // namespace morvane
