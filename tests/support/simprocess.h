// SPDX-License-Identifier: MIT
// Runs morvane-sim for a test: its pty path, its command log; stopped at the end.
#pragma once

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <sys/prctl.h>

namespace morvane::test {

class SimProcess {
public:
    ~SimProcess() { stop(); }

    // Starts $MORVANE_SIM (else ../bin/morvane-sim) with a log of its own and
    // waits for its pty path; false (see errorString()) on failure.
    bool start(const QStringList& args = {}) {
        stop();
        program_ = qEnvironmentVariable("MORVANE_SIM", QCoreApplication::applicationDirPath() +
                                                           "/../bin/morvane-sim");
        logPath_ = dir_.filePath(QStringLiteral("sim%1.log").arg(++starts_));
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // The simulator ends with the test, also when the test dies.
        process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        process_.start(program_, args + QStringList{"--log", logPath_});
        while (process_.waitForStarted(1000) && !process_.canReadLine() &&
               process_.waitForReadyRead(5000)) {
        }
        path_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
        return !path_.isEmpty();
    }
    // SIGTERM, then kill if it does not end in time.
    void stop() {
        process_.terminate();
        if (!process_.waitForFinished(3000))
            process_.kill();
        process_.waitForFinished(3000);
    }
    bool running() const { return process_.state() != QProcess::NotRunning; }
    int exitCode() const { return process_.exitCode(); }
    QString path() const { return path_; }
    QString errorString() const { return program_ + " gave no pty path"; }
    // A scratch directory that lives as long as this object (tables, links).
    QString tempDir() const { return dir_.path(); }
    // Every command line received so far, without its CR, in order.
    QStringList loggedCommands() const {
        QFile f(logPath_);
        QStringList lines =
            QString::fromLatin1(f.open(QIODevice::ReadOnly) ? f.readAll() : "").split(u'\n');
        lines.removeLast(); // after the last line end
        return lines;
    }

private:
    QProcess process_;
    QTemporaryDir dir_;
    QString program_, path_, logPath_;
    int starts_ = 0;
};

} // namespace morvane::test
