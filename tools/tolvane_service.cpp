// tolvane-service [--dir FOLDER]: the monitor without a window. It runs the
// engine in the foreground, scheduling the reports, sending them and trying
// kept ones again, until it is asked to end (SIGTERM or SIGINT; Ctrl+C on
// Windows). What the window would show in a box goes to standard error, one
// line per event with the time.
//
// Exit status: 0 when asked to end; 1 when a settings file cannot be loaded
// at start; 2 for a wrong command line; 3 when another program already
// schedules for the folder (it holds the folder's lock).

#include "engine/Engine.h"
#include "platform/AppFolder.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/Service.h"
#include "platform/Termination.h"
#include "settings/API.h"

#include <QCoreApplication>
#include <QDir>
#include <utility>

namespace {

// One line: the time, then the words, their line ends folded into blanks.
void log(const QString& text) {
    QString line =
        platform::use<platform::Clock>().now().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) +
        text;
    line.replace(QStringLiteral("\r\n"), QStringLiteral(" ")).replace(u'\n', u' ');
    platform::writeStandardError(line.append(u'\n').toStdU16String());
}

void log(const Notice& box) {
    log(box.title + QStringLiteral(": ") + box.text);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments().mid(1);
    if (const QString fault = platform::UseFolderOption(arguments); !fault.isEmpty()) {
        log(QStringLiteral("tolvane-service: ") + fault);
        return 2;
    }
    if (const qsizetype dir = arguments.indexOf(QStringLiteral("--dir")); dir >= 0)
        arguments.remove(dir, 2);
    if (!arguments.isEmpty()) {
        log(QStringLiteral("usage: tolvane-service [--dir FOLDER]"));
        return 2;
    }
    const QString folder = QDir::toNativeSeparators(platform::use<platform::AppFolder>().path());
    try {
        Engine::LoadSettingsFiles();
    } catch (const API::LoadError& error) {
        log(error.message());
        return 1;
    }
    Engine engine;
    if (!engine.schedules()) {
        log(QStringLiteral("tolvane-service: another program already schedules the reports of "
                           "%1 (it holds %2); this one ends.")
                .arg(folder, Engine::kLockFile));
        return 3;
    }
    QObject::connect(&engine, &Engine::sending, [] { log(QStringLiteral("送信中...")); });
    QObject::connect(&engine, &Engine::sent, [] { log(QStringLiteral("送信完了")); });
    QObject::connect(&engine, &Engine::failed, [](const Notice& box, bool quiet) {
        if (quiet)
            log(QStringLiteral("送信エラー（再送します）"));
        else
            log(box);
    });
    QObject::connect(&engine, &Engine::notice, [](const Notice& box) { log(box); });
    QObject::connect(&engine, &Engine::waitingChanged, [waiting = 0](int count) mutable {
        if (std::exchange(waiting, count) != count)
            log(QStringLiteral("再送待ち %1件").arg(count));
    });
    platform::OnTerminationRequest([&engine] {
        engine.Stop();
        log(QStringLiteral("tolvane-service: stopped"));
        QCoreApplication::quit();
    });
    engine.Start();
    log(QStringLiteral("tolvane-service: started for %1").arg(folder));
    return QCoreApplication::exec();
}
