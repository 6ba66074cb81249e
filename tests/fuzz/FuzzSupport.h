#pragma once

// What the fuzz targets share: a temporary application folder for the whole
// run, a line splitter of their own to check the readers against, and the
// way a broken rule ends the run.

#include "platform/AppFolder.h"
#include "platform/Service.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

// A broken rule is a finding like a crash: say which, and abort so that
// libFuzzer keeps the input.
[[noreturn]] inline void fail(const char* rule, const QString& detail = {}) {
    std::fprintf(stderr, "\n*** broken: %s\n%s\n", rule, detail.toUtf8().constData());
    std::abort();
}

inline void check(bool holds, const char* rule, const QString& detail = {}) {
    if (!holds)
        fail(rule, detail);
}

// The application folder of the run: created once, in force from the first
// call on. Each input overwrites a file in it.
class Folder final : public platform::AppFolder {
public:
    static Folder& instance() {
        static Folder folder;
        static platform::ScopedOverride<platform::AppFolder> inForce{folder};
        return folder;
    }
    QString path() const override { return dir_.path(); }

    void write(const QString& name, const QByteArray& bytes) const {
        QFile file(platform::appFile(name));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(bytes) != bytes.size())
            fail("the fuzz folder cannot be written", file.fileName());
    }

    QByteArray read(const QString& name) const {
        QFile file(platform::appFile(name));
        if (!file.open(QIODevice::ReadOnly))
            fail("the fuzz folder cannot be read", file.fileName());
        return file.readAll();
    }

private:
    Folder() {
        if (!dir_.isValid())
            fail("no temporary folder", dir_.errorString());
    }
    // In memory when the system has such a folder: every input goes to disk.
    static QString pattern() {
        const QFileInfo shm(QStringLiteral("/dev/shm"));
        const QString base = shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath();
        return QDir(base).filePath(QStringLiteral("tolvane-fuzz-XXXXXX"));
    }
    QTemporaryDir dir_{pattern()};
};

inline QByteArray bytesOf(const std::uint8_t* data, std::size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

// The lines of a text file as the program documents them: a line ends at CR
// LF, at a lone CR or at a lone LF, and a last line without an end counts.
inline QStringList linesOf(const QString& text) {
    QStringList lines;
    QString line;
    bool afterCr = false;
    bool open = false; // characters since the last line end
    for (const QChar c : text) {
        if (c == u'\n' && afterCr) {
            afterCr = false;
            continue;
        }
        afterCr = c == u'\r';
        if (c == u'\r' || c == u'\n') {
            lines.append(line);
            line.clear();
            open = false;
        } else {
            line.append(c);
            open = true;
        }
    }
    if (open)
        lines.append(line);
    return lines;
}

} // namespace fuzz
