// SPDX-License-Identifier: MIT
#include "portreport.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSerialPortInfo>

#ifndef Q_OS_WIN
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace morvane {

namespace {

// Single quotes keep a path with blanks in one piece for the shell.
QString shellQuoted(const QString& s) {
    if (!s.isEmpty() && s.contains(QRegularExpression(QStringLiteral("^[\\w/.:+-]+$"))))
        return s;
    return u'\'' + QString(s).replace(u'\'', QStringLiteral("'\\''")) + u'\'';
}

#ifdef Q_OS_WIN

// Windows knows no device groups.
QString deniedGroupOf(const QString&) {
    return {};
}

// A port is chosen by its number there.
QString useCommand(const PortFacts& f, const ListedPort& p, bool) {
    return QStringLiteral("COM%1 の代わりに %2 を使うには、ポート番号を %3 にしてください。")
        .arg(f.number)
        .arg(p.path, p.path.mid(3));
}

#else

// When this user may not open the device: the group whose members may, or
// "-" when no group may.
QString deniedGroupOf(const QString& path) {
    struct stat st;
    const QByteArray name = QFile::encodeName(path);
    if (::access(name.constData(), R_OK | W_OK) == 0 || errno != EACCES ||
        ::stat(name.constData(), &st) != 0)
        return {};
    if ((st.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP))
        return QStringLiteral("-");
    const struct group* g = ::getgrgid(st.st_gid);
    return g ? QString::fromLocal8Bit(g->gr_name) : QString::number(st.st_gid);
}

// A port becomes COMn by a link in the start-up folder; a device the user may
// not open needs the group first, and a new login.
QString useCommand(const PortFacts& f, const ListedPort& p, bool link) {
    QStringList steps;
    if (!p.deniedGroup.isEmpty())
        steps << QStringLiteral("sudo adduser $USER ") + p.deniedGroup;
    if (link)
        steps << QStringLiteral("ln -sfn %1 %2")
                     .arg(shellQuoted(p.path), shellQuoted(QDir(f.appDir).filePath(
                                                   QStringLiteral("COM%1").arg(f.number))));
    return QStringLiteral("COM%1 %2: %3%4")
        .arg(f.number)
        .arg(link ? QStringLiteral("にするには") : QStringLiteral("を開けるようにするには"),
             steps.join(QStringLiteral(" && ")),
             p.deniedGroup.isEmpty() ? QString()
                                     : QStringLiteral("（このあとログインし直してください）"));
}

#endif

PortTrouble troubleOf(const QString& path, QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::NoError:
        return PortTrouble::kNone;
    case QSerialPort::DeviceNotFoundError:
        return PortTrouble::kMissing;
    case QSerialPort::PermissionError:
        // The lock of another program shows as a permission error too.
        return deniedGroupOf(path).isEmpty() ? PortTrouble::kBusy : PortTrouble::kDenied;
    default:
        return QFileInfo::exists(path) ? PortTrouble::kOther : PortTrouble::kMissing;
    }
}

} // namespace

PortFacts portFacts(const MSComm& MSComm1, const SysSettingsRecord& SysSettings,
                    const QString& AppDir) {
    PortFacts f;
    f.number = SysSettings.COMPORT;
    f.appDir = AppDir;
    f.path = portPathFor(f.number, AppDir);
    const QFileInfo info(f.path);
    if (info.isSymLink())
        f.linkTarget = info.symLinkTarget();
    LineSettings line;
    if (f.path.isEmpty())
        f.trouble = PortTrouble::kNoNumber;
    else if (!parseCommSettings(commSettingsString(SysSettings), line))
        f.trouble = PortTrouble::kBadSettings;
    else if (MSComm1.PortOpen())
        f.open = true;
    else if (MSComm1.portPath() == f.path)
        f.trouble = troubleOf(f.path, MSComm1.openError());
    else if (!info.exists())
        f.trouble = PortTrouble::kMissing;
    if (f.trouble == PortTrouble::kDenied)
        f.deniedGroup = deniedGroupOf(f.path);
    if (f.trouble == PortTrouble::kOther)
        f.detail = MSComm1.openErrorString();
    for (const QSerialPortInfo& p : QSerialPortInfo::availablePorts())
        f.ports.append({p.systemLocation(), p.description(), deniedGroupOf(p.systemLocation())});
    return f;
}

QString portReport(const PortFacts& f) {
    QStringList lines;
    QString what =
        f.trouble == PortTrouble::kNoNumber
            ? QStringLiteral("COM%1 というポートはありません。").arg(f.number)
            : QStringLiteral("COM%1 は %2%3 です。")
                  .arg(f.number)
                  .arg(f.path, f.linkTarget.isEmpty() ? QString() : " → " + f.linkTarget);
    switch (f.trouble) {
    case PortTrouble::kNone:
        if (f.open)
            what += QStringLiteral("ポートは開いていますが、Morvane が応答しません。");
        break;
    case PortTrouble::kNoNumber:
        break;
    case PortTrouble::kBadSettings:
        what += QStringLiteral("Morvane.SYS の通信設定が使えません。");
        break;
    case PortTrouble::kMissing:
        what += QStringLiteral("そのデバイスはありません。");
        break;
    case PortTrouble::kBusy:
        what += QStringLiteral("ほかのプログラムが使っています。");
        break;
    case PortTrouble::kDenied:
        what += f.deniedGroup == QLatin1String("-")
                    ? QStringLiteral("開く権限がありません。")
                    : QStringLiteral("開く権限がありません（グループ %1 のメンバーが開けます）。")
                          .arg(f.deniedGroup);
        break;
    case PortTrouble::kOther:
        what += QStringLiteral("開けません: %1").arg(f.detail);
        break;
    }
    lines << what;

    QStringList listed;
    for (const ListedPort& p : f.ports)
        listed << (p.description.isEmpty() ? p.path
                                           : QStringLiteral("%1（%2）").arg(p.path, p.description));
    lines << (listed.isEmpty()
                  ? QStringLiteral("このコンピューターにはシリアルポートが見つかりません。")
                  : QStringLiteral("このコンピューターのシリアルポート: ") +
                        listed.join(QStringLiteral("、")));

    // COMn itself when only a group stands in the way; else the first other
    // port this user can be let to open.
    const QString current = f.linkTarget.isEmpty() ? f.path : f.linkTarget;
    if (f.trouble == PortTrouble::kDenied && f.deniedGroup != QLatin1String("-")) {
        lines << useCommand(f, {current, {}, f.deniedGroup}, false);
    } else {
        for (const ListedPort& p : f.ports) {
            if (p.path != current && p.deniedGroup != QLatin1String("-")) {
                lines << useCommand(f, p, true);
                break;
            }
        }
    }
    return lines.join(u'\n');
}

} // namespace morvane
