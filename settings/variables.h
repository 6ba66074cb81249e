#pragma once

#include <QString>
#include <array>
#include <cstdint>

// Flags hold 1 for on; every reader tests for exactly 1.
inline constexpr std::int16_t kFlagOn = 1;
// Slots of the watched-service list: names 0 to 200.
inline constexpr int kWatchServiceSlots = 201;
// Slots of sendHours: 0 to 23 are the hours of the day, 24 and 25 stay 0.
inline constexpr int kSendHourSlots = 26;
inline constexpr int kHoursPerDay = 24;

// Connection security, smtp.ini line 8: the plain dialogue; STARTTLS after the
// greeting; TLS from the first byte.
inline constexpr std::int16_t kSecurityNone = 0;
inline constexpr std::int16_t kSecurityStartTls = 1;
inline constexpr std::int16_t kSecurityTls = 2;
// Plain SMTP is served on the standard port.
inline constexpr std::int32_t kDefaultSmtpPort = 25;
// The longest interval of the alert checks and of the reminders: one day.
inline constexpr std::int16_t kMaxAlertMinutes = 1440;

// Everything the monitor is configured with. One instance, `Settings`, lives
// for the whole process; every number starts at 0 and every text empty.
struct SettingsRecord {
    // check.ini
    std::int16_t driveCheck1 = 0;
    std::int16_t driveCheck2 = 0;
    std::int16_t driveCheck3 = 0;
    std::int16_t driveIndex1 = 0;
    std::int16_t driveIndex2 = 0;
    std::int16_t driveIndex3 = 0;
    std::int32_t driveLimitMB1 = 0;
    std::int32_t driveLimitMB2 = 0;
    std::int32_t driveLimitMB3 = 0;
    std::int16_t memoryCheck = 0;
    std::int16_t memoryLimitMB = 0;
    std::int16_t swapLimitMB = 0;
    // The names fill slots 0 onward without gaps; every slot after the last
    // name is empty.
    std::array<QString, kWatchServiceSlots> watchServices;
    std::int16_t watchServiceCount = 0; // not stored

    // smtp.ini
    QString smtpServer;
    QString mailFrom;
    QString mailTo;
    QString mailSubject;
    std::int16_t showDetails = 0;
    std::int16_t showNGDetails = 0;
    // Lines 7 to 10, which a file written before them lacks: then these
    // values hold, the plain dialogue on port 25 without retries.
    std::int32_t smtpPort = kDefaultSmtpPort;
    std::int16_t smtpSecurity = kSecurityNone;
    // The SHA-256 fingerprint of a certificate trusted besides the system's
    // store, in hex, as typed (colons allowed, any case); empty: the store alone.
    QString smtpFingerprint;
    // Keep a scheduled report that could not be sent and try it again (flag).
    std::int16_t keepFailedReports = 0;

    // sendtime.ini
    std::array<std::int16_t, kSendHourSlots> sendHours{};
    QString sendMinute;
    // Lines 26 and 27, which a file written before them lacks: then both are
    // 0, no alerts. The minutes between the alert checks, 1 to 1440; 0: no
    // alerts.
    std::int16_t alertMinutes = 0;
    // The minutes between reminders while a check stays NG, 0 to 1440; 0: none.
    std::int16_t reminderMinutes = 0;

    bool operator==(const SettingsRecord&) const = default;
};

extern SettingsRecord Settings;
