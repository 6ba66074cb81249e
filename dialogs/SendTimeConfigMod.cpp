#include "dialogs/SendTimeConfigMod.h"

#include "app/API.h"
#include "app/variables.h"
#include "dialogs/frmSendTimeConfig.h"
#include "platform/MessageBox.h"
#include "platform/Service.h"

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
    const SettingsRecord before = Settings;
    for (int h = 0; h < kHoursPerDay; ++h)
        Settings.sendHours[h] = form.chkTime[h]->isChecked() ? 1 : 0;
    Settings.sendMinute = minute;
    if (!API::WriteSendTimeSettings()) {
        // Not saved: the running monitor goes on by what the file holds.
        Settings = before;
        SettingsDialog::reportWriteFault(API::kSendTimeFile);
        return 1;
    }
    return 0;
}

} // namespace SendTimeConfigMod
