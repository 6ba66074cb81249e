#pragma once

#include <QString>

class QLocale;
class QTranslator;

namespace platform {

// A modal message box without an icon.
class MessageBox {
public:
    // Styles.
    static constexpr int kOkOnly = 0;
    static constexpr int kYesNo = 4;
    // Answers.
    static constexpr int kOk = 1;
    static constexpr int kYes = 6;
    static constexpr int kNo = 7;

    virtual ~MessageBox() = default;
    // Shows the box and returns the button pressed. Style 0 has an OK button,
    // style 4 Yes and No with Yes the default. On Qt's offscreen platform no one
    // can see the box: its text goes to standard error and the default button
    // is taken at once.
    virtual int show(const QString& text, const QString& title, int style) = 0;
    static MessageBox& system();
};

// Qt's own words in the language of `locale` when that is Japanese, the
// language of the program's own texts: the boxes' buttons (はい, いいえ) and
// the standard texts of Qt's widgets. Qt's translation qtbase_ja.qm is read
// from the folder translations/ beside the program (where the Windows
// installation has it), or else from Qt's translations folder (on Debian, the
// package qt6-translations-l10n), and installed in the application. Returns
// the translator, owned by the application, or null when the locale is not
// Japanese or the file is in neither folder.
QTranslator* InstallQtTranslation(const QLocale& locale);

} // namespace platform
