// SPDX-License-Identifier: MIT
// morvane-cli: the timer's table, clock, backup and restore from a shell or a
// timer unit, with the window's settings, port and device operations.
#include "backup.h"
#include "cli.h"
#include "device.h"
#include "exchange.h"
#include "mscomm.h"
#include "plainviews.h"
#include "portreport.h"
#include "sysfile.h"
#include "textfile.h"
#include "watchedline.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>

#include <cstdio>

// CMake passes the project's version; the Windows syntax check compiles
// without the build's definitions.
#ifndef MORVANE_VERSION
#define MORVANE_VERSION "unknown"
#endif

using namespace morvane;

namespace {

const QString kUsage = QStringLiteral("Usage: morvane-cli [--dir DIR] show [--json] | sync-clock | "
                                      "set N DAY HH:MM:SS on|off | backup [FILE] | restore [FILE]");

void print(std::FILE* to, const QString& text) {
    const QByteArray bytes = (text + u'\n').toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), to);
}

void tellUser(const QString& text) {
    print(stderr, QStringLiteral("morvane-cli: ") + text);
}

QString nativeAbsolute(const QString& path) {
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

// The settings, port and link of one run in the current directory, which is
// the window's start-up folder.
class Session {
public:
    int run(const Request& r);

private:
    bool readSettings();
    int checkRestore(const QString& file);
    bool openPort();
    void tell(const QString& message);
    int failed(Outcome outcome);
    int show(bool json);
    int syncClock();
    int set(const EditorValues& entry, const QString& file);
    int backup(const QString& file);
    int restore(const QString& file);

    QString appDir_ = currentAppDir();
    QString sysFileName_;
    SysSettingsRecord settings_;
    MSComm port_;
    WatchedLine line_{port_};
    SystemClock clock_;
    Link link_{settings_, line_, clock_, [this](const QString& m) { tell(m); }};
    QString file_; // the file in hand, named in its messages
    QString lastMessage_;
    bool told_ = false;
};

int Session::run(const Request& r) {
    if (!readSettings())
        return kExitFile;
    const QString file = nativeAbsolute(r.file.isEmpty() ? settings_.BackUpFile : r.file);
    if (r.action == Action::kRestore && checkRestore(file) != kExitDone)
        return kExitFile;
    if (!openPort())
        return kExitDevice;
    switch (r.action) {
    case Action::kShow:
        return show(r.json);
    case Action::kSyncClock:
        return syncClock();
    case Action::kSet:
        return set(r.entry, file);
    case Action::kBackup:
        return backup(file);
    case Action::kRestore:
        return restore(file);
    }
    return kExitUsage;
}

bool Session::readSettings() {
    SetDefaultSys(appDir_, settings_, sysFileName_);
    // ReadSys would create a missing file; this program never writes it.
    if (!QFileInfo::exists(sysFileName_)) {
        tellUser(QStringLiteral("%1 not found: using the default settings (port 1, 9600,N,8,1)")
                     .arg(sysFileName_));
        return true;
    }
    qint16 FileErrNo = 0;
    file_ = sysFileName_;
    ReadSys(sysFileName_, settings_, FileErrNo, link_.messageError());
    return FileErrNo == kFileErrNone;
}

// Every row is checked before anything is sent: the editor keeps what it
// cannot read from a row, so a damaged row would go out with the values of
// the row before it.
int Session::checkRestore(const QString& file) {
    QStringList lines;
    qint16 FileErrNo = 0;
    file_ = file;
    if (!readBackupFile(file, lines, FileErrNo, link_.messageError()))
        return kExitFile;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const std::optional<ShownReservation> r = parseReservationRow(lines.at(i));
        if (!r || !r->day || *r->day > 7) {
            tellUser(QStringLiteral("%1: line %2 is not a reservation the timer can take: \"%3\"")
                         .arg(file)
                         .arg(i + 1)
                         .arg(lines.at(i)));
            return kExitFile;
        }
    }
    return kExitDone;
}

bool Session::openPort() {
    link_.ComStatus = COM_Init(port_, settings_, appDir_);
    if (link_.ComStatus != kComStatusFailed)
        return true;
    tell(kMsgSetUpPortAgain);
    return false;
}

void Session::tell(const QString& message) {
    // A silent device gives the same message for every exchange: once is enough.
    if (message == lastMessage_)
        return;
    lastMessage_ = message;
    told_ = true;
    if (wantsPortReport(message))
        tellUser(message + u'\n' +
                 portReport(portFacts(port_, settings_, appDir_), Language::kEnglish));
    else // the only other messages are those of the file in hand
        tellUser(file_ + QStringLiteral(": ") + message);
}

// An "ERR" reply or a garbled one comes back without a message.
int Session::failed(Outcome outcome) {
    if (outcome == Outcome::kDeviceFailed && !line_.refused().isEmpty())
        tellUser(QStringLiteral("Morvane answered \"ERR\" to \"%1\"").arg(line_.refused()));
    else if (outcome == Outcome::kDeviceFailed && !told_)
        tellUser(QStringLiteral("Morvane gave a reply that could not be read"));
    return exitCode(outcome);
}

int Session::show(bool json) {
    PlainList list;
    // A clock reply that is no clock leaves row 0 empty and the rest is read.
    if (!Get_Time(link_, list) || list.rows.value(0).isEmpty())
        return failed(Outcome::kDeviceFailed);
    if (json)
        print(stdout, QString::fromUtf8(
                          QJsonDocument(tableJson(list.rows)).toJson(QJsonDocument::Compact)));
    else
        for (const QString& row : std::as_const(list.rows))
            print(stdout, row);
    return kExitDone;
}

int Session::syncClock() {
    PlainEditor editor;
    Set_NowTime(editor, QDateTime::currentDateTime());
    // After a set that was not answered there is nothing to read back.
    if (!TRN_Time(link_, editor))
        return failed(Outcome::kDeviceFailed);
    QString clock;
    if (!GetWatchTime(link_, clock))
        return failed(Outcome::kDeviceFailed);
    print(stdout, clock);
    return kExitDone;
}

int Session::set(const EditorValues& entry, const QString& file) {
    PlainEditor editor;
    editor.values = entry;
    PlainList list;
    file_ = file;
    const Outcome outcome = sendEntry(link_, list, editor, file);
    if (outcome != Outcome::kDone)
        return failed(outcome);
    for (const QString& row : std::as_const(list.rows))
        print(stdout, row);
    return kExitDone;
}

int Session::backup(const QString& file) {
    PlainList list;
    if (!Get_Time(link_, list))
        return failed(Outcome::kDeviceFailed);
    file_ = file;
    if (!WriteSetting(list, file, link_.messageError()))
        return kExitFile;
    print(stdout, file);
    return kExitDone;
}

int Session::restore(const QString& file) {
    PlainList list;
    PlainEditor editor;
    qint16 FileErrNo = 0;
    file_ = file;
    const Outcome outcome = ReadSetting(link_, list, editor, file, FileErrNo,
                                        [] { return QDateTime::currentDateTime(); }, {});
    if (outcome != Outcome::kDone)
        return failed(outcome);
    print(stdout, list.item(0));
    return kExitDone;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("morvane-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(MORVANE_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Reads and sets a Morvane timer's clock and reservations with the "
                       "settings (Morvane.SYS) of the folder the window is started from."));
    const QCommandLineOption dir(
        QStringLiteral("dir"),
        QStringLiteral("Work in DIR (default: the current directory): its Morvane.SYS, COMn "
                       "links and backup file."),
        QStringLiteral("DIR"));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("show: print the table as one JSON object."));
    parser.addOptions({dir, json});
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("show | sync-clock | set N DAY HH:MM:SS on|off | "
                                                "backup [FILE] | restore [FILE]"));

    const auto badUse = [](const QString& why) {
        tellUser(why);
        print(stderr, kUsage);
        return kExitUsage;
    };
    if (!parser.parse(QCoreApplication::arguments()))
        return badUse(parser.errorText());
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        std::fputs(qUtf8Printable(parser.helpText()), stdout);
        return kExitDone;
    }
    if (parser.isSet(version)) {
        print(stdout, QStringLiteral("morvane-cli " MORVANE_VERSION));
        return kExitDone;
    }
    QString error;
    std::optional<Request> request =
        parseRequest(parser.positionalArguments(), parser.isSet(json), &error);
    if (!request)
        return badUse(error);
    // A FILE given is where the user stands, not in DIR.
    if (!request->file.isEmpty())
        request->file = QFileInfo(request->file).absoluteFilePath();
    // Relative paths in the settings file resolve in DIR, as for the window
    // started there.
    if (parser.isSet(dir) && !QDir::setCurrent(parser.value(dir))) {
        tellUser(parser.value(dir) + QStringLiteral(": ") + fileErrorText(kFileErrPathNotFound));
        return kExitFile;
    }
    Session session;
    return session.run(*request);
}
