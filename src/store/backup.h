#pragma once

#include "messagefn.h"

#include <QString>
#include <QStringList>

namespace morvane {

// Rows 1..10 of the list go to lines 1..10 of the backup file; a missing row
// is an empty line. `rows` is the whole list, row 0 (the clock) included.
void WriteBackupFile(const QString& BackUpFile, const QStringList& rows,
                     const MessageFn& MessageError);

// Reads the backup file; on success returns true with at most the first ten
// lines in `lines`. On failure the message has been shown and FileErrNo is
// set (53, file not found, is reset to 0).
bool ReadBackupFile(const QString& BackUpFile, QStringList& lines, qint16& FileErrNo,
                    const MessageFn& MessageError);

} // namespace morvane
