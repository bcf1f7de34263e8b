// SPDX-License-Identifier: MIT
// What the fuzz target bodies share: the invariant check, which names the
// input being replayed, and the taking apart of an input into values.
#pragma once

#include "targets.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace morvane::fuzz {

// Reports the broken invariant, with the input's name when one is set, and aborts.
[[noreturn]] void checkFailed(const char* expr, const char* file, int line);

#define CHECK(cond)                                                                                \
    do {                                                                                           \
        if (!(cond))                                                                               \
            ::morvane::fuzz::checkFailed(#cond, __FILE_NAME__, __LINE__);                          \
    } while (0)

// Takes the input apart from the front; past the end it yields zeros.
class Input {
public:
    Input(const uint8_t* data, size_t size) : rest_(data, static_cast<qsizetype>(size)) {}
    uint8_t u8() { return rest_.isEmpty() ? 0 : static_cast<uint8_t>(take(1).front()); }
    uint16_t u16() { return static_cast<uint16_t>(u8() | (u8() << 8)); }
    uint32_t u32() { return u16() | (static_cast<uint32_t>(u16()) << 16); }
    QByteArray take(size_t k) {
        const QByteArray out =
            rest_.first(std::min<qsizetype>(qsizetype(k), rest_.size())).toByteArray();
        rest_ = rest_.sliced(out.size());
        return out;
    }
    QByteArray rest() { return take(size_t(rest_.size())); }
    bool empty() const { return rest_.isEmpty(); }

private:
    QByteArrayView rest_;
};

// Text from raw bytes, either as UTF-8 (readable seeds) or as UTF-16 code
// units (any character, lone surrogates included).
inline QString textFrom(const QByteArray& bytes, bool utf16) {
    if (!utf16)
        return QString::fromUtf8(bytes);
    return QString(reinterpret_cast<const QChar*>(bytes.constData()), bytes.size() / 2);
}

inline bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

inline bool allDigits(const QString& s) {
    return std::all_of(s.begin(), s.end(), isDigit);
}

inline bool hasControlOrComma(const QString& s) {
    return std::any_of(s.begin(), s.end(), [](QChar c) { return c < u' ' || c == u','; });
}

} // namespace morvane::fuzz
