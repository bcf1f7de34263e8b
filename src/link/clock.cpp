// SPDX-License-Identifier: MIT
#include "clock.h"

#include <QThread>
#include <QTime>

namespace morvane {

int SystemClock::msecsOfDay() const {
    return QTime::currentTime().msecsSinceStartOfDay();
}

void SystemClock::sleep(int ms) {
    if (ms > 0)
        QThread::msleep(static_cast<unsigned long>(ms));
}

} // namespace morvane
