// SPDX-License-Identifier: MIT
#include "messages.h"

#include "exchange.h"
#include "textfile.h"

#include <QRegularExpression>

namespace morvane {

const QList<FileErrorMeaning>& fileErrorMeanings() {
    static const QList<FileErrorMeaning> meanings = {
        {kFileErrBadText, QStringLiteral("not code page 932 (Shift_JIS) text, e.g. UTF-8 or a "
                                         "BOM; save it as Shift_JIS with CR LF line ends")},
        {kFileErrTooLarge, QStringLiteral("too large (over %1 bytes)").arg(kMaxTextFileBytes)},
        {kFileErrTooManyLines, QStringLiteral("too many lines")},
        {kFileErrBadNameOrNumber, QStringLiteral("not a usable file name")},
        {kFileErrNotFound, QStringLiteral("not found")},
        {kFileErrBadMode, QStringLiteral("cannot be opened that way")},
        {kFileErrAlreadyOpen, QStringLiteral("already open")},
        {kFileErrIO, QStringLiteral("input/output error on the disk")},
        {kFileErrDiskFull, QStringLiteral("disk full")},
        {kFileErrPastEnd, QStringLiteral("ends before the end of file")},
        {kFileErrBadName, QStringLiteral("not a usable file name")},
        {kFileErrDeviceUnavailable, QStringLiteral("device not available")},
        {kFileErrAccessDenied, QStringLiteral("permission denied")},
        {kFileErrDiskNotReady, QStringLiteral("disk not ready")},
        {kFileErrPathAccess,
         QStringLiteral("not a file that can be used (is it a directory?), or its path refused")},
        {kFileErrPathNotFound, QStringLiteral("path not found: a directory on the way is missing")},
    };
    return meanings;
}

QString englishMessage(const QString& message) {
    static const QList<std::pair<QString, QString>> exchange = {
        {kMsgNotConnected,
         QStringLiteral("The Morvane does not answer: it is not connected, or this is not its "
                        "port.")},
        {kMsgSetUpPortAgain, QStringLiteral("The port did not open: set it up again.")},
        {kMsgTimeOut, QStringLiteral("Timed out waiting for the Morvane.")},
    };
    for (const auto& [japanese, english] : exchange)
        if (message == japanese)
            return english;
    for (const FileErrorMeaning& m : fileErrorMeanings())
        if (message == fileErrorText(m.number))
            return m.english;
    // The numbered text of a number the table does not hold.
    static const QRegularExpression digits(QStringLiteral("[0-9]+"));
    const QString number = digits.match(message).captured();
    if (!number.isEmpty() && message == fileErrorText(number.toInt()))
        return QStringLiteral("file error %1").arg(number);
    for (const QChar c : message)
        if (c.unicode() > 0x7F)
            return QStringLiteral("a message without an English text: ") + message;
    return message;
}

} // namespace morvane
