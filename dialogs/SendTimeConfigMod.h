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

// The minute that a text names: digits only, 0 to 59. Nothing for any other
// text (a pasted one can hold anything).
std::optional<int> MinuteOf(const QString& text);
// Tells the operator the minute must lie between 00 and 59.
void ShowMinuteRangeMessage();

// Clears every hour box and puts "00" in the minute box.
void InitSendTimeDialog(frmSendTimeConfig& form);
// Loads sendtime.ini into `Settings` and shows it. A load fault is reported
// before the controls show what the record holds.
void ShowSendTimeSettings(frmSendTimeConfig& form);
// Checks the minute, takes the hours and the minute text into `Settings` and
// writes sendtime.ini. 0 when saved; 1 when refused or not written (the
// operator has been told).
std::int16_t SaveSendTimeSettings(frmSendTimeConfig& form);

} // namespace SendTimeConfigMod
