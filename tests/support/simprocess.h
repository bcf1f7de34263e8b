// SPDX-License-Identifier: MIT
// Runs morvane-sim for a test: starts it, learns its pty path, reads its
// command log, and stops it on destruction.
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <sys/prctl.h>

namespace morvane::test {

class SimProcess {
public:
    ~SimProcess() { stop(); }

    // Starts $MORVANE_SIM (else ../bin/morvane-sim next to the test) with
    // extra arguments, logging to a file of its own, and waits for its pty
    // path. False (with errorString()) on failure.
    bool start(const QStringList& args = {}) {
        stop();
        const QString program = qEnvironmentVariable(
            "MORVANE_SIM", QCoreApplication::applicationDirPath() + "/../bin/morvane-sim");
        logPath_ = dir_.filePath(QStringLiteral("sim%1.log").arg(++starts_));
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // The simulator ends with the test, also when the test dies.
        process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        process_.start(program, args + QStringList{"--log", logPath_});
        for (QDeadlineTimer deadline(5000);
             process_.waitForStarted(1000) && !process_.canReadLine() && !deadline.hasExpired();)
            process_.waitForReadyRead(100);
        path_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
        error_ = QStringLiteral("%1 gave no pty path").arg(program);
        return !path_.isEmpty();
    }

    // SIGTERM, then kill if it does not end in time.
    void stop() {
        process_.terminate();
        if (!process_.waitForFinished(3000))
            process_.kill();
        process_.waitForFinished(3000);
    }

    bool waitForExit(int timeoutMs) {
        return process_.state() == QProcess::NotRunning || process_.waitForFinished(timeoutMs);
    }
    int exitCode() const { return process_.exitCode(); }
    QString path() const { return path_; }
    QString errorString() const { return error_; }
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
    QString path_;
    QString logPath_;
    QString error_;
    int starts_ = 0;
};

} // namespace morvane::test
