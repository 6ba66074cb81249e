// tolvane-service [--dir FOLDER] [--service]: the monitor without a window.
// It runs the engine until it is asked to end, scheduling the reports,
// sending them and trying kept ones again. From a console (SIGTERM or SIGINT;
// Ctrl+C on Windows ends it) what the window would show in a box goes to
// standard error, one line per event with the time. Started with --service by
// the Windows service control manager, it is the service Tolvane, and each
// event goes to the event log instead; elsewhere --service changes nothing.
// It keeps the folder's status file for a window on the same folder.
//
// Exit status: 0 when asked to end; 1 when a settings file cannot be loaded
// at start; 2 for a wrong command line; 3 when another program already
// schedules for the folder (it holds the folder's lock).

#include "engine/Engine.h"
#include "platform/AppFolder.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/Service.h"
#include "platform/ServiceHost.h"
#include "platform/Termination.h"
#include "settings/API.h"

#include <QCoreApplication>
#include <QDir>
#include <iterator>
#include <utility>

namespace {

using platform::ServiceEvent;

// One event: in the event log for the service; otherwise one line on
// standard error, the time, then the words, their line ends folded into
// blanks. The words without an event (sending, the waiting count) stay out
// of the event log, where "sent" or "failed" follows them.
void log(std::optional<ServiceEvent> event, const QString& text) {
    if (platform::ReportServiceEvent(event, text))
        return;
    QString line =
        platform::use<platform::Clock>().now().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) +
        text;
    line.replace(QStringLiteral("\r\n"), QStringLiteral(" ")).replace(u'\n', u' ');
    platform::writeStandardError(line.append(u'\n').toStdU16String());
}

// The event of each kind of notice, in the order of Notice::Kind.
constexpr ServiceEvent kEventOfNotice[] = {ServiceEvent::SendFailed, ServiceEvent::ReportKept,
                                           ServiceEvent::GivenUp, ServiceEvent::SettingsFault,
                                           ServiceEvent::RecipientsRefused};
static_assert(std::size(kEventOfNotice) ==
              static_cast<std::size_t>(Notice::Kind::RecipientsRefused) + 1);

ServiceEvent eventOf(Notice::Kind kind) {
    return kEventOfNotice[static_cast<std::size_t>(kind)];
}

void log(const Notice& box) {
    log(eventOf(box.kind), box.title + QStringLiteral(": ") + box.text);
}

int run(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments().mid(1);
    if (const QString fault = platform::UseFolderOption(arguments); !fault.isEmpty()) {
        log(ServiceEvent::SettingsFault, QStringLiteral("tolvane-service: ") + fault);
        return 2;
    }
    if (const qsizetype dir = arguments.indexOf(QStringLiteral("--dir")); dir >= 0)
        arguments.remove(dir, 2);
    arguments.removeAll(platform::kServiceOption);
    if (!arguments.isEmpty()) {
        log(ServiceEvent::SettingsFault,
            QStringLiteral("usage: tolvane-service [--dir FOLDER] [--service]"));
        return 2;
    }
    const QString folder = QDir::toNativeSeparators(platform::use<platform::AppFolder>().path());
    try {
        Engine::LoadSettingsFiles();
    } catch (const API::LoadError& error) {
        log(ServiceEvent::SettingsFault, error.message());
        return 1;
    }
    Engine engine(platform::RunsAsService() ? Engine::Face::Service : Engine::Face::Console);
    if (!engine.schedules()) {
        log(ServiceEvent::SettingsFault,
            QStringLiteral("tolvane-service: another program already schedules the reports of "
                           "%1 (it holds %2); this one ends.")
                .arg(folder, Engine::kLockFile));
        return 3;
    }
    QObject::connect(&engine, &Engine::sending,
                     [] { log(std::nullopt, QStringLiteral("送信中...")); });
    QObject::connect(&engine, &Engine::sent,
                     [] { log(ServiceEvent::Sent, QStringLiteral("送信完了")); });
    QObject::connect(&engine, &Engine::failed, [](const Notice& box, bool quiet) {
        if (quiet)
            log(eventOf(box.kind), QStringLiteral("送信エラー（再送します）: ") + box.text);
        else
            log(box);
    });
    QObject::connect(&engine, &Engine::notice, [](const Notice& box) { log(box); });
    QObject::connect(&engine, &Engine::waitingChanged, [waiting = 0](int count) mutable {
        if (std::exchange(waiting, count) != count)
            log(std::nullopt, QStringLiteral("再送待ち %1件").arg(count));
    });
    platform::OnTerminationRequest([&engine] {
        engine.Stop();
        log(ServiceEvent::Stopped, QStringLiteral("tolvane-service: stopped"));
        QCoreApplication::quit();
    });
    engine.Start();
    log(ServiceEvent::Started, QStringLiteral("tolvane-service: started for %1").arg(folder));
    platform::ServiceRunning();
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char* argv[]) {
    return platform::RunServiceHost(argc, argv, run);
}
