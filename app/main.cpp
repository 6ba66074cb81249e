#include "app/API.h"
#include "app/frmMain.h"
#include "platform/MessageBox.h"
#include "platform/Service.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // The monitor lives while its main window exists, shown or hidden in the
    // tray: a message box closed while the window is hidden is the last window
    // closed, and must not end the process.
    QApplication::setQuitOnLastWindowClosed(false);
    frmMain window;
    try {
        window.Form_Load();
    } catch (const API::LoadError& error) {
        const QString text = error.message();
        std::fprintf(stderr, "%s\n", qUtf8Printable(text));
        std::fflush(stderr);
        platform::use<platform::MessageBox>().show(text, QStringLiteral("エラー"),
                                                   platform::MessageBox::kOkOnly);
        return 1;
    }
    window.show();
    return QApplication::exec();
}
