#pragma once

#include "platform/MemoryStatus.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

// The status checks of the report: drives, memory and services, as `Settings`
// asks for them.
namespace MailMod {

// The capture of the report's service listing, in the application folder.
inline const QString kRunningsFile = QStringLiteral("runnings.dat");

// A check that could not be made: no such drive or a drive not ready, no
// memory figures, a listing that could not be run or read to its end. `what`
// says which, in a few English words, where a check said it.
struct CheckFailed {
    QString what;
};

struct DriveFigures {
    QString name; // "C:"
    std::uint64_t freeBytes = 0;
    std::int32_t limitMB = 0;
    std::uint64_t totalBytes = 0;
    // Why the drive could not be read, such as "does not exist or is not
    // ready"; empty when its figures were taken.
    QString fault;
};

struct ServiceFigures {
    QString name; // as watched, indentation kept
    bool running = false;
};

// What one run of the checks found.
struct StatusFigures {
    // The drive slots that are on, in slot order.
    QList<DriveFigures> drives;
    // When the memory check is on, or the details asked for it.
    std::optional<platform::MemoryFigures> memory;
    // The watched names, in slot order.
    QList<ServiceFigures> services;
    // The listing's service lines, when something needed them.
    QStringList running;

    int notRunning() const;
};

// Megabytes as the report counts them: bytes / 1024 / 1024, rounded down.
std::int64_t Megabytes(std::uint64_t bytes);
// A check passes only when the free megabytes are above its limit.
bool Passes(std::int64_t freeMB, std::int64_t limitMB);

// What a drive that does not exist or is not ready does to the checks: fail
// them, as it fails the report, or go on with its fault in its DriveFigures.
enum class DriveFault { Fails, Recorded };

// Runs the checks that `Settings` asks for, in the report's order: drive
// slots 1 to 3, the memory, the service listing (into `captureFile` of the
// application folder, which is left for the caller). With `forDetails` the
// memory is queried also when its check is off, and the listing is read also
// when no name is watched. The listing is read only when needed: a capture cut
// short fails the checks exactly when a reader would go past its end. Throws
// CheckFailed.
StatusFigures RunChecks(bool forDetails, const QString& captureFile = kRunningsFile,
                        DriveFault driveFault = DriveFault::Fails);

} // namespace MailMod
