#include "report/MailMod.h"

namespace MailMod {

QString mailText;
QString heloDomain;
std::int16_t smtpStep = 0;
std::uint64_t mailsStarted = 0;

} // namespace MailMod
