#include "app/variables.h"

SettingsRecord Settings;
