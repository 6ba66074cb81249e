#include "report/StatusChecks.h"

#include "platform/AppFolder.h"
#include "platform/DriveSpace.h"
#include "platform/ListingCapture.h"
#include "platform/Service.h"
#include "settings/variables.h"

#include <QDir>

namespace MailMod {

namespace {

constexpr std::uint64_t kBytesPerMB = 1024 * 1024;
// Drive indexes 0 to 25 name the drives "A:" to "Z:".
constexpr int kDriveCount = 26;

struct DriveSlot {
    std::int16_t check;
    std::int16_t index;
    std::int32_t limitMB;
};

DriveFigures checkDrive(const DriveSlot& slot, DriveFault driveFault) {
    if (slot.index < 0 || slot.index >= kDriveCount)
        throw CheckFailed{QStringLiteral("drive index %1 names no drive").arg(slot.index)};
    const char letter = static_cast<char>('A' + slot.index);
    const QString name = QStringLiteral("%1:").arg(QChar::fromLatin1(letter));
    const auto volume = platform::use<platform::DriveSpace>().volume(letter);
    if (!volume) {
        const QString fault = QStringLiteral("does not exist or is not ready");
        if (driveFault == DriveFault::Fails)
            throw CheckFailed{QStringLiteral("drive %1 %2").arg(name, fault)};
        return {name, 0, slot.limitMB, 0, fault};
    }
    return {name, volume->free, slot.limitMB, volume->total, {}};
}

platform::MemoryFigures queryMemory() {
    const auto figures = platform::use<platform::MemoryStatus>().query();
    if (!figures)
        throw CheckFailed{QStringLiteral("the memory status cannot be read")};
    return *figures;
}

QStringList readRunningServices(const QString& captureFile) {
    const auto listed = platform::readServiceListing(captureFile);
    if (!listed)
        throw CheckFailed{QStringLiteral("the service listing %1 cannot be read").arg(captureFile)};
    if (!listed->complete)
        throw CheckFailed{QStringLiteral("the service listing %1 is cut short").arg(captureFile)};
    return listed->names;
}

} // namespace

int StatusFigures::notRunning() const {
    int count = 0;
    for (const ServiceFigures& service : services)
        count += service.running ? 0 : 1;
    return count;
}

std::int64_t Megabytes(std::uint64_t bytes) {
    return static_cast<std::int64_t>(bytes / kBytesPerMB);
}

bool Passes(std::int64_t freeMB, std::int64_t limitMB) {
    return freeMB > limitMB;
}

StatusFigures RunChecks(bool forDetails, const QString& captureFile, DriveFault driveFault) {
    const SettingsRecord& s = Settings;
    StatusFigures figures;
    const DriveSlot driveSlots[] = {
        {s.driveCheck1, s.driveIndex1, s.driveLimitMB1},
        {s.driveCheck2, s.driveIndex2, s.driveLimitMB2},
        {s.driveCheck3, s.driveIndex3, s.driveLimitMB3},
    };
    for (const DriveSlot& slot : driveSlots) {
        if (slot.check == kFlagOn)
            figures.drives.append(checkDrive(slot, driveFault));
    }
    if (s.memoryCheck == kFlagOn)
        figures.memory = queryMemory();

    if (!platform::captureServiceListing(captureFile))
        throw CheckFailed{
            QStringLiteral("the service listing into %1 could not be run or did not end")
                .arg(QDir::toNativeSeparators(platform::appFile(captureFile)))};
    bool read = false;
    for (const QString& name : s.watchServices) {
        if (name.isEmpty())
            break;
        if (!std::exchange(read, true))
            figures.running = readRunningServices(captureFile);
        figures.services.append({name, figures.running.contains(name, Qt::CaseSensitive)});
    }
    if (forDetails) {
        if (!figures.memory)
            figures.memory = queryMemory();
        if (!read)
            figures.running = readRunningServices(captureFile);
    }
    return figures;
}

} // namespace MailMod
