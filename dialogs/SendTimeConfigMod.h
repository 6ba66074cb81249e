#pragma once

#include <QString>
#include <cstdint>
#include <optional>

class frmSendTimeConfig;

// The work behind the send time dialog, on its controls and `Settings`.
namespace SendTimeConfigMod {

// Characters of the minute box that count; a third typed digit pushes the
// first one out.
inline constexpr int kMinuteDigits = 2;
inline constexpr int kLastMinute = 59;

// A new installation mails an alert within 5 minutes of a check turning NG;
// a stored interval of 0 (alerts off) also shows 5 in the box.
inline constexpr int kDefaultAlertMinutes = 5;
// Characters of an interval box: up to 1440.
inline constexpr int kIntervalDigits = 4;

// The minute that a text names: digits only, 0 to 59. Nothing for any other
// text (a pasted one can hold anything).
std::optional<int> MinuteOf(const QString& text);
// Tells the operator the minute must lie between 00 and 59.
void ShowMinuteRangeMessage();

// The minutes that an interval box's text names: digits only, `lowest` to
// 1440. Nothing for any other text, an empty one included.
std::optional<std::int16_t> IntervalOf(const QString& text, int lowest);

// Clears every hour box, puts "00" in the minute box and turns alerts on
// every 5 minutes, without reminders.
void InitSendTimeDialog(frmSendTimeConfig& form);
// Loads sendtime.ini into `Settings` and shows it. A load fault is reported
// before the controls show what the record holds.
void ShowSendTimeSettings(frmSendTimeConfig& form);
// Checks the minute, then with alerts on the two intervals (an empty
// reminder box means none); writes the hours, the minute text and the
// intervals into sendtime.ini and `Settings`. With alerts off the interval is
// 0 and a reminder that is no valid one 0 too. 0 when saved; 1 when refused or
// not written (the operator has been told).
std::int16_t SaveSendTimeSettings(frmSendTimeConfig& form);

} // namespace SendTimeConfigMod
