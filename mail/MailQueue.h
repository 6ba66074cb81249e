#pragma once

#include "mail/Delivery.h"
#include "mail/Mail.h"
#include "mail/Outbox.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>

class QTimer;

// Every mail of the program waits its turn here: test sends, scheduled
// reports, alerts and the outbox's retries go out one at a time, each on a
// delivery of its own, and none replaces another. The queue decides what
// becomes of a mail that failed: kept for another try, or not.
namespace MailMod {

// How a mail ended, as the queue tells it.
struct MailEnded {
    Mail mail;
    Delivery::End end = Delivery::End::Delivered;
    int code = 0;   // the code of the reply that ended it; 0: none
    QString detail; // the failing reply, or why the mail was lost or refused
    // The recipients refused while others took the mail, with their replies.
    QStringList refusedRecipients;
    // Whether another try could mend it: a lost connection, or a failing reply
    // that is not a refusal for good (5yz, RFC 5321 4.2.1).
    bool mayPass = false;
    // What became of a failed report while retry is on: kept for another
    // try; not kept, as no try could mend it; not kept, as it could not be
    // written. NotAsked: retry is off, or the mail is no report (a test send).
    enum class Kept { NotAsked, Kept, Lasting, CouldNotKeep } kept = Kept::NotAsked;
};

class MailQueue : public QObject {
    Q_OBJECT
public:
    explicit MailQueue(QObject* parent = nullptr);
    ~MailQueue() override;

    // Sends the mail now, or once the mails before it have ended.
    void Enqueue(Mail mail);
    // Whether a mail is under way or waits its turn, or a connection that
    // failed still waits for the server to close it.
    bool busy() const;

    Outbox outbox;
    // Loads the outbox and tries what waits there when it falls due.
    void StartRetries();
    // Gives up the reports kept for longer than a day, then sends the oldest
    // report that is due, unless another mail is under way or waits.
    void RetryDue();

    // The program ends: the mail under way is given up as a lost connection
    // and the scheduled mails that wait are kept as failed (each only as far
    // as the rule keeps it); nothing starts any more.
    void Abandon();

signals:
    // A mail goes to the server now.
    void sending(const MailMod::Mail& mail);
    void ended(const MailMod::MailEnded& outcome);
    // Nothing is under way or waits any more.
    void idle();

private:
    void startNext();
    void deliveryEnded(Delivery* delivery, Delivery::End end, int code, const QString& detail);
    void deliveryFinished(Delivery* delivery);
    MailEnded::Kept keep(const Mail& mail, bool mayPass);
    void settle();
    void armRetry();
    void reap();

    QList<Mail> waiting_;
    QPointer<Delivery> current_;
    // Deliveries that have ended but still hold a connection.
    QList<Delivery*> closing_;
    // Deliveries that are over, destroyed once none of their handlers runs.
    QList<Delivery*> done_;
    int announcing_ = 0; // `ended` being emitted (a box may be open)
    bool abandoned_ = false;
    QTimer* retryTimer_ = nullptr;
};

} // namespace MailMod
