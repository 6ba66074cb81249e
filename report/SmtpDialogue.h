#pragma once

#include <QString>
#include <QStringView>
#include <chrono>
#include <optional>

namespace platform {
class SocketObject;
}

// The SMTP client dialogue of MailMod: what the socket handlers of the main
// window hand over to, and the pieces tests reach on their own.
namespace MailMod {

// How long the client waits for one reply before it gives up (RFC 5321
// 4.5.3.2: five minutes for every command, ten for the reply to the end of
// the data, which the server may spend delivering). Tests shorten them.
inline constexpr std::chrono::milliseconds kReplyTimeout = std::chrono::minutes(5);
inline constexpr std::chrono::milliseconds kDataEndTimeout = std::chrono::minutes(10);
extern std::chrono::milliseconds replyTimeout;
extern std::chrono::milliseconds dataEndTimeout;

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

// The main window's socket events hand over to these: a reply of the server,
// and the end of the connection (closed or reset by the server, broken).
void ReplyDataArrived();
void ConnectionEnded();
// The TLS handshake of the connection has completed.
void ConnectionEncrypted();
// Connects a socket's events straight to the handlers above: for an outlet
// without socket handlers of its own (the main window has them).
void HandleSocketEvents(platform::SocketObject& socket);

} // namespace MailMod
