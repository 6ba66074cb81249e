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
// `Settings`, the moment of composition, and its text: the report's four
// header lines, then Date, Message-ID, MIME-Version, Content-Type (the code
// page's charset) and Content-Transfer-Encoding, then the body. 0 when the mail is
// ready; 1 when composing failed (a check that could not be made, a line
// break in a header value, no recipient). The caller tells the operator.
std::int16_t ComposeReport(Mail& mail);

// An alert: the mail of a report whose subject follows `subjectPrefix` ("[NG] ",
// "[OK] ") and whose body begins with `lines` (one per item) and an empty line,
// then holds the report of `figures`, the checks just made (taken for the
// report's details too); without them (checks that could not all be made), a
// line that says so in its place. 1 when nothing can be sent (a line break
// in a header value, no recipient).
std::int16_t ComposeAlert(Mail& mail, const QString& subjectPrefix, const QStringList& lines,
                          const StatusFigures* figures);

} // namespace MailMod
