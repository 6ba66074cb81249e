#pragma once

#include "mail/Mail.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <chrono>
#include <map>
#include <optional>

// Reports that could not be sent for a cause that may pass (no connection, a
// time-out, a 4yz reply, a TLS handshake that did not complete) wait in
// outbox/ of the settings folder, one file each, and are tried again until
// one is accepted or a day has passed.
namespace MailMod {

inline const QString kOutboxFolder = QStringLiteral("outbox");
// A report older than this is given up.
inline constexpr std::chrono::hours kKeepReportsFor{24};

class Outbox : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Keeps a failed report: the message as composed (with the Date header of
    // the moment it was composed), written whole into a new file of outbox/.
    // False when it cannot be kept (a full disk, a folder that cannot be
    // written).
    bool KeepReport(const Mail& mail);

    // How many reports wait.
    int WaitingReports() const { return static_cast<int>(waiting_.size()); }

    // Reads what waits in outbox/ (after a crash or a restart, say); the
    // first is tried kFirstTry later.
    void LoadOutbox();

    // Drops the reports older than kKeepReportsFor, with `givenUp` for each.
    void GiveUpOld();
    // The oldest report that is due, read back from its file, to the
    // recipients it was composed for.
    std::optional<Mail> DueReport();
    // When the next report falls due or is given up; invalid when none waits.
    QDateTime NextWake() const;

    // The end of a retried report: delivered, failed for a cause that may
    // pass (tried again after 1, 2, 4, 8, 16 and 30 minutes, then every 30
    // minutes), or refused for good (it leaves the outbox then).
    enum class RetryEnd { Delivered, Failed, Refused };
    void RetryEnded(const QString& file, RetryEnd end);

    // A mail was delivered: the server takes mail again, and what waits is due.
    void MailDelivered();

signals:
    void waitingChanged(int count);
    void givenUp(const QDateTime& composedAt);

private:
    struct Waiting {
        QDateTime composedAt;
        int failedTries = 0;
        QDateTime due;
    };
    void forget(const QString& file);

    // By file name, which begins with the moment of composition: oldest first.
    std::map<QString, Waiting> waiting_;
};

} // namespace MailMod
