#include "report/MailMod.h"

#include "platform/AppFolder.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Service.h"
#include "report/StatusChecks.h"
#include "settings/API.h"
#include "settings/variables.h"

namespace MailMod {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

QString verdictText(std::int64_t freeMB, std::int64_t limitMB) {
    if (Passes(freeMB, limitMB))
        return QStringLiteral(" --- OK");
    if (Settings.showNGDetails == kFlagOn)
        return QStringLiteral(" --- 空き容量が、%1 MBを下回りました。現在、%2 MBの空きがあります。")
            .arg(limitMB)
            .arg(freeMB);
    return QStringLiteral(" --- NG");
}

} // namespace

QString ReportText(const StatusFigures& figures) {
    const SettingsRecord& s = Settings;
    QString text;
    text += QStringLiteral("From: ") + s.mailFrom + kCrLf;
    text += QStringLiteral("To: ") + s.mailTo + kCrLf;
    text += QStringLiteral("Subject: ") + s.mailSubject + kCrLf;
    text += QStringLiteral("X-Mailer: Tolvane by Velmora 2.0.0") + kCrLf;

    // Slots 2 and 3 can be on while slot 1 is off; their lines still go under
    // the heading, so that no drive line lands among the header lines.
    if (!figures.drives.isEmpty())
        text += kCrLf + QStringLiteral("[HDD容量チェック]") + kCrLf;
    for (const DriveFigures& drive : figures.drives)
        text += drive.name + QStringLiteral("ドライブ") +
                verdictText(Megabytes(drive.freeBytes), drive.limitMB) + kCrLf;

    if (s.memoryCheck == kFlagOn) {
        text += kCrLf + QStringLiteral("[メモリ容量チェック]") + kCrLf;
        text += QStringLiteral("物理メモリ") +
                verdictText(Megabytes(figures.memory->freePhysical), s.memoryLimitMB) + kCrLf;
        text += QStringLiteral("スワップメモリ") +
                verdictText(Megabytes(figures.memory->freeSwap), s.swapLimitMB) + kCrLf;
    }

    text += kCrLf + QStringLiteral("[サービス動作チェック]") + kCrLf;
    if (figures.notRunning() == 0) {
        text += QStringLiteral("サービス --- OK");
    } else if (s.showNGDetails == kFlagOn) {
        for (const ServiceFigures& service : figures.services)
            text += service.name +
                    (service.running ? QStringLiteral(" --- OK") : QStringLiteral(" --- NG")) +
                    kCrLf;
    } else {
        text += QStringLiteral("サービス --- NG");
    }

    if (s.showDetails == kFlagOn) {
        text += kCrLf + kCrLf + QStringLiteral("==============ここから詳細内容==============") +
                kCrLf + kCrLf;
        if (!figures.drives.isEmpty())
            text += QStringLiteral("[ディスク容量]") + kCrLf;
        for (const DriveFigures& drive : figures.drives)
            text += drive.name +
                    QStringLiteral("ドライブ --- %1 MBの空き").arg(Megabytes(drive.freeBytes)) +
                    kCrLf;
        const platform::MemoryFigures& memory = *figures.memory;
        text += kCrLf + QStringLiteral("[メモリ情報]") + kCrLf;
        text += QStringLiteral("物理メモリ使用率 --- %1 % 使用中").arg(memory.loadPercent) + kCrLf;
        text +=
            QStringLiteral("物理メモリ空き   --- %1 MBの空き").arg(Megabytes(memory.freePhysical)) +
            kCrLf;
        text +=
            QStringLiteral("スワップメモリ空き --- %1 MBの空き").arg(Megabytes(memory.freeSwap)) +
            kCrLf;
        text += kCrLf + QStringLiteral("[動作中のサービス]") + kCrLf;
        for (const QString& line : figures.running)
            text += line + kCrLf;
    }
    return text + kCrLf;
}

std::int16_t ComposeReport(Mail& mail) {
    mail.mailText.clear();
    mail.composedAt = platform::use<platform::Clock>().now();
    const SettingsRecord& s = Settings;
    mail.sender = s.mailFrom;
    mail.recipients = Recipients(s.mailTo);
    try {
        // A line break in a header value would let it add header lines or SMTP
        // commands of its own.
        if (API::HoldsLineBreak(s.mailFrom) || API::HoldsLineBreak(s.mailTo) ||
            API::HoldsLineBreak(s.mailSubject) || mail.recipients.isEmpty())
            throw CheckFailed{};
        const StatusFigures figures = RunChecks(s.showDetails == kFlagOn);
        mail.mailText = ReportText(figures);
        if (!platform::use<platform::Files>().remove(platform::appFile(kRunningsFile)))
            throw CheckFailed{};
        return 0;
    } catch (const CheckFailed&) {
        return 1;
    }
}

} // namespace MailMod
