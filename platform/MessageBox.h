#pragma once

#include <QString>

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

} // namespace platform
