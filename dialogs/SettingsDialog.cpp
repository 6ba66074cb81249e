#include "dialogs/SettingsDialog.h"

#include "dialogs/TolvaneFont.h"
#include "platform/AppFolder.h"
#include "platform/MessageBox.h"
#include "platform/Service.h"
#include "settings/API.h"
#include "settings/variables.h"

#include <QBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

SettingsDialog::SettingsDialog(const QString& name, const QString& title) {
    setObjectName(name);
    setWindowTitle(title);
    setFont(tolvaneFont());
    setModal(true);
}

void SettingsDialog::reportLoadFault(const API::LoadError& error) {
    platform::use<platform::MessageBox>().show(error.message(), QStringLiteral("エラー"),
                                               platform::MessageBox::kOkOnly);
}

void SettingsDialog::reportWriteFault(const QString& fileName) {
    platform::use<platform::MessageBox>().show(
        QStringLiteral("設定ファイル %1 に書き込めませんでした。設定は保存されていません。")
            .arg(platform::appFile(fileName)),
        QStringLiteral("エラー"), platform::MessageBox::kOkOnly);
}

std::int16_t SettingsDialog::saveRecord(const SettingsRecord& record, const QString& fileName,
                                        bool (*write)(const SettingsRecord&)) {
    if (!write(record)) {
        reportWriteFault(fileName);
        return 1;
    }
    Settings = record;
    return 0;
}

void SettingsDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}

QBoxLayout* SettingsDialog::makeButtons(Qt::Orientation orientation) {
    cmdOK = new QPushButton(QStringLiteral("O K"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdApply = new QPushButton(QStringLiteral("適用(&A)"), this);
    cmdApply->setObjectName(QStringLiteral("cmdApply"));
    cmdApply->setEnabled(false);
    cmdCancel = new QPushButton(QStringLiteral("キャンセル(&C)"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    connect(cmdOK, &QPushButton::clicked, this, &SettingsDialog::cmdOK_Click);
    connect(cmdApply, &QPushButton::clicked, this, &SettingsDialog::cmdApply_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &SettingsDialog::cmdCancel_Click);

    // A row stands right-aligned under the dialog; a column at the top of its side.
    const bool row = orientation == Qt::Horizontal;
    auto* buttons = new QBoxLayout(row ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom);
    if (row)
        buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdApply);
    buttons->addWidget(cmdCancel);
    if (!row)
        buttons->addStretch(1);
    return buttons;
}

void SettingsDialog::cmdOK_Click() {
    if (saveSettings() == 0)
        accept();
}

void SettingsDialog::cmdApply_Click() {
    saveSettings();
    cmdApply->setEnabled(false);
}

void SettingsDialog::cmdCancel_Click() {
    reject();
}

namespace {

class DigitFilter final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress)
            return QObject::eventFilter(watched, event);
        const auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
        case Qt::Key_Backspace:
        case Qt::Key_Delete:
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            return false;
        default:
            break;
        }
        // A letter with Ctrl types a control character (Ctrl+V is 22), which
        // is refused like any other character, so nothing can be pasted.
        const bool control = key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier);
        if (control && key->key() >= Qt::Key_A && key->key() <= Qt::Key_Z)
            return true;
        if (key->text().isEmpty())
            return false;
        for (const QChar c : key->text()) {
            if (c < u'0' || c > u'9')
                return true;
        }
        return false;
    }
};

} // namespace

void installDigitFilter(QLineEdit* box) {
    box->setAttribute(Qt::WA_InputMethodEnabled, false);
    box->installEventFilter(new DigitFilter(box));
}
