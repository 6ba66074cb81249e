#include "platform/Files.h"

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
        if (encode.hasError())
            return false;
        QSaveFile file(actualPath(path));
        if (!file.open(QIODevice::WriteOnly))
            return false;
        // A cut-off write (a full disk, a file-size limit) can pass for a
        // success at every call; the size on disk tells.
        if (file.write(bytes) != bytes.size() || !file.flush() || file.size() != bytes.size()) {
            file.cancelWriting();
            return false;
        }
        return file.commit();
    }

    bool remove(const QString& path) override { return QFile::remove(actualPath(path)); }
};

} // namespace

Files& Files::system() {
    static SystemFiles files;
    return files;
}

} // namespace platform
