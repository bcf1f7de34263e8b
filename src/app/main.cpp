// SPDX-License-Identifier: MIT
#include "mainform.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Morvane"));
    // The desktop entry's name: compositors match the window to its launcher
    // (icon, grouping) by it.
    QGuiApplication::setDesktopFileName(QStringLiteral("invalid.morvane.morvane"));
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/%1x%1/morvane.png").arg(size));
    QApplication::setWindowIcon(icon);
    morvane::MainForm form;
    form.Form_Load();
    return app.exec();
}
