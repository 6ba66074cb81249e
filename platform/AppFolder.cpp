#include "platform/AppFolder.h"

#include "platform/Service.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace platform {

namespace {
class SettingsFolder final : public AppFolder {
public:
    QString path() const override {
        return given.isEmpty() ? QCoreApplication::applicationDirPath() : given;
    }
    QString given;
};
SettingsFolder settingsFolder;
} // namespace

AppFolder& AppFolder::system() {
    return settingsFolder;
}

QString UseFolderOption(const QStringList& arguments) {
    const qsizetype at = arguments.indexOf(QStringLiteral("--dir"));
    if (at < 0)
        return {};
    if (at + 1 >= arguments.size())
        return QStringLiteral("--dir needs a folder");
    return UseFolder(arguments[at + 1]);
}

QString UseFolder(const QString& folder) {
    if (!QFileInfo(folder).isDir())
        return QStringLiteral("folder '%1' does not exist").arg(folder);
    settingsFolder.given = QDir(folder).absolutePath();
    return {};
}

QString appFile(const QString& name) {
    return QDir(use<AppFolder>().path()).filePath(name);
}

} // namespace platform
