#include "report/MailMod.h"

#include "app/API.h"
#include "app/frmMain.h"
#include "app/variables.h"
#include "platform/AppFolder.h"
#include "platform/DriveSpace.h"
#include "platform/Files.h"
#include "platform/ListingCapture.h"
#include "platform/MemoryStatus.h"
#include "platform/MessageBox.h"
#include "platform/Service.h"

#include <QPushButton>
#include <optional>

namespace MailMod {

namespace {

const QString kCrLf = QStringLiteral("\r\n");
// The capture of the service listing, in the application folder.
const QString kCaptureName = QStringLiteral("runnings.dat");
// 1 MB.
constexpr std::uint64_t kBytesPerMB = 1024 * 1024;
// Drive indexes 0 to 25 name the drives "A:" to "Z:".
constexpr int kDriveCount = 26;

// Raised by any step that fails; the composition then takes its failure path.
struct CompositionFailed {};

struct DriveSlot {
    std::int16_t check;
    std::int16_t index;
    std::int32_t limitMB;
};

struct DriveResult {
    QString name;
    std::int64_t freeMB;
    std::int64_t limitMB;
};

QString verdictText(std::int64_t freeMB, std::int64_t limitMB) {
    if (freeMB > limitMB)
        return QStringLiteral(" --- OK");
    if (Settings.showNGDetails == kFlagOn)
        return QStringLiteral(" --- 空き容量が、%1 MBを下回りました。現在、%2 MBの空きがあります。")
            .arg(limitMB)
            .arg(freeMB);
    return QStringLiteral(" --- NG");
}

std::int64_t megabytes(std::uint64_t bytes) {
    return static_cast<std::int64_t>(bytes / kBytesPerMB);
}

DriveResult checkDrive(const DriveSlot& slot) {
    if (slot.index < 0 || slot.index >= kDriveCount)
        throw CompositionFailed{};
    const char letter = static_cast<char>('A' + slot.index);
    const auto free = platform::use<platform::DriveSpace>().freeBytes(letter);
    if (!free)
        throw CompositionFailed{};
    return {QStringLiteral("%1:").arg(QChar::fromLatin1(letter)), megabytes(*free), slot.limitMB};
}

platform::MemoryFigures queryMemory() {
    const auto figures = platform::use<platform::MemoryStatus>().query();
    if (!figures)
        throw CompositionFailed{};
    return *figures;
}

// The lines of the listing that name running services. A capture that cannot
// be read, or that ends before the empty line closing the list, is cut short
// and fails.
QStringList readRunningServices() {
    const auto listed = platform::readServiceListing(kCaptureName);
    if (!listed || !listed->complete)
        throw CompositionFailed{};
    return listed->names;
}

void compose() {
    QString& text = mailText;
    // A line break in a header value would let it add header lines or SMTP
    // commands of its own.
    if (API::HoldsLineBreak(Settings.mailFrom) || API::HoldsLineBreak(Settings.mailTo) ||
        API::HoldsLineBreak(Settings.mailSubject))
        throw CompositionFailed{};
    text += QStringLiteral("From: ") + Settings.mailFrom + kCrLf;
    text += QStringLiteral("To: ") + Settings.mailTo + kCrLf;
    text += QStringLiteral("Subject: ") + Settings.mailSubject + kCrLf;
    text += QStringLiteral("X-Mailer: Tolvane by Velmora 2.0.0") + kCrLf;

    // Slots 2 and 3 can be on while slot 1 is off; their lines still go under
    // the heading, so that no drive line lands among the header lines.
    const DriveSlot driveSlots[] = {
        {Settings.driveCheck1, Settings.driveIndex1, Settings.driveLimitMB1},
        {Settings.driveCheck2, Settings.driveIndex2, Settings.driveLimitMB2},
        {Settings.driveCheck3, Settings.driveIndex3, Settings.driveLimitMB3},
    };
    QList<DriveResult> drives;
    for (const DriveSlot& slot : driveSlots) {
        if (slot.check != kFlagOn)
            continue;
        const DriveResult drive = checkDrive(slot);
        if (drives.isEmpty())
            text += kCrLf + QStringLiteral("[HDD容量チェック]") + kCrLf;
        text += drive.name + QStringLiteral("ドライブ") + verdictText(drive.freeMB, drive.limitMB) +
                kCrLf;
        drives.append(drive);
    }

    std::optional<platform::MemoryFigures> memory;
    if (Settings.memoryCheck == kFlagOn) {
        text += kCrLf + QStringLiteral("[メモリ容量チェック]") + kCrLf;
        memory = queryMemory();
        text += QStringLiteral("物理メモリ") +
                verdictText(megabytes(memory->freePhysical), Settings.memoryLimitMB) + kCrLf;
        text += QStringLiteral("スワップメモリ") +
                verdictText(megabytes(memory->freeSwap), Settings.swapLimitMB) + kCrLf;
    }

    text += kCrLf + QStringLiteral("[サービス動作チェック]") + kCrLf;
    if (!platform::captureServiceListing(kCaptureName))
        throw CompositionFailed{};
    // The capture is read once, and only when a step needs it: a capture cut
    // short fails the report exactly when a step would read past its end.
    std::optional<QStringList> runningServices;
    const auto running = [&]() -> const QStringList& {
        if (!runningServices)
            runningServices = readRunningServices();
        return *runningServices;
    };
    QList<bool> watched;
    int ngCount = 0;
    for (const QString& name : Settings.watchServices) {
        if (name.isEmpty())
            break;
        const bool found = running().contains(name, Qt::CaseSensitive);
        watched.append(found);
        if (!found)
            ++ngCount;
    }
    if (ngCount == 0) {
        text += QStringLiteral("サービス --- OK");
    } else if (Settings.showNGDetails == kFlagOn) {
        for (qsizetype i = 0; i < watched.size(); ++i)
            text += Settings.watchServices[i] +
                    (watched[i] ? QStringLiteral(" --- OK") : QStringLiteral(" --- NG")) + kCrLf;
    } else {
        text += QStringLiteral("サービス --- NG");
    }

    if (Settings.showDetails == kFlagOn) {
        text += kCrLf + kCrLf + QStringLiteral("==============ここから詳細内容==============") +
                kCrLf + kCrLf;
        if (!drives.isEmpty())
            text += QStringLiteral("[ディスク容量]") + kCrLf;
        for (const DriveResult& drive : drives)
            text +=
                drive.name + QStringLiteral("ドライブ --- %1 MBの空き").arg(drive.freeMB) + kCrLf;
        if (!memory)
            memory = queryMemory();
        text += kCrLf + QStringLiteral("[メモリ情報]") + kCrLf;
        text += QStringLiteral("物理メモリ使用率 --- %1 % 使用中").arg(memory->loadPercent) + kCrLf;
        text += QStringLiteral("物理メモリ空き   --- %1 MBの空き")
                    .arg(megabytes(memory->freePhysical)) +
                kCrLf;
        text +=
            QStringLiteral("スワップメモリ空き --- %1 MBの空き").arg(megabytes(memory->freeSwap)) +
            kCrLf;
        text += kCrLf + QStringLiteral("[動作中のサービス]") + kCrLf;
        for (const QString& line : running())
            text += line + kCrLf;
    }
    text += kCrLf;

    if (!platform::use<platform::Files>().remove(platform::appFile(kCaptureName)))
        throw CompositionFailed{};
}

} // namespace

std::int16_t ComposeReport() {
    mailText.clear();
    try {
        compose();
        return 0;
    } catch (const CompositionFailed&) {
        const std::uint64_t thisMail = mailsStarted;
        platform::use<platform::MessageBox>().show(
            QStringLiteral("エラーが発生しました。設定をもう一度確認してください。"),
            QStringLiteral("Error"), platform::MessageBox::kOkOnly);
        if (frmMain::exists() && thisMail == mailsStarted) {
            frmMain::instance().cmdTestSend->setEnabled(true);
            frmMain::instance().setSendStatus(QStringLiteral("送信エラー"));
        }
        return 1;
    }
}

} // namespace MailMod
