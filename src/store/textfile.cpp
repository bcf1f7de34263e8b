// SPDX-License-Identifier: MIT
#include "textfile.h"

#include "fileaccess.h"

#include <QByteArray>
#include <QStringDecoder>
#include <QStringEncoder>

#include <limits>

namespace morvane {

namespace {

// The files' code page; ICU knows it only by name.
const char* const kFileCodec = "Shift_JIS";

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

} // namespace

// Converts the whole text in one call so a lead byte cut off at the end is an
// error rather than silently held back; a fresh converter each time, as an
// ICU converter keeps its error flag.
bool decodeCp932(const QByteArray& bytes, QString& text) {
    QStringDecoder dec(kFileCodec, QStringConverter::Flag::Stateless);
    if (!dec.isValid())
        return false;
    text = dec.decode(bytes);
    return !dec.hasError();
}

bool encodeCp932(const QString& text, QByteArray& bytes) {
    QStringEncoder enc(kFileCodec, QStringConverter::Flag::Stateless);
    if (!enc.isValid())
        return false;
    bytes = enc.encode(text);
    return !enc.hasError();
}

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
    if (!decodeCp932(bytes, text))
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
        if (!encodeCp932(text, bytes))
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
