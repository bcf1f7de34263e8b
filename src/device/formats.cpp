// SPDX-License-Identifier: MIT
#include "formats.h"

#include "strutil.h"

#include <QRegularExpression>

#include <algorithm>

namespace morvane {

namespace {

// The time fields and the day code go out as the low byte of the value in
// upper-case hexadecimal (two's complement for negatives).
QString hexTwoDigits(qint32 value) {
    return twoDigits(QString::number(static_cast<quint32>(value), 16).toUpper());
}

// A time text whose value does not fit 32 bits goes out as 0.
int timeFieldValue(const QString& text) {
    return roundToInt32(leadingNumber(text)).value_or(0);
}

// Numbers in a list row: the leading decimal number, rounded; empty when the
// value has no selector item (below 0 or above `max`).
std::optional<int> rowNumber(const QString& text, int pos, int max) {
    const std::optional<qint32> v = roundToInt32(leadingNumber(charsAt(text, pos, 2)));
    if (!v || *v < 0 || *v > max)
        return std::nullopt;
    return *v;
}

std::optional<int> inRange(int value, int max) {
    if (value < 0 || value > max)
        return std::nullopt;
    return value;
}

QString decimalTwoDigits(int value) {
    return twoDigits(QString::number(value));
}

} // namespace

const QStringList& DayName() {
    static const QStringList kNames = {
        QStringLiteral("日　"), QStringLiteral("月　"), QStringLiteral("火　"),
        QStringLiteral("水　"), QStringLiteral("木　"), QStringLiteral("金　"),
        QStringLiteral("土　"), QStringLiteral("毎日"), QString(),
    };
    return kNames;
}

QString twoDigits(const QString& text) {
    return (QStringLiteral("00") + text).right(2);
}

int hexField(const QString& field) {
    // Fields are two characters; seven digits at most keep any longer text
    // inside int.
    int value = 0;
    for (qsizetype i = 0; i < field.size() && i < 7; ++i) {
        const char16_t c = field.at(i).unicode();
        int d;
        if (c >= u'0' && c <= u'9')
            d = c - u'0';
        else if (c >= u'A' && c <= u'F')
            d = c - u'A' + 10;
        else if (c >= u'a' && c <= u'f')
            d = c - u'a' + 10;
        else
            break;
        value = value * 16 + d;
    }
    return value;
}

QString charsAt(const QString& text, int pos, int len) {
    if (pos < 1 || len <= 0)
        return QString();
    return text.mid(pos - 1, len);
}

std::optional<QString> clockLineHead(const QString& qtReply) {
    if (qtReply.size() <= 3)
        return std::nullopt;
    const std::optional<qint16> day = roundToInt16(leadingNumber(charsAt(qtReply, 2, 2)));
    if (!day || *day < 0 || *day > 7)
        return std::nullopt;
    return QStringLiteral("現在 :") + DayName().at(*day) +
           decimalTwoDigits(hexField(charsAt(qtReply, 4, 2))) + QStringLiteral(":");
}

QString clockLineTail(const QString& qsReply) {
    return decimalTwoDigits(hexField(charsAt(qsReply, 2, 2))) + QStringLiteral(":") +
           decimalTwoDigits(hexField(charsAt(qsReply, 4, 2)));
}

bool reservationReplyComplete(const QString& lReply) {
    const QString fields = charsAt(lReply, 2, 10);
    return fields.size() == 10 && std::all_of(fields.begin(), fields.end(), [](QChar c) {
               return (c >= u'0' && c <= u'9') || (c.toUpper() >= u'A' && c.toUpper() <= u'F');
           });
}

QString reservationLine(int n, const QString& lReply) {
    const int day = hexField(charsAt(lReply, 2, 2));
    int hour = hexField(charsAt(lReply, 4, 2));
    int minute = hexField(charsAt(lReply, 6, 2));
    int second = hexField(charsAt(lReply, 8, 2));
    int flag = hexField(charsAt(lReply, 10, 2));

    const QString label = day <= 8 ? DayName().at(day) : QStringLiteral("    ");
    if (hour > 23)
        hour = 0;
    if (minute > 59)
        minute = 0;
    if (second > 59)
        second = 0;

    const bool enabled = flag >= 8;
    if (enabled)
        flag -= 8;
    const QString enableText = enabled ? QStringLiteral(" ENABLE ") : QStringLiteral(" DISABLE");
    const QString actionText =
        flag == 1 ? QStringLiteral(" POWER OFF") : QStringLiteral(" POWER ON ");

    return QStringLiteral("予約") + QString::number(n) + QStringLiteral(":") + label +
           decimalTwoDigits(hour) + QStringLiteral(":") + decimalTwoDigits(minute) +
           QStringLiteral(":") + decimalTwoDigits(second) + QStringLiteral(" ") + enableText +
           actionText;
}

std::optional<ShownReservation> parseReservationRow(const QString& row) {
    // As reservationLine() writes it: the day's name, none for code 8 or
    // four blanks above it; the times two digits each. \z, unlike $, takes
    // no line end at the end.
    static const QRegularExpression kShape(
        QStringLiteral("^予約([0-9]):(.*)([0-9]{2}):([0-9]{2}):([0-9]{2})  (ENABLE |DISABLE) "
                       "POWER (ON |OFF)\\z"));
    const QRegularExpressionMatch m = kShape.match(row);
    if (!m.hasMatch())
        return std::nullopt;
    ShownReservation r;
    r.number = m.captured(1).toInt();
    const QString label = m.captured(2);
    const qsizetype day = DayName().indexOf(label);
    if (day >= 0)
        r.day = static_cast<int>(day);
    else if (label != QStringLiteral("    "))
        return std::nullopt;
    r.hour = m.captured(3).toInt();
    r.minute = m.captured(4).toInt();
    r.second = m.captured(5).toInt();
    if (r.hour > 23 || r.minute > 59 || r.second > 59)
        return std::nullopt;
    r.enabled = m.captured(6) == QLatin1String("ENABLE ");
    r.powerOff = m.captured(7) == QLatin1String("OFF");
    return r;
}

LoadedReservation decodeLoadReply(const QString& lReply) {
    LoadedReservation r;
    r.day = inRange(hexField(charsAt(lReply, 2, 2)), 7);
    r.hour = inRange(hexField(charsAt(lReply, 4, 2)), 23);
    r.minute = inRange(hexField(charsAt(lReply, 6, 2)), 59);
    r.second = inRange(hexField(charsAt(lReply, 8, 2)), 59);
    r.enabled = hexField(charsAt(lReply, 10, 2)) >= 0x80;
    return r;
}

ParsedLine parseListLine(int I, const QString& text) {
    ParsedLine p;
    if (I == 0)
        p.reservation = kClockEntry;
    else if (I >= 1 && I - 1 <= kClockEntry)
        p.reservation = I - 1;

    // "毎日" holds "日" as well; "毎" is tested last so every day wins.
    static const QString kDayChars = QStringLiteral("日月火水木金土毎");
    const QString dayField = charsAt(text, 5, 2);
    for (int code = 0; code < kDayChars.size(); ++code) {
        if (dayField.contains(kDayChars.at(code)))
            p.day = code;
    }

    p.hour = rowNumber(text, 7, 23);
    p.minute = rowNumber(text, 10, 59);
    p.second = rowNumber(text, 13, 59);
    p.enabled = charsAt(text, 17, 1) == QStringLiteral("E");
    return p;
}

QString buildSendCommand(const EditorValues& v) {
    QString cmd;
    if (v.reservation == kClockEntry) {
        cmd = QStringLiteral("N ") + decimalTwoDigits(v.day);
    } else {
        cmd = QStringLiteral("D") + QString::number(v.reservation) + hexTwoDigits(v.day);
    }
    cmd += hexTwoDigits(timeFieldValue(v.hour));
    cmd += hexTwoDigits(timeFieldValue(v.minute));
    cmd += hexTwoDigits(timeFieldValue(v.second));
    if (v.reservation != kClockEntry)
        cmd += v.enable == 1 ? QStringLiteral("81") : QStringLiteral("00");
    // The blank inside "N " sits in the middle and stays.
    return trimBlanks(cmd);
}

} // namespace morvane
