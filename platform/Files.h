#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace platform {

// Text files in the system code page. Lines are written with CR LF; a line read
// ends at CR, at CR LF or at a lone LF, and a last line without a line end
// still counts. File names are compared without regard to case, also on a
// case-sensitive file system: every operation takes the file that the name
// means so.
class Files {
public:
    virtual ~Files() = default;
    // Whether a plain file of that name exists.
    virtual bool exists(const QString& path) const = 0;
    // The file's lines, or nothing when it cannot be opened or read.
    virtual std::optional<QStringList> readLines(const QString& path) const = 0;
    // Replaces the file whole: writes a temporary file beside it, flushes it and
    // renames it over the old one. False when any step fails; the old file is
    // then untouched.
    virtual bool writeLines(const QString& path, const QStringList& lines) = 0;
    // False when the file could not be deleted (a missing file included).
    virtual bool remove(const QString& path) = 0;
    static Files& system();
};

// The path of the file that the name means when names are compared without
// regard to case; the path as given when no such file is there.
QString actualPath(const QString& path);

// Splits text into lines by the rule above.
QStringList splitLines(QStringView text);

} // namespace platform
