#include "settings/variables.h"

SettingsRecord Settings;
