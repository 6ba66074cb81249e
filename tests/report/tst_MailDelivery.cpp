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
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The server, running for the life of the object. scripts/setup.sh installs
// its module for Debian's interpreter.
struct SmtpSink {
    SmtpSink() {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start("/usr/bin/python3", {QFINDTESTDATA("smtp_sink.py"), folder.path()});
        while (!process.canReadLine() && process.waitForReadyRead(10000)) {
        }
        port = process.readLine().trimmed().toInt();
    }
    // Closing its input ends the server; QProcess kills one that outlives the wait.
    ~SmtpSink() {
        process.closeWriteChannel();
        process.waitForFinished(5000);
    }
    // The first message accepted, empty until there is one.
    QJsonObject message() const {
        QFile file(QDir(folder.path()).filePath("1.json"));
        return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object()
                                              : QJsonObject();
    }

    QTemporaryDir folder;
    QProcess process;
    int port = 0; // 0 until the server has told its port
};

} // namespace

class tst_MailDelivery : public QObject {
    Q_OBJECT

private slots:
    void reportArrives() {
        SmtpSink sink;
        QVERIFY2(sink.port > 0, "the SMTP server did not start: python3-aiosmtpd is missing?");

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

        QTRY_VERIFY(!sink.message().isEmpty());
        const QJsonObject mail = sink.message();
        QCOMPARE(mail["helo"].toString(), "monitor.example");
        QCOMPARE(mail["mail_from"].toString(), "tolvane@monitor.example");
        QCOMPARE(mail["rcpt_tos"].toArray(), QJsonArray{"admin@example.org"});
        QCOMPARE(mail["content"].toString(), MailMod::mailText + "\r\n");
        QVERIFY(MailMod::mailText.contains("\r\nSubject: サーバー状態報告\r\n"));
        QVERIFY(MailMod::mailText.contains("\r\n.hidden-unit\r\n.\r\n"));
    }
};

QTEST_MAIN(tst_MailDelivery)
#include "tst_MailDelivery.moc"
