#pragma once

#include <QByteArray>
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
    // Replaces the file whole, as replaceFile does.
    virtual bool writeLines(const QString& path, const QStringList& lines) = 0;
    // False when the file could not be deleted (a missing file included).
    virtual bool remove(const QString& path) = 0;
    static Files& system();
};

// Who may open a file that replaceFile writes.
enum class FileAccess {
    // A new file gets the system's default permissions; a replaced one keeps its own.
    Default,
    // Its owner alone may read and write it, at every moment: not even the
    // temporary file, while still empty, can be opened by anyone else. For a
    // secret kept in clear. By the permission bits; on Windows these are only
    // the read-only flag, and the folder's access rules stay in force.
    OwnerOnly,
};

// Replaces the file whole: a temporary file beside it, flushed, renamed over
// it, so that a reader never sees half a file. A rename refused for a moment
// (Windows refuses it while someone holds the old file open to read it) is
// tried again a few times. False when any step fails, with the reason in
// `fault` when given; the old file is then untouched.
bool replaceFile(const QString& path, const QByteArray& bytes,
                 FileAccess access = FileAccess::Default, QString* fault = nullptr);

// The path of the file that the name means when names are compared without
// regard to case; the path as given when no such file is there.
QString actualPath(const QString& path);

// Splits text into lines by the rule above.
QStringList splitLines(QStringView text);

} // namespace platform
