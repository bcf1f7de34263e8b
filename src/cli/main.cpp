// SPDX-License-Identifier: MIT
// morvane-cli: the timer's table, clock, backup and restore from a shell or a
// timer unit, with the window's settings, port and device operations.
#include "backup.h"
#include "cli.h"
#include "cominit.h"
#include "console.h"
#include "device.h"
#include "exchange.h"
#include "messages.h"
#include "mscomm.h"
#include "plainviews.h"
#include "portreport.h"
#include "sysfile.h"
#include "textfile.h"
#include "watchedline.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>

// CMake passes the project's version; the Windows syntax check compiles
// without the build's definitions.
#ifndef MORVANE_VERSION
#define MORVANE_VERSION "unknown"
#endif

using namespace morvane;

namespace {

const QString kUsage =
    QStringLiteral("Usage: morvane-cli [--dir DIR] [--wait SECONDS] show [--json] | sync-clock | "
                   "set N DAY HH:MM:SS on|off | backup [FILE] | restore [FILE]");

const QString kHelp = kUsage + QStringLiteral(R"(

Reads and sets a Morvane timer's clock and reservations with the settings
(Morvane.SYS) of the directory the window is started from.

Commands:
  show                        the clock and the ten reservations, as the list shows them
  show --json                 the same as one JSON object
  sync-clock                  set the timer's clock to this computer's, read it back
  set N DAY HH:MM:SS on|off   reservation N (0..9), DAY sun..sat, every or 0..7;
                              the table read back, printed and backed up
  backup [FILE]               the table to FILE (default: the backup file of Morvane.SYS)
  restore [FILE]              a backup file to the timer: the clock, then its rows

Options:
  --dir DIR         work in DIR: its Morvane.SYS, COMn links and backup file
  --wait SECONDS    wait up to SECONDS (0..86400) for a port another program holds
  --json            with show: print JSON
  -h, --help        print this help
  -v, --version     print the version
  --                only arguments follow (a word starting with a single "-"
                    is an argument anyway)

Exit status: 0 done; 1 the timer did not answer or answered "ERR", or the
port failed; 2 bad use (nothing sent); 3 a file, standard output or standard
error could not be read or written; 4 the port is in use by another program
(nothing sent).)");

QString nativeAbsolute(const QString& path) {
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

// "2, 6" for {2, 6}.
QString numbers(const QList<int>& values) {
    QStringList texts;
    for (const int v : values)
        texts << QString::number(v);
    return texts.join(QStringLiteral(", "));
}

// The settings, port and link of one run in the current directory, which is
// the window's start-up folder.
class Session {
public:
    Session(Console& console, int waitSeconds) : console_(console), waitSeconds_(waitSeconds) {}
    int run(const Request& r);

private:
    void tellUser(const QString& text) { console_.err(QStringLiteral("morvane-cli: ") + text); }
    bool readSettings();
    int checkRestore(const QString& file);
    int openPort();
    void tell(const QString& message);
    int failed(Outcome outcome);
    int show(bool json);
    int syncClock();
    int set(const EditorValues& entry, const QString& file);
    int backup(const QString& file);
    int restore(const QString& file);

    Console& console_;
    const int waitSeconds_;
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
    QStringList restoreLines_; // the restore file's lines, as checked
    QList<int> powerOffLines_;
};

int Session::run(const Request& r) {
    if (!readSettings())
        return kExitFile;
    const QString file = nativeAbsolute(r.file.isEmpty() ? settings_.BackUpFile : r.file);
    if (r.action == Action::kRestore && checkRestore(file) != kExitDone)
        return kExitFile;
    if (const int opened = openPort(); opened != kExitDone)
        return opened;
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

// The file is read once: what is sent is what was checked, however long the
// port takes to come free.
int Session::checkRestore(const QString& file) {
    qint16 FileErrNo = 0;
    file_ = file;
    if (!readBackupFile(file, restoreLines_, FileErrNo, link_.messageError()))
        return kExitFile;
    const RestoreCheck c = checkRestoreLines(restoreLines_);
    const QString line = QStringLiteral("%1: line %2 ").arg(file).arg(c.line);
    switch (c.fault) {
    case RestoreFault::kNone:
        powerOffLines_ = c.powerOffLines;
        return kExitDone;
    case RestoreFault::kNoReservation:
        tellUser(file + QStringLiteral(": no reservation in the file: nothing was sent"));
        break;
    case RestoreFault::kLfLineEnds:
        tellUser(line + QStringLiteral("has LF line ends, and rows need CR LF (as the window "
                                       "writes them): nothing was sent"));
        break;
    case RestoreFault::kEmptyLine:
        tellUser(line + QStringLiteral("is empty, not a reservation: nothing was sent"));
        break;
    case RestoreFault::kNotReservation:
        tellUser(line + QStringLiteral("is not a reservation as the list shows one: nothing was "
                                       "sent"));
        break;
    case RestoreFault::kNoDay:
        tellUser(line + QStringLiteral("is not a reservation the timer can take: its day is "
                                       "none of sun..sat or every: nothing was sent"));
        break;
    }
    return kExitFile;
}

int Session::openPort() {
    link_.ComStatus = waitSeconds_ > 0
                          ? COM_InitWhenFree(port_, settings_, appDir_, waitSeconds_ * 1000, clock_)
                          : COM_Init(port_, settings_, appDir_);
    if (link_.ComStatus != kComStatusFailed)
        return kExitDone;
    if (port_.lastAttempt().trouble != PortTrouble::kBusy) {
        tell(kMsgSetUpPortAgain);
        return kExitDevice;
    }
    // In use is not broken: nothing about the settings or the links.
    const QString report = portReport(portFacts(port_, settings_, appDir_), Language::kEnglish);
    if (waitSeconds_ > 0)
        tellUser(QStringLiteral("COM%1 is still in use after %2 s of waiting: nothing was sent.\n")
                     .arg(settings_.COMPORT)
                     .arg(waitSeconds_) +
                 report);
    else
        tellUser(QStringLiteral("COM%1 is in use by another program: nothing was sent.\n")
                     .arg(settings_.COMPORT) +
                 report +
                 QStringLiteral("\nTo wait for it, give --wait SECONDS (at most %1).")
                     .arg(kMaxWaitSeconds));
    return kExitBusy;
}

void Session::tell(const QString& message) {
    // A silent device gives the same message for every exchange: once is enough.
    if (message == lastMessage_)
        return;
    lastMessage_ = message;
    told_ = true;
    if (wantsPortReport(message))
        tellUser(englishMessage(message) + u'\n' +
                 portReport(portFacts(port_, settings_, appDir_), Language::kEnglish));
    else // the only other messages are those of the file in hand
        tellUser(file_ + QStringLiteral(": ") + englishMessage(message));
}

// An "ERR" reply or a garbled one comes back without a message.
int Session::failed(Outcome outcome) {
    if (outcome == Outcome::kDeviceFailed && !line_.refused().isEmpty())
        tellUser(QStringLiteral("the Morvane answered \"ERR\" to \"%1\"").arg(line_.refused()));
    else if (outcome == Outcome::kDeviceFailed && !told_)
        tellUser(QStringLiteral("the Morvane gave a reply that could not be read"));
    return exitCode(outcome);
}

int Session::show(bool json) {
    PlainList list;
    // A clock reply that is no clock leaves row 0 empty and the rest is read.
    if (Get_Time(link_, list) != TableRead::kComplete || list.rows.value(0).isEmpty())
        return failed(Outcome::kDeviceFailed);
    if (json)
        console_.out(
            QString::fromUtf8(QJsonDocument(tableJson(list.rows)).toJson(QJsonDocument::Compact)));
    else
        for (const QString& row : std::as_const(list.rows))
            console_.out(row);
    return kExitDone;
}

int Session::syncClock() {
    PlainEditor editor;
    const ClockSync s = morvane::syncClock(link_, editor, QDateTime::currentDateTime());
    if (s.outcome != Outcome::kDone)
        return failed(s.outcome);
    console_.out(s.clock);
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
        console_.out(row);
    return kExitDone;
}

int Session::backup(const QString& file) {
    PlainList list;
    if (Get_Time(link_, list) != TableRead::kComplete)
        return failed(Outcome::kDeviceFailed);
    file_ = file;
    if (!WriteSetting(list, file, link_.messageError()))
        return kExitFile;
    console_.out(file);
    return kExitDone;
}

int Session::restore(const QString& file) {
    // The power action is the timer's own: a restore never sends it.
    if (const bool many = powerOffLines_.size() > 1; !powerOffLines_.isEmpty())
        tellUser(QStringLiteral("%1: %2 %3 POWER OFF; a restore sends a row's day, time and "
                                "enable flag only: the power action is not sent, it is up to "
                                "the timer")
                     .arg(file,
                          (many ? QStringLiteral("lines ") : QStringLiteral("line ")) +
                              numbers(powerOffLines_),
                          many ? QStringLiteral("say") : QStringLiteral("says")));
    PlainList list;
    PlainEditor editor;
    file_ = file;
    const Outcome outcome = restoreLines(link_, list, editor, restoreLines_,
                                         [] { return QDateTime::currentDateTime(); }, {});
    if (outcome != Outcome::kDone)
        return failed(outcome);
    console_.out(list.item(0));
    return kExitDone;
}

int runCli(Console& console) {
    const auto badUse = [&console](const QString& why) {
        console.err(QStringLiteral("morvane-cli: ") + why);
        console.err(kUsage);
        return kExitUsage;
    };
    QString error;
    const std::optional<CommandLine> line =
        splitArguments(QCoreApplication::arguments().mid(1), &error);
    if (!line)
        return badUse(error);
    if (line->help) {
        console.out(kHelp);
        return kExitDone;
    }
    if (line->version) {
        console.out(QStringLiteral("morvane-cli " MORVANE_VERSION));
        return kExitDone;
    }
    std::optional<Request> request = parseRequest(line->words, line->json, &error);
    if (!request)
        return badUse(error);
    // A FILE given is where the user stands, not in DIR.
    if (!request->file.isEmpty())
        request->file = QFileInfo(request->file).absoluteFilePath();
    // Relative paths in the settings file resolve in DIR, as for the window
    // started there.
    if (line->dir && !QDir::setCurrent(*line->dir)) {
        console.err(QStringLiteral("morvane-cli: ") + *line->dir + QStringLiteral(": ") +
                    englishMessage(fileErrorText(kFileErrPathNotFound)));
        return kExitFile;
    }
    Session session(console, line->waitSeconds);
    return session.run(*request);
}

} // namespace

int main(int argc, char** argv) {
    // Before anything opens a file: see Console.
    Console console;
    QCoreApplication app(argc, argv);
    return console.finish(runCli(console));
}
