// End to end: a report composed over fake system services goes to a real SMTP server
// (aiosmtpd, from Debian's packages) on a loopback port; the test reads what it accepted.

#include "report/MailMod.h"
#include "report/SmtpDialogue.h"
#include "settings/API.h"
#include "settings/variables.h"
#include "support/Fakes.h"
#include "support/SmtpSink.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QtTest>

class tst_MailDelivery : public QObject {
    Q_OBJECT

private slots:
    void reportArrives() {
        fakes::SmtpSink sink;
        QVERIFY2(sink.port() > 0, "the SMTP server did not start: python3-aiosmtpd is missing?");

        fakes::Environment env;
        // Listing lines that start with a dot, one holding nothing else, reach the
        // detail section as they are: the server must get them back unchanged.
        env.command.listing = fakes::listingOf({"   cron", ".hidden-unit", ".", "   ssh"});
        Settings.showDetails = kFlagOn;
        Settings.smtpServer = "127.0.0.1";
        Settings.mailFrom = "tolvane@monitor.example";
        Settings.mailTo = "admin@example.org";
        Settings.mailSubject = "サーバー状態報告";
        QVERIFY(API::WriteCheckSettings(Settings) && API::WriteSmtpSettings(Settings));

        // As at start-up: the record comes from the files just written.
        Settings = SettingsRecord{};
        API::LoadCheckSettings();
        API::LoadSmtpSettings();
        fakes::MailWindow window(env.messageBox);
        MailMod::smtpPort = sink.port();
        MailMod::SendMail();
        QTRY_COMPARE(window.status, "送信完了");
        MailMod::smtpPort = MailMod::kSmtpPort;

        QTRY_VERIFY(!sink.message().isEmpty());
        const QJsonObject mail = sink.message();
        QCOMPARE(mail["helo"].toString(), "monitor.example");
        QCOMPARE(mail["mail_from"].toString(), "tolvane@monitor.example");
        QCOMPARE(mail["rcpt_tos"].toArray(), QJsonArray{"admin@example.org"});
        // In the system code page, as it went out.
        QCOMPARE(sink.content(), fakes::systemBytes(MailMod::mailText + "\r\n"));
        QVERIFY(MailMod::mailText.contains("\r\nSubject: サーバー状態報告\r\n"));
        QVERIFY(MailMod::mailText.contains("\r\n.hidden-unit\r\n.\r\n"));
    }
};

QTEST_GUILESS_MAIN(tst_MailDelivery)
#include "tst_MailDelivery.moc"
