// SPDX-License-Identifier: MIT
#pragma once

#include <QCheckBox>
#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>

class QComboBox;
class QLineEdit;

namespace morvane {

// A panel's frame. Its double-click counts only on the frame itself (its
// caption or an empty part), never on a control or label inside it. For the
// keyboard its caption is a Tab stop that switches panels on Return or Space,
// and its context menu (right button, Menu key, Shift+F10) offers the switch.
class Frame : public QGroupBox {
    Q_OBJECT
public:
    using QGroupBox::QGroupBox;
    // The context menu's entry for the switch, with its key after a tab.
    void setSwitchText(const QString& text) { switchText_ = text; }
    void showSwitchMenu(const QPoint& globalPos);
signals:
    void doubleClicked();
    void switchRequested();

protected:
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    QRect captionRect() const;
    QString switchText_;
};

// A push button that Return and Enter press as Space does.
class Button : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
};

// The check box, with the window's focus ring.
class CheckBox : public QCheckBox {
    Q_OBJECT
public:
    using QCheckBox::QCheckBox;

protected:
    void paintEvent(QPaintEvent* e) override;
};

// The reservation list: a row is chosen by a click, or by Enter or Space on
// the current row. Item activation is not used because some desktops activate
// on a single click, which would load the row twice.
class RowList : public QListWidget {
    Q_OBJECT
public:
    using QListWidget::QListWidget;
signals:
    void rowChosen();

protected:
    void keyPressEvent(QKeyEvent* e) override;
};

// The controls the window's handlers use, by their design names.
struct FormControls {
    Frame* Frame2 = nullptr;
    Frame* Frame4 = nullptr;
    RowList* List1 = nullptr;
    QComboBox* Combo1[3] = {};
    QComboBox* Combo2 = nullptr;
    QComboBox* Combo3 = nullptr;
    CheckBox* Check1 = nullptr; // Check1(1), the array's only member
    Button* Command1[2] = {};
    Button* Command2 = nullptr;
    Button* Command3 = nullptr;
    QLineEdit* Text[4] = {}; // Text1..Text4
};

// Outer heights of the two panels, in twips.
inline constexpr int kMainPanelHeight = 6075;
inline constexpr int kSystemPanelHeight = 3800;

// Builds every control of the design on `form`: names, places, captions,
// fonts, colours and tab order.
FormControls buildControls(QWidget* form);

// Empties and fills the editor's choice lists: the days, the reservations
// and the clock entry, the hours, minutes and seconds.
void fillChoiceLists(const FormControls& ui);

// Shows one panel, gives the window that panel's outer height, and puts the
// focus on the panel's first control (the list, or Text1).
void showPanel(QWidget* form, const FormControls& ui, bool mainPanel);

// Gives the window the outer height of the panel it shows.
void fitPanelHeight(QWidget* form, const FormControls& ui);

// Sets the window's outer height (caption and borders included).
void setOuterHeightTwips(QWidget* form, int twips);

} // namespace morvane
