// The window without a device: start-up files, controls, panels, the editor
// and the settings panel's checks that need no answer from the line.
#include "apptest.h"
#include "mainform.h"
#include "messageerror.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace morvane;
using namespace apptest;

namespace {

// The settings file as the program writes it for `dir`.
QByteArray defaultSys(const QString& dir, const QByteArray& port = "1",
                      const QByteArray& timeOut = "2", const QByteArray& reTry = "1",
                      const QByteArray& backup = {}) {
    return sysFile(port, timeOut, reTry,
                   backup.isEmpty() ? (dir + "/Morvane.DAT").toLocal8Bit() : backup);
}

} // namespace

class TstWindow : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString oldCwd_;
    QStringList messages_;
    std::unique_ptr<MainForm> form_;

    template <class T> T* ctl(const char* name) {
        auto* w = form_->findChild<T*>(QLatin1String(name));
        if (!w)
            qWarning("no control %s", name);
        return w;
    }

    // Starts the window in the scratch folder; COM1 there points nowhere, so
    // the port fails to open without a message.
    void start(const QDateTime& now = QDateTime(QDate(2026, 12, 2), QTime(9, 5, 7))) {
        QFile::link(dir_.filePath("no-such-device"), dir_.filePath("COM1"));
        form_ = std::make_unique<MainForm>();
        form_->setNowProvider([now] { return now; });
        form_->Form_Load();
    }

private slots:
    void initTestCase() {
        oldCwd_ = QDir::currentPath();
        SetMessageErrorRecorder([this](const QString& m) { messages_ << m; });
    }
    void init() {
        QVERIFY(dir_.isValid());
        QDir(dir_.path()).removeRecursively();
        QDir().mkpath(dir_.path());
        QVERIFY(QDir::setCurrent(dir_.path()));
        messages_.clear();
    }
    void cleanup() {
        form_.reset();
        QDir::setCurrent(oldCwd_);
    }
    void cleanupTestCase() { SetMessageErrorRecorder({}); }

    void firstStartCreatesSettingsWithDefaults() {
        start();
        QCOMPARE(messages_, QStringList{QStringLiteral("ファイル名が見つかりません。")});
        QCOMPARE(readAll(dir_.filePath("Morvane.SYS")), defaultSys(dir_.path()));
        QVERIFY(form_->isVisible());
        QCOMPARE(form_->windowTitle(), QStringLiteral("Morvane"));
        QCOMPARE(form_->link.ComStatus, qint16(99));
        // A port that does not open: no message, empty list, all enabled.
        QCOMPARE(ctl<QListWidget>("List1")->count(), 0);
        QVERIFY(ctl<QPushButton>("Command2")->isEnabled());
        QVERIFY(ctl<QPushButton>("Command3")->isEnabled());
        QVERIFY(ctl<QCheckBox>("Check1(1)")->isEnabled());
    }

    void existingSettingsAreReadNotRewritten() {
        const QByteArray sys = "comport,7,x\r\nComTimeOut,5,\r\nBackUpFile,/tmp/Mixed.Case,\r\n";
        QVERIFY(writeAll(dir_.filePath("Morvane.SYS"), sys));
        start();
        QVERIFY(messages_.isEmpty());
        QCOMPARE(form_->SysSettings.COMPORT, qint16(7));
        QCOMPARE(form_->SysSettings.ComTimeOut, qint16(5));
        QCOMPARE(form_->SysSettings.BackUpFile, QStringLiteral("/tmp/Mixed.Case"));
        QCOMPARE(readAll(dir_.filePath("Morvane.SYS")), sys);
    }

    void choiceListsAndEditorAfterStart() {
        start(QDateTime(QDate(2026, 12, 2), QTime(9, 5, 7))); // a Wednesday
        auto* c2 = ctl<QComboBox>("Combo2");
        auto* c3 = ctl<QComboBox>("Combo3");
        QCOMPARE(c2->count(), 8);
        QCOMPARE(c2->itemText(0), QStringLiteral("日　"));
        QCOMPARE(c2->itemText(7), QStringLiteral("毎日"));
        QCOMPARE(c3->count(), 11);
        QCOMPARE(c3->itemText(0), QStringLiteral("予約0"));
        QCOMPARE(c3->itemText(9), QStringLiteral("予約9"));
        QCOMPARE(c3->currentText(), QStringLiteral("現在"));
        QCOMPARE(c2->currentText(), QStringLiteral("水　"));
        const char* names[] = {"Combo1(0)", "Combo1(1)", "Combo1(2)"};
        const int counts[] = {24, 60, 60};
        const char* texts[] = {"09", "05", "07"};
        for (int k = 0; k < 3; ++k) {
            auto* c = ctl<QComboBox>(names[k]);
            QCOMPARE(c->count(), counts[k]);
            QCOMPARE(c->itemText(counts[k] - 1), QString::number(counts[k] - 1));
            QCOMPARE(c->currentText(), QLatin1String(texts[k]));
            QVERIFY(c->isEditable());
        }
    }

    void controls_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("twips");
        QTest::addColumn<int>("fontPx"); // 0: the window's default font
        QTest::addColumn<bool>("bold");
        auto row = [](const char* n, const char* p, const QString& c, QRect r, int px, bool b) {
            QTest::newRow(n) << QString::fromLatin1(n) << QString::fromLatin1(p) << c << r << px
                             << b;
        };
        row("Frame4", "MainForm", "<System>", {60, 60, 6375, 3255}, 13, false);
        row("Command1(1)", "Frame4", "中　止", {4860, 870, 1335, 465}, 16, true);
        row("Frame5", "Frame4", "BackUpFile", {150, 1890, 6075, 1155}, 16, true);
        row("Command3", "Frame5", "Back Up 読込", {3480, 750, 2445, 315}, 0, false);
        row("Text4", "Frame5", "", {120, 330, 5805, 285}, 12, false);
        row("Command1(0)", "Frame4", "決　定", {4860, 330, 1335, 465}, 16, true);
        row("Text1", "Frame4", "", {1680, 480, 825, 375}, 16, true);
        row("Label2(1)", "Frame4", "０回以上設定", {3240, 1350, 1575, 255}, 13, false);
        row("Label4(0)", "Frame4", "秒", {2640, 990, 495, 285}, 15, true);
        row("Label1(1)", "Frame4", "Timeout", {240, 960, 1395, 285}, 16, true);
        row("Frame2", "MainForm", "<Main>", {60, 60, 6375, 5505}, 13, false);
        row("Frame3", "Frame2", "設定値", {120, 270, 6075, 1365}, 16, false);
        row("Command2", "Frame3", "設定送信", {120, 810, 1365, 405}, 0, false);
        row("Check1(1)", "Frame3", "Timer Enable", {2070, 870, 1905, 285}, 12, false);
        row("Combo3", "Frame3", "", {120, 330, 1185, 405}, 19, true);
        row("Combo1(2)", "Frame3", "", {5040, 330, 915, 405}, 19, true);
        row("Label3(1)", "Frame3", "：", {4830, 330, 135, 375}, 21, true);
        row("Frame1", "Frame2", "タイマー設定一覧", {120, 1680, 6075, 3645}, 16, false);
        row("List1", "Frame1", "", {150, 330, 5715, 3195}, 19, false);
    }
    void controls() {
        QFETCH(QString, name);
        QFETCH(QString, parent);
        QFETCH(QString, caption);
        QFETCH(QRect, twips);
        QFETCH(int, fontPx);
        QFETCH(bool, bold);
        start();
        auto* w = form_->findChild<QWidget*>(name);
        QVERIFY(w);
        QCOMPARE(w->parentWidget()->objectName(), parent);
        const QRect px(qRound(twips.x() / 15.0), qRound(twips.y() / 15.0),
                       qRound(twips.width() / 15.0), qRound(twips.height() / 15.0));
        QCOMPARE(w->geometry(), px);
        if (!caption.isEmpty()) {
            QString shown;
            if (auto* b = qobject_cast<QAbstractButton*>(w))
                shown = b->text();
            else if (auto* g = qobject_cast<QGroupBox*>(w))
                shown = g->title();
            else if (auto* l = qobject_cast<QLabel*>(w))
                shown = l->text();
            QCOMPARE(shown, caption);
        }
        if (fontPx) {
            QCOMPARE(w->font().pixelSize(), fontPx);
            QCOMPARE(w->font().bold(), bold);
        } else {
            QCOMPARE(w->font().family(), QApplication::font().family());
            QCOMPARE(w->font().pointSizeF(), QApplication::font().pointSizeF());
            QCOMPARE(w->font().bold(), false);
        }
    }

    void panelsSwitchOnTheFramesOnly() {
        start();
        auto* f2 = ctl<QGroupBox>("Frame2");
        auto* f4 = ctl<QGroupBox>("Frame4");
        const int width = form_->width();
        // A double-click on a control or a label inside does not switch.
        QTest::mouseDClick(ctl<QComboBox>("Combo2"), Qt::LeftButton);
        QTest::mouseDClick(ctl<QLabel>("Label3(0)"), Qt::LeftButton);
        QTest::mouseDClick(ctl<QGroupBox>("Frame3"), Qt::LeftButton, {}, QPoint(300, 60));
        QVERIFY(f2->isVisible());
        QVERIFY(!f4->isVisible());
        // The frame itself, on an empty part.
        QTest::mouseDClick(f2, Qt::LeftButton, {}, QPoint(200, 360));
        QVERIFY(!f2->isVisible());
        QVERIFY(f4->isVisible());
        QCOMPARE(ctl<QLineEdit>("Text1")->text(), QStringLiteral(" 1"));
        QCOMPARE(ctl<QLineEdit>("Text2")->text(), QStringLiteral(" 2"));
        QCOMPARE(ctl<QLineEdit>("Text3")->text(), QStringLiteral(" 1"));
        QCOMPARE(ctl<QLineEdit>("Text4")->text(), form_->SysSettings.BackUpFile);
        QCOMPARE(form_->frameGeometry().height(), 3800 / 15);
        QTest::mouseDClick(ctl<QLabel>("Label1(0)"), Qt::LeftButton);
        QVERIFY(f4->isVisible());
        // Typed values are neither kept nor saved when leaving by double-click.
        ctl<QLineEdit>("Text2")->setText("9");
        QTest::mouseDClick(f4, Qt::LeftButton, {}, QPoint(200, 210));
        QVERIFY(f2->isVisible());
        QCOMPARE(form_->frameGeometry().height(), 6075 / 15);
        QCOMPARE(form_->width(), width);
        QCOMPARE(form_->SysSettings.ComTimeOut, qint16(2));
        form_->Frame2_DblClick();
        QCOMPARE(ctl<QLineEdit>("Text2")->text(), QStringLiteral(" 2"));
    }

    void confirmRejectsWithoutSaving_data() {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("timeOut");
        QTest::addColumn<QString>("reTry");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("comport"); // COMPORT in memory afterwards
        const QString tooShort = QStringLiteral("タイムアウト時間は２秒以上を設定してください。");
        const QString range = QStringLiteral("-32768 から 32767 までの数値を設定してください。");
        QTest::newRow("time-out 1") << "5"
                                    << "1"
                                    << "1" << tooShort << 5;
        QTest::newRow("empty time-out") << "5"
                                        << ""
                                        << "1" << tooShort << 5;
        QTest::newRow("port too large") << "40000"
                                        << "2"
                                        << "1" << range << 1;
        QTest::newRow("time-out too large") << "5"
                                            << "99999"
                                            << "1" << range << 1;
        QTest::newRow("retry too small") << "5"
                                         << "2"
                                         << "-40000" << range << 1;
    }
    void confirmRejectsWithoutSaving() {
        QFETCH(QString, port);
        QFETCH(QString, timeOut);
        QFETCH(QString, reTry);
        QFETCH(QString, message);
        QFETCH(int, comport);
        start();
        const QByteArray before = readAll(dir_.filePath("Morvane.SYS"));
        messages_.clear();
        form_->Frame2_DblClick();
        ctl<QLineEdit>("Text1")->setText(port);
        ctl<QLineEdit>("Text2")->setText(timeOut);
        ctl<QLineEdit>("Text3")->setText(reTry);
        QTest::mouseClick(ctl<QPushButton>("Command1(0)"), Qt::LeftButton);
        QCOMPARE(messages_, QStringList{message});
        QCOMPARE(form_->SysSettings.COMPORT, qint16(comport));
        QCOMPARE(form_->SysSettings.ComTimeOut, qint16(2));
        QCOMPARE(readAll(dir_.filePath("Morvane.SYS")), before);
        QVERIFY(ctl<QGroupBox>("Frame4")->isVisible());
    }

    void confirmWithInvalidPortSavesAndKeepsPanel() {
        start();
        messages_.clear();
        form_->Frame2_DblClick();
        ctl<QLineEdit>("Text1")->setText("abc");
        ctl<QLineEdit>("Text2")->setText("1.5");
        ctl<QLineEdit>("Text3")->setText(" 3 ");
        ctl<QLineEdit>("Text4")->setText("  /data/backup.dat  ");
        form_->Command1_Click(0);
        QCOMPARE(messages_, QStringList{QStringLiteral("COM ポートが無効です。")});
        QCOMPARE(readAll(dir_.filePath("Morvane.SYS")),
                 defaultSys(dir_.path(), "0", "2", "3", "/data/backup.dat"));
        QCOMPARE(form_->link.ComStatus, qint16(99));
        QVERIFY(ctl<QGroupBox>("Frame4")->isVisible());
        // Cancel, then a send from the main panel asks for the port again.
        form_->Command1_Click(1);
        QVERIFY(ctl<QGroupBox>("Frame2")->isVisible());
        messages_.clear();
        form_->Command2_Click();
        QCOMPARE(messages_.value(0), QStringLiteral("COM ポートを再設定してください。"));
    }

    void cancelKeepsEverything() {
        start();
        const QByteArray before = readAll(dir_.filePath("Morvane.SYS"));
        messages_.clear();
        form_->Frame2_DblClick();
        ctl<QLineEdit>("Text1")->setText("4");
        ctl<QLineEdit>("Text2")->setText("7");
        ctl<QLineEdit>("Text4")->setText("/elsewhere.dat");
        QTest::mouseClick(ctl<QPushButton>("Command1(1)"), Qt::LeftButton);
        QVERIFY(ctl<QGroupBox>("Frame2")->isVisible());
        QVERIFY(!ctl<QGroupBox>("Frame4")->isVisible());
        QCOMPARE(form_->frameGeometry().height(), 6075 / 15);
        QVERIFY(messages_.isEmpty());
        QCOMPARE(form_->SysSettings.COMPORT, qint16(1));
        QCOMPARE(form_->SysSettings.ComTimeOut, qint16(2));
        QCOMPARE(readAll(dir_.filePath("Morvane.SYS")), before);
        // The typed texts stay in the boxes until the panel is opened again.
        QCOMPARE(ctl<QLineEdit>("Text2")->text(), QStringLiteral("7"));
        form_->Frame2_DblClick();
        QCOMPARE(ctl<QLineEdit>("Text2")->text(), QStringLiteral(" 2"));
        QCOMPARE(ctl<QLineEdit>("Text4")->text(), form_->SysSettings.BackUpFile);
    }

    void realMessageBox() {
        SetMessageErrorRecorder({});
        QString title, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        int buttons = 0;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            buttons = box->buttons().size();
            box->button(QMessageBox::Ok)->click();
        });
        MessageError(QStringLiteral("タイムアウトエラーです。"));
        SetMessageErrorRecorder([this](const QString& m) { messages_ << m; });
        QCOMPARE(title, QStringLiteral("Error Message"));
        QCOMPARE(text, QStringLiteral("タイムアウトエラーです。"));
        QCOMPARE(icon, QMessageBox::Warning);
        QCOMPARE(buttons, 1);
    }
};

QTEST_MAIN(TstWindow)
#include "tst_window.moc"
