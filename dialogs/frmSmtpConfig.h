#pragma once

#include "dialogs/SettingsDialog.h"

class QCheckBox;
class QGroupBox;
class QLabel;

// The mail settings dialog: SMTP server, sender, recipient, subject and the
// detail options; saves into smtp.ini.
class frmSmtpConfig : public SingleSettingsDialog<frmSmtpConfig> {
public:
    // Creating the dialog runs its opening (Form_Load), shown or not.
    frmSmtpConfig();

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

    void Form_Load();
    void txtSmtpServer_Change();
    void txtFrom_Change();
    void txtRcpt_Change();
    void txtSubject_Change();
    void chkDetails_Click();
    void chkNGDetails_Click();

protected:
    std::int16_t saveSettings() override;

private:
    void buildControls();
    void connectHandlers();
};
