#pragma once

#include <QFont>
#include <QStringList>

// The font that the windows ask for, with Japanese fall-backs.
QFont tolvaneFont();
