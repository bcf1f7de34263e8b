// SPDX-License-Identifier: MIT
#include "device.h"
#include "exchange.h"
#include "fakeline.h"
#include "formats.h"
#include "fuzzsupport.h"
#include "plainviews.h"
#include "testdata.h"

namespace morvane::fuzz {

int fuzzExchange(const uint8_t* data, size_t size) {
    using test::FakeClock;
    Input in(data, size);
    const uint8_t mode = in.u8();
    const bool respond = mode & 2; // played as a device: the next answer starts at each command
    SysSettingsRecord settings;
    settings.ComTimeOut = static_cast<qint16>(int(in.u8() % 8) - 1); // -1..6
    settings.ComReTry = static_cast<qint16>(int(in.u8() % 6) - 1);   // -1..4
    // Start anywhere in the day; a high bit puts it just before midnight.
    const uint32_t startBits = in.u32();
    const qint64 start = (startBits & 0x80000000u) ? FakeClock::kDayMs - qint64(startBits % 4000)
                                                   : qint64(startBits % FakeClock::kDayMs);
    const uint8_t failure = in.u8();
    const uint16_t failTime = in.u16();
    const QByteArray command = in.take(in.u8() % 13);
    const QString text = QString::fromLatin1(command);
    const uint8_t editorBits = in.u8();

    FakeClock clock(start);
    test::FakeLine port(clock);
    // The line goes away at a time, or as the n-th command goes out.
    if (failure % 4 == 0)
        port.failAt(start + failTime * 4);
    const int failOnOutput = failure % 4 == 1 ? 1 + (failure >> 2) % 12 : -1;

    // The rest is chunks: length with a flag that starts the next answer, then
    // the delay and a repeat count (so a few bytes can flood the line). When
    // not played as a device, all chunks are one answer arriving from the start.
    QList<QList<std::pair<int, QByteArray>>> answers{{}};
    qint64 delays = 0;
    while (!in.empty()) {
        const uint8_t head = in.u8();
        const uint16_t timing = in.u16();
        const int delayMs = (timing & 0x1FFF) % 5000;
        if (respond && (head & 0x80) && !answers.last().isEmpty())
            answers.emplaceBack();
        answers.last().append({delayMs, in.take(head & 0x7F).repeated(1 << (timing >> 13))});
        delays += delayMs;
    }
    qsizetype next = 0;
    const auto play = [&](qint64 at) {
        for (const auto& [delayMs, bytes] : answers.at(next++))
            port.arriveAt(at += delayMs, bytes);
    };
    if (!respond)
        play(start);
    port.setResponder([&](const QByteArray&) {
        if (port.outputs.size() == failOnOutput)
            port.failAt(clock.now());
        if (next < answers.size())
            play(clock.now());
    });

    QStringList messages;
    Link link(settings, port, clock, [&messages](const QString& m) { messages << m; });
    const int attempts = std::max<int>(1, settings.ComReTry);
    const qint64 silenceMs = (std::max<int>(0, settings.ComTimeOut) + 2) * 1000;
    QString rec;
    PlainList list(true);
    PlainEditor editor(true);
    editor.values = {8, 1, QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), 2};
    switch ((mode >> 2) % 4) {
    case 0: // one command
        link.CMM_TRNA(text, rec);
        CHECK(port.outputs.size() <= attempts);
        for (const QByteArray& o : std::as_const(port.outputs))
            CHECK(o == command + '\r');
        if (rec == kReplyError) {
            CHECK(messages == QStringList{kMsgNotConnected});
        } else {
            CHECK(messages.isEmpty());
            CHECK(rec.contains(u'\r') && rec.size() <= kMaxReplyChars);
            // A negative answer is only kept when no attempt is left.
            if (rec.contains(u'N'))
                CHECK(port.outputs.size() == attempts);
        }
        if (port.closeCalls > 0)
            CHECK(link.ComStatus == kComStatusFailed && rec == kReplyError);
        CHECK(clock.now() - start <= delays + attempts * silenceMs);
        break;
    case 1: // text arriving unasked
        link.CMM_REC(rec);
        CHECK(port.outputs.isEmpty());
        if (rec == kReplyError) {
            CHECK(messages == QStringList{kMsgTimeOut});
        } else {
            CHECK(messages.isEmpty());
            CHECK(rec.contains(QStringLiteral("*\r")) && rec.size() <= kMaxReplyChars);
        }
        CHECK(clock.now() - start <= delays + silenceMs);
        break;
    case 2: // the whole table
        Get_Time(link, list);
        CHECK(list.count() <= 11);
        if (list.count() > 0)
            CHECK(list.rows.at(0).isEmpty() || list.rows.at(0).size() == 14);
        for (int i = 1; i < list.count(); ++i)
            CHECK(list.rows.at(i).size() == 31 || list.rows.at(i).size() == 33 ||
                  list.rows.at(i).size() == 35);
        for (const QByteArray& o : std::as_const(port.outputs))
            CHECK(o.endsWith('\r') && test::kTableRead.contains(QString::fromLatin1(o.chopped(1))));
        CHECK(port.outputs.size() <= 12 * attempts);
        CHECK(clock.now() - start <= delays + 12 * attempts * silenceMs);
        break;
    case 3: { // load one row, then send the editor back
        Set_Time(link, list, editor, 1 + editorBits % 10, QDateTime());
        editor.values.reservation = editorBits % 11;
        editor.values.day = int(editorBits >> 4) - 1;
        if (editor.values.reservation == kClockEntry) // the clock entry's day is a decimal field
            editor.values.day = qMax(editor.values.day, 0) % 8;
        editor.values.hour = text.left(4);
        editor.values.minute = text.mid(4, 4);
        editor.values.second = text.mid(8);
        const qsizetype before = port.outputs.size();
        TRN_Time(link, editor);
        const auto isHex = [](const QString& s) {
            return std::all_of(s.begin(), s.end(),
                               [](QChar c) { return isDigit(c) || (c >= u'A' && c <= u'F'); });
        };
        if (port.outputs.size() > before) {
            const QString sent = QString::fromLatin1(port.outputs.at(before));
            CHECK(sent.endsWith(u'\r'));
            if (editor.values.reservation == kClockEntry)
                CHECK(sent.size() == 11 && sent.startsWith(QStringLiteral("N 0")) &&
                      isHex(sent.mid(4, 6)));
            else
                CHECK(sent.size() == 13 && sent.at(0) == u'D' &&
                      sent.at(1) == QChar(u'0' + editor.values.reservation) &&
                      isHex(sent.mid(2, 10)));
        }
        break;
    }
    }
    CHECK(!port.exchangeActive);
    return 0;
}

} // namespace morvane::fuzz
