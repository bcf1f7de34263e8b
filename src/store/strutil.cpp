// SPDX-License-Identifier: MIT
#include "strutil.h"

#include <cmath>
#include <limits>

namespace morvane {

QString StrCut(QString& Buff, const QString& Separater) {
    if (Buff.isEmpty())
        return QString();
    const qsizetype p = Buff.indexOf(Separater);
    if (p < 0) {
        QString all = Buff;
        Buff.clear();
        return all;
    }
    // One character goes at the separator's place, whatever its length.
    QString head = Buff.left(p);
    Buff = Buff.mid(p + 1);
    return head;
}

void StrCSV(QString& Buff, QStringList& mData, qint16& LINECOUNT) {
    // Same result as cutting with StrCut piece by piece, but one pass over the
    // text, so a long line of commas stays linear.
    const qsizetype capacity = mData.size();
    qsizetype pos = 0;
    qsizetype i = 0;
    do {
        const qsizetype p = Buff.indexOf(QLatin1Char(','), pos);
        const qsizetype end = p < 0 ? Buff.size() : p;
        if (i < capacity)
            mData[i] = Buff.mid(pos, end - pos);
        ++i;
        pos = p < 0 ? Buff.size() : p + 1;
    } while (Buff.indexOf(QLatin1Char(','), pos) >= 0);
    Buff = Buff.mid(pos);
    const qsizetype last = qMin(i, capacity) - 1;
    LINECOUNT = static_cast<qint16>(qMin<qsizetype>(last, std::numeric_limits<qint16>::max()));
}

QString ChrTrim(const QString& Buff, QChar Dchr, QChar Uchr) {
    QString out;
    out.reserve(Buff.size());
    for (const QChar c : Buff) {
        if (c < Dchr || c > Uchr)
            continue;
        out.append(c);
    }
    return out;
}

void ChrTrimArray(QStringList& mData, qint16 StrCount, QChar Dchr, QChar Uchr) {
    const qsizetype last = qMin<qsizetype>(StrCount, mData.size() - 1);
    for (qsizetype i = 0; i <= last; ++i)
        mData[i] = ChrTrim(mData[i].toUpper(), Dchr, Uchr);
}

double leadingNumber(const QString& Text) {
    // Collect sign, digits and one decimal point, skipping blanks anywhere;
    // stop at the first other character.
    QByteArray num;
    bool seenDigit = false;
    bool seenPoint = false;
    bool seenSign = false;
    for (const QChar c : Text) {
        const char16_t u = c.unicode();
        if (u == u' ' || u == u'\t')
            continue;
        if (u >= u'0' && u <= u'9') {
            num.append(static_cast<char>(u));
            seenDigit = true;
        } else if ((u == u'+' || u == u'-') && !seenSign && !seenDigit && !seenPoint) {
            seenSign = true;
            if (u == u'-')
                num.append('-');
        } else if (u == u'.' && !seenPoint) {
            seenPoint = true;
            num.append('.');
        } else {
            break;
        }
    }
    if (!seenDigit)
        return 0.0;
    bool ok = false;
    const double v = num.toDouble(&ok);
    if (ok)
        return v;
    // toDouble refuses values beyond double's range; keep their sign.
    return num.startsWith('-') ? -std::numeric_limits<double>::infinity()
                               : std::numeric_limits<double>::infinity();
}

namespace {

std::optional<double> roundHalfEven(double v) {
    if (!std::isfinite(v))
        return std::nullopt;
    const double f = std::floor(v);
    const double diff = v - f;
    if (diff > 0.5)
        return f + 1.0;
    if (diff < 0.5)
        return f;
    return std::fmod(f, 2.0) == 0.0 ? f : f + 1.0;
}

} // namespace

std::optional<qint16> roundToInt16(double v) {
    const auto r = roundHalfEven(v);
    if (!r || *r < -32768.0 || *r > 32767.0)
        return std::nullopt;
    return static_cast<qint16>(*r);
}

std::optional<qint32> roundToInt32(double v) {
    const auto r = roundHalfEven(v);
    if (!r || *r < -2147483648.0 || *r > 2147483647.0)
        return std::nullopt;
    return static_cast<qint32>(*r);
}

QString trimBlanks(const QString& s) {
    QStringView v(s);
    while (v.startsWith(u' '))
        v = v.mid(1);
    while (v.endsWith(u' '))
        v.chop(1);
    return v.toString();
}

QString signedText(int v) {
    const QString digits = QString::number(v);
    return v < 0 ? digits : QLatin1Char(' ') + digits;
}

} // namespace morvane
