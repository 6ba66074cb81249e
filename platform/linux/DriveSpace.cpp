#include "platform/DriveSpace.h"

#include "platform/AppFolder.h"
#include "platform/Service.h"

#include <QDir>
#include <QFile>
#include <sys/stat.h>
#include <sys/statvfs.h>

namespace platform {

namespace {

// Drive X: is the directory that the link dosdevices/x: in the application
// folder points to; without such a link C: is the root directory and no other
// letter names a drive.
class DosDevicesDriveSpace final : public DriveSpace {
public:
    std::optional<VolumeBytes> volume(char letter) override {
        if (letter < 'A' || letter > 'Z')
            return std::nullopt;
        const QString link =
            QDir(use<AppFolder>().path())
                .filePath(QStringLiteral("dosdevices/%1:").arg(QChar(letter - 'A' + 'a')));
        const QByteArray linkPath = QFile::encodeName(link);
        struct stat entry {};
        QByteArray directory;
        if (::lstat(linkPath.constData(), &entry) == 0)
            directory = linkPath; // a dangling link is a drive that is not ready
        else if (letter == 'C')
            directory = "/";
        else
            return std::nullopt;

        struct stat target {};
        if (::stat(directory.constData(), &target) != 0 || !S_ISDIR(target.st_mode))
            return std::nullopt;
        struct statvfs stats {};
        if (::statvfs(directory.constData(), &stats) != 0)
            return std::nullopt;
        // f_bfree, not f_bavail: the whole volume's free space, root's reserve
        // included, as the figure on Windows is.
        return VolumeBytes{static_cast<std::uint64_t>(stats.f_bfree) * stats.f_frsize,
                           static_cast<std::uint64_t>(stats.f_blocks) * stats.f_frsize};
    }
};

} // namespace

DriveSpace& DriveSpace::system() {
    static DosDevicesDriveSpace drives;
    return drives;
}

} // namespace platform
