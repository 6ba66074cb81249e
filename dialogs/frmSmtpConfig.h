#pragma once

#include "dialogs/SettingsDialog.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;

// The mail settings dialog: SMTP server, sender, recipient, subject and the
// detail options; below them the server's port, connection security, login,
// trusted certificate and the retry of failed reports. Saves into smtp.ini
// and smtpauth.ini.
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
    QGroupBox* frameServer = nullptr;
    QLabel* lblPort = nullptr;
    QLineEdit* txtPort = nullptr;
    QLabel* lblSecurity = nullptr;
    QComboBox* cmbSecurity = nullptr; // index = smtpSecurity
    QCheckBox* chkAuth = nullptr;
    QLabel* lblUser = nullptr;
    QLineEdit* txtUser = nullptr;
    QLabel* lblPassword = nullptr;
    // Why the stored login file cannot be used, and what to do; hidden while
    // it can.
    QLabel* lblLoginFault = nullptr;
    QLineEdit* txtPassword = nullptr;
    QLabel* lblFingerprint = nullptr;
    QLineEdit* txtFingerprint = nullptr;
    QCheckBox* chkRetry = nullptr;

    void Form_Load();
    void txtSmtpServer_Change();
    void txtFrom_Change();
    void txtRcpt_Change();
    void txtSubject_Change();
    void chkDetails_Click();
    void chkNGDetails_Click();
    // The port, the login and the fingerprint: every change enables Apply.
    void serverDetail_Change();
    // Another security chosen by the operator: proposes its port in place of 25.
    void cmbSecurity_Click(int index);
    // The name and the password are asked for only with a login.
    void chkAuth_Click();

protected:
    std::int16_t saveSettings() override;

private:
    void buildControls();
    void buildServerDetails();
    void connectHandlers();
};
