// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

namespace morvane {

// The platform's file access behind the whole-file text procedures. Both
// return the program's file error number, 0 on success.

// Reads the whole file, at most kMaxTextFileBytes + 1 bytes of it.
int readFile(const QString& name, QByteArray& bytes);

// Replaces the file with `bytes`, or leaves it as it was: written aside and
// renamed over it, so a failure never leaves half a file.
int writeFile(const QString& name, const QByteArray& bytes);

} // namespace morvane
