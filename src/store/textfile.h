#pragma once

#include "messagefn.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace morvane {

// Sizes of the line arrays the callers make.
inline constexpr int ReadLineArraySize = 1025; // indices 0..1024
inline constexpr int WriteLineArraySize = 129; // indices 0..128

// Largest file TextFileRead accepts; anything bigger fails with FileErrTooLarge.
inline constexpr qint64 MaxTextFileBytes = 1024 * 1024;

// File error numbers. The table's own numbers, plus the ones this program
// adds for conditions the table does not list (shown with the generic text).
enum FileErr : int {
    FileErrNone = 0,
    FileErrBadText = 5,      // bytes or characters code page 932 cannot carry
    FileErrTooLarge = 7,     // file above MaxTextFileBytes
    FileErrTooManyLines = 9, // more lines than the caller's array holds
    FileErrBadNameOrNumber = 52,
    FileErrNotFound = 53,
    FileErrBadMode = 54,
    FileErrAlreadyOpen = 55,
    FileErrIO = 57,
    FileErrDiskFull = 61,
    FileErrPastEnd = 62,
    FileErrBadName = 64,
    FileErrDeviceUnavailable = 68,
    FileErrAccessDenied = 70,
    FileErrDiskNotReady = 71,
    FileErrPathAccess = 75,
    FileErrPathNotFound = 76,
};

// The message for a file error number; empty for 0.
QString fileErrorText(int errNo);

// Shows the message for errNo through MessageError; 0 shows nothing.
void MessgFileErr(int errNo, const MessageFn& MessageError);

// Decodes a whole file's bytes (code page 932, CR or CR LF line ends) into
// rData, as TextFileRead does after reading the file. Returns the file error
// number (0 on success); on failure rData is left as it was and LINECOUNT 0.
int TextFileDecode(const QByteArray& bytes, QStringList& rData, qint16& LINECOUNT);

// Reads the whole file into rData (entries 0..LINECOUNT-1). rData is sized by
// the caller and never resized. On failure ErrFG = 1, FileErrNo = the number,
// the message is shown, and the caller must ignore LINECOUNT and rData.
void TextFileRead(const QString& FILENAME, QStringList& rData, qint16& LINECOUNT, qint16& ErrFG,
                  qint16& FileErrNo, const MessageFn& MessageError);

// Replaces the file with entries 0..LINECOUNT of wData, each ended by CR LF.
// The old file stays untouched unless every line was written. ErrFG is set to
// 0 on success and left as passed on failure.
void TextFileWrite(const QString& FILENAME, const QStringList& wData, qint16 LINECOUNT,
                   qint16& ErrFG, const MessageFn& MessageError);

} // namespace morvane
