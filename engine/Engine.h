#pragma once

#include "engine/Alerts.h"
#include "engine/EngineStatus.h"
#include "mail/Mail.h"
#include "mail/MailQueue.h"

#include <QDateTime>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <map>

class QTimer;

// The monitor without a face: the schedule, the queue of mails with its
// outbox, the reload of settings changed on disk and the settings folder's
// lock. It shows nothing; it tells what happens through its signals, which
// the window shows in boxes and its status bar, and the headless program
// writes to standard error.
//
// What it would show in a box: the box's title and text, and what it tells,
// for a log that files its events by kind.
struct Notice {
    enum class Kind { SendFailed, ReportKept, GivenUp, SettingsFault, RecipientsRefused };
    QString title;
    QString text;
    Kind kind = Kind::SendFailed;
};

class Engine : public QObject {
    Q_OBJECT
public:
    // Who runs the engine: the window, or the program without a window in a
    // console or as the Windows service. The program without a window keeps
    // the folder's status file (EngineStatus) while it schedules.
    enum class Face { Window, Console, Service };

    // Takes the settings folder's lock, and takes the settings files as they
    // are now as loaded. The program that holds the lock schedules the
    // reports and retries the kept ones; without it (another program holds
    // it) the engine only sends what it is asked to send. A window on the
    // folder of a Windows service never takes it, also while the service is
    // stopped: the service would then find it taken.
    explicit Engine(Face face = Face::Window, QObject* parent = nullptr);
    ~Engine() override;

    // The file in the settings folder whose lock the scheduling program holds.
    static inline const QString kLockFile = QStringLiteral("tolvane.lock");
    bool schedules() const { return schedules_; }
    // What a program that does not schedule says of the one that does: the
    // state in the folder's status file, or that another program schedules.
    static QString HolderStatus();

    // Once the settings are loaded: takes the files as they are now as
    // loaded, and, in the scheduling program, loads the outbox and retries
    // what waits there when it falls due.
    void Start();

    // Loads each settings file that exists, check.ini, smtp.ini, then
    // sendtime.ini, into `Settings`; a malformed one throws API::LoadError.
    static void LoadSettingsFiles();

    // Composes the report and sends it, after any mail before it.
    void SendMail(MailMod::Origin origin = MailMod::Origin::TestSend);

    // The scheduler's tick, every 59.9 s: settings files changed on disk are
    // loaded; then, when all three exist, the alert checks run when they are
    // due, and the report goes out at the minute of `sendMinute` in each hour
    // flagged in `sendHours`, once in a minute.
    void timerSendTime_Timer();
    QTimer* timerSendTime = nullptr;

    // The program ends: a mail under way is given up and, with retry on,
    // kept; nothing is sent any more.
    void Stop();

    MailMod::MailQueue queue;

signals:
    // A mail is being composed or goes to the server: "送信中...".
    void sending();
    // The server accepted a mail: "送信完了".
    void sent();
    // A mail failed: its box (none when `quiet`: a retry that failed for a
    // cause that may pass), then "送信エラー".
    void failed(const Notice& box, bool quiet);
    // A box with nothing else to change: a report given up, a settings file
    // that failed to load, recipients that the server refused.
    void notice(const Notice& box);
    // Nothing is under way or waits any more: the test-send button comes back.
    void idle();
    // How many reports wait in the outbox.
    void waitingChanged(int count);
    // In a program that does not schedule: the state of the one that does,
    // as HolderStatus says, at every tick.
    void holderStatus(const QString& text);

private:
    void mailEnded(const MailMod::MailEnded& outcome);
    static bool settingsFilesExist();
    void checkAlerts(const QDateTime& now);
    void reloadChangedSettings();
    void noteSettingsFiles();
    void keepStatus();
    // The status file says whether the program runs.
    void setRunning(bool running);

    Alerts alerts_;
    QLockFile lock_;
    bool schedules_ = false;
    // The status file's content while this program keeps it.
    std::optional<EngineStatus> status_;
    // The calendar minute (day, hour and minute, counted in minutes) in which
    // the scheduler last started a mail, or kNoSend.
    static constexpr long long kNoSend = -1;
    long long lastSendMinute_ = kNoSend;
    // Each settings file as last loaded: its modification time and size.
    struct Stamp {
        QDateTime modified;
        qint64 size = -1;
        bool operator==(const Stamp&) const = default;
    };
    std::map<QString, Stamp> stamps_;
};
