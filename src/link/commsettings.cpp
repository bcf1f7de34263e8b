// SPDX-License-Identifier: MIT
#include "commsettings.h"

#include <algorithm>
#include <limits>

namespace morvane {

namespace {

bool allDigits(QStringView s) {
    return !s.isEmpty() &&
           std::all_of(s.begin(), s.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// The value a settings field names, from a short table of its spellings.
template <class T>
bool pick(const QString& field, std::initializer_list<std::pair<QStringView, T>> table, T& out) {
    for (const auto& [text, value] : table)
        if (field == text) {
            out = value;
            return true;
        }
    return false;
}

} // namespace

bool parseCommSettings(const QString& settings, LineSettings& out) {
    const QStringList f = settings.split(u',');
    if (f.size() != 4)
        return false;

    // The speed is written with a sign position: one blank before it.
    QStringView speed(f[0]);
    if (speed.startsWith(u' '))
        speed = speed.mid(1);
    if (!allDigits(speed))
        return false;
    bool ok = false;
    const qlonglong baud = speed.toLongLong(&ok);
    if (!ok || baud < 1 || baud > std::numeric_limits<qint32>::max())
        return false;

    LineSettings r;
    r.baud = static_cast<qint32>(baud);

    const bool known = pick(f[1].toUpper(),
                            {{u"N", QSerialPort::NoParity},
                             {u"E", QSerialPort::EvenParity},
                             {u"O", QSerialPort::OddParity},
                             {u"M", QSerialPort::MarkParity},
                             {u"S", QSerialPort::SpaceParity}},
                            r.parity) &&
                       pick(f[2],
                            {{u"5", QSerialPort::Data5},
                             {u"6", QSerialPort::Data6},
                             {u"7", QSerialPort::Data7},
                             {u"8", QSerialPort::Data8}},
                            r.dataBits) &&
                       pick(f[3],
                            {{u"1", QSerialPort::OneStop},
                             {u"1.5", QSerialPort::OneAndHalfStop},
                             {u"2", QSerialPort::TwoStop}},
                            r.stopBits);
    if (!known)
        return false;

    out = r;
    return true;
}

QString commSettingsString(const SysSettingsRecord& s) {
    const QString speed = s.BAUDRATE < 0 ? QString::number(s.BAUDRATE)
                                         : QStringLiteral(" ") + QString::number(s.BAUDRATE);
    return speed + u',' + s.PARITY + u',' + QString::number(s.BITS) + u',' +
           QString::number(s.STOPS);
}

} // namespace morvane
