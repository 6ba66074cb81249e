#include "platform/Credentials.h"

#include "platform/Files.h"
#include "platform/Service.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// Written to a file that only its owner may read from the moment it exists
// (mkstemp makes it so), flushed, then renamed over the former one.
bool writeOwnerOnly(const QString& path, const QByteArray& bytes) {
    QByteArray name = QFile::encodeName(QFileInfo(path).absoluteDir().filePath(
        QStringLiteral(".%1.XXXXXX").arg(QFileInfo(path).fileName())));
    const int fd = ::mkstemp(name.data());
    if (fd < 0)
        return false;
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, bytes.size() - written);
        if (n <= 0)
            break;
        written += n;
    }
    const bool ok = written == bytes.size() && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !ok || ::rename(name.constData(), QFile::encodeName(path)) != 0) {
        ::unlink(name.constData());
        return false;
    }
    return true;
}

class OwnerOnlyFile final : public Credentials {
public:
    Read read(const QString& path) override {
        const QString actual = actualPath(path);
        struct stat entry {};
        if (::stat(QFile::encodeName(actual).constData(), &entry) != 0)
            return {};
        if (entry.st_mode & (S_IRGRP | S_IROTH))
            return {Fault::ReadableByOthers, {}};
        const auto lines = use<Files>().readLines(actual);
        if (!lines || lines->size() < 2 || lines->at(0).isEmpty())
            return {Fault::Unreadable, {}};
        if (lines->at(1).isEmpty())
            return {Fault::NoPassword, {}};
        return {Fault::None, {lines->at(0), lines->at(1)}};
    }

    bool write(const QString& path, const Login& login) override {
        QStringEncoder encode(QStringConverter::System);
        const QByteArray bytes =
            encode(login.name + QStringLiteral("\r\n") + login.password + QStringLiteral("\r\n"));
        return !encode.hasError() && writeOwnerOnly(actualPath(path), bytes);
    }
};

} // namespace

Credentials& Credentials::system() {
    static OwnerOnlyFile credentials;
    return credentials;
}

} // namespace platform
