#pragma once
// The loopback SMTP server of the delivery tests (report/smtp_sink.py, on
// aiosmtpd from Debian's packages), running for the life of the object.

#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace fakes {

class SmtpSink {
public:
    // 127.0.0.1 and a free port by default. A program that always mails to
    // port 25 gets a loopback address of its own with port 25 (which needs
    // the right to listen below 1024).
    //
    // `options` are those of report/smtp_sink.py: TLS, a login.
    explicit SmtpSink(const QString& address = QStringLiteral("127.0.0.1"), int port = 0,
                      const QStringList& options = {});
    // Closing its input ends the server; QProcess kills one that outlives the wait.
    ~SmtpSink();
    SmtpSink(const SmtpSink&) = delete;
    SmtpSink& operator=(const SmtpSink&) = delete;

    // 0 when the server did not start (python3-aiosmtpd missing, address or
    // port not available).
    int port() const { return port_; }
    // The n-th message accepted, empty until there is one.
    QJsonObject message(int n = 1) const;
    // Its text in the bytes that the client sent (the system code page).
    QByteArray content() const { return file("1.data"); }
    // The AUTH and MAIL commands the server has seen, in order ("AUTH PLAIN").
    QStringList commands() const;

private:
    // A file that report/smtp_sink.py wrote, empty while there is none.
    QByteArray file(const QString& name) const;
    QTemporaryDir folder_;
    QProcess process_;
    int port_ = 0;
};

} // namespace fakes
