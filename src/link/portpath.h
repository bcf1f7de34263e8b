// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

namespace morvane {

// The device path for port number n: "COMn" on Windows; elsewhere the entry
// "COMn" in appDir when there is one, else /dev/ttyS(n-1). Empty below 1.
QString portPathFor(int n, const QString& appDir);

} // namespace morvane
