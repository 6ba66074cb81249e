#include "dialogs/chkConfigMod.h"

#include "dialogs/CaptureServiceList.h"
#include "dialogs/frmCheckConfig.h"
#include "settings/API.h"
#include "settings/variables.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <algorithm>
#include <limits>

namespace chkConfigMod {

namespace {

// Entries selected by default: C:, D: and E:.
constexpr int kDefaultDrive1 = 2;
constexpr int kDefaultDrive2 = 3;
constexpr int kDefaultDrive3 = 4;

QListWidgetItem* newServiceEntry(const QString& text, Qt::CheckState state) {
    auto* item = new QListWidgetItem(text);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(state);
    return item;
}

void setChecked(QCheckBox* box, std::int16_t flag) {
    box->setChecked(flag == kFlagOn);
}

std::int16_t flagOf(const QCheckBox* box) {
    return box->isChecked() ? 1 : 0;
}

// A stored index outside the list leaves the list as it is.
void selectDrive(QComboBox* list, std::int16_t index) {
    if (index >= 0 && index < kDriveLetters && index < list->count())
        list->setCurrentIndex(index);
}

// The box's text as a whole number, rounded down; a text that is no number,
// or one too large for the field, leaves the field as it is.
template <class Field> void takeNumber(const QLineEdit* box, Field& field) {
    const auto value = API::ReadNumberLine(box->text());
    if (value && *value >= std::numeric_limits<Field>::min() &&
        *value <= std::numeric_limits<Field>::max())
        field = static_cast<Field>(*value);
}

// A watched name checks the entries whose text is that name; one that no
// entry holds is put at the top, checked, so it can still be unwatched.
void markWatchedService(QListWidget* list, const QString& name) {
    bool found = false;
    for (int i = 0; i < list->count(); ++i) {
        QListWidgetItem* item = list->item(i);
        if (item->text() == name) {
            item->setCheckState(Qt::Checked);
            found = true;
        }
    }
    if (!found)
        list->insertItem(0, newServiceEntry(name, Qt::Checked));
}

} // namespace

void FillDriveLists(frmCheckConfig& form) {
    for (QComboBox* list : {form.cmbDrive1, form.cmbDrive2, form.cmbDrive3}) {
        for (int i = 0; i < kDriveLetters; ++i)
            list->addItem(QStringLiteral("%1:").arg(QChar(u'A' + i)));
    }
    form.cmbDrive1->setCurrentIndex(kDefaultDrive1);
    form.cmbDrive2->setCurrentIndex(kDefaultDrive2);
    form.cmbDrive2->setEnabled(false);
    form.cmbDrive3->setCurrentIndex(kDefaultDrive3);
    form.cmbDrive3->setEnabled(false);
}

void InitCheckDialog(frmCheckConfig& form) {
    form.chkDriveCheck->setChecked(true);
    form.chkDrive2->setChecked(false);
    form.chkDrive3->setChecked(false);
    for (QLineEdit* box : {form.txtDrive1Avail, form.txtDrive2Avail, form.txtDrive3Avail})
        box->setText(QStringLiteral("500"));
    FillDriveLists(form);
    form.chkMemoryCheck->setChecked(true);
    form.txtMemoryAvail->setText(QStringLiteral("0"));
    form.txtSwapAvail->setText(QStringLiteral("200"));
    for (const QString& service : CaptureServiceList())
        form.lstServiceList->addItem(newServiceEntry(service, Qt::Unchecked));
}

void ShowCheckSettings(frmCheckConfig& form) {
    try {
        API::LoadCheckSettings();
    } catch (const API::LoadError& error) {
        form.loadFault.emplace(error);
    }
    const auto& s = Settings;
    setChecked(form.chkDriveCheck, s.driveCheck1);
    setChecked(form.chkDrive2, s.driveCheck2);
    setChecked(form.chkDrive3, s.driveCheck3);
    selectDrive(form.cmbDrive1, s.driveIndex1);
    selectDrive(form.cmbDrive2, s.driveIndex2);
    selectDrive(form.cmbDrive3, s.driveIndex3);
    form.txtDrive1Avail->setText(QString::number(s.driveLimitMB1));
    form.txtDrive2Avail->setText(QString::number(s.driveLimitMB2));
    form.txtDrive3Avail->setText(QString::number(s.driveLimitMB3));
    setChecked(form.chkMemoryCheck, s.memoryCheck);
    form.txtMemoryAvail->setText(QString::number(s.memoryLimitMB));
    form.txtSwapAvail->setText(QString::number(s.swapLimitMB));
    const int count = std::clamp<int>(s.watchServiceCount, 0, kWatchServiceSlots);
    for (int k = 0; k < count; ++k)
        markWatchedService(form.lstServiceList, s.watchServices[k]);
}

std::int16_t SaveCheckSettings(frmCheckConfig& form) {
    SettingsRecord s = Settings;
    s.driveCheck1 = flagOf(form.chkDriveCheck);
    s.driveCheck2 = flagOf(form.chkDrive2);
    s.driveCheck3 = flagOf(form.chkDrive3);
    // An empty list (no entry selected) leaves its index as it is.
    if (form.cmbDrive1->currentIndex() >= 0)
        s.driveIndex1 = static_cast<std::int16_t>(form.cmbDrive1->currentIndex());
    if (form.cmbDrive2->currentIndex() >= 0)
        s.driveIndex2 = static_cast<std::int16_t>(form.cmbDrive2->currentIndex());
    if (form.cmbDrive3->currentIndex() >= 0)
        s.driveIndex3 = static_cast<std::int16_t>(form.cmbDrive3->currentIndex());
    takeNumber(form.txtDrive1Avail, s.driveLimitMB1);
    takeNumber(form.txtDrive2Avail, s.driveLimitMB2);
    takeNumber(form.txtDrive3Avail, s.driveLimitMB3);
    s.memoryCheck = flagOf(form.chkMemoryCheck);
    takeNumber(form.txtMemoryAvail, s.memoryLimitMB);
    takeNumber(form.txtSwapAvail, s.swapLimitMB);

    int kept = 0;
    for (int i = 0; i < form.lstServiceList->count() && kept < kWatchServiceSlots; ++i) {
        const QListWidgetItem* item = form.lstServiceList->item(i);
        if (item->checkState() == Qt::Checked)
            s.watchServices[kept++] = item->text();
    }
    for (int k = kept; k < kWatchServiceSlots; ++k)
        s.watchServices[k].clear();
    s.watchServiceCount = static_cast<std::int16_t>(kept);

    return SettingsDialog::saveRecord(s, API::kCheckFile, API::WriteCheckSettings);
}

} // namespace chkConfigMod
