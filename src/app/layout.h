// SPDX-License-Identifier: MIT
#pragma once

#include <QGroupBox>
#include <QListWidget>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace morvane {

// A frame whose double-click counts only on the frame itself (its caption or
// an empty part), never on a control or label inside it.
class Frame : public QGroupBox {
    Q_OBJECT
public:
    using QGroupBox::QGroupBox;
signals:
    void doubleClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    bool event(QEvent* e) override;
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
    QCheckBox* Check1 = nullptr; // Check1(1), the array's only member
    QPushButton* Command1[2] = {};
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
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

// Shows one panel and gives the window that panel's outer height.
void showPanel(QWidget* form, const FormControls& ui, bool mainPanel);

// Gives the window the outer height of the panel it shows.
void fitPanelHeight(QWidget* form, const FormControls& ui);

// Sets the window's outer height (caption and borders included).
void setOuterHeightTwips(QWidget* form, int twips);

} // namespace morvane
