#include "textfile.h"

#include <QByteArray>
#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <limits>

#ifdef Q_OS_WIN
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#else
#include <QRandomGenerator>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace morvane {

namespace {

// The files' code page; ICU knows it only by name.
const char* const kFileCodec = "Shift_JIS";

// Converts the whole file in one call so a lead byte cut off at the end is an
// error rather than silently held back.
bool decodeText(const QByteArray& bytes, QString& text) {
    QStringDecoder dec(kFileCodec, QStringConverter::Flag::Stateless);
    if (!dec.isValid())
        return false;
    text = dec.decode(bytes);
    return !dec.hasError();
}

bool encodeText(const QString& text, QByteArray& bytes) {
    QStringEncoder enc(kFileCodec, QStringConverter::Flag::Stateless);
    if (!enc.isValid())
        return false;
    bytes = enc.encode(text);
    return !enc.hasError();
}

// CR ends a line and swallows an LF right after it; a lone LF is text.
QStringList splitLines(const QString& text) {
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (text.at(i) != QLatin1Char('\r'))
            continue;
        lines.append(text.mid(start, i - start));
        if (i + 1 < n && text.at(i + 1) == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.append(text.mid(start));
    return lines;
}

#ifndef Q_OS_WIN

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
        bytes.resize(kMaxTextFileBytes + 1);
        qint64 got = 0;
        while (got < bytes.size()) {
            const ssize_t r = ::read(fd, bytes.data() + got, size_t(bytes.size() - got));
            if (r < 0) {
                if (errno == EINTR)
                    continue;
                err = mapErrno(errno, path);
                break;
            }
            if (r == 0)
                break;
            got += r;
        }
        if (err == kFileErrNone && got > kMaxTextFileBytes)
            err = kFileErrTooLarge;
        bytes.resize(got);
        bytes.squeeze();
    }
    ::close(fd);
    return err;
}

int writeAll(int fd, const QByteArray& bytes, const QByteArray& path) {
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t w = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return mapErrno(errno, path);
        }
        done += w;
    }
    return kFileErrNone;
}

// Follows symbolic links so the link itself survives the rename; a dangling
// link names the file to create.
QByteArray resolveLinks(QByteArray path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        QByteArray target(PATH_MAX, '\0');
        const ssize_t n = ::readlink(path.constData(), target.data(), size_t(target.size()));
        if (n <= 0 || n >= target.size())
            return path;
        target.truncate(n);
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
    int err = writeAll(fd, bytes, path);
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
    err = writeAll(fd, bytes, target);
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

#else // Q_OS_WIN

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

#endif

} // namespace

QString fileErrorText(int errNo) {
    switch (errNo) {
    case kFileErrNone:
        return QString();
    case kFileErrBadNameOrNumber:
    case kFileErrBadName:
        return QStringLiteral("ファイル名が間違っています。");
    case kFileErrNotFound:
        return QStringLiteral("ファイル名が見つかりません。");
    case kFileErrBadMode:
        return QStringLiteral("このモードではファイルを開けません。");
    case kFileErrAlreadyOpen:
        return QStringLiteral("ファイルは既に開かれています。");
    case kFileErrIO:
        return QStringLiteral("固定ディスク エラーが発生しました。");
    case kFileErrDiskFull:
        return QStringLiteral("ディスクがいっぱいです。");
    case kFileErrPastEnd:
        return QStringLiteral("ファイルの終端記号が見つかりません。");
    case kFileErrDeviceUnavailable:
        return QStringLiteral("デバイスが準備されていません。");
    case kFileErrDiskNotReady:
        return QStringLiteral("ディスクをドライブに挿入してください。");
    case kFileErrPathNotFound:
        return QStringLiteral("指定されたパスが存在しません。");
    default:
        return QStringLiteral("エラー番号%1が発生しました。").arg(errNo);
    }
}

void MessgFileErr(int errNo, const MessageFn& MessageError) {
    if (errNo == kFileErrNone || !MessageError)
        return;
    MessageError(fileErrorText(errNo));
}

int textFileDecode(const QByteArray& bytes, QStringList& rData, qint16& LINECOUNT) {
    LINECOUNT = 0;
    if (bytes.size() > kMaxTextFileBytes)
        return kFileErrTooLarge;
    QString text;
    if (!decodeText(bytes, text))
        return kFileErrBadText;
    const QStringList lines = splitLines(text);
    // Checked before storing anything, so a file too long leaves rData as it was.
    if (lines.size() > rData.size() || lines.size() > std::numeric_limits<qint16>::max())
        return kFileErrTooManyLines;
    for (qsizetype i = 0; i < lines.size(); ++i)
        rData[i] = lines.at(i);
    LINECOUNT = static_cast<qint16>(lines.size());
    return kFileErrNone;
}

void TextFileRead(const QString& FILENAME, QStringList& rData, qint16& LINECOUNT, qint16& ErrFG,
                  qint16& FileErrNo, const MessageFn& MessageError) {
    LINECOUNT = 0;
    QByteArray bytes;
    int err = readFile(FILENAME, bytes);
    if (err == kFileErrNone)
        err = textFileDecode(bytes, rData, LINECOUNT);
    if (err != kFileErrNone) {
        FileErrNo = static_cast<qint16>(err);
        MessgFileErr(err, MessageError);
        ErrFG = 1;
        return;
    }
    ErrFG = 0;
}

void TextFileWrite(const QString& FILENAME, const QStringList& wData, qint16 LINECOUNT,
                   qint16& ErrFG, const MessageFn& MessageError) {
    int err = kFileErrNone;
    QByteArray bytes;
    if (LINECOUNT >= wData.size()) {
        err = kFileErrTooManyLines;
    } else {
        QString text;
        for (qsizetype i = 0; i <= LINECOUNT; ++i)
            text += wData.at(i) + QLatin1String("\r\n");
        if (!encodeText(text, bytes))
            err = kFileErrBadText;
    }
    if (err == kFileErrNone)
        err = writeFile(FILENAME, bytes);
    if (err != kFileErrNone) {
        MessgFileErr(err, MessageError);
        return;
    }
    ErrFG = 0;
}

} // namespace morvane
