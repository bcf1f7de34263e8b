// SPDX-License-Identifier: MIT
#include "fuzzsupport.h"
#include "strutil.h"

#include <cmath>
#include <cstring>

namespace morvane::fuzz {

int fuzzNumber(const uint8_t* data, size_t size) {
    Input in(data, size);
    double d;
    const QByteArray raw = in.take(sizeof d).leftJustified(sizeof d, '\0');
    std::memcpy(&d, raw.constData(), sizeof d);
    const int x = static_cast<int32_t>(in.u32());
    const bool utf16 = in.u8() & 1;
    const QByteArray bytes = in.rest();
    const QString text = utf16 ? textFrom(bytes, true) : QString::fromLatin1(bytes);

    const double v = leadingNumber(text);
    CHECK(!std::isnan(v));
    if (std::none_of(text.begin(), text.end(), isDigit))
        CHECK(v == 0.0);
    QString packed = text;
    packed.remove(u' ').remove(u'\t');
    CHECK(leadingNumber(packed) == v);
    if (!packed.isEmpty() && packed.size() <= 15 && allDigits(packed))
        CHECK(v == static_cast<double>(packed.toLongLong()));

    for (const double w : {v, d}) {
        const std::optional<qint32> r32 = roundToInt32(w);
        const std::optional<qint16> r16 = roundToInt16(w);
        if (r32) {
            const double diff = std::fabs(w - *r32);
            CHECK(diff <= 0.5);
            if (diff == 0.5)
                CHECK(*r32 % 2 == 0);
        } else {
            CHECK(!std::isfinite(w) || w < -2147483648.5 || w >= 2147483647.5);
        }
        if (r16)
            CHECK(r32 && *r32 == *r16);
        else
            CHECK(!r32 || *r32 < -32768 || *r32 > 32767);
    }

    const QString s = signedText(x);
    CHECK(s.startsWith(x < 0 ? u'-' : u' '));
    CHECK(allDigits(s.mid(1)) && s.size() >= 2 && s.size() <= 11);
    CHECK(leadingNumber(s) == static_cast<double>(x));
    return 0;
}

} // namespace morvane::fuzz
