#pragma once

#include "platform/MemoryStatus.h"

#include <optional>
#include <string_view>

namespace platform {

// The memory figures from the text of /proc/meminfo: load = (MemTotal −
// MemAvailable) × 100 / MemTotal, free physical = MemAvailable, free swap =
// SwapFree, the totals MemTotal and SwapTotal (a swap field that is missing
// counts 0). Nothing when MemTotal or MemAvailable is missing or MemTotal is 0
// (a kernel without MemAvailable is too old to give a sound free figure).
std::optional<MemoryFigures> memoryFromMeminfo(std::string_view text);

} // namespace platform
