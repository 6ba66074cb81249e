#include "mail/Outbox.h"

#include "platform/AppFolder.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Service.h"

#include <QDir>
#include <QFile>
#include <algorithm>

namespace MailMod {

namespace {

using namespace std::chrono_literals;

const QString kCrLf = QStringLiteral("\r\n");
// Wait after the n-th failed try, the last one for every try after it.
constexpr std::chrono::minutes kWaits[] = {1min, 2min, 4min, 8min, 16min, 30min};
// A program started with reports waiting tries the first this soon, once it
// is up.
constexpr std::chrono::seconds kFirstTry{15};

QDateTime now() {
    return platform::use<platform::Clock>().now();
}

QString folderPath() {
    return platform::appFile(kOutboxFolder);
}

QString pathOf(const QString& file) {
    return QDir(folderPath()).filePath(file);
}

// The Date header of a kept report, as RFC 5322 writes a moment.
QString dateHeader(const QDateTime& at) {
    return QStringLiteral("Date: ") + at.toString(Qt::RFC2822Date);
}

// The value of a header line of the message, up to its empty line.
QString headerValue(const QStringList& lines, QLatin1StringView name) {
    for (const QString& line : lines) {
        if (line.isEmpty())
            break;
        if (line.startsWith(name))
            return line.mid(name.size());
    }
    return {};
}

QDateTime composedAtOf(const QStringList& lines) {
    return QDateTime::fromString(headerValue(lines, QLatin1StringView("Date: ")), Qt::RFC2822Date);
}

QDateTime givenUpAt(const QDateTime& composedAt) {
    return composedAt.addSecs(std::chrono::seconds(kKeepReportsFor).count());
}

} // namespace

bool Outbox::KeepReport(const Mail& mail) {
    QStringList lines = platform::splitLines(mail.mailText);
    // A report carries the moment of its composition, which the outbox reads
    // back; one without it gets it after its first four header lines.
    if (!composedAtOf(lines).isValid())
        lines.insert(std::min<qsizetype>(4, lines.size()), dateHeader(mail.composedAt));
    if (!QDir().mkpath(folderPath()))
        return false;
    const QString stem = mail.composedAt.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    QString file;
    for (int n = 1; file.isEmpty() || QFile::exists(pathOf(file)); ++n)
        file = QStringLiteral("%1-%2.eml").arg(stem).arg(n);
    if (!platform::use<platform::Files>().writeLines(pathOf(file), lines))
        return false;
    waiting_[file] = {mail.composedAt, 0, now() + kWaits[0]};
    emit waitingChanged(WaitingReports());
    return true;
}

void Outbox::LoadOutbox() {
    waiting_.clear();
    const QStringList files = QDir(folderPath()).entryList({QStringLiteral("*.eml")}, QDir::Files);
    for (const QString& file : files) {
        const auto lines = platform::use<platform::Files>().readLines(pathOf(file));
        // A file without a readable Date header was not kept by this program.
        const QDateTime composedAt = lines ? composedAtOf(*lines) : QDateTime();
        if (composedAt.isValid())
            waiting_[file] = {composedAt, 0, now() + kFirstTry};
    }
    emit waitingChanged(WaitingReports());
}

void Outbox::GiveUpOld() {
    const QDateTime at = now();
    QList<QDateTime> old;
    for (auto it = waiting_.begin(); it != waiting_.end();) {
        if (givenUpAt(it->second.composedAt) > at) {
            ++it;
            continue;
        }
        old.append(it->second.composedAt);
        platform::use<platform::Files>().remove(pathOf(it->first));
        it = waiting_.erase(it);
    }
    if (old.isEmpty())
        return;
    emit waitingChanged(WaitingReports());
    // Each may open a box, which runs an event loop of its own.
    for (const QDateTime& composedAt : old)
        emit givenUp(composedAt);
}

std::optional<Mail> Outbox::DueReport() {
    const QDateTime at = now();
    for (const auto& [file, report] : waiting_) {
        if (report.due > at)
            continue;
        const auto lines = platform::use<platform::Files>().readLines(pathOf(file));
        if (!lines) {
            forget(file);
            return std::nullopt;
        }
        Mail mail;
        mail.origin = Origin::Retry;
        mail.sender = headerValue(*lines, QLatin1StringView("From: "));
        mail.recipients = Recipients(headerValue(*lines, QLatin1StringView("To: ")));
        mail.mailText = lines->join(kCrLf) + kCrLf;
        mail.composedAt = report.composedAt;
        mail.keptFile = file;
        return mail;
    }
    return std::nullopt;
}

QDateTime Outbox::NextWake() const {
    QDateTime next;
    for (const auto& [file, report] : waiting_) {
        for (const QDateTime& at : {report.due, givenUpAt(report.composedAt)}) {
            if (!next.isValid() || at < next)
                next = at;
        }
    }
    return next;
}

void Outbox::forget(const QString& file) {
    waiting_.erase(file);
    platform::use<platform::Files>().remove(pathOf(file));
    emit waitingChanged(WaitingReports());
}

void Outbox::RetryEnded(const QString& file, RetryEnd end) {
    const auto it = waiting_.find(file);
    if (it == waiting_.end())
        return;
    if (end != RetryEnd::Failed) {
        forget(file);
        return;
    }
    Waiting& report = it->second;
    const int last = static_cast<int>(std::size(kWaits)) - 1;
    report.due = now() + kWaits[std::min(report.failedTries++ + 1, last)];
}

void Outbox::MailDelivered() {
    // The server takes mail again: what waits need not wait any longer.
    const QDateTime at = now();
    for (auto& [file, report] : waiting_)
        report.due = std::min(report.due, at);
}

} // namespace MailMod
