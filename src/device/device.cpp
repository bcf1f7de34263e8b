#include "device.h"

#include "formats.h"

#include "../store/backup.h"

namespace morvane {

namespace {

// Device errors and the exchange's "ERROR" both hold "ERR" (case matters).
bool Failed(const Link& link) {
    return link.RecBuf.contains(QStringLiteral("ERR"));
}

void Exchange(Link& link, const QString& command) {
    link.TrnBuf = command;
    link.CMM_TRNA(link.TrnBuf, link.RecBuf);
}

// Selects each time value that was decoded; one without an item in its
// selector leaves that selector as it was.
void SelectTimes(EditorView& editor, std::optional<int> hour, std::optional<int> minute,
                 std::optional<int> second) {
    const std::optional<int> values[3] = {hour, minute, second};
    for (int k = 0; k < 3; ++k)
        if (values[k])
            editor.selectTime(k, *values[k]);
}

// Empties the list and heads it with the device clock; false when the clock
// query failed, and the list then stays empty.
bool RestartWithClock(Link& link, ListView& List1) {
    List1.clear();
    QString clock;
    GetWatchTime(link, clock);
    if (Failed(link))
        return false;
    List1.addItem(clock);
    return true;
}

} // namespace

void GetWatchTime(Link& link, QString& Buff) {
    Exchange(link, QStringLiteral("QT"));
    if (Failed(link))
        return;
    const std::optional<QString> head = ClockLineHead(link.RecBuf);
    if (!head)
        return;
    Buff = *head;

    Exchange(link, QStringLiteral("QS"));
    if (Failed(link))
        return;
    Buff += ClockLineTail(link.RecBuf);
}

void Get_Time(Link& link, ListView& List1) {
    // With the port down the exchange would only repeat its message twelve
    // times over stale text; the list keeps what it shows.
    if (link.ComStatus == 99)
        return;
    if (!RestartWithClock(link, List1))
        return;
    for (int n = 0; n <= 9; ++n) {
        Exchange(link, QStringLiteral("L") + QString::number(n));
        if (Failed(link))
            return;
        List1.addItem(ReservationLine(n, link.RecBuf));
    }
}

void Set_Time(Link& link, ListView& List1, EditorView& editor, int I, const QDateTime& now) {
    if (I == 0) {
        Set_NowTime(editor, now);
        QString clock;
        GetWatchTime(link, clock);
        if (List1.count() > 0)
            List1.setItem(0, clock);
        return;
    }

    Exchange(link, QStringLiteral("L") + QString::number(I - 1));
    // An empty reply is only possible when nothing was ever received: there is
    // nothing to load.
    if (Failed(link) || link.RecBuf.isEmpty())
        return;

    const LoadedReservation r = DecodeLoadReply(link.RecBuf);
    if (r.day)
        editor.selectDay(*r.day);
    if (I - 1 <= ClockEntry)
        editor.selectReservation(I - 1);
    SelectTimes(editor, r.hour, r.minute, r.second);
    editor.setEnableValue(r.enabled ? 1 : 0);
}

void TRN_Time(Link& link, const EditorView& editor) {
    EditorValues v;
    v.reservation = editor.reservationIndex();
    v.day = editor.dayIndex();
    v.hour = editor.timeText(0);
    v.minute = editor.timeText(1);
    v.second = editor.timeText(2);
    v.enable = editor.enableValue();
    Exchange(link, BuildSendCommand(v));

    // The device needs a moment after a write that it has not acknowledged
    // with "*"; an error reply needs none.
    int counter = 2;
    while (!link.RecBuf.contains(u'*') && !link.RecBuf.contains(u'E') && counter >= 1) {
        --counter;
        link.waitTicks(1);
    }
}

void List2Command(const ListView& List1, EditorView& editor, int I) {
    const QString text = I >= 0 && I < List1.count() ? List1.item(I) : QString();
    const ParsedLine p = ParseListLine(I, text);
    if (p.reservation)
        editor.selectReservation(*p.reservation);
    if (p.day)
        editor.selectDay(*p.day);
    SelectTimes(editor, p.hour, p.minute, p.second);
    editor.setEnableValue(p.enabled ? 1 : 0);
}

void Set_NowTime(EditorView& editor, const QDateTime& now) {
    const QTime t = now.time();
    editor.setTimeText(0, t.toString(QStringLiteral("HH")));
    editor.setTimeText(1, t.toString(QStringLiteral("mm")));
    editor.setTimeText(2, t.toString(QStringLiteral("ss")));
    editor.selectReservation(ClockEntry);
    // Qt counts Monday 1 .. Sunday 7; the device Sunday 0 .. Saturday 6.
    const int dow = now.date().dayOfWeek();
    if (dow >= 1 && dow <= 7)
        editor.selectDay(dow % 7);
}

void ReadSetting(Link& link, ListView& List1, EditorView& editor, const QString& BackUpFile,
                 qint16& FileErrNo, const std::function<QDateTime()>& now,
                 const std::function<void()>& letEventsRun) {
    const auto pump = [&letEventsRun] {
        if (letEventsRun)
            letEventsRun();
    };

    QStringList lines;
    if (!ReadBackupFile(BackUpFile, lines, FileErrNo, link.messageError())) {
        if (FileErrNo == 53)
            FileErrNo = 0;
        return;
    }
    // Only reservations 0..9 have a slot on the device.
    if (lines.size() > 10)
        lines = lines.mid(0, 10);

    if (!RestartWithClock(link, List1))
        return;
    for (const QString& line : std::as_const(lines)) {
        List1.addItem(line);
        pump();
    }

    const int n = static_cast<int>(lines.size());
    for (int i = 0; i <= n; ++i) {
        if (i == 0)
            Set_NowTime(editor, now ? now() : QDateTime::currentDateTime());
        else
            List2Command(List1, editor, i);
        pump();
        TRN_Time(link, editor);
    }

    // Row 0 should show the clock just set; when the query fails it keeps the
    // line it had rather than a half-built or stale text.
    QString after;
    GetWatchTime(link, after);
    if (!Failed(link) && !after.isEmpty() && List1.count() > 0)
        List1.setItem(0, after);
}

} // namespace morvane
