#pragma once

#include "dialogs/SettingsDialog.h"
#include "settings/API.h"

#include <optional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QListWidget;

// The check settings dialog: the watched drives and their limits, the memory
// limits and the watched services; saves into check.ini.
class frmCheckConfig : public SingleSettingsDialog<frmCheckConfig> {
public:
    // What the opening does with a check.ini that fails to load. Report: tell
    // the operator and show what the record then holds. Raise: throw the
    // API::LoadError out of the constructor (start-up, which ends on it).
    enum class LoadFaults { Report, Raise };

    // Creating the dialog runs its opening (Form_Load), shown or not.
    explicit frmCheckConfig(LoadFaults loadFaults = LoadFaults::Report);

    QGroupBox* frameDriveCheck = nullptr;
    QCheckBox* chkDriveCheck = nullptr;
    QComboBox* cmbDrive1 = nullptr;
    QLabel* lbl1 = nullptr;
    QLineEdit* txtDrive1Avail = nullptr;
    QLabel* lbl2 = nullptr;
    QCheckBox* chkDrive2 = nullptr;
    QComboBox* cmbDrive2 = nullptr;
    QLabel* lbl3 = nullptr;
    QLineEdit* txtDrive2Avail = nullptr;
    QLabel* lbl4 = nullptr;
    QCheckBox* chkDrive3 = nullptr;
    QComboBox* cmbDrive3 = nullptr;
    QLabel* lbl5 = nullptr;
    QLineEdit* txtDrive3Avail = nullptr;
    QLabel* lbl6 = nullptr;
    QGroupBox* frameMemoryCheck = nullptr;
    QCheckBox* chkMemoryCheck = nullptr;
    QLabel* lbl7 = nullptr;
    QLineEdit* txtMemoryAvail = nullptr;
    QLabel* lbl8 = nullptr;
    QLabel* lbl9 = nullptr;
    QLineEdit* txtSwapAvail = nullptr;
    QLabel* lbl10 = nullptr;
    QGroupBox* frameServiceCheck = nullptr;
    QPushButton* cmdAllCheck = nullptr;
    QPushButton* cmdAllCancel = nullptr;
    QListWidget* lstServiceList = nullptr;

    // A check.ini that failed to load during the opening; reported at its end.
    std::optional<API::LoadError> loadFault;

    void Form_Load();
    void chkDriveCheck_Click();
    void chkDrive2_Click();
    void chkDrive3_Click();
    void chkMemoryCheck_Click();
    void cmbDrive1_Change();
    void cmbDrive2_Change();
    void cmbDrive3_Change();
    void txtDrive1Avail_Change();
    void txtDrive2Avail_Change();
    void txtDrive3Avail_Change();
    void txtMemoryAvail_Change();
    void txtSwapAvail_Change();
    void lstServiceList_Click();
    void cmdAllCheck_Click();
    void cmdAllCancel_Click();

    // Drive slots 2 and 3 hang on the master switch; the memory boxes on theirs.
    void applyEnablingRule();

protected:
    std::int16_t saveSettings() override;

private:
    void buildControls();
    void connectHandlers();
    // Cuts the box's text to its last `limit` characters, then enables Apply.
    void limitNumberBox(QLineEdit* box, int limit);

    LoadFaults loadFaults_;
};
