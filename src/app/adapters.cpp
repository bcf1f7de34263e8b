// SPDX-License-Identifier: MIT
#include "adapters.h"

#include <QCheckBox>
#include <QComboBox>

namespace morvane {

namespace {

// The editable combo's selected index as the program reads it: the item whose
// text the box shows, -1 when the text matches no item.
int shownIndex(const QComboBox* c) {
    const int i = c->currentIndex();
    if (i >= 0 && c->itemText(i) == c->currentText())
        return i;
    return c->findText(c->currentText(), Qt::MatchExactly | Qt::MatchCaseSensitive);
}

void selectItem(QComboBox* c, int index) {
    c->setCurrentIndex(index);
    c->setEditText(c->itemText(index));
}

} // namespace

void ListAdapter::clear() {
    list_->clear();
}

void ListAdapter::addItem(const QString& text) {
    list_->addItem(text);
}

int ListAdapter::count() const {
    return list_->count();
}

QString ListAdapter::item(int row) const {
    const QListWidgetItem* it = list_->item(row);
    return it ? it->text() : QString();
}

void ListAdapter::setItem(int row, const QString& text) {
    if (QListWidgetItem* it = list_->item(row))
        it->setText(text);
}

int EditorAdapter::reservationIndex() const {
    return shownIndex(ui_.Combo3);
}

void EditorAdapter::selectReservation(int index) {
    selectItem(ui_.Combo3, index);
}

int EditorAdapter::dayIndex() const {
    return shownIndex(ui_.Combo2);
}

void EditorAdapter::selectDay(int index) {
    selectItem(ui_.Combo2, index);
}

QString EditorAdapter::timeText(int k) const {
    return ui_.Combo1[k]->currentText();
}

// Text that matches no item, such as "09" where the item is "9".
void EditorAdapter::setTimeText(int k, const QString& text) {
    ui_.Combo1[k]->setCurrentIndex(-1);
    ui_.Combo1[k]->setEditText(text);
}

void EditorAdapter::selectTime(int k, int index) {
    selectItem(ui_.Combo1[k], index);
}

int EditorAdapter::enableValue() const {
    switch (ui_.Check1->checkState()) {
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    default:
        return 0;
    }
}

void EditorAdapter::setEnableValue(int value) {
    static constexpr Qt::CheckState kStates[] = {Qt::Unchecked, Qt::Checked, Qt::PartiallyChecked};
    ui_.Check1->setCheckState(value >= 0 && value <= 2 ? kStates[value] : Qt::Unchecked);
}

} // namespace morvane
