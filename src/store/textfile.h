// SPDX-License-Identifier: MIT
#pragma once

#include "messagefn.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace morvane {

// Sizes of the line arrays the callers make.
inline constexpr int kReadLineArraySize = 1025; // indices 0..1024
inline constexpr int kWriteLineArraySize = 129; // indices 0..128

// Largest file TextFileRead accepts; anything bigger fails with kFileErrTooLarge.
inline constexpr qint64 kMaxTextFileBytes = 1024 * 1024;

// File error numbers. The table's own numbers, plus the ones this program
// adds for conditions the table does not list (shown with the generic text).
enum FileErr : int {
    kFileErrNone = 0,
    kFileErrBadText = 5,      // bytes or characters code page 932 cannot carry
    kFileErrTooLarge = 7,     // file above kMaxTextFileBytes
    kFileErrTooManyLines = 9, // more lines than the caller's array holds
    kFileErrBadNameOrNumber = 52,
    kFileErrNotFound = 53,
    kFileErrBadMode = 54,
    kFileErrAlreadyOpen = 55,
    kFileErrIO = 57,
    kFileErrDiskFull = 61,
    kFileErrPastEnd = 62,
    kFileErrBadName = 64,
    kFileErrDeviceUnavailable = 68,
    kFileErrAccessDenied = 70,
    kFileErrDiskNotReady = 71,
    kFileErrPathAccess = 75,
    kFileErrPathNotFound = 76,
};

// Code page 932 (Shift_JIS) conversion of a whole text, as the files are
// read and written; false when a byte or character does not convert.
bool decodeCp932(const QByteArray& bytes, QString& text);
bool encodeCp932(const QString& text, QByteArray& bytes);

// The message for a file error number; empty for 0.
QString fileErrorText(int errNo);

// Shows the message for errNo through MessageError; 0 shows nothing.
void MessgFileErr(int errNo, const MessageFn& MessageError);

// Decodes a whole file's bytes (code page 932, CR or CR LF line ends) into
// rData, as TextFileRead does after reading the file. Returns the file error
// number (0 on success); on failure rData is left as it was and LINECOUNT 0.
int textFileDecode(const QByteArray& bytes, QStringList& rData, qint16& LINECOUNT);

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
