#include "app/frmMain.h"
#include "engine/Engine.h"
#include "platform/AppFolder.h"
#include "platform/MessageBox.h"
#include "platform/Service.h"
#include "platform/Termination.h"
#include "settings/API.h"

#include <QApplication>
#include <QLatin1StringView>
#include <QLocale>
#include <cstdio>

namespace {

bool onOffscreenPlatform() {
    return QGuiApplication::platformName() == QLatin1String("offscreen");
}

// Warnings that Qt prints on the offscreen platform about what a server has no
// use for (a runtime folder for a display server, window size hints). Under
// the service, standard error is the journal, which should hold the program's
// own messages only.
constexpr QLatin1StringView kOffscreenChatter[] = {
    QLatin1StringView("QStandardPaths: XDG_RUNTIME_DIR not set"),
    QLatin1StringView("This plugin does not support "),
};

QtMessageHandler qtHandler = nullptr;

void filterOffscreenChatter(QtMsgType type, const QMessageLogContext& context,
                            const QString& message) {
    if (type == QtWarningMsg && onOffscreenPlatform()) {
        for (const QLatin1StringView chatter : kOffscreenChatter) {
            if (message.startsWith(chatter))
                return;
        }
    }
    qtHandler(type, context, message);
}

} // namespace

int main(int argc, char* argv[]) {
    qtHandler = qInstallMessageHandler(filterOffscreenChatter);
    QApplication app(argc, argv);
    // The buttons of the boxes in Japanese on a Japanese system, as the rest.
    platform::InstallQtTranslation(QLocale::system());
    // The monitor lives while its main window exists, shown or hidden in the
    // tray: a message box closed while the window is hidden is the last window
    // closed, and must not end the process.
    QApplication::setQuitOnLastWindowClosed(false);
    // tolvane [--dir FOLDER]: the settings folder, by default the program's.
    if (const QString fault = platform::UseFolderOption(QApplication::arguments());
        !fault.isEmpty()) {
        std::fprintf(stderr, "tolvane: %s\n", qPrintable(fault));
        return 2;
    }
    frmMain window;
    try {
        window.Form_Load();
    } catch (const API::LoadError& error) {
        const QString text = error.message();
        // On the offscreen platform the box itself writes "title: text" there.
        if (!onOffscreenPlatform()) {
            std::fprintf(stderr, "%s\n", qPrintable(text));
            std::fflush(stderr);
        }
        platform::use<platform::MessageBox>().show(text, QStringLiteral("エラー"),
                                                   platform::MessageBox::kOkOnly);
        return 1;
    }
    window.show();
    // Reports kept after a failed send (before a crash or a restart too).
    window.engine->Start();
    // Asked to end by the system (SIGTERM at a shutdown, say): a report under
    // way is kept for the next start, as the monitor without a window does.
    platform::OnTerminationRequest([&window] {
        window.engine->Stop();
        QApplication::quit();
    });
    return QApplication::exec();
}
