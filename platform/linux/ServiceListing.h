#pragma once

// The service listing helper's text: the running services, taken from the
// output of systemctl or of the init scripts, in the layout of the Windows
// listing of started services. Qt-free, so the helper needs no Qt.

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Unit names, without ".service", of the lines of
// `systemctl list-units --type=service --state=running --no-legend --no-pager --plain --full`
// whose sub-state is "running", in the order given.
std::vector<std::string> runningUnitsFromSystemctl(std::string_view output);

// Script names of the lines of `service --status-all` marked "[ + ]", in the
// order given.
std::vector<std::string> runningScriptsFromServiceStatus(std::string_view output);

// Heading line, empty line, one line per name (three blanks, then the name),
// empty line, closing line; every line ended by CR LF; UTF-8.
std::string serviceListingText(const std::vector<std::string>& names);

} // namespace platform
