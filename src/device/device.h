#pragma once

#include "views.h"

#include "../link/exchange.h"

#include <QDateTime>

namespace morvane {

// Asks the device for its clock ("QT", "QS"); Buff receives the clock line.
void GetWatchTime(Link& link, QString& Buff);

// Reads the clock and reservations 0..9 into List1.
void Get_Time(Link& link, ListView& List1);

// Loads row I of the list into the editor (row 0: the clock, via the PC time).
void Set_Time(Link& link, ListView& List1, EditorView& editor, int I, const QDateTime& now);

// Sends the editor's entry, then the settling pause.
void TRN_Time(Link& link, const EditorView& editor);

// Reads row I's text back into the editor.
void List2Command(const ListView& List1, EditorView& editor, int I);

// Puts the PC's time and weekday into the editor and selects "現在".
void Set_NowTime(EditorView& editor, const QDateTime& now);

} // namespace morvane

namespace morvane {

// Restores the backup file: clock from the PC first, then the file's lines
// (at most ten) to reservations 0.. in file order. `letEventsRun` runs the
// event queue between rows. FileErrNo as the file read leaves it.
void ReadSetting(Link& link, ListView& List1, EditorView& editor, const QString& BackUpFile,
                 qint16& FileErrNo, const std::function<QDateTime()>& now,
                 const std::function<void()>& letEventsRun);

} // namespace morvane
