#pragma once

#include "dialogs/SettingsDialog.h"
#include "settings/variables.h"

#include <array>

class QCheckBox;
class QGroupBox;
class QLabel;

// The send time dialog: the hours of the day and the minute of the hour at
// which the report is mailed; below them the alerts, mailed as soon as a check
// turns NG, and the reminders while it stays so. Saves into sendtime.ini.
class frmSendTimeConfig : public SingleSettingsDialog<frmSendTimeConfig> {
public:
    // Creating the dialog runs its opening (Form_Load), shown or not.
    frmSendTimeConfig();

    QLabel* lblEXP = nullptr;
    // Index = hour of the day; 0 is midnight, shown as "24時".
    std::array<QCheckBox*, kHoursPerDay> chkTime{};
    QGroupBox* frameMinSet = nullptr;
    QLabel* lblSendMin1 = nullptr;
    QLineEdit* txtSendMin = nullptr;
    QLabel* lblSendMin2 = nullptr;
    QGroupBox* frameAlert = nullptr;
    QCheckBox* chkAlert = nullptr;
    QLabel* lblAlertMin = nullptr;
    QLineEdit* txtAlertMin = nullptr;
    QLabel* lblReminderMin = nullptr;
    QLineEdit* txtReminderMin = nullptr;

    void Form_Load();
    void chkTime_Click(int index);
    void txtSendMin_Change();
    // The intervals are asked for only with alerts on.
    void chkAlert_Click();
    // Either interval changed: enables Apply.
    void alertMinutes_Change();

protected:
    std::int16_t saveSettings() override;

private:
    void buildControls();
    void buildAlertControls();
    void connectHandlers();
};
