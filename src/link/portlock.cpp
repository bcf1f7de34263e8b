// SPDX-License-Identifier: MIT
#include "portlock.h"

#include <QList>

namespace morvane {

QString lockFileName(const QString& device) {
    QString name = device.startsWith(QLatin1String("/dev/")) ? device.mid(5) : device;
    return QStringLiteral("LCK..") + name.replace(u'/', u'_');
}

qint64 flockHolderIn(const QByteArray& table, unsigned major, unsigned minor, quint64 inode) {
    // "1: FLOCK  ADVISORY  WRITE 4711 00:05:123 0 EOF": the file as
    // major:minor (hexadecimal) and inode (decimal).
    for (const QByteArray& line : table.split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() < 6 || f[1] != "FLOCK")
            continue;
        const QList<QByteArray> id = f[5].split(':');
        bool ok[4] = {};
        if (id.size() != 3 || id[0].toUInt(&ok[0], 16) != major ||
            id[1].toUInt(&ok[1], 16) != minor || id[2].toULongLong(&ok[2]) != inode)
            continue;
        const qint64 pid = f[4].toLongLong(&ok[3]);
        if (ok[0] && ok[1] && ok[2] && ok[3] && pid > 0)
            return pid;
    }
    return 0;
}

} // namespace morvane
