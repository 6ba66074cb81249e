#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <stdexcept>

struct SettingsRecord;

// The settings files: their line format, their loaders and their writers.
// Each file is read from its first line and written whole; a line's meaning is
// its position.
namespace API {

inline const QString kCheckFile = QStringLiteral("check.ini");
inline const QString kSmtpFile = QStringLiteral("smtp.ini");
inline const QString kSendTimeFile = QStringLiteral("sendtime.ini");
// The login of the mail server (name and password), when there is one; kept
// by platform::Credentials.
inline const QString kLoginFile = QStringLiteral("smtpauth.ini");

// A settings file that cannot be loaded. `line` is the 1-based line at fault
// (0 when the file could not be opened at all).
class LoadError : public std::runtime_error {
public:
    LoadError(QString file, int line, QString fault);
    const QString file;
    const int line;
    const QString fault;
    // The words shown to the operator: the file, the line and the fault.
    QString message() const;
};

// A number line: a blank (or a minus sign when negative), the digits, a blank.
QString FormatNumberLine(std::int64_t value);
// The value of a number line: the blanks around it dropped, the rest read as a
// decimal number (a fraction allowed) and rounded down. Nothing when the line
// holds no number.
std::optional<std::int64_t> ReadNumberLine(const QString& line);

// The 32 bytes of a SHA-256 fingerprint written in hex, with or without
// colons or blanks between the bytes, in any case; nothing when the text is
// not one.
std::optional<QByteArray> ReadFingerprint(const QString& text);

// Whether a text holds CR or LF, which neither a line of a settings file nor a
// line of the SMTP dialogue can carry.
bool HoldsLineBreak(const QString& text);

// Whether a settings file of that name exists in the application folder.
bool SettingsFileExists(const QString& fileName);

// Each loader reads its file from the application folder into `Settings`,
// field by field in file order. A malformed file throws LoadError at the
// offending line; the fields read before it keep their new values.
void LoadCheckSettings();
void LoadSmtpSettings();
void LoadSendTimeSettings();

// The lines of each file for a record's values.
QStringList CheckSettingsLines(const SettingsRecord& record);
QStringList SmtpSettingsLines(const SettingsRecord& record);
QStringList SendTimeSettingsLines(const SettingsRecord& record);

// Each writer replaces its file whole with a record's values; a save step
// puts the record into `Settings` only once it is written. False when the
// file could not be written, or when a text value holds CR or LF (the line
// format cannot hold it); the former file is then left whole.
bool WriteCheckSettings(const SettingsRecord& record);
bool WriteSmtpSettings(const SettingsRecord& record);
bool WriteSendTimeSettings(const SettingsRecord& record);

} // namespace API
