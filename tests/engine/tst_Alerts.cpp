// Alerts on a change of state, by the fake clock, drives and service listing:
// every few minutes the checks of a report run, and each item's verdict is
// compared with the last one's.

#include "engine/Alerts.h"
#include "settings/API.h"
#include "settings/variables.h"
#include "support/Fakes.h"

#include <QTcpServer>
#include <QtTest>
#include <optional>

namespace {

constexpr std::uint64_t kMB = 1024 * 1024;

// Slot 1 on C: (NG at 500 MB free or less), the service "   cron" watched,
// alerts every 5 minutes; the three settings files present, the mail server a
// port that refuses (alerts that fail show no box).
struct Rig {
    Rig() {
        for (const QString& file : {API::kCheckFile, API::kSmtpFile, API::kSendTimeFile})
            env.folder.write(file, "\r\n");
        QTcpServer closed;
        closed.listen(QHostAddress::LocalHost);
        Settings.smtpServer = "127.0.0.1";
        Settings.smtpPort = closed.serverPort();
        Settings.mailFrom = "me@example.com";
        Settings.mailTo = "you@example.org";
        Settings.mailSubject = "Status";
        Settings.driveCheck1 = kFlagOn;
        Settings.driveIndex1 = 2;
        Settings.driveLimitMB1 = 500;
        Settings.watchServices[0] = "   cron";
        Settings.watchServiceCount = 1;
        Settings.alertMinutes = 5;
        env.drives.freeBytesByLetter = {{'C', 600 * kMB}, {'D', 600 * kMB}};
        env.command.listing = fakes::listingOf({"   cron"});
        start();
    }
    void start() {
        face.emplace(env.messageBox);
        QObject::connect(&face->engine.queue, &MailMod::MailQueue::sending,
                         [this](const MailMod::Mail& mail) { record(mail); });
    }
    // Each alert as its subject and its lines, "|" between; its body holds
    // the report after them and an empty line.
    void record(const MailMod::Mail& mail) {
        const QString head = mail.mailText.section("\r\n\r\n", 0, 0);
        const QString lines = mail.mailText.section("\r\n\r\n", 1, 1);
        const QString report = mail.mailText.section("\r\n\r\n", 2);
        QVERIFY2(report.startsWith(u'[') || report.startsWith(u'（'), qPrintable(mail.mailText));
        tick += head.section("Subject: ", 1).section("\r\n", 0, 0) + u'|' +
                QString(lines).replace("\r\n", "|") + u'/';
    }
    void step(const QString& step) {
        if (step.startsWith(u'+')) {
            env.clock.at = env.clock.at.addSecs(60 * step.mid(1).toInt());
            tick.clear();
            face->engine.timerSendTime_Timer();
            QTRY_VERIFY(!face->engine.queue.busy());
            ticks << (tick.isEmpty() ? "-" : tick.chopped(1));
        } else if (step == "restart") {
            face.reset();
            start();
        } else if (step.startsWith("C=")) {
            env.drives.freeBytesByLetter['C'] = step.mid(2).toULongLong() * kMB;
        } else if (step == "D on") {
            Settings.driveCheck2 = kFlagOn;
            Settings.driveIndex2 = 3;
        } else if (step == "D gone") {
            env.drives.freeBytesByLetter.erase('D');
        } else if (step == "D back") {
            env.drives.freeBytesByLetter['D'] = 600 * kMB;
        } else if (step.startsWith("services=")) {
            env.command.listing = fakes::listingOf(step.mid(9).split(u',', Qt::SkipEmptyParts));
        } else if (step == "watch ssh") {
            Settings.watchServices[1] = "   ssh";
            Settings.watchServiceCount = 2;
        } else if (step.startsWith("listing ")) {
            env.command.canStart = step.endsWith("on");
        } else if (step.startsWith("remind=")) {
            Settings.reminderMinutes = std::int16_t(step.mid(7).toInt());
        } else if (step == "off") {
            Settings.alertMinutes = 0;
        } else {
            QFAIL(qPrintable("unknown step " + step));
        }
    }

    fakes::Environment env;
    std::optional<fakes::MailFace> face;
    QString tick;      // the alerts of the tick under way
    QStringList ticks; // the alerts of each tick, "-" for none
};

} // namespace

class tst_Alerts : public QObject {
    Q_OBJECT
private slots:
    void alerts_data() {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QStringList>("alerts"); // of each tick
        const QString ng = "[NG] Status|NG: C:ドライブ", ok = "[OK] Status|復旧: C:ドライブ";
        // The first check only takes the verdicts as they are.
        QTest::newRow("OK to NG, NG stays NG, NG to OK")
            << "+0; C=100; +5; +5; C=600; +5" << QStringList{"-", ng, "-", ok};
        QTest::newRow("every 5 minutes, not before")
            << "+0; C=100; +4; +1" << QStringList{"-", "-", ng};
        QTest::newRow("reminders every 10 minutes while it stays NG")
            << "remind=10; +0; C=100; +5; +5; +5; +5" << QStringList{"-", ng, "-", ng, "-"};
        QTest::newRow("everything OK again before the recovery is told")
            << "+0; services=; C=100; +5; C=600; +5; services=   cron; +5"
            << QStringList{"-", "[NG] Status|NG: C:ドライブ|NG: cron", "-",
                           "[OK] Status|復旧: C:ドライブ|復旧: cron"};
        QTest::newRow("checks that cannot run, a drive not ready")
            << "D on; +0; listing off; +5; listing on; D gone; +5; D back; +5"
            << QStringList{"-",
                           "[NG] Status|NG: 監視項目の確認（サービスの一覧またはメモリの状態を"
                           "取得できません）",
                           "[NG] Status|NG: D:ドライブ（存在しないか、準備ができていません）",
                           "[OK] Status|復旧: 監視項目の確認|復旧: D:ドライブ"};
        // Kept verdicts: a change while stopped is told, an alert not repeated.
        QTest::newRow("restarts") << "+0; restart; C=100; +1; restart; +1; C=600; +5"
                                  << QStringList{"-", ng, "-", ok};
        QTest::newRow("a service added to the list, not running")
            << "+0; watch ssh; +5; services=; +5" << QStringList{"-", "-", "[NG] Status|NG: cron"};
        QTest::newRow("alerts off") << "off; +0; C=100; +5" << QStringList{"-", "-"};
    }

    void alerts() {
        QFETCH(QString, steps);
        Rig rig;
        for (const QString& step : steps.split("; "))
            rig.step(step);
        QTEST(rig.ticks, "alerts");
        QVERIFY(rig.env.messageBox.shown.isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_Alerts)
#include "tst_Alerts.moc"
