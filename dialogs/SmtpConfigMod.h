#pragma once

#include <QString>
#include <cstdint>

class frmSmtpConfig;

// The work behind the mail settings dialog, on its controls and `Settings`.
namespace SmtpConfigMod {

// Defaults of a new installation: a server and mailboxes on this machine.
inline const QString kDefaultServer = QStringLiteral("127.0.0.1");
inline const QString kDefaultFrom = QStringLiteral("tolvane@localhost");
inline const QString kDefaultTo = QStringLiteral("postmaster@localhost");
inline const QString kDefaultSubject = QStringLiteral("Status Tolvane");
// A new installation keeps the reports that it could not send, and tries them again.
inline constexpr bool kDefaultRetry = true;

// Whether a subject holds only half-width letters, digits, blanks and hyphens.
bool IsAcceptedSubject(const QString& subject);
// Whether a text passes as a mail address: it holds an "@" that is neither its
// first nor its last character.
bool IsMailAddress(const QString& text);

// Puts the defaults on the controls.
void InitSmtpDialog(frmSmtpConfig& form);
// Loads smtp.ini into `Settings` and shows it. A load fault is reported after
// the controls show what the record holds.
void ShowSmtpSettings(frmSmtpConfig& form);
// Checks the addresses (the sender first), then the rest; writes the login
// into smtpauth.ini (or deletes it when there is none) and the controls into
// smtp.ini and `Settings`. 0 when saved; 1 when refused or not written (the
// operator has been told).
std::int16_t SaveSmtpSettings(frmSmtpConfig& form);

} // namespace SmtpConfigMod
