// SPDX-License-Identifier: MIT
// The list and the editor as plain values, for the device operations in a
// program without a window.
#pragma once

#include "formats.h"
#include "views.h"

#include <QStringList>

namespace morvane {

class PlainList final : public ListView {
public:
    void clear() override { rows.clear(); }
    void addItem(const QString& text) override { rows.append(text); }
    int count() const override { return static_cast<int>(rows.size()); }
    QString item(int row) const override { return rows.value(row); }
    void setItem(int row, const QString& text) override {
        if (row >= 0 && row < rows.size())
            rows[row] = text;
    }

    QStringList rows;
};

// Holds what the window's selectors would show: a selected time is its plain
// number, as the window's items are.
class PlainEditor final : public EditorView {
public:
    int reservationIndex() const override { return values.reservation; }
    void selectReservation(int index) override { values.reservation = index; }
    int dayIndex() const override { return values.day; }
    void selectDay(int index) override { values.day = index; }
    QString timeText(int k) const override { return values.*time(k); }
    void setTimeText(int k, const QString& text) override { values.*time(k) = text; }
    void selectTime(int k, int index) override { values.*time(k) = QString::number(index); }
    int enableValue() const override { return values.enable; }
    void setEnableValue(int value) override { values.enable = value; }

    EditorValues values;

private:
    // Combo1(k): 0 hour, 1 minute, 2 second.
    static QString EditorValues::*time(int k) {
        static constexpr QString EditorValues::*kTimes[] = {
            &EditorValues::hour, &EditorValues::minute, &EditorValues::second};
        return kTimes[k];
    }
};

} // namespace morvane
