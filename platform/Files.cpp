#include "platform/Files.h"

#include "platform/Service.h"
#include "platform/Sleep.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

namespace platform {

QStringList splitLines(QStringView text) {
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n')
            continue;
        lines.append(text.mid(start, i - start).toString());
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.append(text.mid(start).toString());
    return lines;
}

// As on the systems the settings come from.
QString actualPath(const QString& path) {
    const QFileInfo exact(path);
    if (exact.exists())
        return path;
    const QDir folder = exact.dir();
    const QStringList names = folder.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        if (name.compare(exact.fileName(), Qt::CaseInsensitive) == 0)
            return folder.filePath(name);
    }
    return path;
}

bool replaceFile(const QString& path, const QByteArray& bytes, FileAccess access, QString* fault) {
    constexpr int kAttempts = 10;
    constexpr unsigned kRetryMs = 100;
    constexpr QFileDevice::Permissions kOwnerOnly =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    const bool ownerOnly = access == FileAccess::OwnerOnly;

    // The temporary file gets the permissions of the file it replaces, and with
    // no such file those of any new file. So for its owner alone the target is
    // made so first: narrowed, or created empty (never over a file that appears
    // meanwhile). Both are undone when the file cannot be replaced.
    QFile target(path);
    const bool existed = target.exists();
    const QFileDevice::Permissions former = target.permissions();
    if (ownerOnly) {
        const bool ready = existed
                               ? target.setPermissions(kOwnerOnly)
                               : target.open(QIODevice::WriteOnly | QIODevice::NewOnly, kOwnerOnly);
        target.close();
        if (!ready) {
            if (fault)
                *fault = target.errorString();
            return false;
        }
    }
    for (int attempt = 1;; ++attempt) {
        QSaveFile file(path);
        // A cut-off write (a full disk, a file-size limit) can pass for a
        // success at every call; the size on disk tells.
        const bool whole =
            file.open(QIODevice::WriteOnly) && (!ownerOnly || file.setPermissions(kOwnerOnly)) &&
            file.write(bytes) == bytes.size() && file.flush() && file.size() == bytes.size();
        if (whole && file.commit())
            return true;
        // Only the rename is worth another try: what failed before it would again.
        if (!whole || attempt == kAttempts) {
            if (fault)
                *fault = file.errorString();
            break;
        }
        use<Sleep>().sleep(kRetryMs);
    }
    if (ownerOnly && existed)
        QFile::setPermissions(path, former);
    else if (ownerOnly)
        QFile::remove(path);
    return false;
}

namespace {

class SystemFiles final : public Files {
public:
    bool exists(const QString& path) const override { return QFileInfo(actualPath(path)).isFile(); }

    std::optional<QStringList> readLines(const QString& path) const override {
        QFile file(actualPath(path));
        if (!file.open(QIODevice::ReadOnly))
            return std::nullopt;
        const QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError)
            return std::nullopt;
        QStringDecoder decode(QStringConverter::System);
        const QString text = decode(bytes);
        return splitLines(text);
    }

    bool writeLines(const QString& path, const QStringList& lines) override {
        QStringEncoder encode(QStringConverter::System);
        QByteArray bytes;
        for (const QString& line : lines)
            bytes += encode(line + QStringLiteral("\r\n"));
        return !encode.hasError() && replaceFile(actualPath(path), bytes);
    }

    bool remove(const QString& path) override { return QFile::remove(actualPath(path)); }
};

} // namespace

Files& Files::system() {
    static SystemFiles files;
    return files;
}

} // namespace platform
