#pragma once

#include <QDialog>
#include <cstdint>

class QBoxLayout;
class QLineEdit;
class QPushButton;

struct SettingsRecord;
namespace API {
class LoadError;
}

// What the three settings dialogs share: OK, Apply and Cancel around one save,
// no button answering Esc, and the operator told about a settings file that
// could not be read or written.
class SettingsDialog : public QDialog {
public:
    // `name` becomes the object name; `title` the caption.
    SettingsDialog(const QString& name, const QString& title);

    // A settings file that failed to load: names the file, the line and the fault.
    static void reportLoadFault(const API::LoadError& error);
    // A settings file that could not be written; the former file is still whole.
    static void reportWriteFault(const QString& fileName);
    // Writes a save step's new record into its file and, once it is written,
    // into `Settings`. A file that cannot be written is reported; the running
    // monitor then goes on by what the file still holds. 0 when saved, 1 when not.
    static std::int16_t saveRecord(const SettingsRecord& record, const QString& fileName,
                                   bool (*write)(const SettingsRecord&));

    QPushButton* cmdOK = nullptr;
    QPushButton* cmdApply = nullptr;
    QPushButton* cmdCancel = nullptr;

    // OK closes the dialog only when the save succeeded; Apply disables itself
    // either way (the operator has been told of a refusal); Cancel saves nothing.
    void cmdOK_Click();
    void cmdApply_Click();
    void cmdCancel_Click();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // Creates OK (the default button), Apply and Cancel with their captions and
    // handlers, laid out in a row or a column; the caller places the layout.
    QBoxLayout* makeButtons(Qt::Orientation orientation);
    // Checks the controls and writes the dialog's file: 0 when saved, 1 when
    // refused or not written.
    virtual std::int16_t saveSettings() = 0;
};

// The one dialog of a kind that the main window opens; created hidden on first
// use (which runs its opening) and destroyed when the main window is done.
template <class Dialog> class SingleSettingsDialog : public SettingsDialog {
public:
    using SettingsDialog::SettingsDialog;
    ~SingleSettingsDialog() override {
        if (current_ == this)
            current_ = nullptr;
    }
    template <class... Args> static Dialog& instance(Args... args) {
        if (!current_)
            current_ = new Dialog(args...);
        return *current_;
    }
    static bool exists() { return current_ != nullptr; }
    // Closes and destroys it, if it exists.
    static void destroyInstance() { delete current_; }

private:
    static inline Dialog* current_ = nullptr;
};

// Lets only the digits 0 to 9 and backspace of the typed characters reach a
// number box; keys that type nothing (arrows, Delete, Tab, Enter) pass. An
// input method could bypass the filter, so it is switched off on the box.
void installDigitFilter(QLineEdit* box);
