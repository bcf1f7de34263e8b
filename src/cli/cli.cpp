// SPDX-License-Identifier: MIT
#include "cli.h"

#include <QJsonArray>
#include <QRegularExpression>

namespace morvane {

namespace {

// One or two ASCII digits, at most `max`.
std::optional<int> number(const QString& text, int max) {
    static const QRegularExpression kDigits(QStringLiteral("^[0-9]{1,2}$"));
    if (!kDigits.match(text).hasMatch() || text.toInt() > max)
        return std::nullopt;
    return text.toInt();
}

std::optional<int> dayCode(const QString& text) {
    static const QStringList kNames = {QStringLiteral("sun"), QStringLiteral("mon"),
                                       QStringLiteral("tue"), QStringLiteral("wed"),
                                       QStringLiteral("thu"), QStringLiteral("fri"),
                                       QStringLiteral("sat"), QStringLiteral("every")};
    const qsizetype named = kNames.indexOf(text.toLower());
    if (named >= 0)
        return static_cast<int>(named);
    return text.size() == 1 ? number(text, 7) : std::nullopt;
}

std::optional<Request> refuse(QString* error, const QString& why) {
    if (error)
        *error = why;
    return std::nullopt;
}

// N DAY HH:MM:SS on|off as the editor holds them: times as the selectors'
// plain numbers, Check1(1) checked for "on".
std::optional<Request> parseEntry(const QStringList& a, QString* error) {
    Request r;
    r.action = Action::kSet;
    const std::optional<int> n = a[0].size() == 1 ? number(a[0], 9) : std::nullopt;
    if (!n)
        return refuse(error, QStringLiteral("reservation \"%1\": give 0 to 9").arg(a[0]));
    const std::optional<int> day = dayCode(a[1]);
    if (!day)
        return refuse(error, QStringLiteral("day \"%1\": give sun..sat, every or 0..7").arg(a[1]));
    const QStringList hms = a[2].split(u':');
    const std::optional<int> t[3] = {number(hms.value(0), 23), number(hms.value(1), 59),
                                     number(hms.value(2), 59)};
    if (hms.size() != 3 || !t[0] || !t[1] || !t[2])
        return refuse(error,
                      QStringLiteral("time \"%1\": give HH:MM:SS, 00:00:00 to 23:59:59").arg(a[2]));
    const QString flag = a[3].toLower();
    if (flag != QLatin1String("on") && flag != QLatin1String("off"))
        return refuse(error, QStringLiteral("flag \"%1\": give on or off").arg(a[3]));
    r.entry = EditorValues{*n,
                           *day,
                           QString::number(*t[0]),
                           QString::number(*t[1]),
                           QString::number(*t[2]),
                           flag == QLatin1String("on") ? 1 : 0};
    return r;
}

QString timeText(int hour, int minute, int second) {
    return QStringLiteral("%1:%2:%3")
        .arg(hour, 2, 10, QLatin1Char('0'))
        .arg(minute, 2, 10, QLatin1Char('0'))
        .arg(second, 2, 10, QLatin1Char('0'));
}

QJsonValue dayValue(std::optional<int> day) {
    return day ? QJsonValue(*day) : QJsonValue(QJsonValue::Null);
}

} // namespace

std::optional<CommandLine> splitArguments(const QStringList& args, QString* error) {
    const auto refused = [error](const QString& why) -> std::optional<CommandLine> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    CommandLine c;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (a == QLatin1String("--")) {
            c.words += args.mid(i + 1);
            break;
        }
        if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            c.help = true;
            continue;
        }
        if (a == QLatin1String("-v") || a == QLatin1String("--version")) {
            c.version = true;
            continue;
        }
        if (a == QLatin1String("--json")) {
            c.json = true;
            continue;
        }
        if (!a.startsWith(QLatin1String("--"))) {
            c.words << a;
            continue;
        }
        // --name VALUE or --name=VALUE
        const qsizetype equals = a.indexOf(u'=');
        const QString name = a.left(equals);
        if (name != QLatin1String("--dir") && name != QLatin1String("--wait"))
            return refused(QStringLiteral("unknown option \"%1\"").arg(name));
        if (equals < 0 && i + 1 >= args.size())
            return refused(QStringLiteral("%1 needs a value").arg(name));
        const QString value = equals >= 0 ? a.mid(equals + 1) : args.at(++i);
        if (name == QLatin1String("--dir")) {
            if (value.isEmpty())
                return refused(QStringLiteral("--dir needs a value"));
            c.dir = value;
            continue;
        }
        static const QRegularExpression kSeconds(QStringLiteral("^[0-9]{1,5}$"));
        if (!kSeconds.match(value).hasMatch() || value.toInt() > kMaxWaitSeconds)
            return refused(QStringLiteral("--wait \"%1\": give whole seconds, 0 to %2")
                               .arg(value)
                               .arg(kMaxWaitSeconds));
        c.waitSeconds = value.toInt();
    }
    return c;
}

std::optional<Request> parseRequest(const QStringList& args, bool json, QString* error) {
    static const QStringList kCommands = {QStringLiteral("show"), QStringLiteral("sync-clock"),
                                          QStringLiteral("set"), QStringLiteral("backup"),
                                          QStringLiteral("restore")};
    if (args.isEmpty())
        return refuse(error, QStringLiteral("no command"));
    const qsizetype command = kCommands.indexOf(args.first());
    if (command < 0)
        return refuse(error, QStringLiteral("unknown command \"%1\"").arg(args.first()));
    const Action action = static_cast<Action>(command);
    const QStringList rest = args.mid(1);
    // Arguments each command takes: at least, at most.
    static const int kCounts[][2] = {{0, 0}, {0, 0}, {4, 4}, {0, 1}, {0, 1}};
    if (rest.size() < kCounts[command][0] || rest.size() > kCounts[command][1])
        return refuse(error, QStringLiteral("%1: wrong number of arguments").arg(args.first()));
    if (json && action != Action::kShow)
        return refuse(error, QStringLiteral("--json goes with show only"));
    if (action == Action::kSet)
        return parseEntry(rest, error);
    Request r;
    r.action = action;
    r.json = json;
    r.file = rest.value(0);
    return r;
}

QJsonObject tableJson(const QStringList& rows) {
    // The clock's hour is shown as the device sent it, not limited to 23.
    static const QRegularExpression kClockShape(
        QStringLiteral("^現在 :(..)([0-9]{2}:[0-9]{2}:[0-9]{2})$"));
    QJsonValue clock(QJsonValue::Null);
    const QRegularExpressionMatch m = kClockShape.match(rows.value(0));
    const qsizetype day = DayName().indexOf(m.captured(1));
    if (m.hasMatch() && day >= 0)
        clock = QJsonObject{{QStringLiteral("day"), static_cast<int>(day)},
                            {QStringLiteral("time"), m.captured(2)}};

    QJsonArray reservations;
    for (const QString& row : rows.mid(1)) {
        const std::optional<ShownReservation> r = parseReservationRow(row);
        if (!r) {
            reservations.append(QJsonValue(QJsonValue::Null));
            continue;
        }
        reservations.append(QJsonObject{
            {QStringLiteral("number"), r->number},
            {QStringLiteral("day"), dayValue(r->day)},
            {QStringLiteral("time"), timeText(r->hour, r->minute, r->second)},
            {QStringLiteral("enabled"), r->enabled},
            {QStringLiteral("action"), r->powerOff ? QStringLiteral("off") : QStringLiteral("on")},
        });
    }
    return QJsonObject{{QStringLiteral("clock"), clock},
                       {QStringLiteral("reservations"), reservations}};
}

int exitCode(Outcome outcome) {
    switch (outcome) {
    case Outcome::kDone:
        return kExitDone;
    case Outcome::kDeviceFailed:
        return kExitDevice;
    case Outcome::kFileFailed:
        return kExitFile;
    case Outcome::kPortFailed:
        return kExitDevice;
    }
    return kExitDevice;
}

} // namespace morvane
