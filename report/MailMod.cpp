#include "report/MailMod.h"

namespace MailMod {

QString mailText;
QString heloDomain;
std::int16_t smtpStep = 0;

} // namespace MailMod
