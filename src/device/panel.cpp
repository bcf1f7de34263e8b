#include "panel.h"

#include "strutil.h"

#include <optional>

namespace morvane {

namespace {

const QString kMsgOutOfRange = QStringLiteral("-32768 から 32767 までの数値を設定してください。");
const QString kMsgTimeOutTooShort =
    QStringLiteral("タイムアウト時間は２秒以上を設定してください。");

PanelCheck refused(const SysSettingsRecord& settings, const QString& message, int box) {
    return PanelCheck{settings, message, box};
}

} // namespace

PanelCheck checkSystemPanel(const PanelTexts& texts, const SysSettingsRecord& current) {
    const std::optional<qint16> numbers[3] = {roundToInt16(leadingNumber(texts.port)),
                                              roundToInt16(leadingNumber(texts.timeOut)),
                                              roundToInt16(leadingNumber(texts.reTry))};
    for (int box = 1; box <= 3; ++box)
        if (!numbers[box - 1])
            return refused(current, kMsgOutOfRange, box);

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
