#include "engine/Engine.h"

#include "platform/AppFolder.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Service.h"
#include "report/MailMod.h"
#include "settings/API.h"
#include "settings/variables.h"

#include <QFileInfo>
#include <QTimer>
#include <algorithm>

using MailMod::Delivery;
using MailMod::MailEnded;
using MailMod::Origin;

namespace {

// The scheduler ticks 100 ms short of a minute.
constexpr int kSendTimerIntervalMs = 59900;

const QString kCrLf = QStringLiteral("\r\n");
const QString kErrorText = QStringLiteral("エラーが発生しました。");
const QString kComposeErrorText =
    QStringLiteral("エラーが発生しました。設定をもう一度確認してください。");

// The box of a failing reply shows at most this much of it: the length of a
// reply line (RFC 5321 4.5.3.1.5); a longer reply is cut and ends in "...".
constexpr qsizetype kMaxShownReply = 512;

QString shownReply(const QString& reply) {
    if (reply.size() <= kMaxShownReply)
        return reply;
    qsizetype keep = kMaxShownReply;
    if (reply[keep - 1].isHighSurrogate())
        --keep;
    return reply.left(keep) + QStringLiteral("...");
}

// With retry on, what became of a report that failed, as a line of its box.
QString keptLine(const MailEnded& outcome) {
    switch (outcome.kept) {
    case MailEnded::Kept::Kept:
        return kCrLf + QStringLiteral("レポートを保存しました。送信できるまで再送します。");
    case MailEnded::Kept::CouldNotKeep:
        return kCrLf + QStringLiteral("レポートを保存できなかったため、再送できません。");
    case MailEnded::Kept::Lasting:
        return kCrLf +
               (outcome.end == Delivery::End::FailingReply
                    ? QStringLiteral(
                          "このレポートは再送しません（サーバが受け付けを拒否しました）。")
                    : QStringLiteral(
                          "このレポートは再送しません（設定を直さなければ送信できません）。"));
    default:
        return {};
    }
}

// The box of a mail that failed.
Notice failureBox(const MailEnded& outcome) {
    const QString kept = keptLine(outcome);
    // A report that waits in the outbox: kept now, or a retry that failed again.
    const Notice::Kind kind = outcome.kept == MailEnded::Kept::Kept ||
                                      (outcome.mail.origin == Origin::Retry && outcome.mayPass)
                                  ? Notice::Kind::ReportKept
                                  : Notice::Kind::SendFailed;
    if (outcome.end == Delivery::End::FailingReply) {
        // The reply ends its own line.
        const QString reply = shownReply(outcome.detail);
        return {QStringLiteral("ERROR"),
                kErrorText + kCrLf + reply +
                    (reply.endsWith(kCrLf) ? kept.mid(kCrLf.size()) : kept),
                kind};
    }
    return {QStringLiteral("Error"),
            (outcome.detail.isEmpty() ? kErrorText : kErrorText + kCrLf + outcome.detail) + kept,
            kind};
}

struct SettingsFile {
    const QString& name;
    void (*load)();
};
const SettingsFile kSettingsFiles[] = {
    {API::kCheckFile, &API::LoadCheckSettings},
    {API::kSmtpFile, &API::LoadSmtpSettings},
    {API::kSendTimeFile, &API::LoadSendTimeSettings},
};

} // namespace

Engine::Engine(Face face, QObject* parent) : QObject(parent), lock_(platform::appFile(kLockFile)) {
    timerSendTime = new QTimer(this);
    timerSendTime->setObjectName(QStringLiteral("timerSendTime"));
    timerSendTime->setTimerType(Qt::PreciseTimer);
    timerSendTime->setInterval(kSendTimerIntervalMs);
    connect(timerSendTime, &QTimer::timeout, this, &Engine::timerSendTime_Timer);
    timerSendTime->start();

    connect(&queue, &MailMod::MailQueue::sending, this, [this] { emit sending(); });
    connect(&queue, &MailMod::MailQueue::ended, this, &Engine::mailEnded);
    connect(&queue, &MailMod::MailQueue::idle, this, &Engine::idle);
    connect(&queue.outbox, &MailMod::Outbox::waitingChanged, this, &Engine::waitingChanged);
    connect(&queue.outbox, &MailMod::Outbox::givenUp, this, [this](const QDateTime& composedAt) {
        emit notice({QStringLiteral("Error"),
                     kErrorText + kCrLf +
                         QStringLiteral("%1 に作成したレポートを %2 時間のあいだ送信できな"
                                        "かったため、再送をやめました。")
                             .arg(composedAt.toString(QStringLiteral("yyyy/MM/dd HH:mm")))
                             .arg(MailMod::kKeepReportsFor.count()),
                     Notice::Kind::GivenUp});
    });

    // The lock is held for the life of the program: only a holder that no
    // longer runs leaves it stale, never its age.
    lock_.setStaleLockTime(0);
    const std::optional<EngineStatus> holder = EngineStatus::Read();
    schedules_ = !(face == Face::Window && holder && holder->service) && lock_.tryLock(0);
    noteSettingsFiles();
    if (schedules_ && face != Face::Window) {
        status_ = EngineStatus{};
        status_->service = face == Face::Service;
        keepStatus();
    }
}

// The status file follows each mail's end and the outbox.
void Engine::keepStatus() {
    const auto ended = [this](const QString& result) {
        status_->lastMail = platform::use<platform::Clock>().now();
        status_->lastResult = result;
        status_->Write();
    };
    connect(this, &Engine::sent, this, [ended] { ended(QStringLiteral("送信完了")); });
    connect(this, &Engine::failed, this, [ended] { ended(QStringLiteral("送信エラー")); });
    connect(this, &Engine::waitingChanged, this, [this](int count) {
        status_->waiting = count;
        status_->Write();
    });
}

QString Engine::HolderStatus() {
    const std::optional<EngineStatus> holder = EngineStatus::Read();
    return holder ? holder->Text() : QStringLiteral("他のプログラムが定時送信します");
}

Engine::~Engine() {
    setRunning(false);
}

void Engine::setRunning(bool running) {
    if (status_ && status_->running != running) {
        status_->running = running;
        status_->Write();
    }
}

void Engine::Start() {
    noteSettingsFiles();
    if (!schedules_)
        return;
    setRunning(true);
    queue.StartRetries();
    // The first alert check runs at once: a change while the program was
    // stopped is told without waiting for the interval.
    if (settingsFilesExist())
        checkAlerts(platform::use<platform::Clock>().now());
}

bool Engine::settingsFilesExist() {
    return std::all_of(std::begin(kSettingsFiles), std::end(kSettingsFiles),
                       [](const SettingsFile& file) { return API::SettingsFileExists(file.name); });
}

void Engine::checkAlerts(const QDateTime& now) {
    if (std::optional<MailMod::Mail> alert = alerts_.Check(now))
        queue.Enqueue(std::move(*alert));
}

void Engine::LoadSettingsFiles() {
    for (const SettingsFile& file : kSettingsFiles) {
        if (API::SettingsFileExists(file.name))
            file.load();
    }
}

void Engine::SendMail(Origin origin) {
    emit sending();
    MailMod::Mail mail;
    mail.origin = origin;
    if (MailMod::ComposeReport(mail) != 0) {
        emit failed({QStringLiteral("Error"), kComposeErrorText}, false);
        if (!queue.busy())
            emit idle();
        return;
    }
    queue.Enqueue(std::move(mail));
}

void Engine::mailEnded(const MailEnded& outcome) {
    if (outcome.end == Delivery::End::Delivered) {
        emit sent();
        if (!outcome.refusedRecipients.isEmpty()) {
            QStringList refused;
            for (const QString& recipient : outcome.refusedRecipients)
                refused.append(shownReply(recipient));
            emit notice({QStringLiteral("ERROR"), kErrorText + kCrLf + refused.join(QString()),
                         Notice::Kind::RecipientsRefused});
        }
        return;
    }
    // A retry that fails for now says nothing: the report waits, and the
    // status bar says how many wait. Nor does an alert: the status bar and the
    // log say it failed.
    emit failed(failureBox(outcome), outcome.mail.origin == Origin::Alert ||
                                         (outcome.mail.origin == Origin::Retry && outcome.mayPass));
}

void Engine::timerSendTime_Timer() {
    reloadChangedSettings();
    if (!schedules_) {
        emit holderStatus(HolderStatus());
        return;
    }
    if (!settingsFilesExist())
        return;
    // One reading: the minute and the hour of two could straddle the full hour.
    const QDateTime now = platform::use<platform::Clock>().now();
    // An alert and a report in the same minute both go, one after the other.
    checkAlerts(now);
    const int minute = now.time().minute();
    const auto sendMinute = API::ReadNumberLine(Settings.sendMinute);
    if (!sendMinute || *sendMinute != minute)
        return;
    const int hour = now.time().hour();
    if (hour < 0 || hour >= kHoursPerDay || Settings.sendHours[hour] != kFlagOn)
        return;
    // Ticks come 100 ms short of a minute apart, so now and then two fall into
    // one minute: that minute's report goes out once. The day counts too: a
    // machine resumed from sleep at the same time on another day still sends.
    const long long thisMinute = (now.date().toJulianDay() * kHoursPerDay + hour) * 60 + minute;
    if (thisMinute == lastSendMinute_)
        return;
    lastSendMinute_ = thisMinute;
    SendMail(Origin::Schedule);
}

namespace {
QDateTime modified(const QFileInfo& info) {
    return info.exists() ? info.lastModified() : QDateTime();
}
} // namespace

void Engine::noteSettingsFiles() {
    for (const SettingsFile& file : kSettingsFiles) {
        const QFileInfo info(platform::actualPath(platform::appFile(file.name)));
        stamps_[file.name] = {modified(info), info.exists() ? info.size() : -1};
    }
}

// A settings file whose modification time or size changed since it was last
// loaded is loaded again; one that fails to load is reported once, and the
// settings in force stay. A file that went away changes nothing.
void Engine::reloadChangedSettings() {
    for (const SettingsFile& file : kSettingsFiles) {
        const QFileInfo info(platform::actualPath(platform::appFile(file.name)));
        const Stamp stamp{modified(info), info.exists() ? info.size() : -1};
        Stamp& last = stamps_[file.name];
        if (stamp == last)
            continue;
        last = stamp;
        if (stamp.size < 0)
            continue;
        const SettingsRecord inForce = Settings;
        try {
            file.load();
        } catch (const API::LoadError& error) {
            Settings = inForce;
            emit notice({QStringLiteral("エラー"), error.message(), Notice::Kind::SettingsFault});
        }
    }
}

void Engine::Stop() {
    timerSendTime->stop();
    queue.Abandon();
    setRunning(false);
}
