// SPDX-License-Identifier: MIT
#include "cominit.h"

#include "commsettings.h"

#include <algorithm>

namespace morvane {

qint16 COM_Init(MSComm& MSComm1, const SysSettingsRecord& SysSettings, const QString& AppDir) {
    MSComm1.setAppDir(AppDir);
    const bool ok = MSComm1.setCommPort(SysSettings.COMPORT) &&
                    MSComm1.setSettings(commSettingsString(SysSettings)) &&
                    MSComm1.setInputLen(0) && MSComm1.setRThreshold(1) &&
                    MSComm1.setHandshaking(0) && (MSComm1.PortOpen() || MSComm1.setPortOpen(true));
    return ok ? kComStatusOpen : kComStatusFailed;
}

qint16 COM_InitWhenFree(MSComm& MSComm1, const SysSettingsRecord& SysSettings,
                        const QString& AppDir, int waitMs, Clock& clock) {
    constexpr int kRetryMs = 250;
    for (int waited = 0;; waited += kRetryMs) {
        const qint16 status = COM_Init(MSComm1, SysSettings, AppDir);
        if (status == kComStatusOpen || MSComm1.lastAttempt().trouble != PortTrouble::kBusy ||
            waited >= waitMs)
            return status;
        clock.sleep(std::min(kRetryMs, waitMs - waited));
    }
}

} // namespace morvane
