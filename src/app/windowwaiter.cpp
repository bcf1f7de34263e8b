// SPDX-License-Identifier: MIT
#include "windowwaiter.h"

#include <QDeadlineTimer>

#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <algorithm>

namespace morvane {

namespace {

// What a wait's own loop returns when the wait leaves it.
constexpr int kLeft = 1;
// Least time between two loops of waits that follow each other.
constexpr qint64 kLoopEveryMs = 40;

// Runs the loop until it is left or msecs have passed. False when the loop
// did not run to that end: the program is quitting, and a loop started now
// would return at once.
bool runFor(QEventLoop& loop, int msecs) {
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&loop] { loop.exit(kLeft); });
    timer.start(msecs);
    return loop.exec(QEventLoop::ExcludeUserInputEvents) == kLeft;
}

} // namespace

void WindowWaiter::waitForInput(SerialLine& line, int msecs) {
    if (msecs <= 0 || line.failed() || line.InBufferCount() > 0)
        return;
    if (sinceLoop_.isValid() && sinceLoop_.elapsed() < kLoopEveryMs) {
        const int plain = int(std::min<qint64>(msecs, kLoopEveryMs - sinceLoop_.elapsed()));
        if (line.waitForInput(plain) || line.failed() || plain == msecs)
            return;
        msecs -= plain;
    }
    const QDeadlineTimer deadline(msecs, Qt::PreciseTimer);
    QEventLoop loop;
    QObject::connect(&comm_, &MSComm::inputOrFailure, &loop, [&loop] { loop.exit(kLeft); });
    // A quitting program still waits, the plain way, rather than spin.
    if (!runFor(loop, msecs))
        line.waitForInput(int(deadline.remainingTime()));
    sinceLoop_.start();
}

void WindowWaiter::sleep(int msecs) {
    if (msecs <= 0)
        return;
    const QDeadlineTimer deadline(msecs, Qt::PreciseTimer);
    QEventLoop loop;
    if (!runFor(loop, msecs))
        QThread::msleep(static_cast<unsigned long>(deadline.remainingTime()));
}

} // namespace morvane
