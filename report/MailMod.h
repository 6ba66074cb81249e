#pragma once

#include <QString>
#include <cstdint>

// The report mail: the status checks, the composition of the text and its
// delivery over SMTP.
namespace MailMod {

// The whole report mail, header lines and body, CR LF line ends. Rebuilt by
// every composition, read by the SMTP dialogue.
extern QString mailText;
// The HELO argument: the part of mailFrom after its first "@".
extern QString heloDomain;
// Which reply the SMTP dialogue waits for: 0 greeting, 1 HELO, 2 MAIL FROM,
// 3 RCPT TO, 4 DATA, 5 end of the message text.
extern std::int16_t smtpStep;
// How many mails SendMail has started. A message box runs an event loop of its
// own, in which a tick may start a newer mail; a failure path compares this
// count before and after its box, and leaves the button and the status text to
// the newer mail.
extern std::uint64_t mailsStarted;

// Runs the checks and builds mailText. 0 when the text is ready; 1 when
// composing failed, after the operator has been told, the test-send button
// enabled and "送信エラー" shown.
std::int16_t ComposeReport();

// Starts one mail: composes it, then connects; the dialogue goes on in the
// socket's events.
void SendMail();
void ConnectSmtp();

} // namespace MailMod
