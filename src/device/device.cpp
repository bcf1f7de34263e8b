// SPDX-License-Identifier: MIT
#include "device.h"

#include "backup.h"
#include "cominit.h"
#include "formats.h"

#include <algorithm>

namespace morvane {

namespace {

// Selects each time value that was decoded; one without an item in its
// selector leaves that selector as it was.
void selectTimes(EditorView& editor, std::optional<int> hour, std::optional<int> minute,
                 std::optional<int> second) {
    const std::optional<int> values[3] = {hour, minute, second};
    for (int k = 0; k < 3; ++k)
        if (values[k])
            editor.selectTime(k, *values[k]);
}

// Empties the list and heads it with the device clock; false when the clock
// query failed, and the list then stays empty.
bool restartWithClock(Link& link, ListView& List1) {
    List1.clear();
    QString clock;
    GetWatchTime(link, clock);
    if (replyFailed(link.RecBuf))
        return false;
    List1.addItem(clock);
    return true;
}

} // namespace

// The flow follows RecBuf, also when a refused exchange left an older reply
// there; the result says whether the device really answered.
bool GetWatchTime(Link& link, QString& Buff) {
    const bool qtAnswered = link.exchange(QStringLiteral("QT"));
    if (replyFailed(link.RecBuf))
        return false;
    const std::optional<QString> head = clockLineHead(link.RecBuf);
    if (!head)
        return false;
    Buff = *head;

    const bool qsAnswered = link.exchange(QStringLiteral("QS"));
    if (replyFailed(link.RecBuf))
        return false;
    Buff += clockLineTail(link.RecBuf);
    return qtAnswered && qsAnswered;
}

TableRead Get_Time(Link& link, ListView& List1) {
    // With the port down the exchange would only repeat its message twelve
    // times over stale text; the list keeps what it shows.
    if (link.ComStatus == kComStatusFailed)
        return TableRead::kPortClosed;
    if (!restartWithClock(link, List1))
        return TableRead::kFailed;
    // A garbled reply still shows, but the table it gives is not complete.
    bool complete = true;
    for (int n = 0; n <= 9; ++n) {
        if (!link.exchange(QStringLiteral("L") + QString::number(n)))
            return TableRead::kFailed;
        complete = complete && reservationReplyComplete(link.RecBuf);
        List1.addItem(reservationLine(n, link.RecBuf));
    }
    return complete ? TableRead::kComplete : TableRead::kGarbled;
}

bool Set_Time(Link& link, ListView& List1, EditorView& editor, int I, const QDateTime& now) {
    if (I == 0) {
        Set_NowTime(editor, now);
        QString clock;
        const bool complete = GetWatchTime(link, clock);
        if (List1.count() > 0)
            List1.setItem(0, clock);
        return complete;
    }

    const bool answered = link.exchange(QStringLiteral("L") + QString::number(I - 1));
    // An empty reply is only possible when nothing was ever received: there is
    // nothing to load.
    if (replyFailed(link.RecBuf) || link.RecBuf.isEmpty())
        return false;

    const LoadedReservation r = decodeLoadReply(link.RecBuf);
    if (r.day)
        editor.selectDay(*r.day);
    if (I - 1 <= kClockEntry)
        editor.selectReservation(I - 1);
    selectTimes(editor, r.hour, r.minute, r.second);
    editor.setEnableValue(r.enabled ? 1 : 0);
    return answered;
}

bool TRN_Time(Link& link, const EditorView& editor) {
    EditorValues v;
    v.reservation = editor.reservationIndex();
    v.day = editor.dayIndex();
    v.hour = editor.timeText(0);
    v.minute = editor.timeText(1);
    v.second = editor.timeText(2);
    v.enable = editor.enableValue();
    const bool answered = link.exchange(buildSendCommand(v));

    // The device needs a moment after a write that it has not acknowledged
    // with "*"; an error reply needs none.
    int counter = 2;
    while (!link.RecBuf.contains(u'*') && !link.RecBuf.contains(u'E') && counter >= 1) {
        --counter;
        link.waitTicks(1);
    }
    return answered;
}

void List2Command(const ListView& List1, EditorView& editor, int I) {
    const QString text = I >= 0 && I < List1.count() ? List1.item(I) : QString();
    const ParsedLine p = parseListLine(I, text);
    if (p.reservation)
        editor.selectReservation(*p.reservation);
    if (p.day)
        editor.selectDay(*p.day);
    selectTimes(editor, p.hour, p.minute, p.second);
    editor.setEnableValue(p.enabled ? 1 : 0);
}

void Set_NowTime(EditorView& editor, const QDateTime& now) {
    const QTime t = now.time();
    editor.setTimeText(0, t.toString(QStringLiteral("HH")));
    editor.setTimeText(1, t.toString(QStringLiteral("mm")));
    editor.setTimeText(2, t.toString(QStringLiteral("ss")));
    editor.selectReservation(kClockEntry);
    // Qt counts Monday 1 .. Sunday 7; the device Sunday 0 .. Saturday 6.
    const int dow = now.date().dayOfWeek();
    if (dow >= 1 && dow <= 7)
        editor.selectDay(dow % 7);
}

bool WriteSetting(const ListView& List1, const QString& BackUpFile, const MessageFn& MessageError) {
    QStringList lines;
    for (int r = 1; r < List1.count(); ++r)
        lines << List1.item(r);
    return writeBackupFile(BackUpFile, lines, MessageError);
}

Outcome sendEntry(Link& link, ListView& List1, const EditorView& editor,
                  const QString& BackUpFile) {
    const bool sent = TRN_Time(link, editor);
    if (Get_Time(link, List1) != TableRead::kComplete)
        return Outcome::kDeviceFailed;
    if (!WriteSetting(List1, BackUpFile, link.messageError()))
        return Outcome::kFileFailed;
    return sent ? Outcome::kDone : Outcome::kDeviceFailed;
}

Outcome applySettings(Link& link, MSComm& MSComm1, const SysSettingsRecord& SysSettings,
                      const QString& AppDir, ListView& List1, EditorView& editor,
                      const QDateTime& now, const std::function<void()>& opened) {
    if (link.ComStatus != kComStatusFailed)
        MSComm1.setPortOpen(false);
    link.ComStatus = COM_Init(MSComm1, SysSettings, AppDir);
    if (link.ComStatus == kComStatusFailed)
        return Outcome::kPortFailed;
    if (opened)
        opened();
    Set_NowTime(editor, now);
    return Get_Time(link, List1) == TableRead::kFailed ? Outcome::kDeviceFailed : Outcome::kDone;
}

Outcome ReadSetting(Link& link, ListView& List1, EditorView& editor, const QString& BackUpFile,
                    qint16& FileErrNo, const std::function<QDateTime()>& now,
                    const std::function<void()>& letEventsRun) {
    QStringList lines;
    if (!readBackupFile(BackUpFile, lines, FileErrNo, link.messageError()))
        return Outcome::kFileFailed;
    return restoreLines(link, List1, editor, lines, now, letEventsRun);
}

Outcome restoreLines(Link& link, ListView& List1, EditorView& editor, const QStringList& lines,
                     const std::function<QDateTime()>& now,
                     const std::function<void()>& letEventsRun) {
    const auto letRun = [&letEventsRun] {
        if (letEventsRun)
            letEventsRun();
    };

    if (!restartWithClock(link, List1))
        return Outcome::kDeviceFailed;
    for (const QString& line : std::as_const(lines)) {
        List1.addItem(line);
        letRun();
    }

    bool allSent = true;
    const int n = static_cast<int>(lines.size());
    for (int i = 0; i <= n; ++i) {
        if (i == 0)
            Set_NowTime(editor, now ? now() : QDateTime::currentDateTime());
        else
            List2Command(List1, editor, i);
        letRun();
        allSent = TRN_Time(link, editor) && allSent;
        // The line has gone away: one message is enough, and the list keeps
        // what it shows.
        if (link.ComStatus == kComStatusFailed)
            return Outcome::kDeviceFailed;
    }

    // Row 0 should show the clock just set; when the query fails it keeps the
    // line it had rather than a half-built or stale text.
    QString after;
    const bool clockRead = GetWatchTime(link, after);
    if (!replyFailed(link.RecBuf) && !after.isEmpty() && List1.count() > 0)
        List1.setItem(0, after);
    return allSent && clockRead ? Outcome::kDone : Outcome::kDeviceFailed;
}

RestoreCheck checkRestoreLines(const QStringList& lines) {
    RestoreCheck c;
    const auto fault = [](RestoreFault f, qsizetype i) {
        return RestoreCheck{f, static_cast<int>(i) + 1, {}};
    };
    // An LF-only file arrives as one line holding every row: told as such
    // rather than as one long row that is no reservation.
    for (qsizetype i = 0; i < lines.size(); ++i)
        if (lines.at(i).contains(u'\n'))
            return fault(RestoreFault::kLfLineEnds, i);
    if (std::all_of(lines.begin(), lines.end(),
                    [](const QString& l) { return l.trimmed().isEmpty(); }))
        return fault(RestoreFault::kNoReservation, -1);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines.at(i).trimmed().isEmpty())
            return fault(RestoreFault::kEmptyLine, i);
        const std::optional<ShownReservation> r = parseReservationRow(lines.at(i));
        if (!r)
            return fault(RestoreFault::kNotReservation, i);
        if (!r->day || *r->day > 7)
            return fault(RestoreFault::kNoDay, i);
        if (r->powerOff)
            c.powerOffLines << static_cast<int>(i) + 1;
    }
    return c;
}

ClockSync syncClock(Link& link, EditorView& editor, const QDateTime& now) {
    Set_NowTime(editor, now);
    ClockSync s;
    if (!TRN_Time(link, editor))
        return s;
    QString clock;
    if (!GetWatchTime(link, clock))
        return s;
    s.outcome = Outcome::kDone;
    s.clock = clock;
    return s;
}

} // namespace morvane
