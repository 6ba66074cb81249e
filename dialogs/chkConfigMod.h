#pragma once

#include <cstdint>

class frmCheckConfig;

// The work behind the check settings dialog, on its controls and `Settings`.
// Each step runs on its own: a step that cannot be done is skipped.
namespace chkConfigMod {

// Characters a drive limit box and a memory limit box hold at most.
inline constexpr int kDriveLimitDigits = 8;
inline constexpr int kMemoryLimitDigits = 4;
// Entries "A:" to "Z:" of each drive list.
inline constexpr int kDriveLetters = 26;

// Appends "A:" to "Z:" to the three drive lists, selects C:, D: and E:, and
// disables the lists of slots 2 and 3.
void FillDriveLists(frmCheckConfig& form);
// The defaults, the drive lists and the captured services, all unchecked.
void InitCheckDialog(frmCheckConfig& form);
// Loads check.ini into `Settings` and shows it, marking the watched services.
// A load fault is kept in form.loadFault; what was read before it is shown.
void ShowCheckSettings(frmCheckConfig& form);
// Takes the controls into `Settings` and writes check.ini. 0 when saved, 1
// when the file could not be written (the operator has been told; `Settings`
// keeps the new values).
std::int16_t SaveCheckSettings(frmCheckConfig& form);

} // namespace chkConfigMod
