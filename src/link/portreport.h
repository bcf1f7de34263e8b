// SPDX-License-Identifier: MIT
#pragma once

#include "mscomm.h"

#include <QList>
#include <QString>

namespace morvane {

// Why port n did not open, as far as the system tells.
enum class PortTrouble {
    kNone,        // it opened, or nobody tried yet
    kNoNumber,    // no port has a number below 1
    kBadSettings, // the line settings are not usable
    kMissing,     // the device is not there
    kBusy,        // another program holds it
    kDenied,      // this user may not open it
    kOther,       // anything else the system reports
};

// A serial port the system lists.
struct ListedPort {
    QString path = {};
    QString description = {};
    QString deniedGroup = {}; // the group to join first, when this user may not open it
};

// What the port boxes tell about port n.
struct PortFacts {
    int number = 1;
    QString path = {};       // what COMn resolved to
    QString linkTarget = {}; // where the COMn link points, when it is one
    bool open = false;       // the port is open: the device is silent
    PortTrouble trouble = PortTrouble::kNone;
    QString detail = {};      // the system's own words, for kOther
    QString deniedGroup = {}; // for kDenied: the group that owns the device
    QString appDir = {};      // where a COMn link would go
    QList<ListedPort> ports = {};
};

// The facts as the system shows them now, after MSComm1's last open.
PortFacts portFacts(const MSComm& MSComm1, const SysSettingsRecord& SysSettings,
                    const QString& AppDir);

// The informative part of the boxes about the port, in the program's
// language: what COMn is, why it failed, the serial ports there are and the
// one command that makes one of them COMn.
QString portReport(const PortFacts& facts);

} // namespace morvane
