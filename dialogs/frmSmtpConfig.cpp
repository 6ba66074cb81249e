#include "dialogs/frmSmtpConfig.h"

#include "dialogs/SmtpConfigMod.h"
#include "settings/API.h"

#include <QCheckBox>
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

    auto* whole = new QVBoxLayout(this);
    whole->addWidget(frameBasic);
    whole->addWidget(frameAdv);
    whole->addLayout(makeButtons(Qt::Horizontal));

    setTabOrder(txtSmtpServer, txtFrom);
    setTabOrder(txtFrom, txtRcpt);
    setTabOrder(txtRcpt, txtSubject);
    setTabOrder(txtSubject, chkDetails);
    setTabOrder(chkDetails, chkNGDetails);
    setTabOrder(chkNGDetails, cmdOK);
    setTabOrder(cmdOK, cmdApply);
    setTabOrder(cmdApply, cmdCancel);
}

void frmSmtpConfig::connectHandlers() {
    connect(txtSmtpServer, &QLineEdit::textChanged, this, &frmSmtpConfig::txtSmtpServer_Change);
    connect(txtFrom, &QLineEdit::textChanged, this, &frmSmtpConfig::txtFrom_Change);
    connect(txtRcpt, &QLineEdit::textChanged, this, &frmSmtpConfig::txtRcpt_Change);
    connect(txtSubject, &QLineEdit::textChanged, this, &frmSmtpConfig::txtSubject_Change);
    connect(chkDetails, &QCheckBox::toggled, this, &frmSmtpConfig::chkDetails_Click);
    connect(chkNGDetails, &QCheckBox::toggled, this, &frmSmtpConfig::chkNGDetails_Click);
}

void frmSmtpConfig::Form_Load() {
    if (API::SettingsFileExists(API::kSmtpFile))
        SmtpConfigMod::ShowSmtpSettings(*this);
    else
        SmtpConfigMod::InitSmtpDialog(*this);
    acceptedSubject = txtSubject->text();
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

std::int16_t frmSmtpConfig::saveSettings() {
    return SmtpConfigMod::SaveSmtpSettings(*this);
}
