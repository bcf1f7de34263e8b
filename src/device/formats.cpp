#include "formats.h"

#include "../store/strutil.h"

namespace morvane {

namespace {

// The time fields and the day code go out as the low byte of the value in
// upper-case hexadecimal (two's complement for negatives).
QString HexTwoDigits(qint32 value) {
    return TwoDigits(QString::number(static_cast<quint32>(value), 16).toUpper());
}

// A time text whose value does not fit 32 bits goes out as 0.
int TimeFieldValue(const QString& text) {
    return RoundToInt32(Val(text)).value_or(0);
}

// Numbers in a list row: the leading decimal number, rounded; empty when the
// value has no selector item (below 0 or above `max`).
std::optional<int> RowNumber(const QString& text, int pos, int max) {
    const std::optional<qint32> v = RoundToInt32(Val(Mid(text, pos, 2)));
    if (!v || *v < 0 || *v > max)
        return std::nullopt;
    return *v;
}

std::optional<int> InRange(int value, int max) {
    if (value < 0 || value > max)
        return std::nullopt;
    return value;
}

QString DecimalTwoDigits(int value) {
    return TwoDigits(QString::number(value));
}

// Trims blanks only: the blank inside "N " sits in the middle and stays.
QString TrimBlanks(const QString& s) {
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && s.at(b) == u' ')
        ++b;
    while (e > b && s.at(e - 1) == u' ')
        --e;
    return s.mid(b, e - b);
}

} // namespace

const QStringList& DayName() {
    static const QStringList names = {
        QStringLiteral("日　"), QStringLiteral("月　"), QStringLiteral("火　"),
        QStringLiteral("水　"), QStringLiteral("木　"), QStringLiteral("金　"),
        QStringLiteral("土　"), QStringLiteral("毎日"), QString(),
    };
    return names;
}

QString TwoDigits(const QString& text) {
    return (QStringLiteral("00") + text).right(2);
}

int HexField(const QString& field) {
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

QString Mid(const QString& text, int pos, int len) {
    if (pos < 1 || len <= 0)
        return QString();
    return text.mid(pos - 1, len);
}

std::optional<QString> ClockLineHead(const QString& qtReply) {
    if (qtReply.size() <= 3)
        return std::nullopt;
    const std::optional<qint16> day = RoundToInt16(Val(Mid(qtReply, 2, 2)));
    if (!day || *day < 0 || *day > 7)
        return std::nullopt;
    return QStringLiteral("現在 :") + DayName().at(*day) +
           DecimalTwoDigits(HexField(Mid(qtReply, 4, 2))) + QStringLiteral(":");
}

QString ClockLineTail(const QString& qsReply) {
    return DecimalTwoDigits(HexField(Mid(qsReply, 2, 2))) + QStringLiteral(":") +
           DecimalTwoDigits(HexField(Mid(qsReply, 4, 2)));
}

QString ReservationLine(int n, const QString& lReply) {
    const int day = HexField(Mid(lReply, 2, 2));
    int hour = HexField(Mid(lReply, 4, 2));
    int minute = HexField(Mid(lReply, 6, 2));
    int second = HexField(Mid(lReply, 8, 2));
    int flag = HexField(Mid(lReply, 10, 2));

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
           DecimalTwoDigits(hour) + QStringLiteral(":") + DecimalTwoDigits(minute) +
           QStringLiteral(":") + DecimalTwoDigits(second) + QStringLiteral(" ") + enableText +
           actionText;
}

LoadedReservation DecodeLoadReply(const QString& lReply) {
    LoadedReservation r;
    r.day = InRange(HexField(Mid(lReply, 2, 2)), 7);
    r.hour = InRange(HexField(Mid(lReply, 4, 2)), 23);
    r.minute = InRange(HexField(Mid(lReply, 6, 2)), 59);
    r.second = InRange(HexField(Mid(lReply, 8, 2)), 59);
    r.enabled = HexField(Mid(lReply, 10, 2)) >= 0x80;
    return r;
}

ParsedLine ParseListLine(int I, const QString& text) {
    ParsedLine p;
    if (I == 0)
        p.reservation = ClockEntry;
    else if (I >= 1 && I - 1 <= ClockEntry)
        p.reservation = I - 1;

    // "毎日" holds "日" as well; "毎" is tested last so every day wins.
    static const QString dayChars = QStringLiteral("日月火水木金土毎");
    const QString dayField = Mid(text, 5, 2);
    for (int code = 0; code < dayChars.size(); ++code) {
        if (dayField.contains(dayChars.at(code)))
            p.day = code;
    }

    p.hour = RowNumber(text, 7, 23);
    p.minute = RowNumber(text, 10, 59);
    p.second = RowNumber(text, 13, 59);
    p.enabled = Mid(text, 17, 1) == QStringLiteral("E");
    return p;
}

QString BuildSendCommand(const EditorValues& v) {
    QString cmd;
    if (v.reservation == ClockEntry) {
        cmd = QStringLiteral("N ") + DecimalTwoDigits(v.day);
    } else {
        cmd = QStringLiteral("D") + QString::number(v.reservation) + HexTwoDigits(v.day);
    }
    cmd += HexTwoDigits(TimeFieldValue(v.hour));
    cmd += HexTwoDigits(TimeFieldValue(v.minute));
    cmd += HexTwoDigits(TimeFieldValue(v.second));
    if (v.reservation != ClockEntry)
        cmd += v.enable == 1 ? QStringLiteral("81") : QStringLiteral("00");
    return TrimBlanks(cmd);
}

} // namespace morvane
