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

constexpr std::uint64_t kMB = 1024 * 1024;

} // namespace

class tst_MailDelivery : public QObject {
    Q_OBJECT

private slots:
    void reportArrives_data() {
        QTest::addColumn<bool>("scheduled");
        QTest::newRow("scheduled") << true;
        QTest::newRow("test send") << false;
    }

    void reportArrives() {
        QFETCH(bool, scheduled);
        SmtpSink sink;
        QVERIFY2(sink.port > 0, "the SMTP server did not start: python3-aiosmtpd is missing?");

        fakes::Environment env;
        env.drives.freeBytesByLetter = {{'C', 800 * kMB}, {'D', 20 * kMB}};
        env.memory.figures = platform::MemoryFigures{42, 3000 * kMB, 100 * kMB};
        // Listing lines that start with a dot, one holding nothing else, reach the
        // detail section as they are: the server must get them back unchanged.
        env.command.listing =
            fakes::listingOf({"   cron", "   ssh", ".hidden-unit", ".", "   systemd-journald"});
        Settings.driveCheck1 = Settings.driveCheck2 = Settings.memoryCheck = kFlagOn;
        Settings.driveIndex1 = 2;
        Settings.driveLimitMB1 = 500;
        Settings.driveIndex2 = 3;
        Settings.driveLimitMB2 = 100;
        Settings.memoryLimitMB = 1000;
        Settings.swapLimitMB = 50;
        Settings.watchServices = {"   cron", "   ssh"};
        Settings.smtpServer = "127.0.0.1";
        Settings.mailFrom = "tolvane@monitor.example";
        Settings.mailTo = "admin@example.org";
        Settings.mailSubject = "サーバー状態報告";
        Settings.showDetails = Settings.showNGDetails = kFlagOn;
        Settings.sendHours[7] = kFlagOn;
        Settings.sendMinute = "15";
        QVERIFY(API::WriteCheckSettings() && API::WriteSmtpSettings() &&
                API::WriteSendTimeSettings());

        // As at start-up: the record comes from the files just written.
        Settings = SettingsRecord{};
        frmMain window;
        window.Form_Load();
        MailMod::smtpPort = sink.port;
        env.clock.h = 7;
        env.clock.m = 15;
        scheduled ? window.timerSendTime_Timer() : window.cmdTestSend->click();

        QTRY_COMPARE(window.sendStatus(), "送信完了");
        MailMod::smtpPort = MailMod::kSmtpPort;
        QTRY_VERIFY(!sink.message().isEmpty());
        const QJsonObject mail = sink.message();
        QCOMPARE(mail["helo"].toString(), "monitor.example");
        QCOMPARE(mail["mail_from"].toString(), "tolvane@monitor.example");
        QCOMPARE(mail["rcpt_tos"].toArray(), QJsonArray{"admin@example.org"});
        QCOMPARE(mail["content"].toString(), MailMod::mailText + "\r\n");
        const QString& text = MailMod::mailText;
        QVERIFY(text.startsWith("From: tolvane@monitor.example\r\nTo: admin@example.org\r\n"
                                "Subject: サーバー状態報告\r\n"));
        QVERIFY(text.contains(
            "\r\nC:ドライブ --- OK\r\nD:ドライブ --- 空き容量が、100 MBを下回りました。"));
        QVERIFY(text.contains("\r\n.hidden-unit\r\n.\r\n"));
        QVERIFY(window.cmdTestSend->isEnabled());
        QCOMPARE(env.messageBox.shown.size(), scheduled ? 0 : 1);
    }
};

QTEST_MAIN(tst_MailDelivery)
#include "tst_MailDelivery.moc"
