// SPDX-License-Identifier: MIT
#include "layout.h"

#include "formats.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionGroupBox>
#include <QStyledItemDelegate>
#include <QToolTip>

namespace morvane {

namespace {

// The window was designed in twips; 15 twips are one pixel at 96 dpi.
int px(int twips) {
    return (twips + 7) / 15;
}

QRect twipsRect(int l, int t, int w, int h) {
    return QRect(px(l), px(t), px(w), px(h));
}

// Point sizes of the design, at 96 dpi, as pixel sizes so that text and the
// pixel layout keep their proportions on any screen.
QFont gothic(double points, bool bold = false, bool italic = false, bool underline = false) {
    QFont f;
    f.setFamilies({QStringLiteral("ＭＳ ゴシック"), QStringLiteral("MS Gothic"),
                   QStringLiteral("IPAGothic"), QStringLiteral("IPAexGothic"),
                   QStringLiteral("Noto Sans Mono CJK JP"), QStringLiteral("VL Gothic"),
                   QStringLiteral("Osaka－等幅"), QStringLiteral("Osaka"),
                   QStringLiteral("monospace")});
    f.setStyleHint(QFont::TypeWriter);
    f.setPixelSize(qRound(points * 96.0 / 72.0));
    f.setBold(bold);
    f.setItalic(italic);
    f.setUnderline(underline);
    return f;
}

const QColor kGrey(192, 192, 192);
const QColor kWhite(255, 255, 255);
const QColor kDarkBlue(0, 0, 192);
const QColor kLightBlue(128, 128, 255);
const QColor kRed(255, 0, 0);

// Background and caption colour of a control; every control gets its own
// palette so that a frame's caption colour does not spill into its children.
// The text colours are the enabled look only: a disabled control keeps the
// style's greyed text.
void paint(QWidget* w, const QColor& back, const QColor& text = Qt::black) {
    QPalette p = w->palette();
    for (auto role : {QPalette::Window, QPalette::Button})
        p.setColor(role, back);
    p.setColor(QPalette::Base, back == kGrey ? kWhite : back);
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        for (auto role : {QPalette::WindowText, QPalette::ButtonText})
            p.setColor(group, role, text);
        p.setColor(group, QPalette::Text, Qt::black);
    }
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

template <class W> W* named(W* w, const char* name, QRect r, const QFont& f) {
    w->setObjectName(QLatin1String(name));
    w->setGeometry(r);
    w->setFont(f);
    return w;
}

QLabel* label(QWidget* in, const char* name, const QString& text, QRect r, const QFont& f,
              const QColor& colour) {
    auto* l = named(new QLabel(text, in), name, r, f);
    paint(l, kGrey, colour);
    return l;
}

template <class G = QGroupBox>
G* frame(QWidget* in, const char* name, const QString& caption, QRect r, const QFont& f,
         const QColor& colour) {
    auto* g = named(new G(caption, in), name, r, f);
    paint(g, kGrey, colour);
    return g;
}

Button* button(QWidget* in, const char* name, const QString& caption, QRect r, const QFont& f) {
    auto* b = named(new Button(caption, in), name, r, f);
    paint(b, kGrey);
    return b;
}

QLineEdit* text(QWidget* in, const char* name, const QString& initial, QRect r, const QFont& f) {
    auto* t = named(new QLineEdit(initial, in), name, r, f);
    paint(t, kWhite);
    return t;
}

QComboBox* combo(QWidget* in, const char* name, QRect r) {
    auto* c = named(new QComboBox(in), name, r, gothic(14.25, true));
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    c->setMaxVisibleItems(12);
    paint(c, kWhite);
    return c;
}

// The focus ring of the window's controls: two pixels of the frames' dark
// blue, which stands out at well over 3:1 against the grey of the controls,
// the white of the list and the toolkit's highlight of a selected row.
void drawFocusRing(QPainter& p, const QRect& r) {
    p.setPen(QPen(kDarkBlue, 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(r).adjusted(1, 1, -1, -1));
}

// The list's rows share its height evenly, as in the face the window was
// designed for: the clock and the ten reservations all show without
// scrolling whatever the leading of the Gothic face at hand.
class EvenRows final : public QStyledItemDelegate {
public:
    EvenRows(QListWidget* list, int rows) : QStyledItemDelegate(list), list_(list), rows_(rows) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize s = QStyledItemDelegate::sizeHint(option, index);
        s.setHeight(list_->viewport()->height() / rows_);
        return s;
    }
    void paint(QPainter* p, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyledItemDelegate::paint(p, option, index);
        if (option.state & QStyle::State_HasFocus && list_->hasFocus()) {
            p->save();
            drawFocusRing(*p, option.rect);
            p->restore();
        }
    }

private:
    QListWidget* list_;
    int rows_;
};

} // namespace

QRect Frame::captionRect() const {
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    const QRect caption =
        style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, this);
    return caption.adjusted(-3, 0, 3, 1).intersected(rect());
}

void Frame::showSwitchMenu(const QPoint& globalPos) {
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("SwitchMenu"));
    menu.addAction(switchText_);
    // Switched once the menu has closed, so that the focus it hands back
    // does not land on the panel just hidden.
    if (menu.exec(globalPos))
        emit switchRequested();
}

void Frame::keyPressEvent(QKeyEvent* e) {
    // Keys a control inside passes up are not meant for the caption.
    if (hasFocus()) {
        const bool shiftF10 = e->key() == Qt::Key_F10 && e->modifiers() == Qt::ShiftModifier;
        if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
            emit switchRequested();
            return;
        }
        // The Menu key comes as a context menu event; Shift+F10 does not
        // everywhere.
        if (shiftF10) {
            showSwitchMenu(mapToGlobal(captionRect().bottomLeft()));
            return;
        }
    }
    QGroupBox::keyPressEvent(e);
}

void Frame::contextMenuEvent(QContextMenuEvent* e) {
    // As with the double-click, the right button counts on the frame itself;
    // the Menu key, wherever the pointer is, on the focused caption.
    if (e->reason() == QContextMenuEvent::Mouse && childAt(e->pos())) {
        e->ignore();
        return;
    }
    showSwitchMenu(e->reason() == QContextMenuEvent::Mouse
                       ? e->globalPos()
                       : mapToGlobal(captionRect().bottomLeft()));
}

void Frame::paintEvent(QPaintEvent* e) {
    QGroupBox::paintEvent(e);
    if (hasFocus()) {
        QPainter p(this);
        drawFocusRing(p, captionRect());
    }
}

void Button::keyPressEvent(QKeyEvent* e) {
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && !e->isAutoRepeat()) {
        click();
        return;
    }
    QPushButton::keyPressEvent(e);
}

void Button::paintEvent(QPaintEvent* e) {
    QPushButton::paintEvent(e);
    if (hasFocus()) {
        QPainter p(this);
        drawFocusRing(p, rect().adjusted(2, 2, -2, -2));
    }
}

void CheckBox::paintEvent(QPaintEvent* e) {
    QCheckBox::paintEvent(e);
    if (hasFocus()) {
        QPainter p(this);
        drawFocusRing(p, rect());
    }
}

void Frame::mouseDoubleClickEvent(QMouseEvent* e) {
    // An event that a child passed up lands on that child's area.
    if (childAt(e->position().toPoint()) == nullptr && e->button() == Qt::LeftButton) {
        e->accept();
        emit doubleClicked();
        return;
    }
    QGroupBox::mouseDoubleClickEvent(e);
}

bool Frame::event(QEvent* e) {
    // Space would go to the group box's own check box, which a frame has not.
    if (e->type() == QEvent::KeyPress && hasFocus() &&
        static_cast<QKeyEvent*>(e)->key() == Qt::Key_Space) {
        emit switchRequested();
        return true;
    }
    // The tip belongs to the frame itself, where a double-click counts, not
    // to the controls inside it.
    if (e->type() == QEvent::ToolTip && childAt(static_cast<QHelpEvent*>(e)->pos())) {
        QToolTip::hideText();
        return true;
    }
    return QGroupBox::event(e);
}

void RowList::keyPressEvent(QKeyEvent* e) {
    const int key = e->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
        emit rowChosen();
        return;
    }
    QListWidget::keyPressEvent(e);
}

FormControls buildControls(QWidget* form) {
    FormControls ui;
    form->setFixedWidth(px(6510));
    form->resize(px(6510), px(5700));
    paint(form, kGrey);
    // The window's default font, fixed in full so that it does not take the
    // bold or size of the frame a button sits in.
    QFont windowFont = QApplication::font();
    windowFont.setResolveMask(QFont::AllPropertiesResolved);

    // System panel, in the order of creation.
    ui.Frame4 =
        frame<Frame>(form, "Frame4", QStringLiteral("<System>"), twipsRect(60, 60, 6375, 3255),
                     gothic(9.75, false, false, true), kDarkBlue);
    ui.Command1[1] = button(ui.Frame4, "Command1(1)", QStringLiteral("中　止"),
                            twipsRect(4860, 870, 1335, 465), gothic(12, true));
    auto* frame5 = frame(ui.Frame4, "Frame5", QStringLiteral("BackUpFile"),
                         twipsRect(150, 1890, 6075, 1155), gothic(12, true), kLightBlue);
    ui.Command3 = button(frame5, "Command3", QStringLiteral("Back Up 読込"),
                         twipsRect(3480, 750, 2445, 315), windowFont);
    ui.Text[3] =
        text(frame5, "Text4", QStringLiteral("C:\\"), twipsRect(120, 330, 5805, 285), gothic(9));
    ui.Command1[0] = button(ui.Frame4, "Command1(0)", QStringLiteral("決　定"),
                            twipsRect(4860, 330, 1335, 465), gothic(12, true));
    ui.Text[2] = text(ui.Frame4, "Text3", QStringLiteral("1"), twipsRect(1680, 1320, 825, 375),
                      gothic(12, true, true));
    ui.Text[1] = text(ui.Frame4, "Text2", QStringLiteral("1"), twipsRect(1680, 900, 825, 375),
                      gothic(12, true, true));
    ui.Text[0] = text(ui.Frame4, "Text1", QStringLiteral("1"), twipsRect(1680, 480, 825, 375),
                      gothic(12, true, true));
    label(ui.Frame4, "Label2(1)", QStringLiteral("０回以上設定"), twipsRect(3240, 1350, 1575, 255),
          gothic(9.75), kRed);
    label(ui.Frame4, "Label4(1)", QStringLiteral("回"), twipsRect(2640, 1380, 495, 285),
          gothic(11.25, true), kLightBlue);
    label(ui.Frame4, "Label4(0)", QStringLiteral("秒"), twipsRect(2640, 990, 495, 285),
          gothic(11.25, true), kLightBlue);
    label(ui.Frame4, "Label2(0)", QStringLiteral("２秒以上設定"), twipsRect(3240, 960, 1575, 255),
          gothic(9.75), kRed);
    label(ui.Frame4, "Label1(2)", QStringLiteral("Retry"), twipsRect(270, 1380, 1365, 285),
          gothic(12, true), kLightBlue);
    label(ui.Frame4, "Label1(1)", QStringLiteral("Timeout"), twipsRect(240, 960, 1395, 285),
          gothic(12, true), kLightBlue);
    label(ui.Frame4, "Label1(0)", QStringLiteral("COM Port"), twipsRect(270, 540, 1365, 285),
          gothic(12, true), kLightBlue);

    // Main panel.
    ui.Frame2 =
        frame<Frame>(form, "Frame2", QStringLiteral("<Main>"), twipsRect(60, 60, 6375, 5505),
                     gothic(9.75, false, false, true), kDarkBlue);
    auto* frame3 = frame(ui.Frame2, "Frame3", QStringLiteral("設定値"),
                         twipsRect(120, 270, 6075, 1365), gothic(12), Qt::black);
    ui.Command2 = button(frame3, "Command2", QStringLiteral("設定送信"),
                         twipsRect(120, 810, 1365, 405), windowFont);
    ui.Check1 = named(new CheckBox(QStringLiteral("Timer Enable"), frame3), "Check1(1)",
                      twipsRect(2070, 870, 1905, 285), gothic(9));
    paint(ui.Check1, kGrey);
    ui.Combo3 = combo(frame3, "Combo3", twipsRect(120, 330, 1185, 405));
    ui.Combo1[0] = combo(frame3, "Combo1(0)", twipsRect(2520, 330, 915, 405));
    ui.Combo1[1] = combo(frame3, "Combo1(1)", twipsRect(3840, 330, 915, 405));
    ui.Combo1[2] = combo(frame3, "Combo1(2)", twipsRect(5040, 330, 915, 405));
    ui.Combo2 = combo(frame3, "Combo2", twipsRect(1380, 330, 1095, 405));
    // The separators are narrower than their full-width glyph: centred, the
    // colon's dots stay inside the label.
    for (auto [name, r] : {std::pair{"Label3(0)", twipsRect(3570, 360, 135, 375)},
                           {"Label3(1)", twipsRect(4830, 330, 135, 375)}})
        label(frame3, name, QStringLiteral("："), r, gothic(15.75, true), Qt::black)
            ->setAlignment(Qt::AlignCenter);
    auto* frame1 = frame(ui.Frame2, "Frame1", QStringLiteral("タイマー設定一覧"),
                         twipsRect(120, 1680, 6075, 3645), gothic(12), Qt::black);
    ui.List1 = named(new RowList(frame1), "List1", twipsRect(150, 330, 5715, 3195), gothic(14.25));
    ui.List1->setSelectionMode(QAbstractItemView::SingleSelection);
    ui.List1->setUniformItemSizes(true);
    ui.List1->setItemDelegate(new EvenRows(ui.List1, 11));
    paint(ui.List1, kWhite);
    // Dir1 only ever reported the start-up directory; it stays hidden.
    auto* dir1 = new QWidget(ui.Frame2);
    dir1->setObjectName(QStringLiteral("Dir1"));
    dir1->setGeometry(twipsRect(4800, 1470, 255, 300));
    dir1->hide();

    // Tab order of the design, focusable controls only; the frames' captions
    // take their own places in it, so that the keyboard reaches the switch.
    for (Frame* f : {ui.Frame2, ui.Frame4})
        f->setFocusPolicy(Qt::TabFocus);
    ui.Frame2->setSwitchText(QStringLiteral("「<System>」の設定画面に切り替え\tCtrl+,"));
    ui.Frame4->setSwitchText(QStringLiteral("「<Main>」の画面に戻る\tEsc"));
    QWidget* order[] = {ui.Frame2,    ui.List1,      ui.Combo2,  ui.Combo1[2],   ui.Combo1[1],
                        ui.Combo1[0], ui.Combo3,     ui.Check1,  ui.Command2,    ui.Frame4,
                        ui.Text[0],   ui.Text[1],    ui.Text[2], ui.Command1[0], ui.Text[3],
                        ui.Command3,  ui.Command1[1]};
    for (size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
    return ui;
}

void fillChoiceLists(const FormControls& ui) {
    ui.Combo2->clear();
    for (int i = 0; i <= 7; ++i)
        ui.Combo2->addItem(DayName().at(i));
    ui.Combo3->clear();
    for (int n = 0; n <= 9; ++n)
        ui.Combo3->addItem(QStringLiteral("予約") + QString::number(n));
    ui.Combo3->addItem(QStringLiteral("現在"));
    const int counts[3] = {24, 60, 60};
    for (int k = 0; k < 3; ++k) {
        ui.Combo1[k]->clear();
        for (int n = 0; n < counts[k]; ++n)
            ui.Combo1[k]->addItem(QString::number(n));
    }
}

void showPanel(QWidget* form, const FormControls& ui, bool mainPanel) {
    ui.Frame2->setVisible(mainPanel);
    ui.Frame4->setVisible(!mainPanel);
    fitPanelHeight(form, ui);
    // The focus would otherwise stay on a control of the panel just hidden.
    if (mainPanel)
        ui.List1->setFocus();
    else
        ui.Text[0]->setFocus();
}

void fitPanelHeight(QWidget* form, const FormControls& ui) {
    setOuterHeightTwips(form, ui.Frame4->isVisibleTo(form) ? kSystemPanelHeight : kMainPanelHeight);
}

void setOuterHeightTwips(QWidget* form, int twips) {
    // The outer height counts the caption and borders. Before the window
    // manager has framed the window, take the design's own allowance.
    int extra = form->frameGeometry().height() - form->height();
    if (extra <= 0)
        extra = px(kMainPanelHeight - 5700);
    form->setFixedHeight(std::max(1, px(twips) - extra));
}

} // namespace morvane
