// SPDX-License-Identifier: MIT
#pragma once

namespace morvane {

// The PC's clock as the exchange and the settling pause see it. A seam so that
// tests run on a fake clock in milliseconds.
class Clock {
public:
    virtual ~Clock() = default;
    // Local time of day in milliseconds since midnight (0..86'399'999).
    virtual int msecsOfDay() const = 0;
    // Blocks the calling thread for ms milliseconds (no events handled).
    virtual void sleep(int ms) = 0;
};

class SystemClock final : public Clock {
public:
    int msecsOfDay() const override;
    void sleep(int ms) override;
};

} // namespace morvane
