// SPDX-License-Identifier: MIT
// The list and the editor as plain values: the command line's, which has no
// window, and the tests' and fuzz targets', which make them strict, so that a
// row or an item the window's controls do not have stops the run at once
// instead of passing unseen.
#pragma once

#include "formats.h"
#include "views.h"

#include <QStringList>

namespace morvane {

class PlainList final : public ListView {
public:
    explicit PlainList(bool strict = false) : strict_(strict) {}
    void clear() override { rows.clear(); }
    void addItem(const QString& text) override { rows.append(text); }
    int count() const override { return static_cast<int>(rows.size()); }
    QString item(int row) const override { return has(row) ? rows.at(row) : QString(); }
    void setItem(int row, const QString& text) override {
        if (has(row))
            rows[row] = text;
    }

    QStringList rows;

private:
    bool has(int row) const {
        const bool there = row >= 0 && row < rows.size();
        if (!there && strict_)
            qFatal("PlainList: no row %d", row);
        return there;
    }
    bool strict_;
};

// Holds what the window's selectors would show: a selected time is its plain
// number, as the window's items are. Strict, it takes only the items the
// window has: reservations 0..10, days 0..7, hours 0..23, minutes and
// seconds 0..59, and the check box's 0, 1 and 2 (grayed).
class PlainEditor final : public EditorView {
public:
    explicit PlainEditor(bool strict = false) : strict_(strict) {}
    int reservationIndex() const override { return values.reservation; }
    void selectReservation(int index) override { values.reservation = checked(index, 10); }
    int dayIndex() const override { return values.day; }
    void selectDay(int index) override { values.day = checked(index, 7); }
    QString timeText(int k) const override { return values.*time(k); }
    void setTimeText(int k, const QString& text) override { values.*time(k) = text; }
    void selectTime(int k, int index) override {
        values.*time(k) = QString::number(checked(index, k == 0 ? 23 : 59));
    }
    int enableValue() const override { return values.enable; }
    void setEnableValue(int value) override { values.enable = checked(value, 2); }

    EditorValues values;

private:
    // Combo1(k): 0 hour, 1 minute, 2 second.
    static QString EditorValues::*time(int k) {
        static constexpr QString EditorValues::*kTimes[] = {
            &EditorValues::hour, &EditorValues::minute, &EditorValues::second};
        return kTimes[k];
    }
    int checked(int index, int max) const {
        if (strict_ && (index < 0 || index > max))
            qFatal("PlainEditor: no item %d (0..%d)", index, max);
        return index;
    }
    bool strict_;
};

} // namespace morvane
