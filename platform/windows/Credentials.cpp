#include "platform/Credentials.h"

#include "platform/Files.h"
#include "platform/Service.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <QDir>
#include <dpapi.h>
#include <shlobj.h>

namespace platform {

namespace {

// Whether `path` lies in the machine's folder for programs' data
// (%ProgramData%), where a service installation keeps its settings.
bool inProgramData(const QString& path) {
    PWSTR folder = nullptr;
    if (SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &folder) != S_OK)
        return false;
    const QString programData = QDir::cleanPath(QString::fromWCharArray(folder)) + QLatin1Char('/');
    CoTaskMemFree(folder);
    return QDir::cleanPath(QDir::fromNativeSeparators(path))
        .startsWith(programData, Qt::CaseInsensitive);
}

// The password protected by the system (DPAPI), in base64: for the user who
// runs the program, or, in %ProgramData%, for the machine, so that the
// service reads what an administrator saved in the dialog. There the folder's
// permissions (Administrators and the service's account alone) keep other
// users from the file.
QString protect(QString password, bool forMachine) {
    DATA_BLOB in{static_cast<DWORD>(password.size() * sizeof(char16_t)),
                 reinterpret_cast<BYTE*>(password.data())};
    DATA_BLOB out{};
    const DWORD flags = CRYPTPROTECT_UI_FORBIDDEN | (forMachine ? CRYPTPROTECT_LOCAL_MACHINE : 0);
    if (!CryptProtectData(&in, L"Tolvane", nullptr, nullptr, nullptr, flags, &out))
        return {};
    const QByteArray bytes(reinterpret_cast<const char*>(out.pbData), out.cbData);
    LocalFree(out.pbData);
    return QString::fromLatin1(bytes.toBase64());
}

QString unprotect(const QString& stored) {
    QByteArray bytes = QByteArray::fromBase64(stored.toLatin1());
    DATA_BLOB in{static_cast<DWORD>(bytes.size()), reinterpret_cast<BYTE*>(bytes.data())};
    DATA_BLOB out{};
    if (bytes.isEmpty() || !CryptUnprotectData(&in, nullptr, nullptr, nullptr, nullptr,
                                               CRYPTPROTECT_UI_FORBIDDEN, &out))
        return {};
    const QString password = QString::fromUtf16(reinterpret_cast<const char16_t*>(out.pbData),
                                                out.cbData / sizeof(char16_t));
    SecureZeroMemory(out.pbData, out.cbData);
    LocalFree(out.pbData);
    return password;
}

class ProtectedPassword final : public Credentials {
public:
    Read read(const QString& path) override {
        auto& files = use<Files>();
        if (!files.exists(path))
            return {};
        const auto lines = files.readLines(path);
        if (!lines || lines->size() < 2 || lines->at(0).isEmpty())
            return {Fault::Unreadable, {}};
        const QString password = unprotect(lines->at(1));
        if (password.isEmpty())
            return {Fault::NoPassword, {}};
        return {Fault::None, {lines->at(0), password}};
    }

    bool write(const QString& path, const Login& login) override {
        const QString stored = protect(login.password, inProgramData(path));
        return !stored.isEmpty() && use<Files>().writeLines(path, {login.name, stored});
    }
};

} // namespace

Credentials& Credentials::system() {
    static ProtectedPassword credentials;
    return credentials;
}

} // namespace platform
