// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace morvane {

// Cuts the piece before the first Separater off Buff (one character is
// removed at the separator's place).
QString StrCut(QString& Buff, const QString& Separater);

// Splits Buff at commas into mData from index 0; LINECOUNT = index of the last
// entry stored. The text after the last comma stays in Buff. Pieces beyond
// mData's size are dropped (LINECOUNT then stops at the last index).
void StrCSV(QString& Buff, QStringList& mData, qint16& LINECOUNT);

// The characters of Buff from Dchr to Uchr inclusive, by character code.
QString ChrTrim(const QString& Buff, QChar Dchr, QChar Uchr);

// Upper-cases and filters entries 0..StrCount of mData in place.
void ChrTrimArray(QStringList& mData, qint16 StrCount, QChar Dchr, QChar Uchr);

// The value of the longest leading decimal number in Text, blanks ignored
// wherever they stand ("1 2" is 12); 0 when there is none. A sign and a
// fraction are allowed; no exponent.
double leadingNumber(const QString& Text);

// Rounds half to even and checks the signed 16-bit or 32-bit range.
std::optional<qint16> roundToInt16(double v);
std::optional<qint32> roundToInt32(double v);

// Text without leading and trailing blanks; other white space belongs to it.
QString trimBlanks(const QString& s);

// Signed decimal with a sign position: " 1", " 0", "-3".
QString signedText(int v);

} // namespace morvane
