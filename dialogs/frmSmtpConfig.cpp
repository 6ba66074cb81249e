#include "dialogs/frmSmtpConfig.h"

#include "dialogs/SmtpConfigMod.h"
#include "settings/API.h"
#include "settings/variables.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <limits>

namespace {
// Room for a host name or a mail address without scrolling.
constexpr int kTextBoxWidth = 260;
// The submission port (RFC 6409) and that of TLS from the first byte (RFC 8314).
constexpr auto kStartTlsPort = "587";
constexpr auto kTlsPort = "465";
} // namespace

frmSmtpConfig::frmSmtpConfig()
    : SingleSettingsDialog(QStringLiteral("frmSmtpConfig"), QStringLiteral("メール送信設定")) {
    buildControls();
    connectHandlers();
    Form_Load();
}

void frmSmtpConfig::buildControls() {
    frameBasic = new QGroupBox(QStringLiteral("基本設定"), this);
    frameBasic->setObjectName(QStringLiteral("frameBasic"));
    auto row = [this](const char* labelName, const QString& caption, const char* boxName,
                      QLabel*& label, QLineEdit*& box) {
        label = new QLabel(caption, frameBasic);
        label->setObjectName(QString::fromLatin1(labelName));
        box = new QLineEdit(frameBasic);
        box->setObjectName(QString::fromLatin1(boxName));
        box->setMinimumWidth(kTextBoxWidth);
        // No length limit (a line edit cuts at 32,767 characters by default).
        box->setMaxLength(std::numeric_limits<int>::max());
        label->setBuddy(box);
    };
    row("lblSmtpServer", QStringLiteral("SMTPサーバ"), "txtSmtpServer", lblSmtpServer,
        txtSmtpServer);
    row("lblFrom", QStringLiteral("送信者"), "txtFrom", lblFrom, txtFrom);
    row("lblRcpt", QStringLiteral("宛先"), "txtRcpt", lblRcpt, txtRcpt);
    row("lblSubject", QStringLiteral("件名"), "txtSubject", lblSubject, txtSubject);
    lblAttention = new QLabel(QStringLiteral("※ 件名は半角英数を使用してください"), frameBasic);
    lblAttention->setObjectName(QStringLiteral("lblAttention"));

    auto* basic = new QGridLayout(frameBasic);
    basic->addWidget(lblSmtpServer, 0, 0);
    basic->addWidget(txtSmtpServer, 0, 1);
    basic->addWidget(lblFrom, 1, 0);
    basic->addWidget(txtFrom, 1, 1);
    basic->addWidget(lblRcpt, 2, 0);
    basic->addWidget(txtRcpt, 2, 1);
    basic->addWidget(lblSubject, 3, 0);
    basic->addWidget(txtSubject, 3, 1);
    basic->addWidget(lblAttention, 4, 1);

    frameAdv = new QGroupBox(QStringLiteral("拡張設定"), this);
    frameAdv->setObjectName(QStringLiteral("frameAdv"));
    chkDetails = new QCheckBox(QStringLiteral("本文の後ろに詳細を表示する"), frameAdv);
    chkDetails->setObjectName(QStringLiteral("chkDetails"));
    chkNGDetails =
        new QCheckBox(QStringLiteral("チェックNGの場合、該当部分のみ詳細を表示する"), frameAdv);
    chkNGDetails->setObjectName(QStringLiteral("chkNGDetails"));
    auto* adv = new QVBoxLayout(frameAdv);
    adv->addWidget(chkDetails);
    adv->addWidget(chkNGDetails);

    buildServerDetails();
    auto* whole = new QVBoxLayout(this);
    whole->addWidget(frameBasic);
    whole->addWidget(frameAdv);
    whole->addWidget(frameServer);
    whole->addLayout(makeButtons(Qt::Horizontal));

    setTabOrder(txtSmtpServer, txtFrom);
    setTabOrder(txtFrom, txtRcpt);
    setTabOrder(txtRcpt, txtSubject);
    setTabOrder(txtSubject, chkDetails);
    setTabOrder(chkDetails, chkNGDetails);
    setTabOrder(chkNGDetails, cmdOK);
    setTabOrder(cmdOK, cmdApply);
    setTabOrder(cmdApply, cmdCancel);
    // The server's details come after all of the above, whose order stays.
    setTabOrder(cmdCancel, txtPort);
    setTabOrder(txtPort, cmbSecurity);
    setTabOrder(cmbSecurity, chkAuth);
    setTabOrder(chkAuth, txtUser);
    setTabOrder(txtUser, txtPassword);
    setTabOrder(txtPassword, txtFingerprint);
    setTabOrder(txtFingerprint, chkRetry);
}

void frmSmtpConfig::buildServerDetails() {
    frameServer = new QGroupBox(QStringLiteral("送信サーバの詳細"), this);
    frameServer->setObjectName(QStringLiteral("frameServer"));
    auto* grid = new QGridLayout(frameServer);
    // A labelled row of the grid.
    const auto row = [this, grid](const char* labelName, const QString& caption, QWidget* field,
                                  const char* fieldName) {
        auto* label = new QLabel(caption, frameServer);
        label->setObjectName(QString::fromLatin1(labelName));
        label->setBuddy(field);
        field->setObjectName(QString::fromLatin1(fieldName));
        const int at = grid->rowCount();
        grid->addWidget(label, at, 0);
        grid->addWidget(field, at, 1);
        return label;
    };
    const auto check = [this, grid](const char* name, const QString& caption) {
        auto* box = new QCheckBox(caption, frameServer);
        box->setObjectName(QString::fromLatin1(name));
        grid->addWidget(box, grid->rowCount(), 0, 1, 2);
        return box;
    };
    txtPort = new QLineEdit(frameServer);
    txtPort->setMaxLength(5);
    installDigitFilter(txtPort);
    lblPort = row("lblPort", QStringLiteral("ポート番号"), txtPort, "txtPort");
    cmbSecurity = new QComboBox(frameServer);
    cmbSecurity->addItems(
        {QStringLiteral("なし"), QStringLiteral("STARTTLS"), QStringLiteral("SSL/TLS")});
    lblSecurity = row("lblSecurity", QStringLiteral("暗号化"), cmbSecurity, "cmbSecurity");
    chkAuth = check("chkAuth", QStringLiteral("SMTP認証を行う"));
    txtUser = new QLineEdit(frameServer);
    lblUser = row("lblUser", QStringLiteral("ユーザー名"), txtUser, "txtUser");
    txtPassword = new QLineEdit(frameServer);
    txtPassword->setEchoMode(QLineEdit::Password);
    lblPassword = row("lblPassword", QStringLiteral("パスワード"), txtPassword, "txtPassword");
    lblLoginFault = new QLabel(frameServer);
    lblLoginFault->setObjectName(QStringLiteral("lblLoginFault"));
    lblLoginFault->setWordWrap(true);
    lblLoginFault->setStyleSheet(QStringLiteral("color: #c00000;"));
    lblLoginFault->hide();
    grid->addWidget(lblLoginFault, grid->rowCount(), 0, 1, 2);
    txtFingerprint = new QLineEdit(frameServer);
    txtFingerprint->setPlaceholderText(QStringLiteral("SHA-256（省略可）"));
    lblFingerprint =
        row("lblFingerprint", QStringLiteral("証明書の指紋"), txtFingerprint, "txtFingerprint");
    chkRetry = check("chkRetry", QStringLiteral("送信できなかったレポートを再送する"));
}

void frmSmtpConfig::connectHandlers() {
    connect(txtSmtpServer, &QLineEdit::textChanged, this, &frmSmtpConfig::txtSmtpServer_Change);
    connect(txtFrom, &QLineEdit::textChanged, this, &frmSmtpConfig::txtFrom_Change);
    connect(txtRcpt, &QLineEdit::textChanged, this, &frmSmtpConfig::txtRcpt_Change);
    connect(txtSubject, &QLineEdit::textChanged, this, &frmSmtpConfig::txtSubject_Change);
    connect(chkDetails, &QCheckBox::toggled, this, &frmSmtpConfig::chkDetails_Click);
    connect(chkNGDetails, &QCheckBox::toggled, this, &frmSmtpConfig::chkNGDetails_Click);
    for (QLineEdit* box : {txtPort, txtUser, txtPassword, txtFingerprint})
        connect(box, &QLineEdit::textChanged, this, &frmSmtpConfig::serverDetail_Change);
    connect(cmbSecurity, &QComboBox::currentIndexChanged, this,
            &frmSmtpConfig::serverDetail_Change);
    connect(chkRetry, &QCheckBox::toggled, this, &frmSmtpConfig::serverDetail_Change);
    // Only the operator's choice proposes a port, not the opening's.
    connect(cmbSecurity, &QComboBox::activated, this, &frmSmtpConfig::cmbSecurity_Click);
    connect(chkAuth, &QCheckBox::toggled, this, &frmSmtpConfig::chkAuth_Click);
}

void frmSmtpConfig::Form_Load() {
    if (API::SettingsFileExists(API::kSmtpFile))
        SmtpConfigMod::ShowSmtpSettings(*this);
    else
        SmtpConfigMod::InitSmtpDialog(*this);
    acceptedSubject = txtSubject->text();
    chkAuth_Click();
    // Filling the controls ran their handlers, which enabled Apply.
    cmdApply->setEnabled(false);
}

void frmSmtpConfig::txtSmtpServer_Change() {
    cmdApply->setEnabled(true);
}

void frmSmtpConfig::txtFrom_Change() {
    cmdApply->setEnabled(true);
}

void frmSmtpConfig::txtRcpt_Change() {
    cmdApply->setEnabled(true);
}

void frmSmtpConfig::txtSubject_Change() {
    // A refused character undoes the whole change, a pasted text included.
    if (!SmtpConfigMod::IsAcceptedSubject(txtSubject->text()))
        txtSubject->setText(acceptedSubject);
    acceptedSubject = txtSubject->text();
    cmdApply->setEnabled(true);
}

void frmSmtpConfig::chkDetails_Click() {
    cmdApply->setEnabled(true);
}

void frmSmtpConfig::chkNGDetails_Click() {
    cmdApply->setEnabled(true);
}

void frmSmtpConfig::serverDetail_Change() {
    cmdApply->setEnabled(true);
}

void frmSmtpConfig::cmbSecurity_Click(int index) {
    if (txtPort->text() != QLatin1String("25"))
        return;
    if (index == kSecurityStartTls)
        txtPort->setText(QString::fromLatin1(kStartTlsPort));
    else if (index == kSecurityTls)
        txtPort->setText(QString::fromLatin1(kTlsPort));
}

void frmSmtpConfig::chkAuth_Click() {
    for (QWidget* w : {txtUser, txtPassword})
        w->setEnabled(chkAuth->isChecked());
    cmdApply->setEnabled(true);
}

std::int16_t frmSmtpConfig::saveSettings() {
    return SmtpConfigMod::SaveSmtpSettings(*this);
}
