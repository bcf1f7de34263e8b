// SPDX-License-Identifier: MIT
#pragma once

#include "mscomm.h"

#include <QList>
#include <QString>
#include <QTime>
#include <optional>

namespace morvane {

// A serial port the system lists.
struct ListedPort {
    QString path = {};
    QString description = {};
    QString deniedGroup = {}; // the group to join first, when this user may not open it
};

// What the port boxes tell about port n.
struct PortFacts {
    int number = 1;
    QString path = {};       // what COMn named
    QString linkTarget = {}; // the device a link there reached
    bool open = false;       // the port is open: the device is silent
    PortTrouble trouble = PortTrouble::kNone;
    QString detail = {};      // the system's own words, for kOther
    QString deniedGroup = {}; // for kDenied: the group that owns the device
    QString appDir = {};      // where a COMn link would go
    // For kBusy: who held the port when it was tried, and when; who holds it
    // now (nothing when it is free, or when the system cannot tell).
    PortHolder holder = {};
    QTime triedAt = {};
    std::optional<PortHolder> holderNow = {};
    bool triedEarlier = false; // the attempt was not just now: tell then and now apart
    bool triedAtStartUp = false;
    QList<ListedPort> ports = {};
};

// The facts as the system shows them now, after MSComm1's last open.
PortFacts portFacts(const MSComm& MSComm1, const SysSettingsRecord& SysSettings,
                    const QString& AppDir);

enum class Language { kJapanese, kEnglish };

// The informative part of the boxes about the port: what COMn is, why it
// failed, the serial ports there are and, where it can help, the one command
// that makes one of them COMn. A busy port names its holder and says to wait
// for it rather than to change anything.
QString portReport(const PortFacts& facts, Language language);

// Whether a message of the exchange is about the port, so that the port
// report belongs below it.
bool wantsPortReport(const QString& message);

} // namespace morvane
