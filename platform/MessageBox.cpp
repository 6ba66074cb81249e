#include "platform/MessageBox.h"

#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>
#include <cstdio>
#include <memory>

namespace platform {

namespace {
class WidgetMessageBox final : public MessageBox {
public:
    int show(const QString& text, const QString& title, int style) override {
        const bool yesNo = style == kYesNo;
        if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(text));
            std::fflush(stderr);
            return yesNo ? kYes : kOk;
        }
        QMessageBox box;
        box.setIcon(QMessageBox::NoIcon);
        box.setWindowTitle(title);
        box.setText(text);
        if (!yesNo) {
            box.setStandardButtons(QMessageBox::Ok);
            box.exec();
            return kOk;
        }
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? kYes : kNo;
    }
};
} // namespace

MessageBox& MessageBox::system() {
    static WidgetMessageBox box;
    return box;
}

QTranslator* InstallQtTranslation(const QLocale& locale) {
    if (locale.language() != QLocale::Japanese)
        return nullptr;
    auto translator = std::make_unique<QTranslator>(QCoreApplication::instance());
    for (const QString& folder :
         {QCoreApplication::applicationDirPath() + QStringLiteral("/translations"),
          QLibraryInfo::path(QLibraryInfo::TranslationsPath)}) {
        if (translator->load(QStringLiteral("qtbase_ja"), folder)) {
            QCoreApplication::installTranslator(translator.get());
            return translator.release();
        }
    }
    return nullptr;
}

} // namespace platform
