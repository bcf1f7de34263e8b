// SPDX-License-Identifier: MIT
#pragma once

#include "sysfile.h"

#include <QString>

namespace morvane {

// The system panel's boxes as typed: Text1 to Text4.
struct PanelTexts {
    QString port;
    QString timeOut;
    QString reTry;
    QString backUpFile;
};

// The boxes as opening the panel fills them from the settings: the numbers
// as signed decimal with a sign position (" 1"), the path as it is.
PanelTexts panelTexts(const SysSettingsRecord& settings);

// What confirming the panel does to the settings.
struct PanelCheck {
    SysSettingsRecord settings; // what SysSettings becomes, also when refused
    QString message;            // empty when the values are accepted
    int focusBox = 0;           // when refused, the box to focus: 1..4 for Text1..Text4
};

// The confirm button's checks. A number outside 16 bits, or a backup path
// with a comma or a control character, changes nothing; a time-out below 2
// seconds is refused after the port number has been taken, as the panel
// always did; otherwise every value is taken.
PanelCheck checkSystemPanel(const PanelTexts& texts, const SysSettingsRecord& current);

} // namespace morvane
