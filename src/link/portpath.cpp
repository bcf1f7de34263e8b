// SPDX-License-Identifier: MIT
#include "portpath.h"

#include <QDir>
#include <QFileInfo>

namespace morvane {

#ifdef Q_OS_WIN
// Windows knows its serial ports by name.
QString portPathFor(int n, const QString&) {
    return n < 1 ? QString() : QStringLiteral("COM") + QString::number(n);
}
#else
QString portPathFor(int n, const QString& appDir) {
    if (n < 1)
        return {};
    // A link COMn in the start-up directory names the device (for instance
    // `ln -s /dev/ttyUSB0 COM3`); a dangling link still counts, and then
    // fails to open instead of silently falling back to another device.
    if (!appDir.isEmpty()) {
        const QString entry = QDir(appDir).filePath(QStringLiteral("COM") + QString::number(n));
        const QFileInfo info(entry);
        if (info.exists() || info.isSymLink())
            return entry;
    }
    return QStringLiteral("/dev/ttyS") + QString::number(n - 1);
}
#endif

} // namespace morvane
