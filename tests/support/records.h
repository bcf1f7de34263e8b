// SPDX-License-Identifier: MIT
// A settings record that differs in a comparison is shown field by field, in
// the order of the settings file.
#pragma once

#include "sysfile.h"

#include <QTest>

namespace morvane {

inline char* toString(const SysSettingsRecord& s) {
    const auto n = [](qint16 v) { return QString::number(v); };
    return QTest::toString(QStringList{n(s.COMPORT), n(s.BAUDRATE), n(s.BITS), s.PARITY, n(s.STOPS),
                                       n(s.ComTimeOut), n(s.ComReTry), s.BackUpFile}
                               .join(u','));
}

} // namespace morvane
