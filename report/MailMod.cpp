#include "report/MailMod.h"

namespace MailMod {

QString mailText;
QString heloDomain;
std::int16_t smtpStep = kNoMail;
std::uint64_t mailsStarted = 0;

namespace {
MailOutlet* theOutlet = nullptr;
} // namespace

void SetOutlet(MailOutlet* outlet) {
    theOutlet = outlet;
}

MailOutlet* Outlet() {
    return theOutlet;
}

} // namespace MailMod
