#pragma once

#include <QString>

namespace platform {

// The application folder: where the settings files and capture files live.
class AppFolder {
public:
    virtual ~AppFolder() = default;
    // Absolute path of the folder, without a trailing separator.
    virtual QString path() const = 0;
    static AppFolder& system();
};

// Full path of a file in the application folder.
QString appFile(const QString& name);

} // namespace platform
