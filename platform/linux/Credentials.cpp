#include "platform/Credentials.h"

#include "platform/Files.h"
#include "platform/Service.h"

#include <QFile>
#include <QStringEncoder>
#include <sys/stat.h>

namespace platform {

namespace {

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
        return !encode.hasError() && replaceFile(actualPath(path), bytes, FileAccess::OwnerOnly);
    }
};

} // namespace

Credentials& Credentials::system() {
    static OwnerOnlyFile credentials;
    return credentials;
}

} // namespace platform
