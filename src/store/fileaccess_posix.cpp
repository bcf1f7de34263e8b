// SPDX-License-Identifier: MIT
// File access on POSIX systems: errno mapped to the file error numbers,
// symbolic links followed so that they survive a replace, devices and FIFOs
// written in place.
#include "fileaccess.h"

#include "textfile.h"
#include "writeall_posix.h"

#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morvane {

namespace {

// The directory part of a local path ("." when there is none).
QByteArray parentOf(QByteArray path) {
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    if (slash == 0)
        return QByteArrayLiteral("/");
    return path.left(slash);
}

bool isDirectory(const QByteArray& path) {
    struct stat st;
    return ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// errno to the program's file error numbers. A missing file and a missing
// directory share ENOENT; the parent directory tells them apart.
int mapErrno(int e, const QByteArray& path) {
    switch (e) {
    case ENOENT:
        return isDirectory(parentOf(path)) ? kFileErrNotFound : kFileErrPathNotFound;
    case ENOTDIR:
        return kFileErrPathNotFound;
    case ENAMETOOLONG:
        return kFileErrBadName;
    case EINVAL:
    case ELOOP:
        return kFileErrBadNameOrNumber;
    case EACCES:
    case EPERM:
    case EROFS:
    case EBUSY:
    case ETXTBSY:
        return kFileErrAccessDenied;
    case EISDIR:
        return kFileErrPathAccess;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return kFileErrDiskFull;
    case EIO:
        return kFileErrIO;
    case ENXIO:
    case ENODEV:
        return kFileErrDeviceUnavailable;
    default:
        return kFileErrPathAccess;
    }
}

// A local file name, or empty when the text cannot name a file.
QByteArray localName(const QString& name) {
    if (name.isEmpty() || name.contains(QChar(0)))
        return QByteArray();
    return QFile::encodeName(name);
}

int readWholeFile(const QByteArray& path, QByteArray& bytes) {
    // O_NONBLOCK keeps the open of a FIFO without writer from hanging.
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return mapErrno(errno, path);
    int err = kFileErrNone;
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        err = mapErrno(errno, path);
    } else if (S_ISDIR(st.st_mode)) {
        err = kFileErrPathAccess;
    } else if (st.st_size > kMaxTextFileBytes) {
        err = kFileErrTooLarge;
    } else {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        // Devices and FIFOs report no size: the limit is enforced while reading.
        bytes.clear();
        char chunk[64 * 1024];
        while (err == kFileErrNone && bytes.size() <= kMaxTextFileBytes) {
            // Never more than one byte past the limit.
            const qint64 room = kMaxTextFileBytes + 1 - bytes.size();
            const ssize_t r =
                ::read(fd, chunk, size_t(std::min<qint64>(qint64(sizeof chunk), room)));
            if (r > 0)
                bytes.append(chunk, r);
            else if (r == 0)
                break;
            else if (errno != EINTR)
                err = mapErrno(errno, path);
        }
        if (err == kFileErrNone && bytes.size() > kMaxTextFileBytes)
            err = kFileErrTooLarge;
    }
    ::close(fd);
    return err;
}

int writeBytes(int fd, const QByteArray& bytes, const QByteArray& path) {
    return writeAll(fd, bytes.constData(), std::size_t(bytes.size())) ? kFileErrNone
                                                                      : mapErrno(errno, path);
}

// Follows symbolic links so the link itself survives the rename; a dangling
// link names the file to create.
QByteArray resolveLinks(QByteArray path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        char buf[PATH_MAX];
        const ssize_t n = ::readlink(path.constData(), buf, sizeof buf);
        if (n <= 0 || n >= ssize_t(sizeof buf))
            return path;
        QByteArray target(buf, n);
        if (!target.startsWith('/')) {
            const QByteArray dir = parentOf(path);
            target = (dir == "/" ? QByteArray() : dir) + '/' + target;
        }
        path = target;
    }
    return path;
}

// Devices and FIFOs cannot be replaced by a rename: write into them in place.
int writeInPlace(const QByteArray& path, const QByteArray& bytes) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return mapErrno(errno, path);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    int err = writeBytes(fd, bytes, path);
    if (::close(fd) != 0 && err == kFileErrNone && errno != EINTR)
        err = mapErrno(errno, path);
    return err;
}

QByteArray tempNameFor(const QByteArray& target) {
    const QByteArray dir = parentOf(target);
    QByteArray base = target.mid(target.lastIndexOf('/') + 1);
    // Keep the temporary name within NAME_MAX even for a long target name.
    if (base.size() > 200)
        base = QByteArrayLiteral("morvane");
    const QByteArray tag = QByteArray::number(QRandomGenerator::global()->generate(), 36);
    return (dir == "/" ? QByteArray() : dir) + "/." + base + '.' + tag + ".tmp";
}

int writeReplacing(const QByteArray& target, const QByteArray& bytes, bool exists,
                   const struct stat& old) {
    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = tempNameFor(target);
        // 0666 lets the umask decide a new file's mode, as for a plain create.
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return mapErrno(errno, target);
    }
    if (fd < 0)
        return kFileErrPathAccess;

    int err = kFileErrNone;
    if (exists) {
        // Owner first: chown may clear set-id bits that fchmod then restores.
        // Either may be refused to a user that is not the owner; the data
        // matters more than the mode, so that is not a failure.
        (void)!::fchown(fd, old.st_uid, old.st_gid);
        (void)::fchmod(fd, old.st_mode & 07777);
    }
    err = writeBytes(fd, bytes, target);
    if (err == kFileErrNone && ::fsync(fd) != 0)
        err = mapErrno(errno, target);
    if (::close(fd) != 0 && err == kFileErrNone && errno != EINTR)
        err = mapErrno(errno, target);
    if (err == kFileErrNone && ::rename(temp.constData(), target.constData()) != 0)
        err = mapErrno(errno, target);
    if (err != kFileErrNone) {
        ::unlink(temp.constData());
        return err;
    }
    // Make the rename itself durable; a failure here loses nothing already
    // visible, so it is not reported.
    const int dfd = ::open(parentOf(target).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return kFileErrNone;
}

} // namespace

int readFile(const QString& name, QByteArray& bytes) {
    const QByteArray path = localName(name);
    if (path.isEmpty())
        return kFileErrBadNameOrNumber;
    return readWholeFile(path, bytes);
}

int writeFile(const QString& name, const QByteArray& bytes) {
    const QByteArray given = localName(name);
    if (given.isEmpty())
        return kFileErrBadNameOrNumber;
    const QByteArray target = resolveLinks(given);
    struct stat st;
    if (::stat(target.constData(), &st) == 0) {
        if (!S_ISREG(st.st_mode))
            return writeInPlace(target, bytes);
        // A read-only file stays read-only even though its directory would
        // let a rename replace it.
        if (::access(target.constData(), W_OK) != 0)
            return mapErrno(errno, target);
        return writeReplacing(target, bytes, true, st);
    }
    if (errno != ENOENT)
        return mapErrno(errno, target);
    return writeReplacing(target, bytes, false, st);
}

} // namespace morvane
