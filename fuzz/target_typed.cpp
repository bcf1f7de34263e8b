// SPDX-License-Identifier: MIT
#include "cli.h"
#include "formats.h"
#include "fuzzsupport.h"
#include "panel.h"
#include "strutil.h"

namespace morvane::fuzz {

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
