#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace API {
class LoadError;
}

// What the three settings dialogs share: no button answers Esc, and the
// operator is told about a settings file that could not be read or written.
class SettingsDialog : public QDialog {
public:
    explicit SettingsDialog(QWidget* parent = nullptr);

    // A settings file that failed to load: names the file, the line and the fault.
    static void reportLoadFault(const API::LoadError& error);
    // A settings file that could not be written; the former file is still whole.
    static void reportWriteFault(const QString& fileName);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // OK, Apply and Cancel with their captions; OK is the default button.
    void makeButtons(QPushButton*& ok, QPushButton*& apply, QPushButton*& cancel);
};

// Lets only the digits 0 to 9 and backspace of the typed characters reach a
// number box; keys that type nothing (arrows, Delete, Tab, Enter) pass. An
// input method could bypass the filter, so it is switched off on the box.
void installDigitFilter(QLineEdit* box);
