// SPDX-License-Identifier: MIT
#include "device.h"
#include "formats.h"
#include "fuzzsupport.h"
#include "plainviews.h"

namespace morvane::fuzz {

int fuzzListLine(const uint8_t* data, size_t size) {
    Input in(data, size);
    const int I = static_cast<int16_t>(in.u16());
    const uint8_t flags = in.u8();
    const QString text = textFrom(in.rest(), flags & 1);

    const ParsedLine p = parseListLine(I, text);
    if (I == 0)
        CHECK(p.reservation == kClockEntry);
    else if (I >= 1 && I <= 11)
        CHECK(p.reservation == I - 1);
    else
        CHECK(!p.reservation);
    CHECK(!p.day || (*p.day >= 0 && *p.day <= 7));
    CHECK(!p.hour || (*p.hour >= 0 && *p.hour <= 23));
    CHECK(!p.minute || (*p.minute >= 0 && *p.minute <= 59));
    CHECK(!p.second || (*p.second >= 0 && *p.second <= 59));
    CHECK(p.enabled == (text.mid(16, 1) == QStringLiteral("E")));
    const QString dayField = text.mid(4, 2);
    bool anyDay = false;
    for (const QChar c : QStringLiteral("日月火水木金土毎"))
        anyDay = anyDay || dayField.contains(c);
    CHECK(p.day.has_value() == anyDay);
    if (dayField.contains(u'毎'))
        CHECK(p.day == 7);
    const QString hh = text.mid(6, 2);
    if (hh.size() == 2 && allDigits(hh))
        CHECK(hh.toInt() <= 23 ? p.hour == hh.toInt() : !p.hour);

    // List2Command puts exactly that into the editor, and only valid items.
    PlainList list(true);
    const int rows = (flags >> 1) % 16;
    for (int i = 0; i < rows; ++i)
        list.addItem(text);
    PlainEditor editor(true);
    editor.values.enable = 2; // grayed: List2Command must say 0 or 1
    List2Command(list, editor, I);
    const ParsedLine shown = parseListLine(I, I >= 0 && I < rows ? text : QString());
    CHECK(editor.values.reservation == shown.reservation.value_or(-1));
    CHECK(editor.values.day == shown.day.value_or(-1));
    CHECK(editor.values.enable == (shown.enabled ? 1 : 0));
    CHECK(list.count() == rows);
    return 0;
}

} // namespace morvane::fuzz
