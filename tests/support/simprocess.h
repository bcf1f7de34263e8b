// SPDX-License-Identifier: MIT
// Runs morvane-sim for a test: starts it, learns its pty path, reads its
// command log, and stops it on destruction.
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>

class SimProcess {
public:
    SimProcess() = default;
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;
    ~SimProcess() { stop(); }

    // The simulator binary: $MORVANE_SIM, else ../bin/morvane-sim next to the test.
    static QString program() {
        const QString env = qEnvironmentVariable("MORVANE_SIM");
        return !env.isEmpty()
                   ? env
                   : QDir(QCoreApplication::applicationDirPath()).filePath("../bin/morvane-sim");
    }

    // Starts the simulator with extra arguments, logging to a file of its own,
    // and waits for its pty path. False (with errorString()) on failure.
    bool start(const QStringList& args = {}, int timeoutMs = 5000) {
        stop();
        path_.clear();
        logPath_ = dir_.filePath(QStringLiteral("sim%1.log").arg(++starts_));
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // The simulator ends with the test, also when the test dies.
        process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        process_.start(program(), args + QStringList{"--log", logPath_});
        QDeadlineTimer deadline(timeoutMs);
        while (process_.waitForStarted(timeoutMs) && !process_.canReadLine() &&
               process_.state() == QProcess::Running && !deadline.hasExpired())
            process_.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        if (process_.canReadLine())
            path_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
        if (path_.isEmpty()) {
            error_ = QStringLiteral("%1 gave no pty path: %2")
                         .arg(program(), process_.readAllStandardOutput());
            stop();
        }
        return !path_.isEmpty();
    }

    // SIGTERM, then kill if it does not end in time.
    void stop() {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.terminate();
        if (!process_.waitForFinished(3000)) {
            process_.kill();
            process_.waitForFinished(3000);
        }
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
        if (!f.open(QIODevice::ReadOnly))
            return {};
        QStringList lines = QString::fromLatin1(f.readAll()).split(u'\n');
        lines.removeLast(); // after the last line end
        return lines;
    }

    // Waits (bounded) until at least `count` commands are in the log.
    bool waitForLoggedCount(int count, int timeoutMs = 3000) const {
        for (QDeadlineTimer deadline(timeoutMs); loggedCommands().size() < count;
             QThread::msleep(10))
            if (deadline.hasExpired())
                return false;
        return true;
    }

private:
    QProcess process_;
    QTemporaryDir dir_;
    QString path_;
    QString logPath_;
    QString error_;
    int starts_ = 0;
};
