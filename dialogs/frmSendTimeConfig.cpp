#include "dialogs/frmSendTimeConfig.h"

#include "dialogs/SendTimeConfigMod.h"
#include "settings/API.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
// Four columns of six hours: 1 to 6, 7 to 12, 13 to 18, 19 to 23 and 24.
constexpr int kHourRows = 6;
// Two digits and some margin.
constexpr int kMinuteBoxWidth = 40;
// Four digits and some margin.
constexpr int kIntervalBoxWidth = 56;
} // namespace

frmSendTimeConfig::frmSendTimeConfig()
    : SingleSettingsDialog(QStringLiteral("frmSendTimeConfig"), QStringLiteral("送信時間設定")) {
    buildControls();
    connectHandlers();
    Form_Load();
}

void frmSendTimeConfig::buildControls() {
    lblEXP = new QLabel(QStringLiteral("送信したい時間にチェックを入れてください"), this);
    lblEXP->setObjectName(QStringLiteral("lblEXP"));

    // Made in the order shown, 1 to 24 (24 is hour 0), which is the order
    // focus takes through them.
    auto* hours = new QGridLayout;
    for (int shown = 1; shown <= kHoursPerDay; ++shown) {
        const int h = shown % kHoursPerDay;
        auto* box = new QCheckBox(QStringLiteral("%1時").arg(shown), this);
        box->setObjectName(QStringLiteral("chkTime%1").arg(h));
        hours->addWidget(box, (shown - 1) % kHourRows, (shown - 1) / kHourRows);
        chkTime[h] = box;
    }

    frameMinSet = new QGroupBox(QStringLiteral("送信する\"分\"の指定"), this);
    frameMinSet->setObjectName(QStringLiteral("frameMinSet"));
    lblSendMin1 = new QLabel(QStringLiteral("毎回、XX時"), frameMinSet);
    lblSendMin1->setObjectName(QStringLiteral("lblSendMin1"));
    txtSendMin = new QLineEdit(frameMinSet);
    txtSendMin->setObjectName(QStringLiteral("txtSendMin"));
    txtSendMin->setFixedWidth(kMinuteBoxWidth);
    installDigitFilter(txtSendMin);
    lblSendMin2 = new QLabel(QStringLiteral("分に送信する"), frameMinSet);
    lblSendMin2->setObjectName(QStringLiteral("lblSendMin2"));
    auto* minute = new QHBoxLayout(frameMinSet);
    minute->addWidget(lblSendMin1);
    minute->addWidget(txtSendMin);
    minute->addWidget(lblSendMin2);
    minute->addStretch(1);

    buildAlertControls();
    auto* whole = new QVBoxLayout(this);
    whole->addWidget(lblEXP);
    whole->addLayout(hours);
    whole->addWidget(frameMinSet);
    whole->addWidget(frameAlert);
    whole->addLayout(makeButtons(Qt::Horizontal));

    // The alerts come after all of the above, whose order stays.
    setTabOrder(cmdCancel, chkAlert);
    setTabOrder(chkAlert, txtAlertMin);
    setTabOrder(txtAlertMin, txtReminderMin);
}

void frmSendTimeConfig::buildAlertControls() {
    frameAlert = new QGroupBox(QStringLiteral("異常時の通知"), this);
    frameAlert->setObjectName(QStringLiteral("frameAlert"));
    auto* grid = new QGridLayout(frameAlert);
    chkAlert = new QCheckBox(QStringLiteral("異常をすぐにメールで通知する"), frameAlert);
    chkAlert->setObjectName(QStringLiteral("chkAlert"));
    grid->addWidget(chkAlert, 0, 0, 1, 2);
    // A labelled number box in the next row of the grid.
    const auto row = [this, grid](const char* labelName, const QString& caption,
                                  const char* boxName, QLineEdit*& box) {
        auto* label = new QLabel(caption, frameAlert);
        label->setObjectName(QString::fromLatin1(labelName));
        box = new QLineEdit(frameAlert);
        box->setObjectName(QString::fromLatin1(boxName));
        box->setMaxLength(SendTimeConfigMod::kIntervalDigits);
        box->setFixedWidth(kIntervalBoxWidth);
        installDigitFilter(box);
        label->setBuddy(box);
        const int at = grid->rowCount();
        grid->addWidget(label, at, 0);
        grid->addWidget(box, at, 1, Qt::AlignLeft);
        return label;
    };
    lblAlertMin =
        row("lblAlertMin", QStringLiteral("確認の間隔（分）"), "txtAlertMin", txtAlertMin);
    lblReminderMin = row("lblReminderMin", QStringLiteral("再通知の間隔（分、0 で再通知しない）"),
                         "txtReminderMin", txtReminderMin);
    // Its note goes on a second line rather than widen the dialog.
    lblReminderMin->setWordWrap(true);
    grid->setColumnStretch(1, 1);
}

void frmSendTimeConfig::connectHandlers() {
    for (int h = 0; h < kHoursPerDay; ++h)
        connect(chkTime[h], &QCheckBox::toggled, this, [this, h] { chkTime_Click(h); });
    connect(txtSendMin, &QLineEdit::textChanged, this, &frmSendTimeConfig::txtSendMin_Change);
    connect(chkAlert, &QCheckBox::toggled, this, &frmSendTimeConfig::chkAlert_Click);
    for (QLineEdit* box : {txtAlertMin, txtReminderMin})
        connect(box, &QLineEdit::textChanged, this, &frmSendTimeConfig::alertMinutes_Change);
}

void frmSendTimeConfig::Form_Load() {
    if (API::SettingsFileExists(API::kSendTimeFile))
        SendTimeConfigMod::ShowSendTimeSettings(*this);
    else
        SendTimeConfigMod::InitSendTimeDialog(*this);
    chkAlert_Click();
    // Filling the controls ran their handlers, which enabled Apply.
    cmdApply->setEnabled(false);
}

void frmSendTimeConfig::chkTime_Click(int) {
    cmdApply->setEnabled(true);
}

void frmSendTimeConfig::txtSendMin_Change() {
    const QString text = txtSendMin->text();
    if (text.size() > SendTimeConfigMod::kMinuteDigits) {
        // Setting the text comes back here with the cut text, which is checked then.
        txtSendMin->setText(text.right(SendTimeConfigMod::kMinuteDigits));
        return;
    }
    if (text.isEmpty())
        return;
    if (!SendTimeConfigMod::MinuteOf(text)) {
        SendTimeConfigMod::ShowMinuteRangeMessage();
        txtSendMin->setSelection(0, SendTimeConfigMod::kMinuteDigits);
    }
    cmdApply->setEnabled(true);
}

void frmSendTimeConfig::chkAlert_Click() {
    for (QWidget* w : {txtAlertMin, txtReminderMin})
        w->setEnabled(chkAlert->isChecked());
    cmdApply->setEnabled(true);
}

void frmSendTimeConfig::alertMinutes_Change() {
    cmdApply->setEnabled(true);
}

std::int16_t frmSendTimeConfig::saveSettings() {
    return SendTimeConfigMod::SaveSendTimeSettings(*this);
}
