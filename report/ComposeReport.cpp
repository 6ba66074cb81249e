#include "report/MailMod.h"

#include "platform/AppFolder.h"
#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "platform/Service.h"
#include "report/StatusChecks.h"
#include "settings/API.h"
#include "settings/variables.h"

#include <QRandomGenerator>

namespace MailMod {

namespace {

const QString kCrLf = QStringLiteral("\r\n");
// The report's own header lines: From, To, Subject and X-Mailer.
constexpr int kReportHeaderLines = 4;

// What makes the report RFC 5322 mail, after its own header lines: the moment
// of composition, a unique identifier under the sender's domain, and the code
// page that its 8-bit body is written in.
QString mailHeaders(const Mail& mail) {
    const QString domain = mail.sender.mid(mail.sender.lastIndexOf(u'@') + 1);
    const QString unique = mail.composedAt.toUTC().toString(QStringLiteral("yyyyMMddHHmmsszzz")) +
                           u'.' + QString::number(QRandomGenerator::global()->generate64(), 36);
    return QStringLiteral("Date: ") + mail.composedAt.toString(Qt::RFC2822Date) + kCrLf +
           QStringLiteral("Message-ID: <%1@%2>").arg(unique, domain) + kCrLf +
           QStringLiteral("MIME-Version: 1.0") + kCrLf +
           QStringLiteral("Content-Type: text/plain; charset=") + platform::mimeCharset() + kCrLf +
           QStringLiteral("Content-Transfer-Encoding: 8bit") + kCrLf;
}

// The report's four header lines, with its subject.
QString reportHeader(const QString& subject) {
    const SettingsRecord& s = Settings;
    return QStringLiteral("From: ") + s.mailFrom + kCrLf + QStringLiteral("To: ") + s.mailTo +
           kCrLf + QStringLiteral("Subject: ") + subject + kCrLf +
           QStringLiteral("X-Mailer: Tolvane by Velmora 2.0.0") + kCrLf;
}

// The position after the n-th line of a text.
qsizetype afterLine(const QString& text, int n) {
    qsizetype at = 0;
    for (int line = 0; line < n; ++line)
        at = text.indexOf(kCrLf, at) + kCrLf.size();
    return at;
}

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
    QString text = reportHeader(s.mailSubject);

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

namespace {

// The envelope and the moment of a mail from `Settings`; false when a header
// value holds a line break (it would add header lines or SMTP commands of its
// own) or there is no recipient.
bool address(Mail& mail) {
    const SettingsRecord& s = Settings;
    mail.composedAt = platform::use<platform::Clock>().now();
    mail.sender = s.mailFrom;
    mail.recipients = Recipients(s.mailTo);
    return !API::HoldsLineBreak(s.mailFrom) && !API::HoldsLineBreak(s.mailTo) &&
           !API::HoldsLineBreak(s.mailSubject) && !mail.recipients.isEmpty();
}

} // namespace

std::int16_t ComposeReport(Mail& mail) {
    mail.mailText.clear();
    try {
        if (!address(mail))
            throw CheckFailed{};
        const StatusFigures figures = RunChecks(Settings.showDetails == kFlagOn);
        mail.mailText = ReportText(figures);
        mail.mailText.insert(afterLine(mail.mailText, kReportHeaderLines), mailHeaders(mail));
        if (!platform::use<platform::Files>().remove(platform::appFile(kRunningsFile)))
            throw CheckFailed{};
        return 0;
    } catch (const CheckFailed&) {
        return 1;
    }
}

std::int16_t ComposeAlert(Mail& mail, const QString& subjectPrefix, const QStringList& lines,
                          const StatusFigures* figures) {
    if (!address(mail))
        return 1;
    // The report's body follows its header and the empty line after it.
    const QString report = figures ? ReportText(*figures) : QString();
    const QString body =
        figures
            ? report.mid(report.indexOf(kCrLf + kCrLf) + 2 * kCrLf.size())
            : QStringLiteral("（確認できない項目があるため、レポートを作成できません）") + kCrLf;
    mail.origin = Origin::Alert;
    mail.mailText = reportHeader(subjectPrefix + Settings.mailSubject) + mailHeaders(mail) + kCrLf +
                    lines.join(kCrLf) + kCrLf + kCrLf + body;
    return 0;
}

} // namespace MailMod
