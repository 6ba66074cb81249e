#pragma once

#include "dialogs/SettingsDialog.h"

class QCheckBox;
class QGroupBox;
class QLabel;

// The mail settings dialog: SMTP server, sender, recipient, subject and the
// detail options; saves into smtp.ini.
class frmSmtpConfig : public SettingsDialog {
public:
    // Creating the dialog runs its opening (Form_Load), shown or not.
    frmSmtpConfig();
    ~frmSmtpConfig() override;

    // The dialog that the main window opens; created hidden on first use.
    static frmSmtpConfig& instance();
    static bool exists();
    // Closes and destroys it, if it exists.
    static void destroyInstance();

    // The last subject that passed the subject filter. It outlives every
    // opening of the dialog: empty at start-up, kept for the whole process.
    static inline QString acceptedSubject;

    QGroupBox* frameBasic = nullptr;
    QLabel* lblSmtpServer = nullptr;
    QLineEdit* txtSmtpServer = nullptr;
    QLabel* lblFrom = nullptr;
    QLineEdit* txtFrom = nullptr;
    QLabel* lblRcpt = nullptr;
    QLineEdit* txtRcpt = nullptr;
    QLabel* lblSubject = nullptr;
    QLineEdit* txtSubject = nullptr;
    QLabel* lblAttention = nullptr;
    QGroupBox* frameAdv = nullptr;
    QCheckBox* chkDetails = nullptr;
    QCheckBox* chkNGDetails = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdApply = nullptr;
    QPushButton* cmdCancel = nullptr;

    void Form_Load();
    void txtSmtpServer_Change();
    void txtFrom_Change();
    void txtRcpt_Change();
    void txtSubject_Change();
    void chkDetails_Click();
    void chkNGDetails_Click();
    void cmdOK_Click();
    void cmdApply_Click();
    void cmdCancel_Click();

private:
    void buildControls();
    void connectHandlers();
};
