#pragma once

#include <QString>

class QWidget;

namespace keys {

// Types the text into the widget key by key, as the keyboard would deliver
// it; characters beyond ASCII arrive as key events that carry only their text.
void typeText(QWidget* widget, const QString& text);

} // namespace keys

class QCheckBox;

namespace keys {

// Clicks a check box on its indicator, where the operator would click it
// whatever the width that the layout gave the box.
void clickCheckBox(QCheckBox* box);

} // namespace keys
