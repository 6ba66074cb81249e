#pragma once

#include <QString>
#include <cstdint>

namespace platform {
class SocketObject;
}

// The report mail: the status checks, the composition of the text and its
// delivery over SMTP.
namespace MailMod {

// What the mail path needs of the window that hosts it: the third status bar
// panel, the test-send button `cmdTestSend`, message boxes and the socket
// `sckSend`. The main window implements it; the report code knows no window.
class MailOutlet {
public:
    virtual ~MailOutlet() = default;
    virtual void setSendStatus(const QString& text) = 0;
    virtual void setTestSendEnabled(bool enabled) = 0;
    // A modal box with an OK button and no icon. It runs an event loop of its
    // own: ticks and socket events are delivered while it is open.
    virtual void showBox(const QString& text, const QString& title) = 0;
    virtual platform::SocketObject& mailSocket() = 0;
    // How many reports wait in the outbox for another try.
    virtual void setWaitingReports(int count) = 0;
};

// The outlet of the mail path; none at all leaves the composition working
// without a window, and nothing to send with.
void SetOutlet(MailOutlet* outlet);
MailOutlet* Outlet();

// The whole report mail, header lines and body, CR LF line ends. Rebuilt by
// every composition, read by the SMTP dialogue.
extern QString mailText;
// The HELO argument: the part of mailFrom after its first "@".
extern QString heloDomain;

// Where the mail on the socket stands: which reply the dialogue waits for.
// Every change of a mail's state is a change of this one value.
extern std::int16_t smtpStep;
inline constexpr std::int16_t kNoMail = -1; // no mail on the socket
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

// How many mails SendMail has started. A message box runs an event loop of its
// own, in which a tick may start a newer mail; the end of a mail compares this
// count before and after its box, and leaves the button and the status text to
// the newer mail.
extern std::uint64_t mailsStarted;

// How a mail ends. Every end goes through EndMail.
enum class MailEnd {
    Delivered,         // the server accepted the message
    FailingReply,      // the server refused a command
    ConnectionLost,    // no connection, an error, an early close or reset, a
                       // time-out, a TLS handshake that did not complete
    Refused,           // the mail cannot go as configured (an untrusted
                       // certificate, no STARTTLS, an unusable login)
    CompositionFailed, // the report could not be composed; nothing was sent
};

// The one exit of a mail: stops the reply time-out, lets the connection go
// (after a failing reply: QUIT, then only the server's close is awaited),
// tells the operator, and, unless a newer mail has started meanwhile, puts the
// test-send button and the status text right. `detail` is the failing reply,
// or why the connection was lost or the mail refused.
void EndMail(MailEnd end, const QString& detail = {});

struct StatusFigures;
// The whole report mail for what the checks found, as `Settings` asks for it:
// the four header lines, an empty line and the body, CR LF line ends.
QString ReportText(const StatusFigures& figures);

// Runs the checks and builds mailText. 0 when the text is ready; 1 when
// composing failed, after the operator has been told, the test-send button
// enabled and "送信エラー" shown.
std::int16_t ComposeReport();

// Who started the mail on the socket: the operator's test send, the
// scheduler, or the outbox trying a kept report again. Only a scheduled
// report is kept when it fails for a cause that may pass.
enum class Origin { TestSend, Schedule, Retry };

// Starts one mail: composes it, then connects; the dialogue goes on in the
// socket's events.
void SendMail(Origin origin = Origin::TestSend);
void ConnectSmtp();
// Sends a report kept in the outbox again, as it was kept: no box while it
// fails for a cause that may pass.
void SendKeptReport(const QString& file, const QString& text);

} // namespace MailMod
