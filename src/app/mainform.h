#pragma once

#include "device.h"
#include "exchange.h"
#include "mscomm.h"
#include "sysfile.h"

#include <QDateTime>
#include <QGroupBox>
#include <QWidget>
#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
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
};

// The program's one window.
class MainForm : public QWidget {
    Q_OBJECT
public:
    explicit MainForm(QWidget* parent = nullptr);
    ~MainForm() override;

    // The whole start-up: settings, port, window shown, lists, table read.
    void Form_Load();

    // Event handlers, public so that tests can drive them as a click would.
    void Frame2_DblClick();
    void Frame4_DblClick();
    void List1_Click();
    void Command2_Click();
    void Command1_Click(int Index);
    void Command3_Click();
    void MSComm1_OnComm();

    // Editor and list operations used by the handlers.
    void Set_NowTime();
    void WriteSetting();
    void ReadSetting();
    void COM_Init();

    // State shared by the procedures.
    QString AppDir;
    QString SysFileName;
    SysSettingsRecord SysSettings;
    qint16 FileErrNo = 0;
    MSComm MSComm1;

private:
    SystemClock clock_; // before `link`, which keeps a reference to it

public:
    Link link;

    // Tests replace the PC's date and time seen by the editor.
    void setNowProvider(std::function<QDateTime()> now) { now_ = std::move(now); }

    // Outer heights of the two panels, in twips.
    static constexpr int MainPanelHeight = 6075;
    static constexpr int SystemPanelHeight = 3800;
    void setOuterHeightTwips(int twips);

protected:
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    class ListAdapter;
    class EditorAdapter;
    class Busy;

    void buildControls();
    void showMainPanel();
    bool busy() const { return busyDepth_ > 0; }
    QDateTime now() const { return now_ ? now_() : QDateTime::currentDateTime(); }

    Frame* Frame2 = nullptr;
    Frame* Frame4 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QGroupBox* Frame3 = nullptr;
    QGroupBox* Frame5 = nullptr;
    QListWidget* List1 = nullptr;
    QComboBox* Combo1[3] = {};
    QComboBox* Combo2 = nullptr;
    QComboBox* Combo3 = nullptr;
    QCheckBox* Check1_1 = nullptr;
    QPushButton* Command1[2] = {};
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QLineEdit* Text1 = nullptr;
    QLineEdit* Text2 = nullptr;
    QLineEdit* Text3 = nullptr;
    QLineEdit* Text4 = nullptr;
    QWidget* Dir1 = nullptr;

    std::unique_ptr<ListAdapter> list_;
    std::unique_ptr<EditorAdapter> editor_;
    std::function<QDateTime()> now_;
    int busyDepth_ = 0;
    bool closePending_ = false;
    bool onCommPending_ = false;
};

} // namespace morvane
