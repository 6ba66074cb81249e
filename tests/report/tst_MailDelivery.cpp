// End to end: a report composed over fake system services goes to a real SMTP server
// (aiosmtpd, from Debian's packages) on a loopback port; the test reads what it accepted.

#include "app/API.h"
#include "app/frmMain.h"
#include "app/variables.h"
#include "report/MailMod.h"
#include "report/SmtpDialogue.h"
#include "support/Fakes.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QtTest>

namespace {

// The server that tests/report/with_smtp_sink.sh runs beside this test, on the
// build machine, so that it serves the Windows build under Wine as well.
struct SmtpSink {
    const int port = qEnvironmentVariableIntValue("TOLVANE_SMTP_SINK_PORT");
    const QString folder = qEnvironmentVariable("TOLVANE_SMTP_SINK_DIR");

    // The envelope of the first message accepted, empty until there is one.
    QJsonObject envelope() const {
        QFile file(QDir(folder).filePath("1.json"));
        return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object()
                                              : QJsonObject();
    }
    // Its text, as sent: in the system code page.
    QByteArray content() const {
        QFile file(QDir(folder).filePath("1.data"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

} // namespace

class tst_MailDelivery : public QObject {
    Q_OBJECT

private slots:
    void reportArrives() {
        SmtpSink sink;
        QVERIFY2(sink.port > 0 && !sink.folder.isEmpty(),
                 "no SMTP server: run through CTest, whose wrapper starts one");

        fakes::Environment env;
        // Listing lines that start with a dot, one holding nothing else, reach the
        // detail section as they are: the server must get them back unchanged.
        env.command.listing = fakes::listingOf({"   cron", ".hidden-unit", ".", "   ssh"});
        Settings.showDetails = kFlagOn;
        Settings.smtpServer = "127.0.0.1";
        Settings.mailFrom = "tolvane@monitor.example";
        Settings.mailTo = "admin@example.org";
        Settings.mailSubject = "サーバー状態報告";
        QVERIFY(API::WriteCheckSettings() && API::WriteSmtpSettings() &&
                API::WriteSendTimeSettings());

        // As at start-up: the record comes from the files just written.
        Settings = SettingsRecord{};
        frmMain window;
        window.Form_Load();
        MailMod::smtpPort = sink.port;
        window.cmdTestSend->click();
        QTRY_COMPARE(window.sendStatus(), "送信完了");
        MailMod::smtpPort = MailMod::kSmtpPort;

        QTRY_VERIFY(!sink.envelope().isEmpty());
        const QJsonObject mail = sink.envelope();
        QCOMPARE(mail["helo"].toString(), "monitor.example");
        QCOMPARE(mail["mail_from"].toString(), "tolvane@monitor.example");
        QCOMPARE(mail["rcpt_tos"].toArray(), QJsonArray{"admin@example.org"});
        QCOMPARE(sink.content(), fakes::systemBytes(MailMod::mailText + "\r\n"));
        QVERIFY(MailMod::mailText.contains("\r\nSubject: サーバー状態報告\r\n"));
        QVERIFY(MailMod::mailText.contains("\r\n.hidden-unit\r\n.\r\n"));
    }
};

QTEST_MAIN(tst_MailDelivery)
#include "tst_MailDelivery.moc"
