// SPDX-License-Identifier: MIT
#include "targets.h"

#include "cli.h"
#include "device.h"
#include "exchange.h"
#include "fakeline.h"
#include "fakeviews.h"
#include "formats.h"
#include "panel.h"
#include "strutil.h"
#include "sysfile.h"
#include "testdata.h"
#include "textfile.h"
#include "views.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

namespace morvane::fuzz {

namespace {

const char* inputName = nullptr;

[[noreturn]] void checkFailed(const char* expr, int line) {
    std::fprintf(stderr, "fuzz invariant broken at targets.cpp:%d: %s%s%s\n", line, expr,
                 inputName ? " input: " : "", inputName ? inputName : "");
    std::fflush(stderr);
    std::abort();
}

#define CHECK(cond)                                                                                \
    do {                                                                                           \
        if (!(cond))                                                                               \
            checkFailed(#cond, __LINE__);                                                          \
    } while (0)

// Takes the input apart from the front; past the end it yields zeros.
class Input {
public:
    Input(const uint8_t* data, size_t size) : p_(data), n_(size) {}
    uint8_t u8() {
        if (n_ == 0)
            return 0;
        --n_;
        return *p_++;
    }
    uint16_t u16() { return static_cast<uint16_t>(u8() | (u8() << 8)); }
    uint32_t u32() { return u16() | (static_cast<uint32_t>(u16()) << 16); }
    QByteArray take(size_t k) {
        k = std::min(k, n_);
        QByteArray out(reinterpret_cast<const char*>(p_), static_cast<qsizetype>(k));
        p_ += k;
        n_ -= k;
        return out;
    }
    QByteArray rest() { return take(n_); }
    bool empty() const { return n_ == 0; }

private:
    const uint8_t* p_;
    size_t n_;
};

// Text from raw bytes, either as UTF-8 (readable seeds) or as UTF-16 code
// units (any character, lone surrogates included).
QString textFrom(const QByteArray& bytes, bool utf16) {
    if (!utf16)
        return QString::fromUtf8(bytes);
    return QString(reinterpret_cast<const QChar*>(bytes.constData()), bytes.size() / 2);
}

bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

bool allDigits(const QString& s) {
    for (const QChar c : s)
        if (!isDigit(c))
            return false;
    return true;
}

bool hasControlOrComma(const QString& s) {
    for (const QChar c : s)
        if (c < u' ' || c == u',')
            return true;
    return false;
}

// ---- settings file ------------------------------------------------------

bool sameSettings(const SysSettingsRecord& a, const SysSettingsRecord& b) {
    return a.COMPORT == b.COMPORT && a.BAUDRATE == b.BAUDRATE && a.BITS == b.BITS &&
           a.PARITY == b.PARITY && a.STOPS == b.STOPS && a.ComTimeOut == b.ComTimeOut &&
           a.ComReTry == b.ComReTry && a.BackUpFile == b.BackUpFile;
}

// Files live in memory where the system allows, so a run does not wear a disk.
const QString& workDir() {
    static const std::unique_ptr<QTemporaryDir> dir = [] {
        auto d = std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/morvane-fuzz-XXXXXX"));
        if (!d->isValid())
            d = std::make_unique<QTemporaryDir>();
        return d;
    }();
    static const QString path = dir->path();
    return path;
}

} // namespace

void setInputName(const char* name) {
    inputName = name;
}

int fuzzSysFile(const uint8_t* data, size_t size) {
    const QString file = workDir() + QStringLiteral("/Morvane.SYS");
    const QString copy = workDir() + QStringLiteral("/Written.SYS");
    {
        QFile f(file);
        CHECK(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        CHECK(f.write(reinterpret_cast<const char*>(data), qint64(size)) == qint64(size));
    }

    SysSettingsRecord defaults;
    defaults.BackUpFile = QStringLiteral("DEFAULT.DAT");
    QStringList messages;
    const MessageFn record = [&messages](const QString& m) { messages << m; };

    SysSettingsRecord kept = defaults;
    qint16 errKept = 0;
    ReadSys(file, kept, errKept, record, true);
    const qsizetype afterFirst = messages.size();
    SysSettingsRecord folded = defaults;
    qint16 errFolded = 0;
    ReadSys(file, folded, errFolded, record, false);

    CHECK(errKept == errFolded);
    CHECK(messages.size() == 2 * afterFirst);
    if (afterFirst > 0) {
        // A file the reader refuses changes nothing and says why once.
        CHECK(afterFirst == 1);
        CHECK(errKept == kFileErrBadText || errKept == kFileErrTooManyLines);
        CHECK(sameSettings(kept, defaults) && sameSettings(folded, defaults));
        return 0;
    }
    CHECK(errKept == 0);
    CHECK(!hasControlOrComma(kept.PARITY) && !hasControlOrComma(kept.BackUpFile));
    CHECK(kept.PARITY == kept.PARITY.toUpper());
    CHECK(kept.COMPORT == folded.COMPORT && kept.BAUDRATE == folded.BAUDRATE &&
          kept.BITS == folded.BITS && kept.PARITY == folded.PARITY && kept.STOPS == folded.STOPS &&
          kept.ComTimeOut == folded.ComTimeOut && kept.ComReTry == folded.ComReTry);
    CHECK(folded.BackUpFile == kept.BackUpFile.toUpper());

    // What was read is written back and read again unchanged.
    QFile::remove(copy);
    WriteSys(copy, kept, record);
    if (messages.isEmpty()) {
        SysSettingsRecord again;
        again.COMPORT = -99;
        again.PARITY = QStringLiteral("?");
        again.BackUpFile = QStringLiteral("?");
        qint16 err = 0;
        ReadSys(copy, again, err, record, true);
        CHECK(messages.isEmpty() && err == 0);
        CHECK(sameSettings(again, kept));
    }
    return 0;
}

int fuzzTextFile(const uint8_t* data, size_t size) {
    Input in(data, size);
    const uint8_t sizeByte = in.u8();
    const qsizetype arraySize = sizeByte < 200 ? sizeByte % 40 : kReadLineArraySize;
    const QByteArray bytes = in.rest();

    QStringList rData(arraySize);
    for (qsizetype i = 0; i < arraySize; ++i)
        rData[i] = QStringLiteral("old %1").arg(i);
    const QStringList before = rData;
    qint16 LINECOUNT = -1;
    const int err = textFileDecode(bytes, rData, LINECOUNT);

    CHECK(rData.size() == arraySize);
    if (err != kFileErrNone) {
        CHECK(err == kFileErrBadText || err == kFileErrTooManyLines);
        CHECK(LINECOUNT == 0);
        CHECK(rData == before);
        return 0;
    }
    CHECK(LINECOUNT >= 0 && LINECOUNT <= arraySize);
    // CR is never a trail byte, so each CR byte ends exactly one line.
    const qsizetype crs = bytes.count('\r');
    CHECK(LINECOUNT == crs || LINECOUNT == crs + 1);
    qsizetype chars = 0;
    for (qsizetype i = 0; i < LINECOUNT; ++i) {
        CHECK(!rData.at(i).contains(u'\r'));
        chars += rData.at(i).size();
    }
    CHECK(chars <= bytes.size());
    for (qsizetype i = LINECOUNT; i < arraySize; ++i)
        CHECK(rData.at(i) == before.at(i));

    // What was read can be written back and reads the same.
    QString text;
    for (qsizetype i = 0; i < LINECOUNT; ++i)
        text += rData.at(i) + QLatin1String("\r\n");
    QStringEncoder enc("Shift_JIS", QStringConverter::Flag::Stateless);
    const QByteArray back = enc.encode(text);
    CHECK(!enc.hasError());
    QStringList again(arraySize);
    qint16 againCount = -1;
    CHECK(textFileDecode(back, again, againCount) == kFileErrNone);
    CHECK(againCount == LINECOUNT);
    for (qsizetype i = 0; i < LINECOUNT; ++i)
        CHECK(again.at(i) == rData.at(i));
    return 0;
}

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

using test::FakeEditor;
using test::FakeList;

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
    FakeList list;
    const int rows = (flags >> 1) % 16;
    for (int i = 0; i < rows; ++i)
        list.addItem(text);
    FakeEditor editor;
    editor.reservation = editor.day = -1; // nothing selected yet
    List2Command(list, editor, I);
    const ParsedLine shown = parseListLine(I, I >= 0 && I < rows ? text : QString());
    CHECK(editor.reservation == shown.reservation.value_or(-1));
    CHECK(editor.day == shown.day.value_or(-1));
    CHECK(editor.enable == (shown.enabled ? 1 : 0));
    CHECK(list.count() == rows);
    return 0;
}

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
    bool digit = false;
    for (const QChar c : text)
        digit = digit || isDigit(c);
    if (!digit)
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

namespace {

bool isHex(const QString& s) {
    for (const QChar c : s)
        if (!isDigit(c) && !(c >= u'A' && c <= u'F'))
            return false;
    return true;
}

} // namespace

int fuzzExchange(const uint8_t* data, size_t size) {
    using test::FakeClock;
    using test::FakeLine;
    Input in(data, size);
    const uint8_t mode = in.u8();
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
    const uint8_t editorBits = in.u8();

    FakeClock clock(start);
    FakeLine port(clock);
    // The line goes away at a time, or as the n-th command goes out.
    const int failOnOutput = failure % 4 == 1 ? 1 + (failure >> 2) % 12 : -1;
    if (failure % 4 == 0)
        port.failAt(start + failTime * 4);

    // The rest is chunks: length with a flag that starts the next answer, then
    // the delay and a repeat count (so a few bytes can flood the line).
    struct Chunk {
        int delayMs;
        QByteArray bytes;
    };
    QList<QList<Chunk>> answers{{}};
    qint64 delays = 0;
    while (!in.empty()) {
        const uint8_t head = in.u8();
        const uint16_t timing = in.u16();
        const int delayMs = (timing & 0x1FFF) % 5000;
        if ((head & 0x80) && !answers.last().isEmpty())
            answers.append(QList<Chunk>());
        answers.last().append(Chunk{delayMs, in.take(head & 0x7F).repeated(1 << (timing >> 13))});
        delays += delayMs;
    }
    const bool respond = mode & 2;
    if (respond) {
        // Played as a device: the next answer starts at each command.
        auto next = std::make_shared<qsizetype>(0);
        port.setResponder([&port, &clock, &answers, next, failOnOutput](const QByteArray&) {
            if (port.outputs.size() == failOnOutput)
                port.failAt(clock.now());
            if (*next >= answers.size())
                return;
            qint64 at = clock.now();
            for (const Chunk& c : answers.at((*next)++))
                port.arriveAt(at += c.delayMs, c.bytes);
        });
    } else {
        port.setResponder([&port, &clock, failOnOutput](const QByteArray&) {
            if (port.outputs.size() == failOnOutput)
                port.failAt(clock.now());
        });
        qint64 at = start;
        for (const auto& a : answers)
            for (const Chunk& c : a)
                port.arriveAt(at += c.delayMs, c.bytes);
    }

    QStringList messages;
    Link link(settings, port, clock, [&messages](const QString& m) { messages << m; });
    const int attempts = std::max<int>(1, settings.ComReTry);
    const qint64 silenceMs = (std::max<int>(0, settings.ComTimeOut) + 2) * 1000;

    switch ((mode >> 2) % 4) {
    case 0: { // one command
        const QString cmd = QString::fromLatin1(command);
        QString rec;
        link.CMM_TRNA(cmd, rec);
        CHECK(port.outputs.size() <= attempts);
        for (const QByteArray& o : std::as_const(port.outputs))
            CHECK(o == command + '\r');
        if (rec == QStringLiteral("ERROR")) {
            CHECK(messages == QStringList{kMsgNotConnected});
        } else {
            CHECK(messages.isEmpty());
            CHECK(rec.contains(u'\r') && rec.size() <= kMaxReplyChars);
            // A negative answer is only kept when no attempt is left.
            if (rec.contains(u'N'))
                CHECK(port.outputs.size() == attempts);
        }
        if (port.closeCalls > 0)
            CHECK(link.ComStatus == 99 && rec == QStringLiteral("ERROR"));
        CHECK(clock.now() - start <= delays + attempts * silenceMs);
        break;
    }
    case 1: { // text arriving unasked
        QString rec;
        link.CMM_REC(rec);
        CHECK(port.outputs.isEmpty());
        if (rec == QStringLiteral("ERROR")) {
            CHECK(messages == QStringList{kMsgTimeOut});
        } else {
            CHECK(messages.isEmpty());
            CHECK(rec.contains(QStringLiteral("*\r")) && rec.size() <= kMaxReplyChars);
        }
        CHECK(clock.now() - start <= delays + silenceMs);
        break;
    }
    case 2: { // the whole table
        FakeList list;
        Get_Time(link, list);
        CHECK(list.count() <= 11);
        if (list.count() > 0)
            CHECK(list.rows.at(0).isEmpty() || list.rows.at(0).size() == 14);
        for (int i = 1; i < list.count(); ++i) {
            const qsizetype len = list.rows.at(i).size();
            CHECK(len == 31 || len == 33 || len == 35);
        }
        for (const QByteArray& o : std::as_const(port.outputs))
            CHECK(o.endsWith('\r') && test::kTableRead.contains(QString::fromLatin1(o.chopped(1))));
        CHECK(port.outputs.size() <= 12 * attempts);
        CHECK(clock.now() - start <= delays + 12 * attempts * silenceMs);
        break;
    }
    case 3: { // load one row, then send the editor back
        FakeList list;
        FakeEditor editor;
        Set_Time(link, list, editor, 1 + editorBits % 10, QDateTime());
        editor.reservation = editorBits % 11;
        editor.day = int(editorBits >> 4) - 1;
        if (editor.reservation == kClockEntry) // the clock entry's day is a decimal field
            editor.day = qMax(editor.day, 0) % 8;
        const QString cmd = QString::fromLatin1(command);
        editor.time[0] = cmd.left(4);
        editor.time[1] = cmd.mid(4, 4);
        editor.time[2] = cmd.mid(8);
        const int before = port.outputs.size();
        TRN_Time(link, editor);
        if (port.outputs.size() > before) {
            const QString sent = QString::fromLatin1(port.outputs.at(before));
            CHECK(sent.endsWith(u'\r'));
            if (editor.reservation == kClockEntry) {
                CHECK(sent.size() == 11 && sent.startsWith(QStringLiteral("N 0")));
                CHECK(isHex(sent.mid(4, 6)));
            } else {
                CHECK(sent.size() == 13 && sent.at(0) == u'D');
                CHECK(sent.at(1) == QChar(u'0' + editor.reservation) && isHex(sent.mid(2, 10)));
            }
        }
        break;
    }
    }
    CHECK(!port.exchangeActive);
    return 0;
}

int fuzzTyped(const uint8_t* data, size_t size) {
    Input in(data, size);
    const bool utf16 = in.u8() & 1;
    const QStringList fields = textFrom(in.rest(), utf16).split(u'\n');

    // The system panel: the first four lines are its boxes.
    SysSettingsRecord current;
    current.COMPORT = 7;
    current.BackUpFile = QStringLiteral("/old");
    const PanelCheck c = checkSystemPanel(
        {fields.value(0), fields.value(1), fields.value(2), fields.value(3)}, current);
    CHECK(c.message.isEmpty() == (c.focusBox == 0));
    CHECK(c.focusBox >= 0 && c.focusBox <= 4);
    if (c.focusBox == 0) {
        CHECK(c.settings.ComTimeOut >= 2 && !hasControlOrComma(c.settings.BackUpFile));
        CHECK(c.settings.BackUpFile == trimBlanks(fields.value(3)));
        CHECK(std::optional<qint16>(c.settings.COMPORT) ==
              roundToInt16(leadingNumber(fields.value(0))));
    } else {
        // Refused: nothing taken but the port number before a short time-out.
        CHECK(c.settings.BackUpFile == current.BackUpFile && c.settings.ComTimeOut == 2);
        CHECK(c.focusBox == 2 || c.settings.COMPORT == current.COMPORT);
    }

    // The command line: the fifth line, split at blanks.
    QString error;
    const std::optional<Request> r =
        parseRequest(fields.value(4).split(u' ', Qt::SkipEmptyParts), fields.size() > 5, &error);
    CHECK(r.has_value() == error.isEmpty());
    if (r && r->action == Action::kSet) {
        const EditorValues& e = r->entry;
        CHECK(e.reservation >= 0 && e.reservation <= 9 && e.day >= 0 && e.day <= 7);
        const QString command = buildSendCommand(e);
        CHECK(command.size() == 12 && command.startsWith(u'D') && (e.enable == 0 || e.enable == 1));
        // What a set sends is what the list then shows.
        const QString line = reservationLine(e.reservation, u'X' + command.mid(2) + u'\r');
        const std::optional<ShownReservation> shown = parseReservationRow(line);
        CHECK(shown && shown->number == e.reservation && shown->day == e.day);
        CHECK(shown->enabled == (e.enable == 1));
        CHECK(QStringLiteral("%1:%2:%3").arg(shown->hour).arg(shown->minute).arg(shown->second) ==
              QStringLiteral("%1:%2:%3")
                  .arg(e.hour.toInt())
                  .arg(e.minute.toInt())
                  .arg(e.second.toInt()));
    }
    for (const QString& f : fields) {
        const std::optional<ShownReservation> row = parseReservationRow(f);
        if (row)
            CHECK(row->number >= 0 && row->number <= 9 && row->hour <= 23 && row->minute <= 59 &&
                  row->second <= 59);
    }
    return 0;
}

} // namespace morvane::fuzz
