#include "dialogs/SmtpConfigMod.h"

#include "dialogs/frmSmtpConfig.h"
#include "mail/Delivery.h"
#include "mail/Mail.h"
#include "platform/AppFolder.h"
#include "platform/Credentials.h"
#include "platform/Files.h"
#include "platform/MessageBox.h"
#include "platform/Service.h"
#include "settings/API.h"
#include "settings/variables.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <algorithm>
#include <utility>

namespace SmtpConfigMod {

namespace {
bool isSubjectCharacter(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') ||
           c == u' ' || c == u'-';
}

void refuse(const QString& text) {
    platform::use<platform::MessageBox>().show(text, QStringLiteral("エラー"),
                                               platform::MessageBox::kOkOnly);
}

// The login into smtpauth.ini, or no file at all without one. False, after
// the operator has been told, when the file cannot be written or deleted.
bool saveLogin(bool withLogin, const QString& name, const QString& password) {
    const QString path = platform::appFile(API::kLoginFile);
    auto& files = platform::use<platform::Files>();
    const bool saved = withLogin
                           ? platform::use<platform::Credentials>().write(path, {name, password})
                           : !files.exists(path) || files.remove(path);
    if (!saved)
        SettingsDialog::reportWriteFault(API::kLoginFile);
    return saved;
}
} // namespace

bool IsAcceptedSubject(const QString& subject) {
    return std::all_of(subject.begin(), subject.end(), isSubjectCharacter);
}

bool IsMailAddress(const QString& text) {
    const qsizetype at = text.indexOf(u'@');
    return at > 0 && !text.endsWith(u'@');
}

void InitSmtpDialog(frmSmtpConfig& form) {
    form.txtSmtpServer->setText(kDefaultServer);
    form.txtFrom->setText(kDefaultFrom);
    form.txtRcpt->setText(kDefaultTo);
    form.txtSubject->setText(kDefaultSubject);
    form.chkDetails->setChecked(true);
    form.chkNGDetails->setChecked(true);
    form.txtPort->setText(QString::number(kDefaultSmtpPort));
    form.cmbSecurity->setCurrentIndex(kSecurityNone);
    form.chkRetry->setChecked(kDefaultRetry);
}

void ShowSmtpSettings(frmSmtpConfig& form) {
    try {
        API::LoadSmtpSettings();
    } catch (const API::LoadError& error) {
        SettingsDialog::reportLoadFault(error);
    }
    const auto& s = Settings;
    form.txtSmtpServer->setText(s.smtpServer);
    form.txtFrom->setText(s.mailFrom);
    form.txtRcpt->setText(s.mailTo);
    form.txtSubject->setText(s.mailSubject);
    form.chkDetails->setChecked(s.showDetails == kFlagOn);
    form.chkNGDetails->setChecked(s.showNGDetails == kFlagOn);
    form.txtPort->setText(QString::number(s.smtpPort));
    form.cmbSecurity->setCurrentIndex(s.smtpSecurity);
    form.txtFingerprint->setText(s.smtpFingerprint);
    form.chkRetry->setChecked(s.keepFailedReports == kFlagOn);
    // A login file that cannot be used shows the box ticked, and says why and
    // what to do: saving it anew mends it.
    const auto login =
        platform::use<platform::Credentials>().read(platform::appFile(API::kLoginFile));
    form.chkAuth->setChecked(login.fault != platform::Credentials::Fault::Absent);
    form.txtUser->setText(login.login.name);
    form.txtPassword->setText(login.login.password);
    if (const QString fault = MailMod::LoginFileFault(login.fault); !fault.isEmpty()) {
        form.lblLoginFault->setText(
            fault + QStringLiteral("ユーザー名とパスワードを入力して保存すると作り直します。"));
        form.lblLoginFault->show();
    }
}

std::int16_t SaveSmtpSettings(frmSmtpConfig& form) {
    if (!IsMailAddress(form.txtFrom->text())) {
        refuse(QStringLiteral("「送信者」には、メールアドレスを入力してください。"));
        return 1;
    }
    // Several recipients stand separated by commas; each must be an address.
    const QStringList recipients = MailMod::Recipients(form.txtRcpt->text());
    if (recipients.isEmpty() || !std::all_of(recipients.begin(), recipients.end(), IsMailAddress)) {
        refuse(QStringLiteral("「受信者」には、メールアドレスを入力してください。"));
        return 1;
    }
    // A line end (pasted with Ctrl+V) cannot be kept in the settings file, and
    // would make its own command in the SMTP dialogue.
    const std::pair<QLineEdit*, QString> texts[] = {
        {form.txtSmtpServer, QStringLiteral("SMTPサーバ")},
        {form.txtFrom, QStringLiteral("送信者")},
        {form.txtRcpt, QStringLiteral("宛先")},
        {form.txtSubject, QStringLiteral("件名")},
        {form.txtUser, QStringLiteral("ユーザー名")},
        {form.txtPassword, QStringLiteral("パスワード")},
        {form.txtFingerprint, QStringLiteral("証明書の指紋")},
    };
    for (const auto& [box, name] : texts) {
        if (API::HoldsLineBreak(box->text())) {
            refuse(QStringLiteral("「%1」に改行を含めることはできません。").arg(name));
            return 1;
        }
    }
    const int port = form.txtPort->text().toInt();
    if (port < 1 || port > 65535) {
        refuse(QStringLiteral("「ポート番号」には、1～65535 の数値を入力してください。"));
        return 1;
    }
    const QString fingerprint = form.txtFingerprint->text().trimmed();
    if (!fingerprint.isEmpty() && !API::ReadFingerprint(fingerprint)) {
        refuse(QStringLiteral("「証明書の指紋」には、SHA-256 の指紋（16 進数 64 桁、コロン区切り"
                              "可）を入力してください。"));
        return 1;
    }
    const bool withLogin = form.chkAuth->isChecked();
    if (withLogin && (form.txtUser->text().isEmpty() || form.txtPassword->text().isEmpty())) {
        refuse(QStringLiteral("SMTP認証を行うには、「ユーザー名」と「パスワード」を入力して"
                              "ください。"));
        return 1;
    }
    if (withLogin && form.cmbSecurity->currentIndex() == kSecurityNone) {
        refuse(QStringLiteral("SMTP認証を行うには、「暗号化」で STARTTLS か SSL/TLS を選んで"
                              "ください。パスワードを暗号化せずに送ることはできません。"));
        return 1;
    }
    if (!saveLogin(withLogin, form.txtUser->text(), form.txtPassword->text()))
        return 1;
    SettingsRecord s = Settings;
    s.smtpServer = form.txtSmtpServer->text();
    s.mailFrom = form.txtFrom->text();
    s.mailTo = form.txtRcpt->text();
    s.mailSubject = form.txtSubject->text();
    s.showDetails = form.chkDetails->isChecked() ? 1 : 0;
    s.showNGDetails = form.chkNGDetails->isChecked() ? 1 : 0;
    s.smtpPort = port;
    s.smtpSecurity = static_cast<std::int16_t>(form.cmbSecurity->currentIndex());
    s.smtpFingerprint = fingerprint;
    s.keepFailedReports = form.chkRetry->isChecked() ? 1 : 0;
    return SettingsDialog::saveRecord(s, API::kSmtpFile, API::WriteSmtpSettings);
}

} // namespace SmtpConfigMod
