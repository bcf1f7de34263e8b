// SPDX-License-Identifier: MIT
#include "panel.h"

#include "strutil.h"

#include <algorithm>
#include <optional>

namespace morvane {

namespace {

const QString kMsgOutOfRange = QStringLiteral("-32768 から 32767 までの数値を設定してください。");
const QString kMsgTimeOutTooShort =
    QStringLiteral("タイムアウト時間は２秒以上を設定してください。");
const QString kMsgBadPath =
    QStringLiteral("バックアップファイル名には、カンマと制御文字は使えません。");

// The settings file separates its fields by commas and drops control
// characters: such a path would come back as another one.
bool storable(const QString& path) {
    return std::none_of(path.begin(), path.end(),
                        [](QChar c) { return c == u',' || c.category() == QChar::Other_Control; });
}

PanelCheck refused(const SysSettingsRecord& settings, const QString& message, int box) {
    return PanelCheck{settings, message, box};
}

} // namespace

PanelTexts panelTexts(const SysSettingsRecord& settings) {
    return {signedText(settings.COMPORT), signedText(settings.ComTimeOut),
            signedText(settings.ComReTry), settings.BackUpFile};
}

PanelCheck checkSystemPanel(const PanelTexts& texts, const SysSettingsRecord& current) {
    const std::optional<qint16> numbers[3] = {roundToInt16(leadingNumber(texts.port)),
                                              roundToInt16(leadingNumber(texts.timeOut)),
                                              roundToInt16(leadingNumber(texts.reTry))};
    for (int box = 1; box <= 3; ++box)
        if (!numbers[box - 1])
            return refused(current, kMsgOutOfRange, box);
    if (!storable(texts.backUpFile))
        return refused(current, kMsgBadPath, 4);

    SysSettingsRecord s = current;
    s.COMPORT = *numbers[0];
    if (*numbers[1] < 2)
        return refused(s, kMsgTimeOutTooShort, 2);
    s.ComTimeOut = *numbers[1];
    s.ComReTry = *numbers[2];
    s.BackUpFile = trimBlanks(texts.backUpFile);
    return PanelCheck{s, QString(), 0};
}

} // namespace morvane
