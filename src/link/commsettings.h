// SPDX-License-Identifier: MIT
// The line settings string the comm component takes, " 9600,N,8,1".
#pragma once

#include "sysfile.h"

#include <QSerialPort>
#include <QString>

namespace morvane {

// Line settings parsed from a settings string such as " 9600,N,8,1".
struct LineSettings {
    qint32 baud = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

// Parses a settings string; false when the component cannot use it.
bool parseCommSettings(const QString& settings, LineSettings& out);

// The settings string for the record: " 9600,N,8,1" for the defaults.
QString commSettingsString(const SysSettingsRecord& s);

} // namespace morvane
