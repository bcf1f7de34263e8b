// SPDX-License-Identifier: MIT
#include "sysfile.h"

#include "strutil.h"
#include "textfile.h"

#include <QDir>
#include <QStringList>

namespace morvane {

QString appFilePath(const QString& AppDir, const QString& name) {
    return AppDir + QDir::separator() + name;
}

QString currentAppDir() {
    return QDir::toNativeSeparators(QDir::currentPath());
}

bool pathsAreCaseSensitive() {
#ifdef Q_OS_WIN
    return false;
#else
    return true;
#endif
}

void SetDefaultSys(const QString& AppDir, SysSettingsRecord& SysSettings, QString& SysFileName) {
    SysFileName = appFilePath(AppDir, QStringLiteral("Morvane.SYS"));
    SysSettings = SysSettingsRecord{};
    SysSettings.BackUpFile = appFilePath(AppDir, QStringLiteral("Morvane.DAT"));
}

namespace {

constexpr int kFieldArraySize = 9;

// Every character from the blank up passes, so any path that names a file
// survives; only control characters are dropped.
constexpr QChar kLowChr = QLatin1Char(' ');
constexpr QChar kHighChr = QChar(0xFFFF);

// A value that does not fit the 16-bit field leaves the field as it was.
void setNumber(qint16& field, const QString& value) {
    if (const auto v = roundToInt16(leadingNumber(value)))
        field = *v;
}

} // namespace

void ReadSys(const QString& SysFileName, SysSettingsRecord& SysSettings, qint16& FileErrNo,
             const MessageFn& MessageError, bool keepPathCase) {
    QStringList rData(kReadLineArraySize);
    qint16 LINECOUNT = 0;
    qint16 ErrFG = 0;
    TextFileRead(SysFileName, rData, LINECOUNT, ErrFG, FileErrNo, MessageError);
    if (ErrFG == 1) {
        if (FileErrNo == kFileErrNotFound) {
            FileErrNo = 0;
            WriteSys(SysFileName, SysSettings, MessageError);
        }
        return;
    }

    QStringList fields(kFieldArraySize);
    for (qsizetype n = 0; n < LINECOUNT; ++n) {
        QString line = rData.at(n);
        // Fresh fields for each line: a line without a value must not pick up
        // the one an earlier line left behind.
        fields.fill(QString());
        qint16 last = 0;
        StrCSV(line, fields, last);
        const QString rawValue = fields.at(1);
        ChrTrimArray(fields, last, kLowChr, kHighChr);
        if (last < 1)
            continue; // no comma after the value: the line carries no value
        const QString& key = fields.at(0);
        const QString& value = fields.at(1);

        if (key == QLatin1String("COMPORT"))
            setNumber(SysSettings.COMPORT, value);
        if (key == QLatin1String("BAUDRATE"))
            setNumber(SysSettings.BAUDRATE, value);
        if (key == QLatin1String("BITS"))
            setNumber(SysSettings.BITS, value);
        if (key == QLatin1String("PARITY"))
            SysSettings.PARITY = value;
        if (key == QLatin1String("STOPS"))
            setNumber(SysSettings.STOPS, value);
        if (key == QLatin1String("COMTIMEOUT"))
            setNumber(SysSettings.ComTimeOut, value);
        if (key == QLatin1String("COMRETRY"))
            setNumber(SysSettings.ComReTry, value);
        if (key == QLatin1String("BACKUPFILE"))
            SysSettings.BackUpFile = keepPathCase ? ChrTrim(rawValue, kLowChr, kHighChr) : value;
    }
}

void WriteSys(const QString& SysFileName, const SysSettingsRecord& SysSettings,
              const MessageFn& MessageError) {
    QStringList wData(kWriteLineArraySize);
    const SysSettingsRecord& s = SysSettings;
    wData[0] = QStringLiteral("COMPORT,%1,通信ﾎﾟｰﾄ番号").arg(s.COMPORT);
    wData[1] = QStringLiteral("BAUDRATE,%1,  通信速度").arg(s.BAUDRATE);
    wData[2] = QStringLiteral("BITS,%1,  通信ﾃﾞｰﾀﾋﾞｯﾄ長").arg(s.BITS);
    wData[3] = QStringLiteral("PARITY,") + s.PARITY + QStringLiteral(",  通信ﾊﾟﾘﾃｨﾁｪｯｸ");
    wData[4] = QStringLiteral("STOPS,%1,  通信ｽﾄｯﾌﾟﾋﾞｯﾄ長").arg(s.STOPS);
    wData[5] = QStringLiteral("ComTimeOut,%1,  通信異常検出時間").arg(s.ComTimeOut);
    wData[6] = QStringLiteral("ComReTry,%1,  通信異常時再試行回数").arg(s.ComReTry);
    wData[7] = QStringLiteral("BackUpFile,") + s.BackUpFile + QLatin1Char(',');
    qint16 ErrFG = 0;
    TextFileWrite(SysFileName, wData, 8, ErrFG, MessageError);
}

} // namespace morvane
