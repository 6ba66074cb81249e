#pragma once

#include <QString>

namespace platform {

// The login of the mail server in its file: line 1 the name, line 2 the
// password, kept as the system lets it be kept safe. Linux: the password in
// clear, in a file that its owner alone may read. Windows: the password
// protected for the user by the system (DPAPI), in base64.
class Credentials {
public:
    struct Login {
        QString name;
        QString password;
    };
    enum class Fault {
        None,
        Absent,           // no such file: no login
        ReadableByOthers, // the group or others may read the file: not used
        Unreadable,       // cannot be read, or lacks its two lines
        NoPassword,       // the password is empty or cannot be unprotected
    };
    struct Read {
        Fault fault = Fault::Absent;
        Login login;
    };

    virtual ~Credentials() = default;
    virtual Read read(const QString& path) = 0;
    // Replaces the file whole (Linux: readable by its owner alone from its
    // first byte on). False when it cannot be written; the former file stays.
    virtual bool write(const QString& path, const Login& login) = 0;
    static Credentials& system();
};

} // namespace platform
