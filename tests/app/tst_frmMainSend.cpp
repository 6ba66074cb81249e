// The main window's sending: the test-send button and the send scheduler's tick.

#include "app/API.h"
#include "app/frmMain.h"
#include "app/variables.h"
#include "report/MailMod.h"
#include "report/SmtpDialogue.h"
#include "support/Fakes.h"
#include "support/ScriptedSmtpServer.h"

#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace {

// Put into the status panel before a tick: any send replaces it at once.
const QString kUntouched = QStringLiteral("-");

// The main window over fakes, with the three settings files in place and a
// server that accepts every mail.
struct Rig {
    Rig() {
        for (const QString& file : {API::kCheckFile, API::kSmtpFile, API::kSendTimeFile})
            env.folder.write(file, "\r\n");
        Settings.smtpServer = QStringLiteral("127.0.0.1");
        Settings.mailFrom = QStringLiteral("tolvane@example.com");
        Settings.mailTo = QStringLiteral("admin@example.org");
        Settings.mailSubject = QStringLiteral("状態報告");
        MailMod::smtpPort = server.port();
    }
    ~Rig() { MailMod::smtpPort = MailMod::kSmtpPort; }

    // One tick at the given time of day; true when it started a mail.
    bool tickAt(int hour, int minute) {
        env.clock.h = hour;
        env.clock.m = minute;
        window.setSendStatus(kUntouched);
        window.timerSendTime_Timer();
        return window.sendStatus() != kUntouched;
    }

    fakes::Environment env;
    frmMain window;
    fakes::ScriptedSmtpServer server{fakes::ScriptedSmtpServer::accepting()};
};

void flagHours(std::initializer_list<int> hours, std::int16_t flag = kFlagOn) {
    Settings.sendHours.fill(0);
    for (int hour : hours)
        Settings.sendHours[hour] = flag;
}

} // namespace

class tst_frmMainSend : public QObject {
    Q_OBJECT

private slots:
    void testSend_data();
    void testSend();

    void schedule_data();
    void schedule();
    void missingFile_data();
    void missingFile();
    void oneSendPerMinute();
    void changedHoursTakeEffectAtNextTick();
    void sendsWhileHidden();
    void timerDrivesTheTick();
};

void tst_frmMainSend::testSend_data() {
    QTest::addColumn<int>("answer");
    QTest::newRow("Yes") << int(platform::MessageBox::kYes);
    QTest::newRow("No") << int(platform::MessageBox::kNo);
}

void tst_frmMainSend::testSend() {
    QFETCH(int, answer);
    Rig rig;
    rig.env.messageBox.answers = {answer};

    rig.window.cmdTestSend->click();
    QCOMPARE(rig.env.messageBox.shown.size(), 1);
    QCOMPARE(rig.env.messageBox.shown[0].text,
             QStringLiteral("テスト送信を行ないます。よろしいですか？"));
    QCOMPARE(rig.env.messageBox.shown[0].title, QStringLiteral("テスト送信"));
    QCOMPARE(rig.env.messageBox.shown[0].style, 4);

    if (answer == platform::MessageBox::kNo) {
        QTest::qWait(200);
        QCOMPARE(rig.server.connections(), 0);
        QCOMPARE(rig.window.sendStatus(), QString());
        QVERIFY(rig.window.cmdTestSend->isEnabled());
        return;
    }
    QCOMPARE(rig.window.sendStatus(), QStringLiteral("送信中..."));
    QVERIFY(!rig.window.cmdTestSend->isEnabled());
    QTRY_COMPARE(rig.window.sendStatus(), QStringLiteral("送信完了"));
    QVERIFY(rig.window.cmdTestSend->isEnabled());
    QCOMPARE(rig.server.connections(), 1);
    // The composed report is what went out.
    QVERIFY(MailMod::mailText.startsWith(QStringLiteral("From: tolvane@example.com\r\n")));
    QTRY_VERIFY(rig.server.transcripts[0].contains(
        QStringLiteral("C:") + MailMod::DotStuffed(MailMod::mailText) + "\r\n.\r\n"));
    QCOMPARE(rig.env.messageBox.shown.size(), 1);
}

void tst_frmMainSend::schedule_data() {
    QTest::addColumn<QList<int>>("hours");
    QTest::addColumn<int>("flag");
    QTest::addColumn<QString>("sendMinute");
    QTest::addColumn<int>("hour");
    QTest::addColumn<int>("minute");
    QTest::addColumn<bool>("sends");

    const QList<int> nine{9};
    QTest::newRow("minute 5") << nine << 1 << "5" << 9 << 5 << true;
    QTest::newRow("minute 05") << nine << 1 << "05" << 9 << 5 << true;
    QTest::newRow("blanks and a fraction") << nine << 1 << " 5.9 " << 9 << 5 << true;
    QTest::newRow("another minute") << nine << 1 << "5" << 9 << 6 << false;
    QTest::newRow("hour not flagged") << QList<int>{10} << 1 << "5" << 9 << 5 << false;
    QTest::newRow("flag other than 1") << nine << 2 << "5" << 9 << 5 << false;
    QTest::newRow("no hour flagged") << QList<int>{} << 1 << "0" << 0 << 0 << false;
    QTest::newRow("slot 0 is midnight") << QList<int>{0} << 1 << "00" << 0 << 0 << true;
    QTest::newRow("slot 0 is not noon") << QList<int>{0} << 1 << "00" << 12 << 0 << false;
    QTest::newRow("last slot, last minute") << QList<int>{23} << 1 << "59" << 23 << 59 << true;
    QTest::newRow("minute not a number") << nine << 1 << "abc" << 9 << 5 << false;
    QTest::newRow("minute with a unit") << nine << 1 << "5分" << 9 << 5 << false;
    QTest::newRow("empty minute at minute 0") << nine << 1 << "" << 9 << 0 << false;
}

void tst_frmMainSend::schedule() {
    QFETCH(QList<int>, hours);
    QFETCH(int, flag);
    QFETCH(QString, sendMinute);
    QFETCH(int, hour);
    QFETCH(int, minute);
    QFETCH(bool, sends);
    Rig rig;
    Settings.sendHours.fill(0);
    for (int h : hours)
        Settings.sendHours[h] = std::int16_t(flag);
    Settings.sendMinute = sendMinute;

    QCOMPARE(rig.tickAt(hour, minute), sends);
    if (sends)
        QTRY_COMPARE(rig.window.sendStatus(), QStringLiteral("送信完了"));
}

void tst_frmMainSend::missingFile_data() {
    QTest::addColumn<QString>("file");
    QTest::newRow("check.ini") << API::kCheckFile;
    QTest::newRow("smtp.ini") << API::kSmtpFile;
    QTest::newRow("sendtime.ini") << API::kSendTimeFile;
}

void tst_frmMainSend::missingFile() {
    QFETCH(QString, file);
    Rig rig;
    flagHours({9});
    Settings.sendMinute = QStringLiteral("5");
    QVERIFY(rig.tickAt(9, 5));
    QVERIFY(QFile::remove(rig.env.folder.file(file)));

    flagHours({10});
    QVERIFY(!rig.tickAt(10, 5));
}

void tst_frmMainSend::oneSendPerMinute() {
    Rig rig;
    flagHours({0, 9});
    Settings.sendMinute = QStringLiteral("5");

    QVERIFY(rig.tickAt(9, 5));
    QVERIFY(!rig.tickAt(9, 5));
    QVERIFY(!rig.tickAt(9, 6));
    // The next flagged hour, and the same minute of the next day, send again.
    QVERIFY(!rig.tickAt(10, 5));
    QVERIFY(rig.tickAt(0, 5));
    QVERIFY(!rig.tickAt(0, 6));
    QVERIFY(rig.tickAt(9, 5));
    QTRY_COMPARE(rig.window.sendStatus(), QStringLiteral("送信完了"));
}

void tst_frmMainSend::changedHoursTakeEffectAtNextTick() {
    Rig rig;
    flagHours({9});
    Settings.sendMinute = QStringLiteral("30");
    QVERIFY(!rig.tickAt(14, 30));
    flagHours({14});
    QVERIFY(rig.tickAt(14, 30));
    flagHours({9});
    Settings.sendMinute = QStringLiteral("31");
    QVERIFY(!rig.tickAt(14, 31));
}

void tst_frmMainSend::sendsWhileHidden() {
    Rig rig;
    flagHours({9});
    Settings.sendMinute = QStringLiteral("5");
    rig.window.show();
    rig.window.hide();

    QVERIFY(rig.tickAt(9, 5));
    QTRY_COMPARE(rig.window.sendStatus(), QStringLiteral("送信完了"));
    QVERIFY(!rig.window.isVisible());
}

void tst_frmMainSend::timerDrivesTheTick() {
    Rig rig;
    flagHours({9});
    Settings.sendMinute = QStringLiteral("5");
    rig.env.clock.h = 9;
    rig.env.clock.m = 5;
    rig.window.timerSendTime->start(10);
    QTRY_COMPARE(rig.server.connections(), 1);
    QTRY_COMPARE(rig.window.sendStatus(), QStringLiteral("送信完了"));
}

QTEST_MAIN(tst_frmMainSend)
#include "tst_frmMainSend.moc"
