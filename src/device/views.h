// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

namespace morvane {

// The reservation list List1 as the device operations see it.
class ListView {
public:
    virtual ~ListView() = default;
    virtual void clear() = 0;
    virtual void addItem(const QString& text) = 0;
    virtual int count() const = 0;
    virtual QString item(int row) const = 0;
    virtual void setItem(int row, const QString& text) = 0;
};

// The reservation editor: Combo3, Combo2, Combo1(0..2) and Check1(1).
class EditorView {
public:
    virtual ~EditorView() = default;
    virtual int reservationIndex() const = 0; // Combo3, -1 when none
    virtual void selectReservation(int index) = 0;
    virtual int dayIndex() const = 0; // Combo2, -1 when none
    virtual void selectDay(int index) = 0;
    virtual QString timeText(int k) const = 0; // Combo1(k): 0 hour, 1 minute, 2 second
    virtual void setTimeText(int k, const QString& text) = 0;
    virtual void selectTime(int k, int index) = 0; // shows item `index`
    virtual int enableValue() const = 0;           // Check1(1): 0, 1 checked, 2 grayed
    virtual void setEnableValue(int value) = 0;
};

} // namespace morvane
