#pragma once

#include <QDateTime>
#include <QString>
#include <chrono>

// Scheduled reports that could not be sent for a cause that may pass (no
// connection, a time-out, a 4yz reply, a TLS handshake that did not complete)
// are kept in outbox/ of the application folder, one file each, and tried
// again until one is accepted or a day has passed. Only with
// Settings.keepFailedReports on.
namespace MailMod {

inline const QString kOutboxFolder = QStringLiteral("outbox");
// A report older than this is given up.
inline constexpr std::chrono::hours kKeepReportsFor{24};
// How often the outbox looks for a report that is due.
inline constexpr std::chrono::seconds kOutboxCheck{15};

// Keeps a failed report: the message as composed, with a Date header of the
// moment it was composed, written whole into a new file of outbox/. False
// when it cannot be kept (a full disk, a folder that cannot be written).
bool KeepReport(const QString& text, const QDateTime& composedAt);

// How many reports wait.
int WaitingReports();

// Reads what waits in outbox/ (after a crash or a restart, say), to be tried
// within a minute.
void LoadOutbox();
// Loads the outbox and looks for due reports every kOutboxCheck from then on.
void StartOutbox();

// Gives up the reports older than kKeepReportsFor (one box each), then sends
// the oldest report that is due, unless a mail is on the socket. Wait times
// after each failed try: 1, 2, 4, 8, 16 and 30 minutes, then 30 minutes.
void RetryDue();

// The end of a retried report: whether it was delivered, has failed for a
// cause that may pass, or was refused for good (it leaves the outbox then).
enum class RetryEnd { Delivered, Failed, Refused };
void RetryEnded(const QString& file, RetryEnd end);

// A mail was delivered: the server takes mail again, and what waits is due.
void MailDelivered();

} // namespace MailMod
