// SPDX-License-Identifier: MIT
// COM_Init: the settings record turned into the comm component's
// configuration, and the port opened.
#pragma once

#include "clock.h"
#include "mscomm.h"
#include "sysfile.h"

namespace morvane {

// Configures and opens the port from the settings, port n looked up from
// AppDir; returns ComStatus. Never shows a message.
qint16 COM_Init(MSComm& MSComm1, const SysSettingsRecord& SysSettings, const QString& AppDir);

// COM_Init, tried again while another program holds the port, every quarter
// of a second for up to waitMs, sleeping on `clock` in between.
qint16 COM_InitWhenFree(MSComm& MSComm1, const SysSettingsRecord& SysSettings,
                        const QString& AppDir, int waitMs, Clock& clock);

} // namespace morvane
