// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace morvane {

// Day names, indices 0..8: "日　" .. "土　", "毎日", and an empty entry 8.
const QStringList& DayName();

// Index of the clock entry "現在" in Combo3.
inline constexpr int kClockEntry = 10;

// "00" + text, last two characters.
QString twoDigits(const QString& text);

// A hexadecimal field: the hex digits at the start of `field` (either case),
// 0 when there are none.
int hexField(const QString& field);

// Characters [pos, pos+len) of text, 1-based; shorter or empty past the end.
QString charsAt(const QString& text, int pos, int len);

// Clock line from the "QT" reply: nullopt when the reply is too short or the
// weekday code is outside 0..7 (the query then stops without "QS"). The result
// ends with the hour and ":".
std::optional<QString> clockLineHead(const QString& qtReply);
// Minute and second from the "QS" reply: "MM:SS".
QString clockLineTail(const QString& qsReply);

// Whether an "L" reply carries all its fields: ten hexadecimal digits at
// positions 2 to 11.
bool reservationReplyComplete(const QString& lReply);

// Reservation line for reservation n from its "L" reply.
QString reservationLine(int n, const QString& lReply);

// A reservation line read back ("予約3:水　12:34:56  ENABLE  POWER ON ").
struct ShownReservation {
    int number = 0;
    std::optional<int> day; // 0..8 (8 has no name); empty for a code shown as blanks
    int hour = 0, minute = 0, second = 0;
    bool enabled = false;
    bool powerOff = false;
};
// Nothing when the text is not a line reservationLine() writes.
std::optional<ShownReservation> parseReservationRow(const QString& row);

// The fields of an "L" reply as the editor loads them. Each optional is empty
// where the selector is left unchanged.
struct LoadedReservation {
    std::optional<int> day;    // 0..7
    std::optional<int> hour;   // 0..23
    std::optional<int> minute; // 0..59
    std::optional<int> second; // 0..59
    bool enabled = false;      // flag byte 0x80 or above
};
LoadedReservation decodeLoadReply(const QString& lReply);

// The editor's values as a list row gives them back.
struct ParsedLine {
    std::optional<int> reservation; // Combo3 index 0..10; empty for rows above 11
    std::optional<int> day;         // 0..7; empty when no day character is found
    std::optional<int> hour, minute, second;
    bool enabled = false; // position 17 is "E"
};
ParsedLine parseListLine(int I, const QString& text);

// Editor contents a send is built from.
struct EditorValues {
    int reservation = -1; // Combo3
    int day = -1;         // Combo2
    QString hour, minute, second;
    int enable = 0; // Check1(1)
};
// "D..." (12 characters for a reservation) or "N ..." for the clock entry,
// trimmed.
QString buildSendCommand(const EditorValues& v);

} // namespace morvane
