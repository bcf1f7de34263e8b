// SPDX-License-Identifier: MIT
// Reads the window as the user sees it, through its controls' names.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>

namespace morvane::test {

template <class T = QWidget> T* control(const QWidget* form, const char* name) {
    auto* w = form->findChild<T*>(QLatin1String(name));
    if (!w)
        qFatal("no control %s", name);
    return w;
}

inline QStringList listRows(const QWidget* form) {
    const auto* list = control<QListWidget>(form, "List1");
    QStringList rows;
    for (int i = 0; i < list->count(); ++i)
        rows << list->item(i)->text();
    return rows;
}

// "Combo3|Combo2|hour|minute|second|Check1(1)", the box 0, 1 ticked or 2 grayed.
inline QString editorState(const QWidget* form) {
    QStringList e;
    for (const char* c : {"Combo3", "Combo2", "Combo1(0)", "Combo1(1)", "Combo1(2)"})
        e << control<QComboBox>(form, c)->currentText();
    const Qt::CheckState box = control<QCheckBox>(form, "Check1(1)")->checkState();
    return e.join(u'|') + u'|' + QString::number(box == Qt::Checked ? 1 : box ? 2 : 0);
}

// Command2, Command3 and Check1(1), which a failed start-up switches off.
inline bool sendControlsEnabled(const QWidget* form) {
    return control(form, "Command2")->isEnabled() && control(form, "Command3")->isEnabled() &&
           control(form, "Check1(1)")->isEnabled();
}

} // namespace morvane::test
