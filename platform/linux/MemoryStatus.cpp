#include "platform/MemoryStatus.h"

#include "platform/linux/MemInfo.h"

#include <charconv>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

namespace platform {

namespace {

// /proc/meminfo gives its figures in units of 1024 bytes ("kB").
constexpr std::uint64_t kMeminfoUnit = 1024;

// Field name → value in kB, for the lines "Name:   123 kB".
std::map<std::string_view, std::uint64_t> meminfoFields(std::string_view text) {
    std::map<std::string_view, std::uint64_t> fields;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        const auto colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        std::string_view rest = line.substr(colon + 1);
        const auto digits = rest.find_first_not_of(' ');
        if (digits == std::string_view::npos)
            continue;
        rest.remove_prefix(digits);
        std::uint64_t value = 0;
        const auto [ptr, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
        if (ec == std::errc{})
            fields.emplace(line.substr(0, colon), value);
    }
    return fields;
}

class ProcMemoryStatus final : public MemoryStatus {
public:
    std::optional<MemoryFigures> query() override {
        std::ifstream in("/proc/meminfo", std::ios::binary);
        if (!in)
            return std::nullopt;
        const std::string text{std::istreambuf_iterator<char>(in),
                               std::istreambuf_iterator<char>()};
        return memoryFromMeminfo(text);
    }
};

} // namespace

std::optional<MemoryFigures> memoryFromMeminfo(std::string_view text) {
    const auto fields = meminfoFields(text);
    const auto total = fields.find("MemTotal");
    const auto available = fields.find("MemAvailable");
    if (total == fields.end() || available == fields.end() || total->second == 0)
        return std::nullopt;
    const std::uint64_t used =
        total->second > available->second ? total->second - available->second : 0;
    MemoryFigures figures;
    figures.loadPercent = static_cast<std::uint32_t>(used * 100 / total->second);
    figures.freePhysical = available->second * kMeminfoUnit;
    figures.totalPhysical = total->second * kMeminfoUnit;
    const auto field = [&fields](std::string_view name) {
        const auto it = fields.find(name);
        return it == fields.end() ? 0 : it->second * kMeminfoUnit;
    };
    figures.freeSwap = field("SwapFree");
    figures.totalSwap = field("SwapTotal");
    return figures;
}

MemoryStatus& MemoryStatus::system() {
    static ProcMemoryStatus status;
    return status;
}

} // namespace platform
