#pragma once

#include "mail/Mail.h"

#include <QDateTime>
#include <QString>
#include <optional>

// Alerts on a change of state. Every `alertMinutes` the checks of a report run
// with the report's judgement, and each item's verdict (each drive slot taking
// part, physical memory, swap, each watched service, and the checks as a whole
// when they cannot run) is compared with the last check's:
// - an item that turns NG is mailed at once, "[NG] " + the subject;
// - once every item is OK again, what recovered is mailed, "[OK] " + the
//   subject;
// - while something stays NG, "[NG] " again every `reminderMinutes` (0: never).
// The verdicts are kept in a file of the settings folder, so a restart neither
// repeats an alert nor misses a change; an item added to or removed from the
// checks is neither an alert nor a recovery.
class Alerts {
public:
    static inline const QString kVerdictsFile = QStringLiteral("verdicts.dat");
    // The capture of the service listing for the alert checks.
    static inline const QString kCaptureFile = QStringLiteral("alerts.dat");

    // Runs the checks when they are due at `now`, and returns the alert mail
    // that a change calls for, if any.
    std::optional<MailMod::Mail> Check(const QDateTime& now);

private:
    QDateTime nextCheck_;
};
