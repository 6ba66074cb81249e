#include "mail/MailQueue.h"

#include "platform/Clock.h"
#include "platform/Service.h"
#include "platform/SocketObject.h"
#include "settings/variables.h"

#include <QTimer>

namespace MailMod {

namespace {
// The longest the retry timer sleeps at once: a machine that slept meanwhile
// (a monotonic timer does not count the sleep) still tries within this.
constexpr qint64 kLongestRetryWaitMs = 60'000;
} // namespace

MailQueue::MailQueue(QObject* parent) : QObject(parent) {
    retryTimer_ = new QTimer(this);
    retryTimer_->setSingleShot(true);
    connect(retryTimer_, &QTimer::timeout, this, &MailQueue::RetryDue);
    connect(&outbox, &Outbox::waitingChanged, this, &MailQueue::armRetry);
}

MailQueue::~MailQueue() {
    // The deliveries are children: destroyed with the queue, silently.
    for (Delivery* delivery : findChildren<Delivery*>())
        delivery->disconnect(this);
}

void MailQueue::Enqueue(Mail mail) {
    if (abandoned_)
        return;
    waiting_.append(std::move(mail));
    startNext();
}

bool MailQueue::busy() const {
    return current_ || !waiting_.isEmpty() || !closing_.isEmpty();
}

void MailQueue::startNext() {
    if (current_ || waiting_.isEmpty() || abandoned_)
        return;
    auto* delivery = new Delivery(waiting_.takeFirst(), this);
    connect(delivery, &Delivery::ended, this,
            [this, delivery](Delivery::End end, int code, const QString& detail) {
                deliveryEnded(delivery, end, code, detail);
            });
    connect(delivery, &Delivery::finished, this, [this, delivery] { deliveryFinished(delivery); });
    // Its object goes only once the socket has sent its last words (QUIT).
    connect(delivery->sckSend, &platform::SocketObject::Released, this,
            [this] { QTimer::singleShot(0, this, &MailQueue::reap); });
    current_ = delivery;
    emit sending(delivery->mail());
    delivery->ConnectSmtp();
}

MailEnded::Kept MailQueue::keep(const Mail& mail, bool mayPass) {
    if (!KeptOnFailure(mail.origin) || Settings.keepFailedReports != kFlagOn)
        return MailEnded::Kept::NotAsked;
    if (!mayPass)
        return MailEnded::Kept::Lasting;
    return outbox.KeepReport(mail) ? MailEnded::Kept::Kept : MailEnded::Kept::CouldNotKeep;
}

void MailQueue::deliveryEnded(Delivery* delivery, Delivery::End end, int code,
                              const QString& detail) {
    if (current_ == delivery)
        current_ = nullptr;
    closing_.append(delivery);
    MailEnded outcome{delivery->mail(), end, code, detail, delivery->refusedRecipients()};
    const Mail& mail = outcome.mail;
    outcome.mayPass = end == Delivery::End::ConnectionLost ||
                      (end == Delivery::End::FailingReply && code / 100 != 5);
    if (end == Delivery::End::Delivered) {
        // A report leaves the outbox as soon as the server has taken it.
        if (mail.origin == Origin::Retry)
            outbox.RetryEnded(mail.keptFile, Outbox::RetryEnd::Delivered);
        outbox.MailDelivered();
    } else if (mail.origin == Origin::Retry) {
        outbox.RetryEnded(mail.keptFile,
                          outcome.mayPass ? Outbox::RetryEnd::Failed : Outbox::RetryEnd::Refused);
        if (!outcome.mayPass)
            outcome.kept = MailEnded::Kept::Lasting;
    } else {
        outcome.kept = keep(mail, outcome.mayPass);
    }
    // The next mail starts from the event loop: also while a box about this
    // one is open, which runs a loop of its own.
    QTimer::singleShot(0, this, &MailQueue::startNext);
    ++announcing_;
    emit ended(outcome);
    --announcing_;
    settle();
    QTimer::singleShot(0, this, &MailQueue::reap);
}

void MailQueue::deliveryFinished(Delivery* delivery) {
    closing_.removeOne(delivery);
    if (current_ == delivery)
        current_ = nullptr;
    done_.append(delivery);
    QTimer::singleShot(0, this, &MailQueue::reap);
    settle();
}

void MailQueue::settle() {
    if (busy())
        return;
    armRetry();
    emit idle();
}

// A delivery's handler may still be on the stack below a box that a handler
// of `ended` opened: its object goes only once no announcement is under way,
// from the event loop, and once its socket has let its last connection go.
void MailQueue::reap() {
    if (announcing_ > 0)
        return;
    for (qsizetype i = done_.size() - 1; i >= 0; --i) {
        if (!done_[i]->sckSend->holdsConnection())
            delete done_.takeAt(i);
    }
}

void MailQueue::StartRetries() {
    outbox.LoadOutbox();
    armRetry();
}

void MailQueue::armRetry() {
    // While a mail is under way the outbox waits; the queue's settling
    // arms the timer again.
    const QDateTime next = outbox.NextWake();
    if (!next.isValid() || abandoned_ || busy()) {
        retryTimer_->stop();
        return;
    }
    const qint64 in = platform::use<platform::Clock>().now().msecsTo(next);
    retryTimer_->start(int(std::clamp<qint64>(in, 0, kLongestRetryWaitMs)));
}

void MailQueue::RetryDue() {
    outbox.GiveUpOld();
    // One connection at a time: a mail under way or waiting goes first.
    if (!busy() && !abandoned_) {
        if (std::optional<Mail> report = outbox.DueReport())
            Enqueue(std::move(*report));
    }
    armRetry();
}

void MailQueue::Abandon() {
    abandoned_ = true;
    retryTimer_->stop();
    for (const Mail& mail : std::exchange(waiting_, {}))
        keep(mail, true);
    if (current_)
        current_->Abandon();
    for (Delivery* delivery : QList<Delivery*>(closing_))
        delivery->Abandon();
}

} // namespace MailMod
