// SPDX-License-Identifier: MIT
// What several suites share: the simulator's table as a file and as the list
// shows it, the commands of a table read, the settings file's bytes, file I/O.
#pragma once

#include "sysfile.h"

#include <QFile>
#include <QStringEncoder>
#include <QStringList>
#include <QTest>
#include <array>

namespace morvane::test {

// One QTest column per name, of the types in order.
template <typename... T> void columns(const std::array<const char*, sizeof...(T)>& names) {
    int i = 0;
    (QTest::addColumn<T>(names[i++]), ...);
}

// A QTest row: its tag, then a value for each column.
template <typename... V> void row(const char* tag, V... values) {
    (QTest::newRow(tag) << ... << values);
}

// Ten reservations for morvane-sim --table: day, hour, minute, second, flag.
inline const QByteArray kSimTable = "00 00 00 00 00\n"
                                    "01 08 00 00 08\n"
                                    "02 09 1E 0F 09\n"
                                    "02 07 1E 00 09\n"
                                    "07 06 1E 00 81\n"
                                    "06 17 3B 3B 01\n"
                                    "03 0C 22 38 00\n"
                                    "04 00 00 01 08\n"
                                    "05 12 2D 07 00\n"
                                    "08 18 3C 00 09\n";

// kSimTable as rows 1..10 of the list.
inline const QStringList kSimRows = {
    QStringLiteral("予約0:日　00:00:00  DISABLE POWER ON "),
    QStringLiteral("予約1:月　08:00:00  ENABLE  POWER ON "),
    QStringLiteral("予約2:火　09:30:15  ENABLE  POWER OFF"),
    QStringLiteral("予約3:火　07:30:00  ENABLE  POWER OFF"),
    QStringLiteral("予約4:毎日06:30:00  ENABLE  POWER ON "),
    QStringLiteral("予約5:土　23:59:59  DISABLE POWER OFF"),
    QStringLiteral("予約6:水　12:34:56  DISABLE POWER ON "),
    QStringLiteral("予約7:木　00:00:01  ENABLE  POWER ON "),
    QStringLiteral("予約8:金　18:45:07  DISABLE POWER ON "),
    QStringLiteral("予約9:00:00:00  ENABLE  POWER OFF"), // day 8: no label; 24:60 reads as 0
};

// The commands of a whole table read, in order.
inline const QStringList kTableRead = {"QT", "QS", "L0", "L1", "L2", "L3",
                                       "L4", "L5", "L6", "L7", "L8", "L9"};

// Text in code page 932, by the system's converter.
inline QByteArray cp932(const QString& s) {
    return QStringEncoder("Shift_JIS").encode(s);
}

// Lines in code page 932, each ended by CR LF, as the program writes files.
inline QByteArray cp932Lines(const QStringList& lines) {
    return lines.isEmpty() ? QByteArray() : cp932(lines.join(QLatin1String("\r\n")) + "\r\n");
}

// The settings file as the program writes it, the comments in code page 932.
inline QByteArray sysFileBytes(const QByteArray& port, const QByteArray& timeOut,
                               const QByteArray& reTry, const QByteArray& backUpFile) {
    return cp932(QStringLiteral("COMPORT,%1,通信ﾎﾟｰﾄ番号\r\n"
                                "BAUDRATE,9600,  通信速度\r\n"
                                "BITS,8,  通信ﾃﾞｰﾀﾋﾞｯﾄ長\r\n"
                                "PARITY,N,  通信ﾊﾟﾘﾃｨﾁｪｯｸ\r\n"
                                "STOPS,1,  通信ｽﾄｯﾌﾟﾋﾞｯﾄ長\r\n"
                                "ComTimeOut,%2,  通信異常検出時間\r\n"
                                "ComReTry,%3,  通信異常時再試行回数\r\n"
                                "BackUpFile,")
                     .arg(QLatin1String(port), QLatin1String(timeOut), QLatin1String(reTry))) +
           backUpFile + ",\r\n\r\n";
}

inline QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

inline bool putFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

} // namespace morvane::test

namespace morvane {

// A settings record that differs in a comparison shows every field, in the
// order of the settings file.
inline char* toString(const SysSettingsRecord& s) {
    const auto n = [](qint16 v) { return QString::number(v); };
    return QTest::toString(QStringList{n(s.COMPORT), n(s.BAUDRATE), n(s.BITS), s.PARITY, n(s.STOPS),
                                       n(s.ComTimeOut), n(s.ComReTry), s.BackUpFile}
                               .join(u','));
}

} // namespace morvane
