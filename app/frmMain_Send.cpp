// Test send, the SMTP dialogue's socket events and the send scheduler.

#include "app/frmMain.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "platform/Service.h"
#include "report/MailMod.h"
#include "report/SmtpDialogue.h"
#include "settings/API.h"
#include "settings/variables.h"

void frmMain::cmdTestSend_Click() {
    const int answer = platform::use<platform::MessageBox>().show(
        QStringLiteral("テスト送信を行ないます。よろしいですか？"), QStringLiteral("テスト送信"),
        platform::MessageBox::kYesNo);
    if (answer == platform::MessageBox::kNo)
        return;
    MailMod::SendMail();
}

void frmMain::sckSend_DataArrival(qint64 /*bytesTotal*/) {
    MailMod::ReplyDataArrived();
}

void frmMain::sckSend_Close() {
    MailMod::ConnectionEnded();
}

void frmMain::sckSend_Error(int /*number*/, const QString& /*description*/) {
    MailMod::ConnectionEnded();
}

void frmMain::sckSend_Encrypted() {
    MailMod::ConnectionEncrypted();
}

void frmMain::timerSendTime_Timer() {
    for (const QString& file : {API::kCheckFile, API::kSmtpFile, API::kSendTimeFile}) {
        if (!API::SettingsFileExists(file))
            return;
    }
    // One reading: the minute and the hour of two could straddle the full hour.
    const QDateTime now = platform::use<platform::Clock>().now();
    const int minute = now.time().minute();
    const auto sendMinute = API::ReadNumberLine(Settings.sendMinute);
    if (!sendMinute || *sendMinute != minute)
        return;
    const int hour = now.time().hour();
    if (hour < 0 || hour >= kHoursPerDay || Settings.sendHours[hour] != kFlagOn)
        return;
    // Ticks come 100 ms short of a minute apart, so now and then two fall into
    // one minute: that minute's report goes out once. The day counts too: a
    // machine resumed from sleep at the same time on another day still sends.
    const long long thisMinute = (now.date().toJulianDay() * kHoursPerDay + hour) * 60 + minute;
    if (thisMinute == lastSendMinute_)
        return;
    lastSendMinute_ = thisMinute;
    MailMod::SendMail(MailMod::Origin::Schedule);
}
