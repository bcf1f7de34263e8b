// SPDX-License-Identifier: MIT
// The list and the editor as plain data, for the device operations without a
// window. Selecting an item a selector does not have is a fault.
#pragma once

#include "views.h"

#include <QStringList>

namespace morvane::test {

class FakeList final : public ListView {
public:
    void clear() override { rows.clear(); }
    void addItem(const QString& text) override { rows.append(text); }
    int count() const override { return static_cast<int>(rows.size()); }
    QString item(int row) const override { return rows.at(checked(row)); }
    void setItem(int row, const QString& text) override { rows[checked(row)] = text; }

    QStringList rows;

private:
    int checked(int row) const {
        if (row < 0 || row >= rows.size())
            qFatal("FakeList: no row %d", row);
        return row;
    }
};

// The selectors' items are those of the window: reservations 0..10, days
// 0..7, hours 0..23, minutes and seconds 0..59, shown as plain numbers.
class FakeEditor final : public EditorView {
public:
    int reservationIndex() const override { return reservation; }
    void selectReservation(int index) override { reservation = checked(index, 10); }
    int dayIndex() const override { return day; }
    void selectDay(int index) override { day = checked(index, 7); }
    QString timeText(int k) const override { return time[k]; }
    void setTimeText(int k, const QString& text) override { time[k] = text; }
    void selectTime(int k, int index) override {
        time[k] = QString::number(checked(index, k == 0 ? 23 : 59));
    }
    int enableValue() const override { return enable; }
    void setEnableValue(int value) override { enable = checked(value, 2); }

    // "reservation day hour minute second enable", for one comparison.
    QString state() const {
        return QStringList{
            QString::number(reservation), QString::number(day), time[0], time[1], time[2],
            QString::number(enable)}
            .join(u' ');
    }

    // An editor nothing has touched yet: reservation 8, Monday, 1:2:3, grayed.
    int reservation = 8;
    int day = 1;
    QString time[3] = {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")};
    int enable = 2;

private:
    static int checked(int index, int max) {
        if (index < 0 || index > max)
            qFatal("FakeEditor: no item %d (0..%d)", index, max);
        return index;
    }
};

} // namespace morvane::test
