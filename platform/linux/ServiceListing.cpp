#include "platform/linux/ServiceListing.h"

namespace platform {

namespace {

constexpr std::string_view kBlanks = " \t\r";

std::vector<std::string_view> lines(std::string_view text) {
    std::vector<std::string_view> result;
    while (!text.empty()) {
        const auto end = text.find('\n');
        result.push_back(text.substr(0, end));
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
    return result;
}

std::vector<std::string_view> fields(std::string_view line) {
    std::vector<std::string_view> result;
    for (;;) {
        const auto start = line.find_first_not_of(kBlanks);
        if (start == std::string_view::npos)
            return result;
        line.remove_prefix(start);
        const auto end = line.find_first_of(kBlanks);
        result.push_back(line.substr(0, end));
        if (end == std::string_view::npos)
            return result;
        line.remove_prefix(end);
    }
}

} // namespace

std::vector<std::string> runningUnitsFromSystemctl(std::string_view output) {
    constexpr std::string_view kSuffix = ".service";
    std::vector<std::string> names;
    for (const std::string_view line : lines(output)) {
        auto columns = fields(line);
        // systemctl marks failed or not-found units with a bullet, even with --plain
        // on some versions.
        if (!columns.empty() && (columns.front() == "●" || columns.front() == "*"))
            columns.erase(columns.begin());
        // UNIT LOAD ACTIVE SUB DESCRIPTION...
        if (columns.size() < 4 || columns[3] != "running")
            continue;
        std::string_view unit = columns[0];
        if (unit.size() <= kSuffix.size() || !unit.ends_with(kSuffix))
            continue;
        unit.remove_suffix(kSuffix.size());
        names.emplace_back(unit);
    }
    return names;
}

std::vector<std::string> runningScriptsFromServiceStatus(std::string_view output) {
    std::vector<std::string> names;
    for (std::string_view line : lines(output)) {
        // " [ + ]  name"
        const auto open = line.find_first_not_of(kBlanks);
        if (open == std::string_view::npos || line[open] != '[')
            continue;
        const auto close = line.find(']', open);
        if (close == std::string_view::npos)
            continue;
        const auto mark = fields(line.substr(open + 1, close - open - 1));
        if (mark.size() != 1 || mark.front() != "+")
            continue;
        const auto name = fields(line.substr(close + 1));
        if (name.size() == 1)
            names.emplace_back(name.front());
    }
    return names;
}

std::string serviceListingText(const std::vector<std::string>& names) {
    // The layout of the Windows listing, which the report and the check
    // dialog read: their watched names are its lines, indentation included.
    std::string text = "次のサービスが開始されています:\r\n\r\n";
    for (const std::string& name : names)
        text += "   " + name + "\r\n";
    text += "\r\nコマンドは正常に終了しました。\r\n";
    return text;
}

} // namespace platform
