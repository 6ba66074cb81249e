#include "dialogs/SmtpConfigMod.h"

#include "dialogs/frmSmtpConfig.h"
#include "platform/MessageBox.h"
#include "platform/Service.h"
#include "settings/API.h"
#include "settings/variables.h"

#include <QCheckBox>
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
}

std::int16_t SaveSmtpSettings(frmSmtpConfig& form) {
    if (!IsMailAddress(form.txtFrom->text())) {
        refuse(QStringLiteral("「送信者」には、メールアドレスを入力してください。"));
        return 1;
    }
    if (!IsMailAddress(form.txtRcpt->text())) {
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
    };
    for (const auto& [box, name] : texts) {
        if (API::HoldsLineBreak(box->text())) {
            refuse(QStringLiteral("「%1」に改行を含めることはできません。").arg(name));
            return 1;
        }
    }
    SettingsRecord s = Settings;
    s.smtpServer = form.txtSmtpServer->text();
    s.mailFrom = form.txtFrom->text();
    s.mailTo = form.txtRcpt->text();
    s.mailSubject = form.txtSubject->text();
    s.showDetails = form.chkDetails->isChecked() ? 1 : 0;
    s.showNGDetails = form.chkNGDetails->isChecked() ? 1 : 0;
    return SettingsDialog::saveRecord(s, API::kSmtpFile, API::WriteSmtpSettings);
}

} // namespace SmtpConfigMod
