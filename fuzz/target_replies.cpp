// SPDX-License-Identifier: MIT
#include "formats.h"
#include "fuzzsupport.h"

namespace morvane::fuzz {

namespace {

// Leading hex digits, at most seven, by hand.
int hexReference(const QString& s) {
    int v = 0;
    for (qsizetype i = 0; i < s.size() && i < 7; ++i) {
        const int d = QStringLiteral("0123456789ABCDEF").indexOf(s.at(i).toUpper());
        if (d < 0 || s.at(i).unicode() > 0x7F)
            break;
        v = v * 16 + d;
    }
    return v;
}

void checkTwoDigits(const QString& s, int max) {
    CHECK(s.size() == 2 && allDigits(s));
    CHECK(s.toInt() <= max);
}

} // namespace

int fuzzReplies(const uint8_t* data, size_t size) {
    Input in(data, size);
    const int n = in.u8() % 10;
    const bool utf16 = in.u8() & 1;
    const QByteArray bytes = in.rest();
    // Replies come off the line byte by byte as Latin-1; UTF-16 covers any text.
    const QString reply = utf16 ? textFrom(bytes, true) : QString::fromLatin1(bytes);

    for (qsizetype k = 0; k <= qMin<qsizetype>(reply.size(), 4); ++k) {
        const int h = hexField(reply.mid(k));
        CHECK(h == hexReference(reply.mid(k)));
        CHECK(h >= 0 && h < (1 << 28));
    }

    const std::optional<QString> head = clockLineHead(reply);
    if (reply.size() <= 3)
        CHECK(!head);
    if (reply.size() > 3 && reply.at(1) == u'0' && reply.at(2) >= u'0' && reply.at(2) <= u'7')
        CHECK(head);
    if (head) {
        CHECK(head->size() == 9 && head->startsWith(QStringLiteral("現在 :")));
        CHECK(DayName().indexOf(head->mid(4, 2)) >= 0 && DayName().indexOf(head->mid(4, 2)) <= 7);
        CHECK(allDigits(head->mid(6, 2)) && head->endsWith(u':'));
    }
    const QString tail = clockLineTail(reply);
    CHECK(tail.size() == 5 && allDigits(tail.left(2)) && tail.at(2) == u':' &&
          allDigits(tail.mid(3)));

    const QString line = reservationLine(n, reply);
    CHECK(line.size() == 31 || line.size() == 33 || line.size() == 35);
    CHECK(line.startsWith(QStringLiteral("予約%1:").arg(n)));
    const qsizetype labelLen = line.size() - 31;
    const QString label = line.mid(4, labelLen);
    const int hh = line.mid(4 + labelLen, 2).toInt();
    checkTwoDigits(line.mid(4 + labelLen, 2), 23);
    checkTwoDigits(line.mid(7 + labelLen, 2), 59);
    checkTwoDigits(line.mid(10 + labelLen, 2), 59);
    const QString enableText = line.mid(13 + labelLen, 8);
    CHECK(line.at(12 + labelLen) == u' ');
    CHECK(enableText == QStringLiteral(" ENABLE ") || enableText == QStringLiteral(" DISABLE"));
    CHECK(line.endsWith(QStringLiteral(" POWER ON ")) ||
          line.endsWith(QStringLiteral(" POWER OFF")));

    // The editor's load and the list line agree on what the reply says.
    const LoadedReservation r = decodeLoadReply(reply);
    CHECK(!r.day || (*r.day >= 0 && *r.day <= 7));
    CHECK(!r.hour || (*r.hour >= 0 && *r.hour <= 23));
    CHECK(!r.minute || (*r.minute >= 0 && *r.minute <= 59));
    CHECK(!r.second || (*r.second >= 0 && *r.second <= 59));
    CHECK(hh == r.hour.value_or(0));
    CHECK(line.mid(7 + labelLen, 2).toInt() == r.minute.value_or(0));
    CHECK(line.mid(10 + labelLen, 2).toInt() == r.second.value_or(0));
    if (r.day) {
        CHECK(label == DayName().at(*r.day));
        // A row the list shows reads back into the editor as the same entry.
        const ParsedLine p = parseListLine(n + 1, line);
        CHECK(p.reservation == n);
        CHECK(p.day == *r.day);
        CHECK(p.hour == r.hour.value_or(0));
        CHECK(p.minute == r.minute.value_or(0));
        CHECK(p.second == r.second.value_or(0));
        CHECK(p.enabled == (enableText == QStringLiteral(" ENABLE ")));
    } else {
        CHECK(label.isEmpty() || label == QStringLiteral("    "));
    }
    return 0;
}

} // namespace morvane::fuzz
