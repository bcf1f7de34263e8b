// SPDX-License-Identifier: MIT
#include "mainform.h"

#include "accessibility.h"
#include "cominit.h"
#include "device.h"
#include "messageerror.h"
#include "panel.h"
#include "portreport.h"
#include "windowwaiter.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>

namespace morvane {

namespace {

const MessageFn kShowError = [](const QString& m) { MessageError(m); };

// The PC's clock, which the link reads and sleeps on; it has no state.
Clock& pcClock() {
    static SystemClock clock;
    return clock;
}

} // namespace

// While a handler talks to the device: wait cursor, and a depth count that
// keeps other handlers and the close button out. What arrived meanwhile (a
// receive event, a close) is carried out once the last handler has returned.
class MainForm::Busy {
public:
    explicit Busy(MainForm* f) : f_(f) {
        if (f_->busyDepth_++ == 0)
            QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~Busy() {
        if (--f_->busyDepth_ > 0)
            return;
        QApplication::restoreOverrideCursor();
        if (std::exchange(f_->onCommPending_, false))
            QMetaObject::invokeMethod(f_, &MainForm::MSComm1_OnComm, Qt::QueuedConnection);
        if (std::exchange(f_->closePending_, false))
            QMetaObject::invokeMethod(f_, &QWidget::close, Qt::QueuedConnection);
    }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

private:
    MainForm* f_;
};

MainForm::MainForm(QWidget* parent)
    : QWidget(parent), link(SysSettings, MSComm1, pcClock(),
                            [this](const QString& m) { MessageError(m, portDetail(m)); }),
      ui_(buildControls(this)), list_(ui_.List1), editor_(ui_) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Morvane"));
    MSComm1.setObjectName(QStringLiteral("MSComm1"));
    MSComm1.setParent(this);

    // Waits let paint events through so the window never goes blank; user
    // input stays queued until the handler has returned.
    link.setWaiter(std::make_unique<WindowWaiter>(MSComm1));
    connect(&MSComm1, &MSComm::OnComm, this, &MainForm::MSComm1_OnComm);
    connect(ui_.Frame2, &Frame::doubleClicked, this, &MainForm::Frame2_DblClick);
    connect(ui_.Frame4, &Frame::doubleClicked, this, &MainForm::Frame4_DblClick);
    // The keyboard's ways to the same handlers as the double-clicks: the
    // settings key, a frame's caption or menu, Escape, and Return in a box.
    for (Frame* f : {ui_.Frame2, ui_.Frame4})
        connect(f, &Frame::switchRequested, this, &MainForm::switchPanel);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma), this), &QShortcut::activated,
            this, &MainForm::switchPanel);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, [this] {
        if (ui_.Frame4->isVisibleTo(this))
            Command1_Click(1);
    });
    for (QLineEdit* box : ui_.Text)
        connect(box, &QLineEdit::returnPressed, this, [this] { Command1_Click(0); });
    connect(ui_.List1, &QListWidget::itemClicked, this, &MainForm::List1_Click);
    connect(ui_.List1, &RowList::rowChosen, this, &MainForm::List1_Click);
    connect(ui_.Command2, &QPushButton::clicked, this, &MainForm::Command2_Click);
    connect(ui_.Command3, &QPushButton::clicked, this, &MainForm::Command3_Click);
    for (int i = 0; i < 2; ++i)
        connect(ui_.Command1[i], &QPushButton::clicked, this, [this, i] { Command1_Click(i); });
    installAccessibleRoles();
    describeControls(this);
    showPanel(this, ui_, true);
}

MainForm::~MainForm() {
    // MSComm1 is a member; take it out of the child list before QObject
    // deletes children.
    MSComm1.setParent(nullptr);
}

void MainForm::Form_Load() {
    Busy busy(this);
    AppDir = currentAppDir();
    SetDefaultSys(AppDir, SysSettings, SysFileName);
    ReadSys(SysFileName, SysSettings, FileErrNo, kShowError);
    COM_Init();

    show();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    // The day names need no filling: DayName() is a fixed table.
    showPanel(this, ui_, true);
    fillChoiceLists(ui_);
    Set_NowTime();
    if (Get_Time(link, list_) == TableRead::kFailed)
        enableSendControls(false);
}

void MainForm::closeEvent(QCloseEvent* e) {
    // A device wait lets paint events through; a close that slips in then is
    // carried out once the handler has finished.
    if (busy()) {
        closePending_ = true;
        e->ignore();
        return;
    }
    Form_Unload();
    e->accept();
}

bool MainForm::event(QEvent* e) {
    // A window manager frames the window only once it is shown, so the first
    // outer height was set with a guessed frame: set it again once the frame
    // is known.
    if (!framed_ && (e->type() == QEvent::Move || e->type() == QEvent::Resize) &&
        frameGeometry().height() > height()) {
        framed_ = true;
        fitPanelHeight(this, ui_);
    }
    return QWidget::event(e);
}

void MainForm::Form_Unload() {
    // Only the port is closed; nothing is saved.
    if (MSComm1.PortOpen())
        MSComm1.setPortOpen(false);
}

void MainForm::Frame2_DblClick() {
    if (busy())
        return;
    const PanelTexts texts = panelTexts(SysSettings);
    for (auto [box, text] : {std::pair{0, &texts.port},
                             {1, &texts.timeOut},
                             {2, &texts.reTry},
                             {3, &texts.backUpFile}})
        ui_.Text[box]->setText(*text);
    showPanel(this, ui_, false);
}

void MainForm::Frame4_DblClick() {
    if (!busy())
        showPanel(this, ui_, true);
}

void MainForm::switchPanel() {
    if (ui_.Frame4->isVisibleTo(this))
        Frame4_DblClick();
    else
        Frame2_DblClick();
}

void MainForm::List1_Click() {
    const int row = ui_.List1->currentRow();
    if (busy() || row < 0)
        return;
    Busy b(this);
    Set_Time(link, list_, editor_, row, now());
}

void MainForm::Command2_Click() {
    if (busy())
        return;
    Busy b(this);
    sendEntry(link, list_, editor_, SysSettings.BackUpFile);
}

void MainForm::Command3_Click() {
    if (busy())
        return;
    Busy b(this);
    ReadSetting(
        link, list_, editor_, SysSettings.BackUpFile, FileErrNo, [this] { return now(); },
        [] { QCoreApplication::processEvents(); });
}

void MainForm::Command1_Click(int Index) {
    if (busy())
        return;
    if (Index != 0) {
        showPanel(this, ui_, true);
        return;
    }
    Busy b(this);
    const PanelCheck check = checkSystemPanel(
        {ui_.Text[0]->text(), ui_.Text[1]->text(), ui_.Text[2]->text(), ui_.Text[3]->text()},
        SysSettings);
    SysSettings = check.settings;
    if (!check.message.isEmpty()) {
        ui_.Text[check.focusBox - 1]->setFocus();
        MessageError(check.message);
        return;
    }
    WriteSys(SysFileName, SysSettings, kShowError);
    portTriedAtStartUp_ = false;
    const Outcome applied = applySettings(link, MSComm1, SysSettings, AppDir, list_, editor_, now(),
                                          [this] { showPanel(this, ui_, true); });
    if (applied == Outcome::kPortFailed) {
        ui_.Text[0]->setFocus();
        MessageError(QStringLiteral("COM ポートが無効です。"),
                     portReport(portFacts(MSComm1, SysSettings, AppDir), Language::kJapanese));
        return;
    }
    // The port was set up again as the error messages ask: the tool is usable
    // again without a restart.
    if (applied == Outcome::kDone)
        enableSendControls(true);
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
    link.ComStatus = kComStatusOpen;
    if (MSComm1.CommEvent() == kComEvReceive && MSComm1.InBufferCount() != 0) {
        Busy b(this);
        link.CMM_REC(link.RecBuf);
    }
}

void MainForm::COM_Init() {
    link.ComStatus = morvane::COM_Init(MSComm1, SysSettings, AppDir);
}

QString MainForm::portDetail(const QString& message) const {
    if (!wantsPortReport(message))
        return {};
    // A refused action comes after the port was tried: the report tells the
    // holder of then from the holder of now.
    PortFacts facts = portFacts(MSComm1, SysSettings, AppDir);
    facts.triedEarlier = true;
    facts.triedAtStartUp = portTriedAtStartUp_;
    return portReport(facts, Language::kJapanese);
}

void MainForm::Set_NowTime() {
    morvane::Set_NowTime(editor_, now());
}

void MainForm::enableSendControls(bool enabled) {
    for (QWidget* w : {static_cast<QWidget*>(ui_.Command2), static_cast<QWidget*>(ui_.Command3),
                       static_cast<QWidget*>(ui_.Check1)})
        w->setEnabled(enabled);
}

} // namespace morvane
