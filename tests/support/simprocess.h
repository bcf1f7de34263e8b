// Runs morvane-sim for a test: starts it, learns its pty path, reads its
// command log, and stops it on destruction.
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

class SimProcess {
public:
    SimProcess() = default;
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;
    ~SimProcess() { stop(); }

    // The simulator binary: $MORVANE_SIM, else ../bin/morvane-sim next to the test.
    static QString program() {
        const QString env = qEnvironmentVariable("MORVANE_SIM");
        if (!env.isEmpty())
            return env;
        return QDir(QCoreApplication::applicationDirPath()).filePath("../bin/morvane-sim");
    }

    // Starts the simulator with extra arguments and waits for its pty path. A
    // "--log FILE" among the arguments is used as the log; otherwise one is made in
    // a temporary directory. False (with errorString()) on failure or time-out.
    bool start(const QStringList& args = {}, int timeoutMs = 5000) {
        stop();
        m_path.clear();
        m_error.clear();
        QStringList all = args;
        const qsizetype logAt = args.indexOf(QStringLiteral("--log"));
        if (logAt >= 0 && logAt + 1 < args.size()) {
            m_logPath = args.at(logAt + 1);
        } else {
            if (!m_dir.isValid()) {
                m_error = QStringLiteral("no temporary directory for the log");
                return false;
            }
            m_logPath = m_dir.filePath(QStringLiteral("sim.log"));
            QFile::remove(m_logPath);
            all << QStringLiteral("--log") << m_logPath;
        }
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(program(), all);
        if (!m_process.waitForStarted(timeoutMs)) {
            m_error = QStringLiteral("cannot start %1: %2").arg(program(), m_process.errorString());
            return false;
        }
        QDeadlineTimer deadline(timeoutMs);
        while (!m_process.canReadLine()) {
            if (m_process.state() != QProcess::Running || deadline.hasExpired() ||
                !m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())))) {
                if (m_process.canReadLine())
                    break;
                m_error = QStringLiteral("simulator gave no pty path (exit code %1)")
                              .arg(m_process.exitCode());
                stop();
                return false;
            }
        }
        m_path = QString::fromLocal8Bit(m_process.readLine()).trimmed();
        return !m_path.isEmpty();
    }

    // SIGTERM, then kill if it does not end in time.
    void stop() {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }

    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    bool waitForExit(int timeoutMs) {
        return m_process.state() == QProcess::NotRunning || m_process.waitForFinished(timeoutMs);
    }
    int exitCode() const { return m_process.exitCode(); }
    QProcess::ExitStatus exitStatus() const { return m_process.exitStatus(); }

    QString path() const { return m_path; }
    QString logPath() const { return m_logPath; }
    QString errorString() const { return m_error; }
    // A scratch directory that lives as long as this object (tables, links).
    QString tempDir() const { return m_dir.path(); }

    // Every command line received so far, without its CR, in order.
    QStringList loggedCommands() const {
        QFile f(m_logPath);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        QStringList lines = QString::fromLatin1(f.readAll()).split(QLatin1Char('\n'));
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }

    // Waits (bounded) until at least `count` commands are in the log.
    bool waitForLoggedCount(int count, int timeoutMs = 3000) const {
        QDeadlineTimer deadline(timeoutMs);
        while (loggedCommands().size() < count) {
            if (deadline.hasExpired())
                return false;
            QThread::msleep(10);
        }
        return true;
    }

private:
    QProcess m_process;
    QTemporaryDir m_dir;
    QString m_path;
    QString m_logPath;
    QString m_error;
};
