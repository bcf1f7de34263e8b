// SPDX-License-Identifier: MIT
#pragma once

#include "adapters.h"
#include "exchange.h"
#include "layout.h"
#include "mscomm.h"
#include "sysfile.h"

#include <QDateTime>
#include <QWidget>
#include <functional>

namespace morvane {

// The program's one window: its state, and its event handlers wiring the
// controls to the device operations.
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
    // The other panel, by the keyboard: as the double-click on the shown one.
    void switchPanel();
    void List1_Click();
    void Command2_Click();
    void Command1_Click(int Index);
    void Command3_Click();
    void MSComm1_OnComm();

    // Tests replace the PC's date and time seen by the editor.
    void setNowProvider(std::function<QDateTime()> now) { now_ = std::move(now); }

    // State shared by the procedures.
    QString AppDir;
    QString SysFileName;
    SysSettingsRecord SysSettings;
    qint16 FileErrNo = 0;
    MSComm MSComm1;
    Link link;

protected:
    void closeEvent(QCloseEvent* e) override;
    bool event(QEvent* e) override;

private:
    class Busy;

    void Form_Unload();
    void COM_Init();
    void Set_NowTime();
    void enableSendControls(bool enabled);
    // What the port boxes add about the port.
    QString portDetail(const QString& message) const;
    bool busy() const { return busyDepth_ > 0; }
    QDateTime now() const { return now_ ? now_() : QDateTime::currentDateTime(); }

    // Declared before `ui_`: building the controls already sends this window
    // events, which read these flags.
    int busyDepth_ = 0;
    bool closePending_ = false;
    bool onCommPending_ = false;
    bool framed_ = false;            // the window manager's frame is known
    bool portTriedAtStartUp_ = true; // no confirm of the system panel has tried another
    std::function<QDateTime()> now_;

    FormControls ui_;
    ListAdapter list_;
    EditorAdapter editor_;
};

} // namespace morvane
