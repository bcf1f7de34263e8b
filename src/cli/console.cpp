// SPDX-License-Identifier: MIT
#include "console.h"

#include "cli.h"

#include <QtGlobal>

#include <cerrno>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <unistd.h>
#endif

namespace morvane {

namespace {

// In English whatever the locale: strerror() follows LC_MESSAGES.
QString writeError(int e) {
    switch (e) {
    case ENOSPC:
        return QStringLiteral("no space left on the device");
    case EBADF:
        return QStringLiteral("closed");
    case EPIPE:
        return QStringLiteral("its reader has gone");
    case EIO:
        return QStringLiteral("input/output error");
    default:
        return QStringLiteral("write failed (error %1)").arg(e);
    }
}

} // namespace

Console::Console() {
#ifndef Q_OS_WIN
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // Takes the lowest free number: this one, as those below are open.
        const int got = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (got > 2)
            ::close(got);
        outClosed_ = outClosed_ || fd == 1;
        errClosed_ = errClosed_ || fd == 2;
    }
#endif
}

bool Console::write(std::FILE* to, const QString& text) {
    const QByteArray bytes = (text + u'\n').toUtf8();
    errno = 0;
    return std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), to) ==
               static_cast<size_t>(bytes.size()) &&
           std::fflush(to) == 0;
}

void Console::outLost(int error) {
    outFailed_ = true;
    err(QStringLiteral("morvane-cli: standard output ") +
        (outClosed_ ? QStringLiteral("is closed")
                    : QStringLiteral("failed: ") + writeError(error)) +
        QStringLiteral(": what this command prints is lost"));
}

bool Console::out(const QString& text) {
    if (outFailed_)
        return false;
    if (!outClosed_ && write(stdout, text))
        return true;
    outLost(errno);
    return false;
}

bool Console::err(const QString& text) {
    errLost_ = errLost_ || errClosed_ || !write(stderr, text);
    return !errLost_;
}

int Console::finish(int status) const {
    // Every line was flushed as it was written: what failed is known.
    return status == kExitDone && (outFailed_ || errLost_) ? kExitFile : status;
}

} // namespace morvane
