// SPDX-License-Identifier: MIT
#pragma once

#include "layout.h"
#include "views.h"

namespace morvane {

// List1 as the device operations see it.
class ListAdapter final : public ListView {
public:
    explicit ListAdapter(QListWidget* list) : list_(list) {}
    void clear() override;
    void addItem(const QString& text) override;
    int count() const override;
    QString item(int row) const override;
    void setItem(int row, const QString& text) override;

private:
    QListWidget* list_;
};

// The editor's controls as the device operations see them.
class EditorAdapter final : public EditorView {
public:
    explicit EditorAdapter(const FormControls& ui) : ui_(ui) {}
    int reservationIndex() const override;
    void selectReservation(int index) override;
    int dayIndex() const override;
    void selectDay(int index) override;
    QString timeText(int k) const override;
    void setTimeText(int k, const QString& text) override;
    void selectTime(int k, int index) override;
    int enableValue() const override;
    void setEnableValue(int value) override;

private:
    const FormControls& ui_;
};

} // namespace morvane
