// SPDX-License-Identifier: MIT
#pragma once

#include "messagefn.h"

#include <QString>

namespace morvane {

// The settings record; each field carries its key's name in the settings file.
struct SysSettingsRecord {
    qint16 COMPORT = 1;
    qint16 BAUDRATE = 9600;
    qint16 BITS = 8;
    QString PARITY = QStringLiteral("N");
    qint16 STOPS = 1;
    qint16 ComTimeOut = 2;
    qint16 ComReTry = 1;
    QString BackUpFile;
    bool operator==(const SysSettingsRecord&) const = default;
};

// AppDir joined with a file name by the platform's separator ("\" on Windows).
// Plain concatenation: a root directory gives a doubled separator.
QString appFilePath(const QString& AppDir, const QString& name);

// The process's current directory in native form, no trailing separator
// except at a root.
QString currentAppDir();

// Whether paths read from the settings file keep their case (file systems
// with case-sensitive names).
bool pathsAreCaseSensitive();

void SetDefaultSys(const QString& AppDir, SysSettingsRecord& SysSettings, QString& SysFileName);

// Reads the file into the record; when it is missing, writes the record to a
// new file. FileErrNo as TextFileRead leaves it (53 is reset to 0).
// keepPathCase: see pathsAreCaseSensitive().
void ReadSys(const QString& SysFileName, SysSettingsRecord& SysSettings, qint16& FileErrNo,
             const MessageFn& MessageError, bool keepPathCase = pathsAreCaseSensitive());

void WriteSys(const QString& SysFileName, const SysSettingsRecord& SysSettings,
              const MessageFn& MessageError);

} // namespace morvane
