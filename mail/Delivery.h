#pragma once

#include "mail/Mail.h"
#include "platform/Credentials.h"

#include <QObject>
#include <QString>
#include <QStringView>
#include <chrono>
#include <cstdint>
#include <optional>

class QTimer;

namespace platform {
class SocketObject;
}

// The SMTP client dialogue: one delivery object per mail, with its own
// socket, reply reader, reply timer and login, and the pieces that tests and
// the fuzz targets reach on their own.
namespace MailMod {

// How long the client waits for one reply before it gives up (RFC 5321
// 4.5.3.2: five minutes for every command, ten for the reply to the end of
// the data, which the server may spend delivering). Tests shorten them.
inline constexpr std::chrono::milliseconds kReplyTimeout = std::chrono::minutes(5);
inline constexpr std::chrono::milliseconds kDataEndTimeout = std::chrono::minutes(10);
extern std::chrono::milliseconds replyTimeout;
extern std::chrono::milliseconds dataEndTimeout;

// Which reply the dialogue waits for.
inline constexpr std::int16_t kNoMail = -1; // not started, or over
inline constexpr std::int16_t kGreeting = 0;
inline constexpr std::int16_t kHeloReply = 1;
inline constexpr std::int16_t kMailFromReply = 2;
inline constexpr std::int16_t kRcptToReply = 3;
inline constexpr std::int16_t kDataReply = 4;
inline constexpr std::int16_t kDataEndReply = 5;
// A failing reply was answered with QUIT; only the server's close counts now.
inline constexpr std::int16_t kAwaitingClose = 6;
// With connection security or a login: the reply to EHLO, to STARTTLS, the
// TLS handshake after STARTTLS, the handshake of TLS from the first byte
// (before the greeting), and the replies of the login.
inline constexpr std::int16_t kEhloReply = 7;
inline constexpr std::int16_t kStartTlsReply = 8;
inline constexpr std::int16_t kTlsHandshake = 9;
inline constexpr std::int16_t kTlsConnect = 10;
inline constexpr std::int16_t kAuthUserReply = 11;
inline constexpr std::int16_t kAuthPasswordReply = 12;
inline constexpr std::int16_t kAuthReply = 13;

// Gathers the server's data into complete replies: any number of "NNN-text"
// lines, then a last line "NNN text" or "NNN", each ended by CR LF (a lone LF
// is taken as well).
class ReplyReader {
public:
    struct Reply {
        // The whole reply as received, line ends included.
        QString text;
        // The code of its first line; 0 when the reply is malformed (a line not
        // starting with three digits, lines with different codes, an overlong
        // line or too many lines).
        int code = 0;
    };

    void clear();
    void append(QStringView data);
    // The next complete (or malformed) reply, if the data gathered holds one.
    std::optional<Reply> take();

private:
    QString pending_;
};

// What the server offers in its reply to EHLO (RFC 5321 4.1.1.1): STARTTLS
// (RFC 3207) and the login mechanisms of AUTH (RFC 4954) that the client
// speaks.
struct Capabilities {
    bool startTls = false;
    bool authPlain = false;
    bool authLogin = false;
};
// The offers of a whole reply to EHLO: its lines after the first, each a
// keyword (any case) and its parameters; "AUTH=" of older servers counts.
Capabilities ReadCapabilities(const QString& reply);

// The message text as it goes on the wire: a line that starts with "." gets
// one more, so the server restores the text exactly and no line of it can end
// the data early.
QString DotStuffed(const QString& text);

// Why the login file cannot be used, and what to do; empty when it can (or
// when there is none).
QString LoginFileFault(platform::Credentials::Fault fault);

// One mail's SMTP dialogue with the server of `Settings`, on a socket of its
// own. ConnectSmtp starts it; the socket's events drive it; it ends once,
// with `ended`. After a failing reply it still waits for the server to close
// (QUIT has been sent); `finished` says when it holds no connection any more.
class Delivery : public QObject {
    Q_OBJECT
public:
    enum class End {
        Delivered,      // the server accepted the message
        FailingReply,   // the server refused a command (with every recipient)
        ConnectionLost, // no connection, an error, an early close or reset, a
                        // time-out, a TLS handshake that did not complete
        Refused,        // the mail cannot go as configured (an untrusted
                        // certificate, no STARTTLS, an unusable login, a line
                        // break in a command)
    };
    Q_ENUM(End)

    explicit Delivery(Mail mail, QObject* parent = nullptr);
    ~Delivery() override;

    const Mail& mail() const { return mail_; }
    // The recipients that the server refused, each with its reply, while it
    // took others.
    const QStringList& refusedRecipients() const { return refused_; }

    // Reads the login, connects to the server and waits for its greeting.
    void ConnectSmtp();
    // Gives the mail up at once, as a lost connection (the program ends).
    void Abandon();

    // The socket and its events.
    platform::SocketObject* sckSend = nullptr;
    void sckSend_DataArrival(qint64 bytesTotal);
    void sckSend_Close();
    void sckSend_Error(int number, const QString& description);
    void sckSend_Encrypted();

signals:
    // How the mail ended, the code of the reply that ended it (0: none), and
    // the failing reply or why the connection was lost or the mail refused.
    void ended(MailMod::Delivery::End end, int code, const QString& detail);
    void finished();

private:
    // Every change of step goes through here.
    void setStep(std::int16_t step);
    bool inDialogue() const;
    bool extended() const;
    bool readLogin();
    void sendLine(const QString& line);
    bool sendCommand(const QString& line);
    bool startEnvelope();
    bool sendRecipient();
    bool answerEhlo(const QString& reply);
    bool answerReply(const ReplyReader::Reply& reply);
    bool isPassing(int code) const;
    void armTimeout(std::chrono::milliseconds limit);
    void connectionEnded();
    // The one exit of the mail: lets the connection go (after a failing
    // reply: QUIT, then only the server's close is awaited), then `ended`.
    void endMail(End end, int code = 0, const QString& detail = {});
    void closeConnection();

    Mail mail_;
    std::int16_t smtpStep = kNoMail;
    // The HELO argument: the part of the sender after its first "@".
    QString heloDomain;
    ReplyReader reader_;
    QTimer* replyTimer_ = nullptr;
    std::optional<platform::Credentials::Login> login_;
    // The recipient whose RCPT TO is being answered; those refused so far.
    qsizetype recipient_ = 0;
    QStringList refused_;
    QString lastRefusal_;
    bool finished_ = false;
};

} // namespace MailMod
