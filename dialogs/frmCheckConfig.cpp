#include "dialogs/frmCheckConfig.h"

#include "dialogs/chkConfigMod.h"
#include "settings/API.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
// Wide enough for eight digits, narrow enough to read as part of a sentence.
constexpr int kNumberBoxWidth = 70;
constexpr int kServiceListHeight = 200;

QLabel* label(QWidget* parent, const char* name, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

QLineEdit* numberBox(QWidget* parent, const char* name) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setFixedWidth(kNumberBoxWidth);
    box->setAlignment(Qt::AlignRight);
    installDigitFilter(box);
    return box;
}

QCheckBox* checkBox(QWidget* parent, const char* name, const QString& text) {
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

QComboBox* driveList(QWidget* parent, const char* name) {
    auto* list = new QComboBox(parent);
    list->setObjectName(QString::fromLatin1(name));
    list->setEditable(false);
    return list;
}
} // namespace

frmCheckConfig::frmCheckConfig(LoadFaults loadFaults)
    : SingleSettingsDialog(QStringLiteral("frmCheckConfig"), QStringLiteral("監視項目設定")),
      loadFaults_(loadFaults) {
    buildControls();
    connectHandlers();
    Form_Load();
}

void frmCheckConfig::buildControls() {
    frameDriveCheck = new QGroupBox(QStringLiteral("ドライブ監視設定"), this);
    frameDriveCheck->setObjectName(QStringLiteral("frameDriveCheck"));
    chkDriveCheck =
        checkBox(frameDriveCheck, "chkDriveCheck", QStringLiteral("ドライブの監視を行う"));
    cmbDrive1 = driveList(frameDriveCheck, "cmbDrive1");
    lbl1 = label(frameDriveCheck, "lbl1", QStringLiteral("ドライブの空きが"));
    txtDrive1Avail = numberBox(frameDriveCheck, "txtDrive1Avail");
    lbl2 = label(frameDriveCheck, "lbl2", QStringLiteral("ＭＢ以下だったらＮＧ"));
    chkDrive2 = checkBox(frameDriveCheck, "chkDrive2", QString());
    cmbDrive2 = driveList(frameDriveCheck, "cmbDrive2");
    lbl3 = label(frameDriveCheck, "lbl3", QStringLiteral("ドライブの空きが"));
    txtDrive2Avail = numberBox(frameDriveCheck, "txtDrive2Avail");
    lbl4 = label(frameDriveCheck, "lbl4", QStringLiteral("ＭＢ以下だったらＮＧ"));
    chkDrive3 = checkBox(frameDriveCheck, "chkDrive3", QString());
    cmbDrive3 = driveList(frameDriveCheck, "cmbDrive3");
    lbl5 = label(frameDriveCheck, "lbl5", QStringLiteral("ドライブの空きが"));
    txtDrive3Avail = numberBox(frameDriveCheck, "txtDrive3Avail");
    lbl6 = label(frameDriveCheck, "lbl6", QStringLiteral("ＭＢ以下だったらＮＧ"));

    auto* drives = new QGridLayout(frameDriveCheck);
    drives->addWidget(chkDriveCheck, 0, 0, 1, 5);
    drives->addWidget(cmbDrive1, 1, 1);
    drives->addWidget(lbl1, 1, 2);
    drives->addWidget(txtDrive1Avail, 1, 3);
    drives->addWidget(lbl2, 1, 4);
    drives->addWidget(chkDrive2, 2, 0);
    drives->addWidget(cmbDrive2, 2, 1);
    drives->addWidget(lbl3, 2, 2);
    drives->addWidget(txtDrive2Avail, 2, 3);
    drives->addWidget(lbl4, 2, 4);
    drives->addWidget(chkDrive3, 3, 0);
    drives->addWidget(cmbDrive3, 3, 1);
    drives->addWidget(lbl5, 3, 2);
    drives->addWidget(txtDrive3Avail, 3, 3);
    drives->addWidget(lbl6, 3, 4);
    drives->setColumnStretch(5, 1);

    frameMemoryCheck = new QGroupBox(QStringLiteral("メモリ監視設定"), this);
    frameMemoryCheck->setObjectName(QStringLiteral("frameMemoryCheck"));
    chkMemoryCheck =
        checkBox(frameMemoryCheck, "chkMemoryCheck", QStringLiteral("メモリの監視を行う"));
    lbl7 = label(frameMemoryCheck, "lbl7", QStringLiteral("空き物理メモリが"));
    txtMemoryAvail = numberBox(frameMemoryCheck, "txtMemoryAvail");
    lbl8 = label(frameMemoryCheck, "lbl8", QStringLiteral("ＭＢ以下だったらＮＧ"));
    lbl9 = label(frameMemoryCheck, "lbl9", QStringLiteral("空きスワップメモリが"));
    txtSwapAvail = numberBox(frameMemoryCheck, "txtSwapAvail");
    lbl10 = label(frameMemoryCheck, "lbl10", QStringLiteral("ＭＢ以下だったらＮＧ"));

    auto* memory = new QGridLayout(frameMemoryCheck);
    memory->addWidget(chkMemoryCheck, 0, 0, 1, 3);
    memory->addWidget(lbl7, 1, 0);
    memory->addWidget(txtMemoryAvail, 1, 1);
    memory->addWidget(lbl8, 1, 2);
    memory->addWidget(lbl9, 2, 0);
    memory->addWidget(txtSwapAvail, 2, 1);
    memory->addWidget(lbl10, 2, 2);
    memory->setColumnStretch(3, 1);

    frameServiceCheck = new QGroupBox(QStringLiteral("サービス監視設定"), this);
    frameServiceCheck->setObjectName(QStringLiteral("frameServiceCheck"));
    cmdAllCheck = new QPushButton(QStringLiteral("全て選択(&L)"), frameServiceCheck);
    cmdAllCheck->setObjectName(QStringLiteral("cmdAllCheck"));
    cmdAllCancel = new QPushButton(QStringLiteral("全て解除(&N)"), frameServiceCheck);
    cmdAllCancel->setObjectName(QStringLiteral("cmdAllCancel"));
    lstServiceList = new QListWidget(frameServiceCheck);
    lstServiceList->setObjectName(QStringLiteral("lstServiceList"));
    lstServiceList->setMinimumHeight(kServiceListHeight);

    auto* serviceButtons = new QHBoxLayout;
    serviceButtons->addStretch(1);
    serviceButtons->addWidget(cmdAllCheck);
    serviceButtons->addWidget(cmdAllCancel);
    auto* services = new QVBoxLayout(frameServiceCheck);
    services->addLayout(serviceButtons);
    services->addWidget(lstServiceList);

    auto* groups = new QVBoxLayout;
    groups->addWidget(frameDriveCheck);
    groups->addWidget(frameMemoryCheck);
    groups->addWidget(frameServiceCheck, 1);
    auto* whole = new QHBoxLayout(this);
    whole->addLayout(groups, 1);
    whole->addLayout(makeButtons(Qt::Vertical));
}

void frmCheckConfig::connectHandlers() {
    connect(chkDriveCheck, &QCheckBox::toggled, this, &frmCheckConfig::chkDriveCheck_Click);
    connect(chkDrive2, &QCheckBox::toggled, this, &frmCheckConfig::chkDrive2_Click);
    connect(chkDrive3, &QCheckBox::toggled, this, &frmCheckConfig::chkDrive3_Click);
    connect(chkMemoryCheck, &QCheckBox::toggled, this, &frmCheckConfig::chkMemoryCheck_Click);
    connect(cmbDrive1, &QComboBox::currentIndexChanged, this, &frmCheckConfig::cmbDrive1_Change);
    connect(cmbDrive2, &QComboBox::currentIndexChanged, this, &frmCheckConfig::cmbDrive2_Change);
    connect(cmbDrive3, &QComboBox::currentIndexChanged, this, &frmCheckConfig::cmbDrive3_Change);
    connect(txtDrive1Avail, &QLineEdit::textChanged, this, &frmCheckConfig::txtDrive1Avail_Change);
    connect(txtDrive2Avail, &QLineEdit::textChanged, this, &frmCheckConfig::txtDrive2Avail_Change);
    connect(txtDrive3Avail, &QLineEdit::textChanged, this, &frmCheckConfig::txtDrive3Avail_Change);
    connect(txtMemoryAvail, &QLineEdit::textChanged, this, &frmCheckConfig::txtMemoryAvail_Change);
    connect(txtSwapAvail, &QLineEdit::textChanged, this, &frmCheckConfig::txtSwapAvail_Change);
    // A click on an entry, and a check mark set by mouse or by the space bar.
    connect(lstServiceList, &QListWidget::itemClicked, this, &frmCheckConfig::lstServiceList_Click);
    connect(lstServiceList, &QListWidget::itemChanged, this, &frmCheckConfig::lstServiceList_Click);
    connect(cmdAllCheck, &QPushButton::clicked, this, &frmCheckConfig::cmdAllCheck_Click);
    connect(cmdAllCancel, &QPushButton::clicked, this, &frmCheckConfig::cmdAllCancel_Click);
}

void frmCheckConfig::Form_Load() {
    chkConfigMod::InitCheckDialog(*this);
    const bool stored = API::SettingsFileExists(API::kCheckFile);
    if (stored)
        chkConfigMod::ShowCheckSettings(*this);
    applyEnablingRule();
    cmdApply->setEnabled(!stored);
    if (loadFault) {
        if (loadFaults_ == LoadFaults::Raise)
            throw API::LoadError(*loadFault);
        reportLoadFault(*loadFault);
    }
}

void frmCheckConfig::applyEnablingRule() {
    const bool drives = chkDriveCheck->isChecked();
    cmbDrive1->setEnabled(drives);
    txtDrive1Avail->setEnabled(drives);
    chkDrive2->setEnabled(drives);
    chkDrive3->setEnabled(drives);
    cmbDrive2->setEnabled(drives && chkDrive2->isChecked());
    txtDrive2Avail->setEnabled(drives && chkDrive2->isChecked());
    cmbDrive3->setEnabled(drives && chkDrive3->isChecked());
    txtDrive3Avail->setEnabled(drives && chkDrive3->isChecked());
    const bool memory = chkMemoryCheck->isChecked();
    txtMemoryAvail->setEnabled(memory);
    txtSwapAvail->setEnabled(memory);
}

void frmCheckConfig::chkDriveCheck_Click() {
    applyEnablingRule();
    cmdApply->setEnabled(true);
}

void frmCheckConfig::chkDrive2_Click() {
    applyEnablingRule();
    cmdApply->setEnabled(true);
}

void frmCheckConfig::chkDrive3_Click() {
    applyEnablingRule();
    cmdApply->setEnabled(true);
}

void frmCheckConfig::chkMemoryCheck_Click() {
    applyEnablingRule();
    cmdApply->setEnabled(true);
}

void frmCheckConfig::cmbDrive1_Change() {
    cmdApply->setEnabled(true);
}

void frmCheckConfig::cmbDrive2_Change() {
    cmdApply->setEnabled(true);
}

void frmCheckConfig::cmbDrive3_Change() {
    cmdApply->setEnabled(true);
}

void frmCheckConfig::limitNumberBox(QLineEdit* box, int limit) {
    const QString text = box->text();
    if (text.size() > limit) {
        // Setting the text comes back here with the cut text, which enables Apply.
        box->setText(text.right(limit));
        return;
    }
    cmdApply->setEnabled(true);
}

void frmCheckConfig::txtDrive1Avail_Change() {
    limitNumberBox(txtDrive1Avail, chkConfigMod::kDriveLimitDigits);
}

void frmCheckConfig::txtDrive2Avail_Change() {
    limitNumberBox(txtDrive2Avail, chkConfigMod::kDriveLimitDigits);
}

void frmCheckConfig::txtDrive3Avail_Change() {
    limitNumberBox(txtDrive3Avail, chkConfigMod::kDriveLimitDigits);
}

void frmCheckConfig::txtMemoryAvail_Change() {
    limitNumberBox(txtMemoryAvail, chkConfigMod::kMemoryLimitDigits);
}

void frmCheckConfig::txtSwapAvail_Change() {
    limitNumberBox(txtSwapAvail, chkConfigMod::kMemoryLimitDigits);
}

void frmCheckConfig::lstServiceList_Click() {
    cmdApply->setEnabled(true);
}

void frmCheckConfig::cmdAllCheck_Click() {
    for (int i = 0; i < lstServiceList->count(); ++i)
        lstServiceList->item(i)->setCheckState(Qt::Checked);
    cmdApply->setEnabled(true);
}

void frmCheckConfig::cmdAllCancel_Click() {
    for (int i = 0; i < lstServiceList->count(); ++i)
        lstServiceList->item(i)->setCheckState(Qt::Unchecked);
    cmdApply->setEnabled(true);
}

std::int16_t frmCheckConfig::saveSettings() {
    return chkConfigMod::SaveCheckSettings(*this);
}
