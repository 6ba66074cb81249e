#pragma once

#include "mail/Mail.h"

#include <QString>
#include <cstdint>

// The report mail: the status checks (StatusChecks.h) and the composition of
// its text.
namespace MailMod {

struct StatusFigures;
// The whole report mail for what the checks found, as `Settings` asks for it:
// the four header lines, an empty line and the body, CR LF line ends.
QString ReportText(const StatusFigures& figures);

// Runs the checks and composes the report into `mail`: its envelope from
// `Settings`, its text and the moment of composition. 0 when the mail is
// ready; 1 when composing failed (a check that could not be made, a line
// break in a header value, no recipient). The caller tells the operator.
std::int16_t ComposeReport(Mail& mail);

} // namespace MailMod
