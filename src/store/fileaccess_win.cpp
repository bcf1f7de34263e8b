// SPDX-License-Identifier: MIT
// File access on Windows, through Qt: QSaveFile replaces a file in one step.
#include <QtGlobal>

#ifdef Q_OS_WIN

#include "fileaccess.h"

#include "textfile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace morvane {

namespace {

int mapFileError(const QFileDevice& f, const QString& name) {
    switch (f.error()) {
    case QFileDevice::NoError:
        return kFileErrNone;
    case QFileDevice::OpenError:
        if (QFileInfo(name).isDir())
            return kFileErrPathAccess;
        if (!QFileInfo(name).absoluteDir().exists())
            return kFileErrPathNotFound;
        if (!QFileInfo::exists(name))
            return kFileErrNotFound;
        return kFileErrAccessDenied;
    case QFileDevice::PermissionsError:
        return kFileErrAccessDenied;
    case QFileDevice::ResourceError:
        return kFileErrDiskFull;
    case QFileDevice::ReadError:
    case QFileDevice::WriteError:
        return kFileErrIO;
    default:
        return kFileErrPathAccess;
    }
}

} // namespace

int readFile(const QString& name, QByteArray& bytes) {
    if (name.isEmpty() || name.contains(QChar(0)))
        return kFileErrBadNameOrNumber;
    QFile f(name);
    if (!f.open(QIODevice::ReadOnly))
        return mapFileError(f, name);
    if (f.size() > kMaxTextFileBytes)
        return kFileErrTooLarge;
    bytes = f.read(kMaxTextFileBytes + 1);
    if (f.error() != QFileDevice::NoError)
        return mapFileError(f, name);
    if (bytes.size() > kMaxTextFileBytes)
        return kFileErrTooLarge;
    return kFileErrNone;
}

int writeFile(const QString& name, const QByteArray& bytes) {
    if (name.isEmpty() || name.contains(QChar(0)))
        return kFileErrBadNameOrNumber;
    const QFileInfo info(name);
    if (info.isDir())
        return kFileErrPathAccess;
    if (info.exists() && !info.isWritable())
        return kFileErrAccessDenied;
    QSaveFile f(name);
    f.setDirectWriteFallback(false);
    if (!f.open(QIODevice::WriteOnly))
        return mapFileError(f, name);
    if (f.write(bytes) != bytes.size()) {
        const int err = mapFileError(f, name);
        f.cancelWriting();
        return err == kFileErrNone ? kFileErrIO : err;
    }
    if (!f.commit()) {
        const int err = mapFileError(f, name);
        return err == kFileErrNone ? kFileErrIO : err;
    }
    return kFileErrNone;
}

} // namespace morvane

#endif
