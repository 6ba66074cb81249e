#include "report/Outbox.h"

#include "platform/AppFolder.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Service.h"
#include "report/MailMod.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTimer>
#include <algorithm>
#include <map>

namespace MailMod {

namespace {

using namespace std::chrono_literals;

const QString kCrLf = QStringLiteral("\r\n");
// Wait after the n-th failed try, the last one for every try after it.
constexpr std::chrono::minutes kWaits[] = {1min, 2min, 4min, 8min, 16min, 30min};
// A program started with reports waiting tries the first this soon, once its
// window is up.
constexpr std::chrono::seconds kFirstTry{15};

struct Waiting {
    QDateTime composedAt;
    int failedTries = 0;
    QDateTime due;
};
// By file name, which begins with the moment of composition: oldest first.
std::map<QString, Waiting> waiting;
QTimer* checkTimer = nullptr;

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

QDateTime composedAtOf(const QStringList& lines) {
    for (const QString& line : lines) {
        if (line.isEmpty())
            break;
        if (line.startsWith(QLatin1String("Date: ")))
            return QDateTime::fromString(line.mid(6), Qt::RFC2822Date);
    }
    return {};
}

void announceCount() {
    if (MailOutlet* out = Outlet())
        out->setWaitingReports(WaitingReports());
}

void forget(const QString& file) {
    waiting.erase(file);
    platform::use<platform::Files>().remove(pathOf(file));
    announceCount();
}

} // namespace

bool KeepReport(const QString& text, const QDateTime& composedAt) {
    QStringList lines = platform::splitLines(text);
    // After the four header lines of the composed text.
    lines.insert(std::min<qsizetype>(4, lines.size()), dateHeader(composedAt));
    if (!QDir().mkpath(folderPath()))
        return false;
    const QString stem = composedAt.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    QString file;
    for (int n = 1; file.isEmpty() || QFile::exists(pathOf(file)); ++n)
        file = QStringLiteral("%1-%2.eml").arg(stem).arg(n);
    if (!platform::use<platform::Files>().writeLines(pathOf(file), lines))
        return false;
    waiting[file] = {composedAt, 0, now() + kWaits[0]};
    announceCount();
    return true;
}

int WaitingReports() {
    return static_cast<int>(waiting.size());
}

void LoadOutbox() {
    waiting.clear();
    const QStringList files = QDir(folderPath()).entryList({QStringLiteral("*.eml")}, QDir::Files);
    for (const QString& file : files) {
        const auto lines = platform::use<platform::Files>().readLines(pathOf(file));
        // A file without a readable Date header was not kept by this program.
        const QDateTime composedAt = lines ? composedAtOf(*lines) : QDateTime();
        if (composedAt.isValid())
            waiting[file] = {composedAt, 0, now() + kFirstTry};
    }
    announceCount();
}

void StartOutbox() {
    LoadOutbox();
    if (!checkTimer) {
        checkTimer = new QTimer(QCoreApplication::instance());
        QObject::connect(checkTimer, &QTimer::timeout, checkTimer, &RetryDue);
    }
    checkTimer->start(kOutboxCheck);
}

void RetryDue() {
    const QDateTime at = now();
    QList<QDateTime> givenUp;
    for (auto it = waiting.begin(); it != waiting.end();) {
        const auto& [file, report] = *it;
        if (report.composedAt.addSecs(std::chrono::seconds(kKeepReportsFor).count()) > at) {
            ++it;
            continue;
        }
        givenUp.append(report.composedAt);
        platform::use<platform::Files>().remove(pathOf(file));
        it = waiting.erase(it);
    }
    if (!givenUp.isEmpty())
        announceCount();
    // Each box runs an event loop of its own, in which this may run again.
    for (const QDateTime& composedAt : givenUp) {
        if (MailOutlet* out = Outlet())
            out->showBox(QStringLiteral("エラーが発生しました。") + kCrLf +
                             QStringLiteral("%1 に作成したレポートを %2 時間のあいだ送信できな"
                                            "かったため、再送をやめました。")
                                 .arg(composedAt.toString(QStringLiteral("yyyy/MM/dd HH:mm")))
                                 .arg(kKeepReportsFor.count()),
                         QStringLiteral("Error"));
    }
    // One connection at a time: a mail on the socket goes first.
    if (smtpStep != kNoMail || !Outlet())
        return;
    for (const auto& [file, report] : waiting) {
        if (report.due > at)
            continue;
        const auto lines = platform::use<platform::Files>().readLines(pathOf(file));
        if (!lines) {
            forget(file);
            return;
        }
        SendKeptReport(file, lines->join(kCrLf) + kCrLf);
        return;
    }
}

void RetryEnded(const QString& file, RetryEnd end) {
    const auto it = waiting.find(file);
    if (it == waiting.end())
        return;
    if (end != RetryEnd::Failed) {
        forget(file);
        return;
    }
    Waiting& report = it->second;
    const int last = static_cast<int>(std::size(kWaits)) - 1;
    report.due = now() + kWaits[std::min(report.failedTries++ + 1, last)];
}

void MailDelivered() {
    // The server takes mail again: what waits need not wait any longer.
    for (auto& [file, report] : waiting)
        report.due = std::min(report.due, now());
}

} // namespace MailMod
