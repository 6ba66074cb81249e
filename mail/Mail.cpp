#include "mail/Mail.h"

namespace MailMod {

QStringList Recipients(const QString& mailTo) {
    if (!mailTo.contains(u','))
        return {mailTo};
    QStringList recipients;
    for (const QString& address : mailTo.split(u',')) {
        if (const QString trimmed = address.trimmed(); !trimmed.isEmpty())
            recipients.append(trimmed);
    }
    return recipients;
}

bool KeptOnFailure(Origin origin) {
    return origin == Origin::Schedule || origin == Origin::Alert;
}

} // namespace MailMod
