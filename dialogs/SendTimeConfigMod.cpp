#include "dialogs/SendTimeConfigMod.h"

#include "dialogs/frmSendTimeConfig.h"
#include "platform/MessageBox.h"
#include "platform/Service.h"
#include "settings/API.h"
#include "settings/variables.h"

#include <QCheckBox>
#include <QLineEdit>

namespace SendTimeConfigMod {

std::optional<int> MinuteOf(const QString& text) {
    if (text.isEmpty() || text.size() > kMinuteDigits)
        return std::nullopt;
    int value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    if (value > kLastMinute)
        return std::nullopt;
    return value;
}

void ShowMinuteRangeMessage() {
    platform::use<platform::MessageBox>().show(
        QStringLiteral("送信する\"分\"の指定には、00～59の間で指定してください。"),
        QStringLiteral("Error"), platform::MessageBox::kOkOnly);
}

void InitSendTimeDialog(frmSendTimeConfig& form) {
    for (QCheckBox* box : form.chkTime)
        box->setChecked(false);
    form.txtSendMin->setText(QStringLiteral("00"));
}

void ShowSendTimeSettings(frmSendTimeConfig& form) {
    try {
        API::LoadSendTimeSettings();
    } catch (const API::LoadError& error) {
        SettingsDialog::reportLoadFault(error);
    }
    for (int h = 0; h < kHoursPerDay; ++h)
        form.chkTime[h]->setChecked(Settings.sendHours[h] == kFlagOn);
    form.txtSendMin->setText(Settings.sendMinute);
}

std::int16_t SaveSendTimeSettings(frmSendTimeConfig& form) {
    const QString minute = form.txtSendMin->text();
    if (minute.isEmpty()) {
        ShowMinuteRangeMessage();
        form.txtSendMin->setFocus();
        return 1;
    }
    if (!MinuteOf(minute)) {
        ShowMinuteRangeMessage();
        form.txtSendMin->setSelection(0, kMinuteDigits);
        return 1;
    }
    SettingsRecord s = Settings;
    for (int h = 0; h < kHoursPerDay; ++h)
        s.sendHours[h] = form.chkTime[h]->isChecked() ? 1 : 0;
    s.sendMinute = minute;
    return SettingsDialog::saveRecord(s, API::kSendTimeFile, API::WriteSendTimeSettings);
}

} // namespace SendTimeConfigMod
