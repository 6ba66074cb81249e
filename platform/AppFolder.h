#pragma once

#include <QString>
#include <QStringList>

namespace platform {

// The application folder: where the settings files and capture files live.
// The folder of the executable, unless the program was given another one.
class AppFolder {
public:
    virtual ~AppFolder() = default;
    // Absolute path of the folder, without a trailing separator.
    virtual QString path() const = 0;
    static AppFolder& system();
};

// The folder given to the program, the settings folder from then on in place
// of the executable's. An error text for the operator when it does not
// exist; empty when all is well.
QString UseFolder(const QString& folder);
// The same for `--dir FOLDER` among a program's arguments: an error text also
// when the option lacks its folder; empty without the option.
QString UseFolderOption(const QStringList& arguments);

// Full path of a file in the application folder.
QString appFile(const QString& name);

} // namespace platform
