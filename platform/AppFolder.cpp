#include "platform/AppFolder.h"

#include "platform/Service.h"

#include <QCoreApplication>
#include <QDir>

namespace platform {

namespace {
class ExecutableFolder final : public AppFolder {
public:
    QString path() const override { return QCoreApplication::applicationDirPath(); }
};
} // namespace

AppFolder& AppFolder::system() {
    static ExecutableFolder folder;
    return folder;
}

QString appFile(const QString& name) {
    return QDir(use<AppFolder>().path()).filePath(name);
}

} // namespace platform
