// End to end: the program composes a report over fake system services and
// delivers it to a real SMTP server (aiosmtpd, from Debian's packages) on a
// loopback port; the test reads what the server accepted.

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
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Debian's interpreter first: the package installs the server module for it.
QString pythonWithServer() {
    for (const QString& candidate :
         {QStringLiteral("/usr/bin/python3"), QStandardPaths::findExecutable("python3")}) {
        if (candidate.isEmpty() || !QFileInfo(candidate).isExecutable())
            continue;
        QProcess probe;
        probe.start(candidate, {QStringLiteral("-c"), QStringLiteral("import aiosmtpd")});
        if (probe.waitForFinished(10000) && probe.exitStatus() == QProcess::NormalExit &&
            probe.exitCode() == 0)
            return candidate;
    }
    return {};
}

// The server, running for the life of the object.
class SmtpSink {
public:
    bool start(const QString& python, const QString& script) {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(python, {script, folder_.path()});
        if (!process_.waitForStarted(10000))
            return false;
        while (!process_.canReadLine()) {
            if (!process_.waitForReadyRead(10000))
                return false;
        }
        port_ = process_.readLine().trimmed().toInt();
        return port_ > 0;
    }
    ~SmtpSink() {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(5000))
            process_.kill();
        process_.waitForFinished(5000);
    }
    int port() const { return port_; }
    // The messages accepted so far, in order.
    QList<QJsonObject> messages() const {
        QList<QJsonObject> out;
        for (int n = 1;; ++n) {
            QFile file(QDir(folder_.path()).filePath(QStringLiteral("%1.json").arg(n)));
            if (!file.open(QIODevice::ReadOnly))
                return out;
            out.append(QJsonDocument::fromJson(file.readAll()).object());
        }
    }

private:
    QTemporaryDir folder_;
    QProcess process_;
    int port_ = 0;
};

constexpr std::uint64_t kMB = 1024 * 1024;

} // namespace

class tst_MailDelivery : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void reportArrives_data();
    void reportArrives();

private:
    QString python_;
};

void tst_MailDelivery::initTestCase() {
    python_ = pythonWithServer();
    if (python_.isEmpty())
        QSKIP("python3 with aiosmtpd is missing; scripts/setup.sh installs python3-aiosmtpd");
}

void tst_MailDelivery::reportArrives_data() {
    QTest::addColumn<bool>("scheduled");
    QTest::newRow("scheduled") << true;
    QTest::newRow("test send") << false;
}

void tst_MailDelivery::reportArrives() {
    QFETCH(bool, scheduled);
    SmtpSink sink;
    QVERIFY(sink.start(python_, QFINDTESTDATA("smtp_sink.py")));

    fakes::Environment env;
    env.drives.freeBytesByLetter = {{'C', 800 * kMB}, {'D', 20 * kMB}};
    env.memory.figures = platform::MemoryFigures{42, 3000 * kMB, 100 * kMB};
    // Listing lines that start with a dot, one holding nothing else, reach the
    // detail section as they are: the server must get them back unchanged.
    env.command.listing =
        fakes::listingOf({"   cron", "   ssh", ".hidden-unit", ".", "   systemd-journald"});

    Settings.driveCheck1 = kFlagOn;
    Settings.driveIndex1 = 2;
    Settings.driveLimitMB1 = 500;
    Settings.driveCheck2 = kFlagOn;
    Settings.driveIndex2 = 3;
    Settings.driveLimitMB2 = 100;
    Settings.memoryCheck = kFlagOn;
    Settings.memoryLimitMB = 1000;
    Settings.swapLimitMB = 50;
    Settings.watchServices[0] = QStringLiteral("   cron");
    Settings.watchServices[1] = QStringLiteral("   ssh");
    Settings.smtpServer = QStringLiteral("127.0.0.1");
    Settings.mailFrom = QStringLiteral("tolvane@monitor.example");
    Settings.mailTo = QStringLiteral("admin@example.org");
    Settings.mailSubject = QStringLiteral("サーバー状態報告");
    Settings.showDetails = kFlagOn;
    Settings.showNGDetails = kFlagOn;
    Settings.sendHours[7] = kFlagOn;
    Settings.sendMinute = QStringLiteral("15");
    QVERIFY(API::WriteCheckSettings());
    QVERIFY(API::WriteSmtpSettings());
    QVERIFY(API::WriteSendTimeSettings());

    // As at start-up: the record comes from the files just written.
    Settings = SettingsRecord{};
    frmMain window;
    window.Form_Load();
    MailMod::smtpPort = sink.port();
    env.clock.h = 7;
    env.clock.m = 15;
    if (scheduled)
        window.timerSendTime_Timer();
    else
        window.cmdTestSend->click();

    QTRY_COMPARE(window.sendStatus(), QStringLiteral("送信完了"));
    MailMod::smtpPort = MailMod::kSmtpPort;
    QTRY_COMPARE(sink.messages().size(), 1);
    const QJsonObject mail = sink.messages().first();
    QCOMPARE(mail["helo"].toString(), QStringLiteral("monitor.example"));
    QCOMPARE(mail["mail_from"].toString(), QStringLiteral("tolvane@monitor.example"));
    QCOMPARE(mail["rcpt_tos"].toArray(), QJsonArray{QStringLiteral("admin@example.org")});
    QCOMPARE(mail["content"].toString(), MailMod::mailText + "\r\n");

    const QString text = MailMod::mailText;
    QVERIFY(text.startsWith(QStringLiteral("From: tolvane@monitor.example\r\n"
                                           "To: admin@example.org\r\n"
                                           "Subject: サーバー状態報告\r\n")));
    QVERIFY(text.contains(QStringLiteral("C:ドライブ --- OK\r\n")));
    QVERIFY(text.contains(QStringLiteral("D:ドライブ --- 空き容量が、100 MBを下回りました。")));
    QVERIFY(text.contains(QStringLiteral("\r\n.hidden-unit\r\n.\r\n")));
    QVERIFY(window.cmdTestSend->isEnabled());
    QVERIFY(env.messageBox.shown.size() == (scheduled ? 0 : 1));
}

QTEST_MAIN(tst_MailDelivery)
#include "tst_MailDelivery.moc"
