#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

// One mail of the monitor: who asked for it and everything that goes on the
// wire, fixed when it is composed.
namespace MailMod {

// Who asked for a mail: the operator's test send, the scheduler, the outbox
// trying a kept report again, or an alert on a change of state.
enum class Origin { TestSend, Schedule, Retry, Alert };

struct Mail {
    Origin origin = Origin::TestSend;
    // The envelope: MAIL FROM, and one RCPT TO for each recipient.
    QString sender;
    QStringList recipients;
    // The whole message, header lines and body, CR LF line ends.
    QString mailText;
    // When it was composed: the Date of a kept report.
    QDateTime composedAt;
    // The file of a report kept in outbox/; empty for any other mail.
    QString keptFile;
};

// The envelope recipients of a recipient setting. Without a comma, the setting
// as it stands (one address, blanks and all); with commas, each address with
// the blanks around it dropped, and empty ones skipped.
QStringList Recipients(const QString& mailTo);

// Whether a mail of this origin is kept for another try when it fails for a
// cause that may pass: scheduled reports and alerts.
bool KeptOnFailure(Origin origin);

} // namespace MailMod
