#include "app/API.h"
#include "app/frmMain.h"
#include "platform/MessageBox.h"
#include "platform/Service.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    frmMain window;
    try {
        window.Form_Load();
    } catch (const API::LoadError& error) {
        const QString text = error.message();
        std::fprintf(stderr, "%s\n", qPrintable(text));
        std::fflush(stderr);
        platform::use<platform::MessageBox>().show(text, QStringLiteral("エラー"),
                                                   platform::MessageBox::kOkOnly);
        return 1;
    }
    window.show();
    return QApplication::exec();
}
