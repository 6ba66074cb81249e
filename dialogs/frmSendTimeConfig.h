#pragma once

#include "app/variables.h"
#include "dialogs/SettingsDialog.h"

#include <array>

class QCheckBox;
class QGroupBox;
class QLabel;

// The send time dialog: the hours of the day and the minute of the hour at
// which the report is mailed; saves into sendtime.ini.
class frmSendTimeConfig : public SettingsDialog {
public:
    // Creating the dialog runs its opening (Form_Load), shown or not.
    frmSendTimeConfig();
    ~frmSendTimeConfig() override;

    // The dialog that the main window opens; created hidden on first use.
    static frmSendTimeConfig& instance();
    static bool exists();
    // Closes and destroys it, if it exists.
    static void destroyInstance();

    QLabel* lblEXP = nullptr;
    // Index = hour of the day; 0 is midnight, shown as "24時".
    std::array<QCheckBox*, kHoursPerDay> chkTime{};
    QGroupBox* frameMinSet = nullptr;
    QLabel* lblSendMin1 = nullptr;
    QLineEdit* txtSendMin = nullptr;
    QLabel* lblSendMin2 = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdApply = nullptr;
    QPushButton* cmdCancel = nullptr;

    void Form_Load();
    void chkTime_Click(int index);
    void txtSendMin_Change();
    void cmdOK_Click();
    void cmdApply_Click();
    void cmdCancel_Click();

private:
    void buildControls();
    void connectHandlers();
};
