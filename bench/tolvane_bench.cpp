// Times the program's slow paths over the real platform services (the real
// listing helper, real pauses) in a temporary application folder.
//
//   build/tolvane_bench [runs]
//
// Each case runs `runs` times (default 5) and prints its fastest, median and
// slowest time. A new case is one more entry in the table in main().
//
// On Linux it also starts the two resident programs, tolvane-service and the
// window program, and reads from /proc what they hold in memory after a send
// and the CPU time they use while idle, over TOLVANE_BENCH_IDLE_SECONDS
// (default 60). Meanwhile two more tolvane-service run the alert checks: one
// every 5 minutes over 200 watched names, whose CPU time, the listing helper's
// included, is read over whole intervals (as many as fit in
// TOLVANE_BENCH_IDLE_SECONDS, at least one; 300 s by default), and one every
// minute, whose check.ini is changed so that drive C: turns NG, timed until
// its alert reaches its loopback server.

#include "engine/Engine.h"
#include "engine/SendStatus.h"
#include "mail/Outbox.h"
#include "platform/AppFolder.h"
#include "platform/CommandStart.h"
#include "platform/Credentials.h"
#include "platform/Files.h"
#include "platform/Service.h"
#include "platform/SocketObject.h"
#include "report/MailMod.h"
#include "settings/API.h"
#include "settings/variables.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSemaphore>
#include <QSslCertificate>
#include <QSslSocket>
#include <QStringEncoder>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#ifdef Q_OS_LINUX
#include <unistd.h>
#endif

namespace {

// Runs per case when none is given: enough for a median that one slow run
// does not move.
constexpr int kDefaultRuns = 5;
// A listing helper that has not ended by then has hung.
constexpr qint64 kListingTimeoutMs = 10000;

class TemporaryAppFolder final : public platform::AppFolder {
public:
    QString path() const override { return dir_.path(); }
    bool isValid() const { return dir_.isValid(); }

private:
    QTemporaryDir dir_;
};

// The engine with a face that keeps the status text; boxes, which nobody reads
// during a benchmark, go to standard error.
struct ConsoleFace {
    Engine engine;
    SendStatus status{engine, [](const Notice& box) {
                          std::fprintf(stderr, "%s: %s\n", qUtf8Printable(box.title),
                                       qUtf8Printable(box.text));
                      }};
};

struct Case {
    const char* name;
    // Prepares one run; not timed.
    std::function<void()> prepare;
    // The timed work; false when it failed.
    std::function<bool()> run;
};

void reportSettings(int watchedNames) {
    Settings = SettingsRecord{};
    Settings.mailFrom = QStringLiteral("tolvane@localhost");
    Settings.mailTo = QStringLiteral("admin@localhost");
    Settings.mailSubject = QStringLiteral("Status Tolvane");
    Settings.driveCheck1 = kFlagOn;
    Settings.driveIndex1 = 2; // C:
    Settings.memoryCheck = kFlagOn;
    Settings.showDetails = kFlagOn;
    Settings.showNGDetails = kFlagOn;
    for (int i = 0; i < watchedNames; ++i)
        Settings.watchServices[i] =
            QStringLiteral("   tolvane-bench-%1").arg(i, 3, 10, QChar(u'0'));
}

// One whole run of the check program over the folder's check.ini, from its
// start to its end, as a monitoring engine runs it. It answers CRITICAL (2) for
// the names that do not run.
bool checkProgramRun(const QString& folder) {
    constexpr qint64 kRunTimeoutMs = 30000;
    QProcess check;
    check.start(QCoreApplication::applicationDirPath() + QStringLiteral("/tolvane-check"),
                {QStringLiteral("--dir"), folder});
    return check.waitForFinished(kRunTimeoutMs) && check.exitStatus() == QProcess::NormalExit &&
           (check.exitCode() == 0 || check.exitCode() == 2);
}

bool listingAlone(const QString& folder) {
    const auto running = platform::use<platform::CommandStart>().startServiceListing(
        std::filesystem::path(folder.toStdU16String()), "bench.dat");
    if (!running)
        return false;
    QElapsedTimer clock;
    clock.start();
    while (!running->hasEnded()) {
        if (clock.elapsed() > kListingTimeoutMs)
            return false;
        QThread::usleep(200);
    }
    return true;
}

// A certificate of "localhost" with its key, made by openssl for this run.
struct TestCertificate {
    TestCertificate() {
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"),
                      {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                       QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                       QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                       QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                       QStringLiteral("/CN=localhost"), QStringLiteral("-addext"),
                       QStringLiteral("subjectAltName=DNS:localhost"), QStringLiteral("-keyout"),
                       dir.filePath(QStringLiteral("key.pem")), QStringLiteral("-out"),
                       dir.filePath(QStringLiteral("cert.pem"))});
        made = openssl.waitForFinished(20000) && openssl.exitCode() == 0;
    }
    QString file(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    QTemporaryDir dir;
    bool made = false;
};

// A socket of the server in the thread: offers STARTTLS when it has a
// certificate, and takes any login.
class ServerSocketMaker final : public QTcpServer {
public:
    explicit ServerSocketMaker(const TestCertificate* certificate) : certificate_(certificate) {}

protected:
    void incomingConnection(qintptr descriptor) override {
        auto* peer = new QSslSocket(this);
        peer->setSocketDescriptor(descriptor);
        if (certificate_) {
            peer->setLocalCertificate(certificate_->file("cert.pem"));
            peer->setPrivateKey(certificate_->file("key.pem"), QSsl::Ec);
        }
        addPendingConnection(peer);
    }

private:
    const TestCertificate* certificate_;
};

// An SMTP server on 127.0.0.1 that accepts every mail, in a thread of its own,
// so that the client being timed has the main thread's event loop to itself.
// With a certificate it offers STARTTLS and a login. It notes the subject of
// each mail it takes and when it took it.
class LoopbackSmtpServer final : public QThread {
public:
    using Moment = std::chrono::steady_clock::time_point;

    explicit LoopbackSmtpServer(const TestCertificate* certificate = nullptr)
        : certificate_(certificate) {
        start();
        ready_.acquire();
    }
    ~LoopbackSmtpServer() override {
        quit();
        wait();
    }
    quint16 port() const { return port_; }
    // Waits for a client to say QUIT after handing over a mail; false when
    // none has by the deadline.
    bool awaitMail(int timeoutMs) { return mails_.tryAcquire(1, timeoutMs); }
    // When the server took the first mail whose subject begins with `start`,
    // waiting for one until `deadline`; nothing when none has come by then.
    std::optional<Moment> awaitSubject(const QByteArray& start, Moment deadline) {
        std::unique_lock lock(takenMutex_);
        std::optional<Moment> found;
        mailTaken_.wait_until(lock, deadline, [&] {
            for (const auto& [subject, at] : taken_) {
                if (subject.startsWith(start)) {
                    found = at;
                    return true;
                }
            }
            return false;
        });
        return found;
    }

protected:
    void run() override {
        ServerSocketMaker server(certificate_);
        server.listen(QHostAddress::LocalHost, 0);
        port_ = server.serverPort();
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this, &server] {
            while (QTcpSocket* peer = server.nextPendingConnection())
                serve(static_cast<QSslSocket*>(peer));
        });
        ready_.release();
        exec();
    }

private:
    struct Dialogue {
        bool inData = false;
        // Within the message text, before the empty line that ends its header.
        bool inHeader = false;
        QByteArray subject;
        int mails = 0;
    };

    void took(const QByteArray& subject) {
        {
            const std::lock_guard lock(takenMutex_);
            taken_.emplace_back(subject, std::chrono::steady_clock::now());
        }
        mailTaken_.notify_all();
    }

    void serve(QSslSocket* peer) {
        auto dialogue = std::make_shared<Dialogue>();
        QObject::connect(peer, &QTcpSocket::disconnected, peer, &QObject::deleteLater);
        QObject::connect(peer, &QTcpSocket::readyRead, peer, [this, peer, dialogue] {
            while (peer->canReadLine()) {
                const QByteArray line = peer->readLine();
                if (dialogue->inData) {
                    if (line == ".\r\n") {
                        dialogue->inData = false;
                        ++dialogue->mails;
                        took(std::exchange(dialogue->subject, {}));
                        peer->write("250 queued\r\n");
                    } else if (line == "\r\n") {
                        dialogue->inHeader = false;
                    } else if (dialogue->inHeader && line.startsWith("Subject: ")) {
                        dialogue->subject = line.mid(9).trimmed();
                    }
                    continue;
                }
                const QByteArray verb = line.left(4).toUpper();
                if (verb == "EHLO") {
                    peer->write(peer->isEncrypted() || peer->localCertificate().isNull()
                                    ? "250-bench\r\n250 AUTH PLAIN\r\n"
                                    : "250-bench\r\n250 STARTTLS\r\n");
                } else if (verb == "STAR") {
                    peer->write("220 go ahead\r\n");
                    peer->startServerEncryption();
                } else if (verb == "AUTH") {
                    peer->write("235 ok\r\n");
                } else if (verb == "DATA") {
                    dialogue->inData = true;
                    dialogue->inHeader = true;
                    peer->write("354 end with .\r\n");
                } else if (verb == "QUIT") {
                    peer->write("221 bye\r\n");
                    peer->disconnectFromHost();
                    mails_.release(std::exchange(dialogue->mails, 0));
                    return;
                } else {
                    peer->write("250 ok\r\n");
                }
            }
        });
        peer->write("220 bench ready\r\n");
    }

    const TestCertificate* certificate_;
    QSemaphore ready_;
    QSemaphore mails_;
    quint16 port_ = 0;
    std::mutex takenMutex_;
    std::condition_variable mailTaken_;
    std::vector<std::pair<QByteArray, Moment>> taken_;
};

double median(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void printTimes(const char* name, std::vector<double> times) {
    std::sort(times.begin(), times.end());
    std::printf("%-40s %8.2f / %8.2f / %8.2f\n", name, times.front(), times[times.size() / 2],
                times.back());
}

// One whole SMTP dialogue of the program (connect to "送信完了") beside curl
// sending the same text to the same server: curl's own measure of the
// transfer (-w time_total), and the wall time of its process. With a
// certificate: STARTTLS and a login, and curl with --ssl-reqd.
bool benchSmtp(int runs, ConsoleFace& face, const TestCertificate* certificate) {
    constexpr qint64 kDialogueTimeoutMs = 10000;
    LoopbackSmtpServer server(certificate);
    reportSettings(0);
    Settings.smtpServer = QStringLiteral("localhost");
    QStringList tlsOptions;
    if (certificate) {
        Settings.smtpSecurity = kSecurityStartTls;
        const auto cert = QSslCertificate::fromPath(certificate->file("cert.pem")).value(0);
        Settings.smtpFingerprint =
            QString::fromLatin1(cert.digest(QCryptographicHash::Sha256).toHex());
        if (!platform::use<platform::Credentials>().write(
                platform::appFile(API::kLoginFile),
                {QStringLiteral("bench"), QStringLiteral("secret")}))
            return false;
        tlsOptions = {QStringLiteral("--ssl-reqd"),   QStringLiteral("--cacert"),
                      certificate->file("cert.pem"),  QStringLiteral("--user"),
                      QStringLiteral("bench:secret"), QStringLiteral("--sasl-ir")};
    }
    MailMod::Mail mail;
    if (MailMod::ComposeReport(mail) != 0)
        return false;
    Settings.smtpPort = server.port();

    QTemporaryDir dir;
    QFile message(dir.filePath(QStringLiteral("report.eml")));
    QStringEncoder encode(QStringConverter::System);
    if (!message.open(QIODevice::WriteOnly) || message.write(encode(mail.mailText)) < 0)
        return false;
    message.close();

    std::vector<double> dialogue, curlOwn, curlProcess;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        face.engine.queue.Enqueue(mail);
        // Wakes the loop below now and then, should the dialogue hang.
        QTimer guard;
        guard.start(100);
        while (face.status.text() == QStringLiteral("送信中...") &&
               clock.elapsed() < kDialogueTimeoutMs)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        if (face.status.text() != QStringLiteral("送信完了")) {
            std::fprintf(stderr, "the dialogue ended with \"%s\"\n",
                         qUtf8Printable(face.status.text()));
            return false;
        }
        dialogue.push_back(ms);

        QProcess curl;
        clock.restart();
        curl.start(QStringLiteral("curl"),
                   QStringList{QStringLiteral("-sS"),
                               QStringLiteral("smtp://localhost:%1").arg(server.port()),
                               QStringLiteral("--mail-from"), Settings.mailFrom,
                               QStringLiteral("--mail-rcpt"), Settings.mailTo, QStringLiteral("-T"),
                               message.fileName(), QStringLiteral("-w"),
                               QStringLiteral("%{time_total}")} +
                       tlsOptions);
        if (!curl.waitForFinished(kDialogueTimeoutMs) || curl.exitCode() != 0) {
            std::fprintf(stderr, "curl: %s\n", curl.readAllStandardError().constData());
            return false;
        }
        curlProcess.push_back(double(clock.nsecsElapsed()) / 1e6);
        curlOwn.push_back(curl.readAllStandardOutput().trimmed().toDouble() * 1000.0);
    }
    platform::use<platform::Files>().remove(platform::appFile(API::kLoginFile));
    const char* kind = certificate ? "STARTTLS and login" : "plain";
    std::printf("SMTP, %s:\n", kind);
    printTimes("  dialogue, connect to done", dialogue);
    printTimes("  curl, same text (its time_total)", curlOwn);
    printTimes("  curl, same text (process wall time)", curlProcess);
    const double ratio = median(dialogue) / median(curlOwn);
    std::printf("%-40s %8.2f (goal: at most 1.5)\n", "  median dialogue / curl time_total", ratio);
    return true;
}

#ifdef Q_OS_LINUX

// What /proc says of a running process: its resident memory, the CPU time it
// has used so far, user and system, and that of its children that have ended
// and that it has waited for, in clock ticks; negative when unread.
struct ProcessUse {
    double residentMb = -1;
    qint64 cpuTicks = -1;
    qint64 childTicks = -1;
};

ProcessUse processUse(qint64 pid) {
    ProcessUse use;
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:")) // "VmRSS:     12345 kB"
                use.residentMb = line.mid(6).simplified().split(' ').value(0).toDouble() / 1024;
        }
    }
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        // The name in brackets may hold blanks; after it come the state (field
        // 3) and the others, utime and stime being fields 14 and 15, cutime
        // and cstime 16 and 17.
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 14) {
            use.cpuTicks = fields[11].toLongLong() + fields[12].toLongLong();
            use.childTicks = fields[13].toLongLong() + fields[14].toLongLong();
        }
    }
    return use;
}

// Waits until `holds`, looking every 50 ms; false when it does not by
// `timeoutMs`.
bool awaitCondition(const std::function<bool()>& holds, qint64 timeoutMs) {
    constexpr unsigned kPollMs = 50;
    QElapsedTimer clock;
    clock.start();
    while (!holds()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QThread::msleep(kPollMs);
    }
    return true;
}

// A file's modification time; invalid while it does not exist.
QDateTime modifiedAt(const QString& path) {
    const QFileInfo info(path);
    return info.exists() ? info.lastModified() : QDateTime();
}

// What a resident program is set up with besides the report's settings.
struct ResidentSetup {
    // Watched names, as reportSettings() makes them.
    int watchedNames = 0;
    // sendtime.ini line 26: the minutes between the alert checks; 0, none.
    std::int16_t alertMinutes = 0;
    // One report waits in the outbox.
    bool reportWaiting = true;
};

// A resident program on a settings folder of its own that sends to a loopback
// server of its own. By default one report waits in its outbox, which it tries
// 15 s after its start, and no hour is flagged for sending, so that it idles
// afterwards.
class ResidentProgram {
public:
    bool start(const char* program, const QProcessEnvironment& environment,
               const ResidentSetup& setup = {}) {
        constexpr int kStartTimeoutMs = 10000;
        platform::ScopedOverride<platform::AppFolder> inPlace(folder_);
        reportSettings(setup.watchedNames);
        Settings.smtpServer = QStringLiteral("127.0.0.1");
        Settings.smtpPort = server_.port();
        Settings.keepFailedReports = kFlagOn;
        Settings.sendMinute = QStringLiteral("0");
        Settings.alertMinutes = setup.alertMinutes;
        settings_ = Settings;
        if (!folder_.isValid() || !API::WriteCheckSettings(Settings) ||
            !API::WriteSmtpSettings(Settings) || !API::WriteSendTimeSettings(Settings))
            return false;
        if (setup.reportWaiting) {
            const QString outbox = platform::appFile(MailMod::kOutboxFolder);
            QFile report(QDir(outbox).filePath(QStringLiteral("20261207T000000Z-1.eml")));
            const QString text = QStringLiteral("From: a@b\r\nTo: c@d\r\nSubject: x\r\nX-Mailer: "
                                                "y\r\nDate: %1\r\n\r\nbody\r\n")
                                     .arg(QDateTime::currentDateTime().toString(Qt::RFC2822Date));
            if (!QDir().mkpath(outbox) || !report.open(QIODevice::WriteOnly) ||
                report.write(text.toLatin1()) < 0)
                return false;
        }
        process_.setProcessEnvironment(environment);
        process_.start(QCoreApplication::applicationDirPath() + u'/' + QLatin1String(program),
                       {QStringLiteral("--dir"), folder_.path()});
        return process_.waitForStarted(kStartTimeoutMs);
    }

    // Whether the server has taken the report and the program has said QUIT.
    bool awaitSend() {
        constexpr int kSendTimeoutMs = 60000;
        return server_.awaitMail(kSendTimeoutMs);
    }

    ProcessUse use() const { return processUse(process_.processId()); }

    LoopbackSmtpServer& server() { return server_; }

    // Rewrites check.ini whole, as the dialogs do, with the settings the
    // program started with as `change` leaves them.
    bool changeChecks(const std::function<void(SettingsRecord&)>& change) {
        platform::ScopedOverride<platform::AppFolder> inPlace(folder_);
        SettingsRecord changed = settings_;
        change(changed);
        return API::WriteCheckSettings(changed);
    }

    // Waits for the alert check at the program's start, which writes the
    // verdicts file for the first time.
    bool awaitFirstAlertCheck() {
        constexpr qint64 kCheckTimeoutMs = 30000;
        const QString verdicts = QDir(folder_.path()).filePath(Alerts::kVerdictsFile);
        return awaitCondition([&] { return modifiedAt(verdicts).isValid(); }, kCheckTimeoutMs);
    }

    // Waits until `checks` more alert checks have ended, each of which
    // rewrites the verdicts file last; false when they have not by
    // `timeoutMs`. It reads only the folder, so another thread may wait.
    bool awaitAlertChecks(int checks, qint64 timeoutMs) const {
        const QString verdicts = QDir(folder_.path()).filePath(Alerts::kVerdictsFile);
        QDateTime seen = modifiedAt(verdicts);
        return awaitCondition(
            [&] {
                const QDateTime now = modifiedAt(verdicts);
                if (now != seen) {
                    seen = now;
                    --checks;
                }
                return checks <= 0;
            },
            timeoutMs);
    }

    // Asks the program to end (SIGTERM); true once it has ended.
    bool end() {
        constexpr int kEndTimeoutMs = 10000;
        process_.terminate();
        return process_.waitForFinished(kEndTimeoutMs);
    }

    QByteArray standardError() { return process_.readAllStandardError(); }

private:
    TemporaryAppFolder folder_;
    LoopbackSmtpServer server_;
    QProcess process_;
    SettingsRecord settings_;
};

// The headless program and the window program side by side, each after one
// send: the memory each holds, and the CPU time each uses over the same idle
// window, reckoned for an hour.
bool benchResidentPrograms() {
    constexpr int kDefaultIdleSeconds = 60;
    bool ok = false;
    int idleSeconds = qEnvironmentVariableIntValue("TOLVANE_BENCH_IDLE_SECONDS", &ok);
    if (!ok || idleSeconds <= 0)
        idleSeconds = kDefaultIdleSeconds;
    QProcessEnvironment offscreen = QProcessEnvironment::systemEnvironment();
    offscreen.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    ResidentProgram headless, window;
    const bool sent = headless.start("tolvane-service", QProcessEnvironment::systemEnvironment()) &&
                      window.start("tolvane", offscreen) && headless.awaitSend() &&
                      window.awaitSend();
    const ProcessUse headlessBefore = headless.use(), windowBefore = window.use();
    if (sent)
        QThread::sleep(idleSeconds);
    const ProcessUse headlessAfter = headless.use(), windowAfter = window.use();
    const bool headlessEnded = headless.end();
    const bool windowEnded = window.end();
    if (!sent || !headlessEnded || !windowEnded || headlessAfter.cpuTicks < 0 ||
        windowAfter.cpuTicks < 0) {
        std::fprintf(stderr, "tolvane-service:\n%s\ntolvane:\n%s\n",
                     headless.standardError().constData(), window.standardError().constData());
        return false;
    }
    // The kernel counts CPU time in whole ticks: one tick in the window, in
    // seconds an hour, is the least figure above 0 that can show.
    const double oneTickAnHour = 3600.0 / idleSeconds / double(sysconf(_SC_CLK_TCK));
    std::printf("resident programs, after one send; idle over %d s (one tick: %.2f s an hour):\n",
                idleSeconds, oneTickAnHour);
    std::printf("%-40s %8.2f\n", "  resident memory, headless (MB)", headlessBefore.residentMb);
    std::printf("%-40s %8.2f\n", "  resident memory, window program (MB)", windowBefore.residentMb);
    std::printf("%-40s %8.2f (goal: at most 0.6)\n", "  resident memory, headless / window",
                headlessBefore.residentMb / windowBefore.residentMb);
    std::printf("%-40s %8.2f (goal: at most 0.3 s)\n", "  cpu per idle hour, headless",
                double(headlessAfter.cpuTicks - headlessBefore.cpuTicks) * oneTickAnHour);
    std::printf("%-40s %8.2f (goal: at most 0.5 s)\n", "  cpu per idle hour, window program",
                double(windowAfter.cpuTicks - windowBefore.cpuTicks) * oneTickAnHour);
    return true;
}

// The alert checks of tolvane-service, while `meanwhile` runs. What the checks
// cost every 5 minutes over 200 watched names: the CPU time over whole check
// intervals, from just after the check at the start to just after a later one,
// reckoned for an hour; the listing helper that each check starts and waits
// for counts too (cutime and cstime). And how soon, with a check every minute,
// an alert reaches the mail server after check.ini changes on disk.
bool benchAlerts(const std::function<void()>& meanwhile) {
    constexpr std::int16_t kCostlyMinutes = 5;
    constexpr int kCostlyNames = 200;
    constexpr int kDefaultWindowSeconds = 300;
    constexpr std::int16_t kQuickMinutes = 1;
    bool ok = false;
    int windowSeconds = qEnvironmentVariableIntValue("TOLVANE_BENCH_IDLE_SECONDS", &ok);
    if (!ok || windowSeconds <= 0)
        windowSeconds = kDefaultWindowSeconds;
    // As many whole intervals as fit, at least one, so that the window holds
    // its share of an hour's checks.
    const int intervals = std::max(1, windowSeconds / (60 * kCostlyMinutes));
    const qint64 windowTimeoutMs = (intervals * 60LL * kCostlyMinutes + 120) * 1000;
    // The check after a change comes at the first tick of the scheduler once
    // the interval has passed.
    const std::chrono::seconds goal(60 * kQuickMinutes + 60);

    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    ResidentProgram costly, quick;
    bool started =
        costly.start("tolvane-service", environment, {kCostlyNames, kCostlyMinutes, false}) &&
        quick.start("tolvane-service", environment, {0, kQuickMinutes, false}) &&
        costly.awaitFirstAlertCheck() && quick.awaitFirstAlertCheck();
    // The first check took drive C: as OK; a limit far above any free space
    // turns it NG.
    started = started && quick.changeChecks([](SettingsRecord& changed) {
        changed.driveLimitMB1 = std::numeric_limits<std::int32_t>::max();
    });
    const LoopbackSmtpServer::Moment changedAt = std::chrono::steady_clock::now();

    // The window runs in a thread of its own beside `meanwhile`; it reads only
    // /proc and the folder.
    ProcessUse before, after;
    double windowLength = 0;
    bool checked = false;
    std::thread window;
    if (started) {
        window = std::thread([&] {
            before = costly.use();
            QElapsedTimer clock;
            clock.start();
            checked = costly.awaitAlertChecks(intervals, windowTimeoutMs);
            after = costly.use();
            windowLength = double(clock.nsecsElapsed()) / 1e9;
        });
    }
    meanwhile();
    if (window.joinable())
        window.join();
    std::optional<LoopbackSmtpServer::Moment> arrived;
    if (started)
        arrived = quick.server().awaitSubject("[NG] ", changedAt + 2 * goal);
    const bool costlyEnded = costly.end();
    const bool quickEnded = quick.end();
    const bool measured = checked && before.cpuTicks >= 0 && after.cpuTicks >= 0;
    if (!started || !measured || !arrived || !costlyEnded || !quickEnded) {
        std::fprintf(stderr, "tolvane-service, alerts every %d min:\n%s\n", int(kCostlyMinutes),
                     costly.standardError().constData());
        std::fprintf(stderr, "tolvane-service, alerts every %d min:\n%s\n", int(kQuickMinutes),
                     quick.standardError().constData());
    }
    const QString cost = QStringLiteral("  cpu per hour, alerts every %1 min, %2 names")
                             .arg(kCostlyMinutes)
                             .arg(kCostlyNames);
    const char* const arrival = "  time from a change to the alert's arrival";
    if (measured) {
        const double secondsPerTick = 1.0 / double(sysconf(_SC_CLK_TCK));
        const double anHour = 3600.0 / windowLength;
        std::printf("alert checks of tolvane-service; cpu over %.0f s, children included (one "
                    "tick: %.2f s an hour):\n",
                    windowLength, anHour * secondsPerTick);
        const qint64 ticks =
            after.cpuTicks + after.childTicks - before.cpuTicks - before.childTicks;
        std::printf("%-46s %8.2f (goal: at most 1.5 s)\n", qUtf8Printable(cost),
                    double(ticks) * secondsPerTick * anHour);
    } else {
        std::printf("%-46s FAILED\n", qUtf8Printable(cost));
    }
    if (arrived) {
        std::printf("%-46s %8.2f (goal: at most %lld s)\n", arrival,
                    std::chrono::duration<double>(*arrived - changedAt).count(),
                    static_cast<long long>(goal.count()));
    } else {
        std::printf("%-46s FAILED\n", arrival);
    }
    return started && measured && arrived && costlyEnded && quickEnded;
}

#endif

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : kDefaultRuns;

    TemporaryAppFolder folder;
    if (!folder.isValid()) {
        std::fprintf(stderr, "cannot create a temporary application folder\n");
        return 1;
    }
    platform::ScopedOverride<platform::AppFolder> folderInPlace(folder);
    ConsoleFace face;

    const std::vector<Case> cases = {
        {"service listing alone (start to end)", [] {},
         [&] { return listingAlone(folder.path()); }},
        {"ComposeReport, no watched names", [] { reportSettings(0); },
         [] {
             MailMod::Mail mail;
             return MailMod::ComposeReport(mail) == 0;
         }},
        {"ComposeReport, 200 watched names", [] { reportSettings(200); },
         [] {
             MailMod::Mail mail;
             return MailMod::ComposeReport(mail) == 0;
         }},
        {"tolvane-check run, 200 watched names",
         [] {
             reportSettings(200);
             API::WriteCheckSettings(Settings);
         },
         [&] { return checkProgramRun(folder.path()); }},
    };

    std::printf("%d runs per case; times in ms (fastest / median / slowest)\n", runs);
    int failed = 0;
    std::map<std::string, double> medians;
    for (const Case& c : cases) {
        std::vector<double> times;
        for (int i = 0; i < runs; ++i) {
            c.prepare();
            QElapsedTimer clock;
            clock.start();
            const bool ok = c.run();
            const double ms = double(clock.nsecsElapsed()) / 1e6;
            if (!ok) {
                std::printf("%-40s FAILED\n", c.name);
                ++failed;
                times.clear();
                break;
            }
            times.push_back(ms);
        }
        if (times.empty())
            continue;
        std::sort(times.begin(), times.end());
        std::printf("%-40s %8.1f / %8.1f / %8.1f\n", c.name, times.front(), times[times.size() / 2],
                    times.back());
        medians[c.name] = median(times);
    }
    // A monitoring engine may run the check every minute: a run, process start
    // included, should cost no more than composing the report does.
    if (medians.count("tolvane-check run, 200 watched names") &&
        medians.count("ComposeReport, 200 watched names"))
        std::printf("%-40s %8.2f (goal: at most 1.1)\n", "median check run / composition",
                    medians["tolvane-check run, 200 watched names"] /
                        medians["ComposeReport, 200 watched names"]);
    const TestCertificate certificate;
    for (const TestCertificate* tls :
         {static_cast<const TestCertificate*>(nullptr), &certificate}) {
        if (!(tls && !tls->made) && benchSmtp(runs, face, tls))
            continue;
        std::printf("%-40s FAILED\n", tls ? "SMTP with TLS and curl" : "SMTP dialogue and curl");
        ++failed;
    }
#ifdef Q_OS_LINUX
    // The alert checks' windows are the longest: the resident programs are
    // measured within them.
    bool residentMeasured = false;
    if (!benchAlerts([&] { residentMeasured = benchResidentPrograms(); })) {
        std::printf("%-40s FAILED\n", "alert checks, cpu and time to an alert");
        ++failed;
    }
    if (!residentMeasured) {
        std::printf("%-40s FAILED\n", "resident programs, memory and idle cpu");
        ++failed;
    }
#else
    std::printf("resident programs and alerts: not measured (/proc is Linux's)\n");
#endif
    Settings = SettingsRecord{};
    return failed == 0 ? 0 : 1;
}
