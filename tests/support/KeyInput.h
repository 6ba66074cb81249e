#pragma once

#include <QString>

class QCheckBox;
class QLineEdit;
class QWidget;

namespace keys {

// Types the text into the widget key by key, as the keyboard would deliver
// it; characters beyond ASCII arrive as key events that carry only their text.
void typeText(QWidget* widget, const QString& text);
// Selects the whole text of the box, deletes it and types the new text.
void replaceText(QLineEdit* box, const QString& text);
// Shows the widget; false when it never reaches the screen.
bool showAndWait(QWidget* widget);
// Clicks a check box on its indicator, where the operator would click it
// whatever the width that the layout gave the box.
void clickCheckBox(QCheckBox* box);

} // namespace keys
