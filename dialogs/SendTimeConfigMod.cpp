#include "dialogs/SendTimeConfigMod.h"

#include "dialogs/frmSendTimeConfig.h"
#include "platform/MessageBox.h"
#include "platform/Service.h"
#include "settings/API.h"
#include "settings/variables.h"

#include <QCheckBox>
#include <QLineEdit>

namespace SendTimeConfigMod {

namespace {
// The value of a text of one to `digits` decimal digits that lies from
// `lowest` to `highest`; nothing otherwise.
std::optional<int> numberIn(const QString& text, qsizetype digits, int lowest, int highest) {
    if (text.isEmpty() || text.size() > digits)
        return std::nullopt;
    int value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    if (value < lowest || value > highest)
        return std::nullopt;
    return value;
}
} // namespace

std::optional<int> MinuteOf(const QString& text) {
    return numberIn(text, kMinuteDigits, 0, kLastMinute);
}

std::optional<std::int16_t> IntervalOf(const QString& text, int lowest) {
    if (const std::optional<int> value = numberIn(text, kIntervalDigits, lowest, kMaxAlertMinutes))
        return static_cast<std::int16_t>(*value);
    return std::nullopt;
}

namespace {
// Refuses an interval: tells the operator its range and puts the focus into its box.
void refuseInterval(QLineEdit* box, const QString& name, int lowest) {
    platform::use<platform::MessageBox>().show(
        QStringLiteral("「%1」には、%2～%3の分数を指定してください。")
            .arg(name)
            .arg(lowest)
            .arg(kMaxAlertMinutes),
        QStringLiteral("Error"), platform::MessageBox::kOkOnly);
    box->setFocus();
}
} // namespace

void ShowMinuteRangeMessage() {
    platform::use<platform::MessageBox>().show(
        QStringLiteral("送信する\"分\"の指定には、00～59の間で指定してください。"),
        QStringLiteral("Error"), platform::MessageBox::kOkOnly);
}

void InitSendTimeDialog(frmSendTimeConfig& form) {
    for (QCheckBox* box : form.chkTime)
        box->setChecked(false);
    form.txtSendMin->setText(QStringLiteral("00"));
    form.chkAlert->setChecked(true);
    form.txtAlertMin->setText(QString::number(kDefaultAlertMinutes));
    form.txtReminderMin->setText(QStringLiteral("0"));
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
    const bool alerts = Settings.alertMinutes > 0;
    form.chkAlert->setChecked(alerts);
    form.txtAlertMin->setText(
        QString::number(alerts ? Settings.alertMinutes : kDefaultAlertMinutes));
    form.txtReminderMin->setText(QString::number(Settings.reminderMinutes));
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
    const bool alerts = form.chkAlert->isChecked();
    const auto interval = IntervalOf(form.txtAlertMin->text(), 1);
    if (alerts && !interval) {
        refuseInterval(form.txtAlertMin, QStringLiteral("確認の間隔"), 1);
        return 1;
    }
    const QString reminderText = form.txtReminderMin->text();
    const auto reminder = reminderText.isEmpty() ? std::int16_t{0} : IntervalOf(reminderText, 0);
    if (alerts && !reminder) {
        refuseInterval(form.txtReminderMin, QStringLiteral("再通知の間隔"), 0);
        return 1;
    }
    SettingsRecord s = Settings;
    for (int h = 0; h < kHoursPerDay; ++h)
        s.sendHours[h] = form.chkTime[h]->isChecked() ? 1 : 0;
    s.sendMinute = minute;
    s.alertMinutes = alerts ? *interval : std::int16_t{0};
    s.reminderMinutes = reminder.value_or(0);
    return SettingsDialog::saveRecord(s, API::kSendTimeFile, API::WriteSendTimeSettings);
}

} // namespace SendTimeConfigMod
