#include "mainform.h"

#include "backup.h"
#include "formats.h"
#include "messageerror.h"
#include "strutil.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>

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

const QColor Grey(192, 192, 192);
const QColor White(255, 255, 255);
const QColor DarkBlue(0, 0, 192);
const QColor LightBlue(128, 128, 255);
const QColor Red(255, 0, 0);

// Background and caption colour of a control; every control gets its own
// palette so that a frame's caption colour does not spill into its children.
void paint(QWidget* w, const QColor& back, const QColor& text = Qt::black) {
    QPalette p = w->palette();
    for (auto role : {QPalette::Window, QPalette::Button})
        p.setColor(role, back);
    p.setColor(QPalette::Base, back == Grey ? White : back);
    for (auto role : {QPalette::WindowText, QPalette::ButtonText})
        p.setColor(role, text);
    p.setColor(QPalette::Text, Qt::black);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

// Blanks only: a tab or other character at either end belongs to the text.
QString trimBlanks(const QString& s) {
    qsizetype b = 0, e = s.size();
    while (b < e && s.at(b) == u' ')
        ++b;
    while (e > b && s.at(e - 1) == u' ')
        --e;
    return s.mid(b, e - b);
}

// "ERR" anywhere in a reply marks a failed exchange or a device error.
bool hasErr(const QString& s) {
    return s.contains(QLatin1String("ERR"));
}

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

void Frame::mouseDoubleClickEvent(QMouseEvent* e) {
    // An event that a child passed up lands on that child's area.
    if (childAt(e->position().toPoint()) == nullptr && e->button() == Qt::LeftButton) {
        e->accept();
        emit doubleClicked();
        return;
    }
    QGroupBox::mouseDoubleClickEvent(e);
}

class MainForm::ListAdapter final : public ListView {
public:
    explicit ListAdapter(QListWidget* l) : l_(l) {}
    void clear() override { l_->clear(); }
    void addItem(const QString& text) override { l_->addItem(text); }
    int count() const override { return l_->count(); }
    QString item(int row) const override {
        auto* it = l_->item(row);
        return it ? it->text() : QString();
    }
    void setItem(int row, const QString& text) override {
        if (auto* it = l_->item(row))
            it->setText(text);
    }

private:
    QListWidget* l_;
};

class MainForm::EditorAdapter final : public EditorView {
public:
    explicit EditorAdapter(MainForm* f) : f_(f) {}
    int reservationIndex() const override { return shownIndex(f_->Combo3); }
    void selectReservation(int index) override { selectItem(f_->Combo3, index); }
    int dayIndex() const override { return shownIndex(f_->Combo2); }
    void selectDay(int index) override { selectItem(f_->Combo2, index); }
    QString timeText(int k) const override { return f_->Combo1[k]->currentText(); }
    void setTimeText(int k, const QString& text) override {
        QComboBox* c = f_->Combo1[k];
        c->setCurrentIndex(-1);
        c->setEditText(text);
    }
    void selectTime(int k, int index) override { selectItem(f_->Combo1[k], index); }
    int enableValue() const override {
        switch (f_->Check1_1->checkState()) {
        case Qt::Checked:
            return 1;
        case Qt::PartiallyChecked:
            return 2;
        default:
            return 0;
        }
    }
    void setEnableValue(int value) override {
        f_->Check1_1->setCheckState(value == 1   ? Qt::Checked
                                    : value == 2 ? Qt::PartiallyChecked
                                                 : Qt::Unchecked);
    }

private:
    MainForm* f_;
};

// While a handler talks to the device: wait cursor, and a depth count that
// keeps other handlers and the close button out.
class MainForm::Busy {
public:
    explicit Busy(MainForm* f) : f_(f) {
        if (f_->busyDepth_++ == 0)
            QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~Busy() {
        if (--f_->busyDepth_ == 0) {
            QApplication::restoreOverrideCursor();
            if (f_->onCommPending_) {
                f_->onCommPending_ = false;
                QMetaObject::invokeMethod(f_, &MainForm::MSComm1_OnComm, Qt::QueuedConnection);
            }
            if (f_->closePending_) {
                f_->closePending_ = false;
                QMetaObject::invokeMethod(f_, &QWidget::close, Qt::QueuedConnection);
            }
        }
    }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

private:
    MainForm* f_;
};

MainForm::MainForm(QWidget* parent)
    : QWidget(parent), link(SysSettings, clock_, [](const QString& m) { MessageError(m); }) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Morvane"));
    MSComm1.setObjectName(QStringLiteral("MSComm1"));
    MSComm1.setParent(this);
    buildControls();
    list_ = std::make_unique<ListAdapter>(List1);
    editor_ = std::make_unique<EditorAdapter>(this);

    // Waits let paint events through so the window never goes blank; user
    // input stays queued until the handler has returned.
    link.setPump([] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
    connect(&MSComm1, &MSComm::OnComm, this, &MainForm::MSComm1_OnComm);
}

MainForm::~MainForm() {
    // MSComm1 is a member; take it out of the child list before QObject
    // deletes children.
    MSComm1.setParent(nullptr);
}

void MainForm::buildControls() {
    setFixedWidth(px(6510));
    resize(px(6510), px(5700));
    paint(this, Grey);
    // The window's default font, fixed in full so that it does not take the
    // bold or size of the frame a button sits in.
    QFont windowFont = QApplication::font();
    windowFont.setResolveMask(QFont::AllPropertiesResolved);

    auto label = [](QWidget* in, const char* name, const QString& text, QRect r, QFont f,
                    const QColor& colour) {
        auto* l = new QLabel(text, in);
        l->setObjectName(QLatin1String(name));
        l->setGeometry(r);
        l->setFont(f);
        paint(l, Grey, colour);
        return l;
    };
    auto frame = [](QWidget* in, const char* name, const QString& caption, QRect r, QFont f,
                    const QColor& colour) {
        auto* g = new QGroupBox(caption, in);
        g->setObjectName(QLatin1String(name));
        g->setGeometry(r);
        g->setFont(f);
        paint(g, Grey, colour);
        return g;
    };
    auto button = [](QWidget* in, const char* name, const QString& caption, QRect r, QFont f) {
        auto* b = new QPushButton(caption, in);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(r);
        b->setFont(f);
        b->setAutoDefault(false);
        paint(b, Grey);
        return b;
    };
    auto text = [](QWidget* in, const char* name, const QString& initial, QRect r, QFont f) {
        auto* t = new QLineEdit(initial, in);
        t->setObjectName(QLatin1String(name));
        t->setGeometry(r);
        t->setFont(f);
        paint(t, White);
        return t;
    };
    auto combo = [](QWidget* in, const char* name, QRect r) {
        auto* c = new QComboBox(in);
        c->setObjectName(QLatin1String(name));
        c->setEditable(true);
        c->setInsertPolicy(QComboBox::NoInsert);
        c->setGeometry(r);
        c->setFont(gothic(14.25, true));
        c->setMaxVisibleItems(12);
        paint(c, White);
        return c;
    };

    // System panel, in the order of creation.
    Frame4 = new Frame(QStringLiteral("<System>"), this);
    Frame4->setObjectName(QStringLiteral("Frame4"));
    Frame4->setGeometry(twipsRect(60, 60, 6375, 3255));
    Frame4->setFont(gothic(9.75, false, false, true));
    paint(Frame4, Grey, DarkBlue);
    Command1[1] = button(Frame4, "Command1(1)", QStringLiteral("中　止"),
                         twipsRect(4860, 870, 1335, 465), gothic(12, true));
    Frame5 = frame(Frame4, "Frame5", QStringLiteral("BackUpFile"), twipsRect(150, 1890, 6075, 1155),
                   gothic(12, true), LightBlue);
    Command3 = button(Frame5, "Command3", QStringLiteral("Back Up 読込"),
                      twipsRect(3480, 750, 2445, 315), windowFont);
    Text4 =
        text(Frame5, "Text4", QStringLiteral("C:\\"), twipsRect(120, 330, 5805, 285), gothic(9));
    Command1[0] = button(Frame4, "Command1(0)", QStringLiteral("決　定"),
                         twipsRect(4860, 330, 1335, 465), gothic(12, true));
    Text3 = text(Frame4, "Text3", QStringLiteral("1"), twipsRect(1680, 1320, 825, 375),
                 gothic(12, true, true));
    Text2 = text(Frame4, "Text2", QStringLiteral("1"), twipsRect(1680, 900, 825, 375),
                 gothic(12, true, true));
    Text1 = text(Frame4, "Text1", QStringLiteral("1"), twipsRect(1680, 480, 825, 375),
                 gothic(12, true, true));
    label(Frame4, "Label2(1)", QStringLiteral("０回以上設定"), twipsRect(3240, 1350, 1575, 255),
          gothic(9.75), Red);
    label(Frame4, "Label4(1)", QStringLiteral("回"), twipsRect(2640, 1380, 495, 285),
          gothic(11.25, true), LightBlue);
    label(Frame4, "Label4(0)", QStringLiteral("秒"), twipsRect(2640, 990, 495, 285),
          gothic(11.25, true), LightBlue);
    label(Frame4, "Label2(0)", QStringLiteral("２秒以上設定"), twipsRect(3240, 960, 1575, 255),
          gothic(9.75), Red);
    label(Frame4, "Label1(2)", QStringLiteral("Retry"), twipsRect(270, 1380, 1365, 285),
          gothic(12, true), LightBlue);
    label(Frame4, "Label1(1)", QStringLiteral("Timeout"), twipsRect(240, 960, 1395, 285),
          gothic(12, true), LightBlue);
    label(Frame4, "Label1(0)", QStringLiteral("COM Port"), twipsRect(270, 540, 1365, 285),
          gothic(12, true), LightBlue);

    // Main panel.
    Frame2 = new Frame(QStringLiteral("<Main>"), this);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    Frame2->setGeometry(twipsRect(60, 60, 6375, 5505));
    Frame2->setFont(gothic(9.75, false, false, true));
    paint(Frame2, Grey, DarkBlue);
    Frame3 = frame(Frame2, "Frame3", QStringLiteral("設定値"), twipsRect(120, 270, 6075, 1365),
                   gothic(12), Qt::black);
    Command2 = button(Frame3, "Command2", QStringLiteral("設定送信"),
                      twipsRect(120, 810, 1365, 405), windowFont);
    Check1_1 = new QCheckBox(QStringLiteral("Timer Enable"), Frame3);
    Check1_1->setObjectName(QStringLiteral("Check1(1)"));
    Check1_1->setGeometry(twipsRect(2070, 870, 1905, 285));
    Check1_1->setFont(gothic(9));
    paint(Check1_1, Grey);
    Combo3 = combo(Frame3, "Combo3", twipsRect(120, 330, 1185, 405));
    Combo1[0] = combo(Frame3, "Combo1(0)", twipsRect(2520, 330, 915, 405));
    Combo1[1] = combo(Frame3, "Combo1(1)", twipsRect(3840, 330, 915, 405));
    Combo1[2] = combo(Frame3, "Combo1(2)", twipsRect(5040, 330, 915, 405));
    Combo2 = combo(Frame3, "Combo2", twipsRect(1380, 330, 1095, 405));
    // The separators are narrower than their full-width glyph: centred, the
    // colon's dots stay inside the label.
    for (auto [name, r] : {std::pair{"Label3(0)", twipsRect(3570, 360, 135, 375)},
                           {"Label3(1)", twipsRect(4830, 330, 135, 375)}})
        label(Frame3, name, QStringLiteral("："), r, gothic(15.75, true), Qt::black)
            ->setAlignment(Qt::AlignCenter);
    Frame1 = frame(Frame2, "Frame1", QStringLiteral("タイマー設定一覧"),
                   twipsRect(120, 1680, 6075, 3645), gothic(12), Qt::black);
    List1 = new QListWidget(Frame1);
    List1->setObjectName(QStringLiteral("List1"));
    List1->setGeometry(twipsRect(150, 330, 5715, 3195));
    List1->setFont(gothic(14.25));
    List1->setSelectionMode(QAbstractItemView::SingleSelection);
    List1->setUniformItemSizes(true);
    paint(List1, White);
    Dir1 = new QWidget(Frame2);
    Dir1->setObjectName(QStringLiteral("Dir1"));
    Dir1->setGeometry(twipsRect(4800, 1470, 255, 300));
    Dir1->hide();

    // Tab order of the design, focusable controls only.
    QWidget* order[] = {List1,  Combo2,      Combo1[2], Combo1[1], Combo1[0],
                        Combo3, Check1_1,    Command2,  Text1,     Text2,
                        Text3,  Command1[0], Text4,     Command3,  Command1[1]};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(Frame2, &Frame::doubleClicked, this, &MainForm::Frame2_DblClick);
    connect(Frame4, &Frame::doubleClicked, this, &MainForm::Frame4_DblClick);
    connect(List1, &QListWidget::itemClicked, this, [this] { List1_Click(); });
    // Enter or Space loads the current row too; item activation is not used
    // because some desktops activate on a single click, which would load twice.
    List1->installEventFilter(this);
    connect(Command2, &QPushButton::clicked, this, &MainForm::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &MainForm::Command3_Click);
    connect(Command1[0], &QPushButton::clicked, this, [this] { Command1_Click(0); });
    connect(Command1[1], &QPushButton::clicked, this, [this] { Command1_Click(1); });

    showMainPanel();
}

bool MainForm::eventFilter(QObject* watched, QEvent* e) {
    if (watched == List1 && e->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
            List1_Click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, e);
}

void MainForm::setOuterHeightTwips(int twips) {
    // The outer height counts the caption and borders. Before the window
    // manager has framed the window, take the design's own allowance.
    int extra = frameGeometry().height() - height();
    if (extra <= 0)
        extra = px(MainPanelHeight - 5700);
    setFixedHeight(std::max(1, px(twips) - extra));
}

void MainForm::showMainPanel() {
    Frame2->setVisible(true);
    Frame4->setVisible(false);
}

void MainForm::COM_Init() {
    MSComm1.setAppDir(AppDir);
    link.ComStatus = morvane::COM_Init(MSComm1, SysSettings);
    link.setPort(link.ComStatus == 0 ? &MSComm1 : nullptr);
}

void MainForm::Form_Load() {
    Busy busy(this);
    const MessageFn messageError = [](const QString& m) { MessageError(m); };

    AppDir = CurrentAppDir();
    SetDefaultSys(AppDir, SysSettings, SysFileName);
    ReadSys(SysFileName, SysSettings, FileErrNo, messageError);
    COM_Init();

    setOuterHeightTwips(MainPanelHeight);
    show();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

    // Init_Sub: the day names are a fixed table (DayName()).
    showMainPanel();

    Combo2->clear();
    for (int i = 0; i <= 7; ++i)
        Combo2->addItem(DayName().at(i));
    Combo3->clear();
    for (int n = 0; n <= 9; ++n)
        Combo3->addItem(QStringLiteral("予約") + QString::number(n));
    Combo3->addItem(QStringLiteral("現在"));
    const int counts[3] = {24, 60, 60};
    for (int k = 0; k < 3; ++k) {
        Combo1[k]->clear();
        for (int n = 0; n < counts[k]; ++n)
            Combo1[k]->addItem(QString::number(n));
    }

    Set_NowTime();
    Get_Time(link, *list_);

    if (hasErr(link.RecBuf)) {
        Command2->setEnabled(false);
        Command3->setEnabled(false);
        Check1_1->setEnabled(false);
    }
}

void MainForm::closeEvent(QCloseEvent* e) {
    // A device wait lets paint events through; a close that slips in then is
    // carried out once the handler has finished.
    if (busy()) {
        closePending_ = true;
        e->ignore();
        return;
    }
    // Form_Unload: only the port is closed; nothing is saved.
    if (MSComm1.PortOpen())
        MSComm1.setPortOpen(false);
    e->accept();
}

void MainForm::Frame2_DblClick() {
    if (busy())
        return;
    Text1->setText(SignedText(SysSettings.COMPORT));
    Text2->setText(SignedText(SysSettings.ComTimeOut));
    Text3->setText(SignedText(SysSettings.ComReTry));
    Text4->setText(SysSettings.BackUpFile);
    Frame2->setVisible(false);
    Frame4->setVisible(true);
    setOuterHeightTwips(SystemPanelHeight);
}

void MainForm::Frame4_DblClick() {
    if (busy())
        return;
    showMainPanel();
    setOuterHeightTwips(MainPanelHeight);
}

void MainForm::Set_NowTime() {
    morvane::Set_NowTime(*editor_, now());
}

void MainForm::List1_Click() {
    if (busy())
        return;
    const int row = List1->currentRow();
    if (row < 0)
        return;
    Busy b(this);
    Set_Time(link, *list_, *editor_, row, now());
}

void MainForm::Command2_Click() {
    if (busy())
        return;
    Busy b(this);
    TRN_Time(link, *editor_);
    Get_Time(link, *list_);
    // A failed read-back would replace the last good backup with a partial
    // table: keep the file as it was.
    if (List1->count() == 11 && !hasErr(link.RecBuf))
        WriteSetting();
}

void MainForm::WriteSetting() {
    QStringList rows;
    for (int r = 0; r < List1->count(); ++r)
        rows << List1->item(r)->text();
    WriteBackupFile(SysSettings.BackUpFile, rows, [](const QString& m) { MessageError(m); });
}

void MainForm::ReadSetting() {
    morvane::ReadSetting(
        link, *list_, *editor_, SysSettings.BackUpFile, FileErrNo, [this] { return now(); },
        [] { QCoreApplication::processEvents(); });
}

void MainForm::Command3_Click() {
    if (busy())
        return;
    Busy b(this);
    ReadSetting();
}

void MainForm::Command1_Click(int Index) {
    if (busy())
        return;
    if (Index != 0) {
        setOuterHeightTwips(MainPanelHeight);
        showMainPanel();
        return;
    }
    Busy b(this);

    // Numbers that do not fit the 16-bit fields change nothing at all.
    const QString outOfRange = QStringLiteral("-32768 から 32767 までの数値を設定してください。");
    const auto port = RoundToInt16(Val(Text1->text()));
    const auto timeOut = RoundToInt16(Val(Text2->text()));
    const auto reTry = RoundToInt16(Val(Text3->text()));
    for (auto [value, box] : {std::pair{port, Text1}, {timeOut, Text2}, {reTry, Text3}}) {
        if (!value) {
            box->setFocus();
            MessageError(outOfRange);
            return;
        }
    }

    SysSettings.COMPORT = *port;
    if (*timeOut < 2) {
        Text2->setFocus();
        MessageError(QStringLiteral("タイムアウト時間は２秒以上を設定してください。"));
        return;
    }
    SysSettings.ComTimeOut = *timeOut;
    SysSettings.ComReTry = *reTry;
    SysSettings.BackUpFile = trimBlanks(Text4->text());
    WriteSys(SysFileName, SysSettings, [](const QString& m) { MessageError(m); });

    if (link.ComStatus != 99)
        MSComm1.setPortOpen(false);
    COM_Init();
    if (link.ComStatus == 99) {
        Text1->setFocus();
        MessageError(QStringLiteral("COM ポートが無効です。"));
        return;
    }

    setOuterHeightTwips(MainPanelHeight);
    showMainPanel();
    Set_NowTime();
    Get_Time(link, *list_);
    // The port was set up again as the error messages ask: the tool is usable
    // again without a restart.
    if (!hasErr(link.RecBuf)) {
        Command2->setEnabled(true);
        Command3->setEnabled(true);
        Check1_1->setEnabled(true);
    }
}

void MainForm::MSComm1_OnComm() {
    // The component reports only while its port is open; a notice queued just
    // before the line failed must not undo the closed state.
    if (!MSComm1.PortOpen())
        return;
    // A message box or a restore lets events through; the receive event is
    // handled only once the running handler has finished.
    if (busy()) {
        onCommPending_ = true;
        return;
    }
    link.ComStatus = 0;
    if (MSComm1.CommEvent() == comEvReceive && MSComm1.InBufferCount() != 0) {
        Busy b(this);
        link.CMM_REC(link.RecBuf);
    }
}

} // namespace morvane
