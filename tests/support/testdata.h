// SPDX-License-Identifier: MIT
// What several suites share: the simulator's reservation table as a file and
// as the list shows it, the twelve commands of a table read, and the settings
// file's bytes.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringEncoder>
#include <QStringList>

namespace morvane::test {

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
    // Day code 8 has an empty label; hour 24 and minute 60 read as 0.
    QStringLiteral("予約9:00:00:00  ENABLE  POWER OFF"),
};

// The commands of a whole table read, in order.
inline const QStringList kTableRead = {"QT", "QS", "L0", "L1", "L2", "L3",
                                       "L4", "L5", "L6", "L7", "L8", "L9"};

// Text in code page 932, by the system's converter.
inline QByteArray cp932(const QString& s) {
    QStringEncoder encoder("Shift_JIS");
    return encoder.encode(s);
}

// Lines in code page 932, each ended by CR LF, as the program writes files.
inline QByteArray cp932Lines(const QStringList& lines) {
    QByteArray out;
    for (const QString& l : lines)
        out += cp932(l) + "\r\n";
    return out;
}

// The settings file as the program writes it, the comments in code page 932.
inline QByteArray sysFileBytes(const QByteArray& port, const QByteArray& timeOut,
                               const QByteArray& reTry, const QByteArray& backUpFile) {
    return "COMPORT," + port + ",\x92\xCA\x90M\xCE\xDF\xB0\xC4\x94\xD4\x8D\x86\r\n" +
           "BAUDRATE,9600,  \x92\xCA\x90M\x91\xAC\x93x\r\n"
           "BITS,8,  \x92\xCA\x90M\xC3\xDE\xB0\xC0\xCB\xDE\xAF\xC4\x92\xB7\r\n"
           "PARITY,N,  \x92\xCA\x90M\xCA\xDF\xD8\xC3\xA8\xC1\xAA\xAF\xB8\r\n"
           "STOPS,1,  \x92\xCA\x90M\xBD\xC4\xAF\xCC\xDF\xCB\xDE\xAF\xC4\x92\xB7\r\n"
           "ComTimeOut," +
           timeOut + ",  \x92\xCA\x90M\x88\xD9\x8F\xED\x8C\x9F\x8Fo\x8E\x9E\x8A\xD4\r\n" +
           "ComReTry," + reTry +
           ",  \x92\xCA\x90M\x88\xD9\x8F\xED\x8E\x9E\x8D\xC4\x8E\x8E\x8Ds\x89\xF1\x90\x94\r\n" +
           "BackUpFile," + backUpFile + ",\r\n\r\n";
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
