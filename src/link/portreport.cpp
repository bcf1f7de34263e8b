// SPDX-License-Identifier: MIT
#include "portreport.h"

#include "exchange.h"

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

// The window speaks Japanese, morvane-cli English.
QString say(Language language, const QString& japanese, const QString& english) {
    return language == Language::kJapanese ? japanese : english;
}

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
QString useCommand(const PortFacts& f, const ListedPort& p, bool, Language l) {
    return say(l,
               QStringLiteral("COM%1 の代わりに %2 を使うには、ポート番号を %3 にしてください。"),
               QStringLiteral("To use %2 instead of COM%1, set the port number to %3."))
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
QString useCommand(const PortFacts& f, const ListedPort& p, bool link, Language l) {
    QStringList steps;
    if (!p.deniedGroup.isEmpty())
        steps << QStringLiteral("sudo adduser $USER ") + p.deniedGroup;
    if (link)
        steps << QStringLiteral("ln -sfn %1 %2")
                     .arg(shellQuoted(p.path), shellQuoted(QDir(f.appDir).filePath(
                                                   QStringLiteral("COM%1").arg(f.number))));
    const QString how = steps.join(QStringLiteral(" && "));
    const bool relogin = !p.deniedGroup.isEmpty();
    if (l == Language::kEnglish)
        return QStringLiteral("To %1 COM%2: %3%4")
            .arg(link ? QStringLiteral("make %1").arg(p.path)
                      : QStringLiteral("be allowed to open"))
            .arg(f.number)
            .arg(how, relogin ? QStringLiteral(" (then log in again)") : QString());
    return QStringLiteral("COM%1 %2: %3%4")
        .arg(f.number)
        .arg(link ? QStringLiteral("にするには") : QStringLiteral("を開けるようにするには"), how,
             relogin ? QStringLiteral("（このあとログインし直してください）") : QString());
}

#endif

// "morvane-cli, process 4711" as far as it is known; empty when nothing is.
QString holderText(const PortHolder& h, Language l) {
    QStringList parts;
    if (!h.program.isEmpty())
        parts << h.program;
    if (h.pid > 0)
        parts << say(l, QStringLiteral("プロセス番号 %1"), QStringLiteral("process %1")).arg(h.pid);
    return parts.join(say(l, QStringLiteral("、"), QStringLiteral(", ")));
}

QString usedBy(const PortHolder& h, Language l, bool past) {
    const QString who = holderText(h, l);
    if (l == Language::kEnglish)
        return QStringLiteral("another program%1 %2 using it.")
            .arg(who.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(who),
                 past ? QStringLiteral("was") : QStringLiteral("is"));
    return QStringLiteral("ほかのプログラム%1が使って%2。")
        .arg(who.isEmpty() ? QString() : QStringLiteral("（%1）").arg(who),
             past ? QStringLiteral("いました") : QStringLiteral("います"));
}

// Who holds the port, then and now, and what to do about it: never a change
// to the settings or the links, which are not at fault.
QString busyText(const PortFacts& f, Language l) {
    if (!f.triedEarlier)
        return say(l,
                   QStringLiteral(
                       "%1そのプログラムを終了するか閉じてから、もう一度試してください。"),
                   QStringLiteral("Now %1 Close that program or let it finish, then try again."))
            .arg(usedBy(f.holder, l, false));
    const QString when = f.triedAtStartUp ? say(l, QStringLiteral("起動したとき（%1）、"),
                                                QStringLiteral("When this program started (%1), "))
                                          : say(l, QStringLiteral("%1 に開こうとしたとき、"),
                                                QStringLiteral("When it was opened at %1, "));
    QString text =
        when.arg(f.triedAt.toString(QStringLiteral("HH:mm:ss"))) + usedBy(f.holder, l, true);
    if (!kHoldersKnown)
        return text;
    if (f.holderNow)
        return text + say(l,
                          QStringLiteral("今も%1そのプログラムを終了するか閉じてから、「<System>"
                                         "」画面で「決　定」を押してください。"),
                          QStringLiteral(" Still %1 Close that program or let it finish, then "
                                         "confirm the system panel (決　定)."))
                          .arg(usedBy(*f.holderNow, l, false));
    return text +
           say(l,
               QStringLiteral(
                   "今は使われていません。「<System>」画面で「決　定」を押すとポートを開きます。"),
               QStringLiteral(" It is free now: confirming the system panel (決　定) opens it."));
}

QString whatItIs(const PortFacts& f, Language l) {
    if (f.trouble == PortTrouble::kNoNumber)
        return say(l, QStringLiteral("COM%1 というポートはありません。ポート番号は 1 以上です。"),
                   QStringLiteral("There is no port COM%1: port numbers start at 1."))
            .arg(f.number);
    const QString target =
        f.linkTarget.isEmpty() || f.linkTarget == f.path ? QString() : " → " + f.linkTarget;
    QString what = say(l, QStringLiteral("COM%1 は %2%3 です。"), QStringLiteral("COM%1 is %2%3. "))
                       .arg(f.number)
                       .arg(f.path, target);
    switch (f.trouble) {
    case PortTrouble::kNone:
        if (f.open)
            what += say(l, QStringLiteral("ポートは開いていますが、Morvane が応答しません。"),
                        QStringLiteral("The port is open, but the Morvane does not answer."));
        break;
    case PortTrouble::kNoNumber:
        break;
    case PortTrouble::kBadSettings:
        what += say(l, QStringLiteral("Morvane.SYS の通信設定が使えません。"),
                    QStringLiteral("The line settings of Morvane.SYS are not usable."));
        break;
    case PortTrouble::kMissing:
        what += say(l, QStringLiteral("そのデバイスはありません。"),
                    QStringLiteral("There is no such device."));
        break;
    case PortTrouble::kBusy:
        what += busyText(f, l);
        break;
    case PortTrouble::kDenied:
        what +=
            f.deniedGroup == QLatin1String("-")
                ? say(l, QStringLiteral("開く権限がありません。"),
                      QStringLiteral("This user may not open it."))
                : say(l,
                      QStringLiteral("開く権限がありません（グループ %1 のメンバーが開けます）。"),
                      QStringLiteral("This user may not open it (members of group %1 may)."))
                      .arg(f.deniedGroup);
        break;
    case PortTrouble::kGone:
        what += say(l,
                    QStringLiteral(
                        "通信の途中でデバイスがなくなりました（抜かれたか、相手側が閉じました）。"),
                    QStringLiteral("The device went away while in use (unplugged, or closed at "
                                   "the far end)."));
        break;
    case PortTrouble::kOther:
        what += say(l, QStringLiteral("開けません: %1"), QStringLiteral("It does not open: %1"))
                    .arg(f.detail);
        break;
    }
    return what.trimmed();
}

// The one command that can help, for the troubles a link or a group mends.
QString advice(const PortFacts& f, Language l) {
    if (f.trouble == PortTrouble::kNoNumber)
        return say(l,
                   QStringLiteral("「<System>」画面の COM Port に 1 以上の番号を入れてください。"),
                   QStringLiteral("Set COMPORT in Morvane.SYS to 1 or more (the window's system "
                                  "panel does it)."));
    const QString current = f.linkTarget.isEmpty() ? f.path : f.linkTarget;
    if (f.trouble == PortTrouble::kDenied && f.deniedGroup != QLatin1String("-"))
        return useCommand(f, {current, {}, f.deniedGroup}, false, l);
    if (f.trouble != PortTrouble::kMissing && f.trouble != PortTrouble::kDenied &&
        f.trouble != PortTrouble::kOther)
        return {};
    for (const ListedPort& p : f.ports)
        if (p.path != current && p.deniedGroup != QLatin1String("-"))
            return useCommand(f, p, true, l);
    return {};
}

} // namespace

PortFacts portFacts(const MSComm& MSComm1, const SysSettingsRecord& SysSettings,
                    const QString& AppDir) {
    PortFacts f;
    f.number = SysSettings.COMPORT;
    f.appDir = AppDir;
    const PortAttempt& tried = MSComm1.lastAttempt();
    // The port that was tried, as it was then: a device that went away may
    // have taken its link with it.
    const bool sameTry = tried.number == f.number && !tried.path.isEmpty();
    f.path = sameTry ? tried.path : portPathFor(f.number, AppDir);
    f.linkTarget = sameTry ? tried.device : reachedDevice(f.path);
    const QFileInfo info(f.path);
    if (f.linkTarget == f.path && info.isSymLink())
        f.linkTarget = info.symLinkTarget(); // a link that leads nowhere: where it points
    LineSettings line;
    if (f.path.isEmpty())
        f.trouble = PortTrouble::kNoNumber;
    else if (!parseCommSettings(commSettingsString(SysSettings), line))
        f.trouble = PortTrouble::kBadSettings;
    else if (MSComm1.PortOpen())
        f.open = true;
    else if (sameTry)
        f.trouble = tried.trouble;
    else if (!info.exists())
        f.trouble = PortTrouble::kMissing;
    if (f.trouble == PortTrouble::kDenied)
        f.deniedGroup = deniedGroupOf(f.path);
    if (f.trouble == PortTrouble::kOther)
        f.detail = tried.detail;
    if (f.trouble == PortTrouble::kBusy) {
        f.holder = tried.holder;
        f.triedAt = tried.at.time();
        f.holderNow = deviceHolder(tried.device);
    }
    for (const QSerialPortInfo& p : QSerialPortInfo::availablePorts())
        f.ports.append({p.systemLocation(), p.description(), deniedGroupOf(p.systemLocation())});
    return f;
}

QString portReport(const PortFacts& f, Language l) {
    QStringList lines{whatItIs(f, l)};
    QStringList listed;
    for (const ListedPort& p : f.ports)
        listed << (p.description.isEmpty()
                       ? p.path
                       : say(l, QStringLiteral("%1（%2）"), QStringLiteral("%1 (%2)"))
                             .arg(p.path, p.description));
    lines << (listed.isEmpty()
                  ? say(l, QStringLiteral("このコンピューターにはシリアルポートが見つかりません。"),
                        QStringLiteral("This computer shows no serial port."))
                  : say(l, QStringLiteral("このコンピューターのシリアルポート: "),
                        QStringLiteral("Serial ports of this computer: ")) +
                        listed.join(say(l, QStringLiteral("、"), QStringLiteral(", "))));
    const QString help = advice(f, l);
    if (!help.isEmpty())
        lines << help;
    return lines.join(u'\n');
}

bool wantsPortReport(const QString& message) {
    return message == kMsgNotConnected || message == kMsgSetUpPortAgain;
}

} // namespace morvane
