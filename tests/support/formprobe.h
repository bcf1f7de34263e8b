// SPDX-License-Identifier: MIT
// Reads the window as the user sees it, through its controls' names.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QTest>

namespace morvane::test {

template <class T = QWidget> T* control(const QWidget* form, const char* name) {
    auto* w = form->findChild<T*>(QLatin1String(name));
    if (!w)
        qFatal("no control %s", name);
    return w;
}

inline QStringList listRows(const QWidget* form) {
    QStringList rows;
    for (const auto* list = control<QListWidget>(form, "List1"); rows.size() < list->count();)
        rows << list->item(rows.size())->text();
    return rows;
}

struct Editor { // the texts of Combo3, Combo2 and Combo1(0..2), and Check1(1)
    QString reservation, day, hour, minute, second;
    Qt::CheckState enabled = Qt::Unchecked;
};

} // namespace morvane::test

// Each of the editor's values on its own, so that a failure names the box.
#define COMPARE_EDITOR(form, ...)                                                                  \
    do {                                                                                           \
        using morvane::test::control;                                                              \
        const morvane::test::Editor want_ = __VA_ARGS__;                                           \
        QCOMPARE(control<QComboBox>(form, "Combo3")->currentText(), want_.reservation);            \
        QCOMPARE(control<QComboBox>(form, "Combo2")->currentText(), want_.day);                    \
        QCOMPARE(control<QComboBox>(form, "Combo1(0)")->currentText(), want_.hour);                \
        QCOMPARE(control<QComboBox>(form, "Combo1(1)")->currentText(), want_.minute);              \
        QCOMPARE(control<QComboBox>(form, "Combo1(2)")->currentText(), want_.second);              \
        QCOMPARE(control<QCheckBox>(form, "Check1(1)")->checkState(), want_.enabled);              \
    } while (false)

// Whether the controls a failed start-up switches off are enabled, naming any that is not.
#define COMPARE_SEND_CONTROLS(form, want)                                                          \
    for (const char* name_ : {"Command2", "Command3", "Check1(1)"})                                \
    QVERIFY2(morvane::test::control(form, name_)->isEnabled() == (want), name_)
