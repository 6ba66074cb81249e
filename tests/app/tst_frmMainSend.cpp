// The main window's sending: the test-send button and the send scheduler's tick.

#include "app/API.h"
#include "app/frmMain.h"
#include "app/variables.h"
#include "report/SmtpDialogue.h"
#include "support/Fakes.h"
#include "support/ScriptedSmtpServer.h"

#include <QPushButton>
#include <QtTest>

using namespace Qt::StringLiterals;

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

} // namespace

class tst_frmMainSend : public QObject {
    Q_OBJECT

private slots:
    void schedule_data();
    void schedule();
};

void tst_frmMainSend::schedule_data() {
    // From 9 flagged and minute "5": changes "hours=H,H", "flag=F" (of the
    // flagged hours), "minute=M", "rm=FILE", "hide"; ticks "H:MM+" (a mail
    // starts) or "H:MM-" (none); "timer" lets the window's timer tick at 9:05;
    // "test+" and "test-" click the test-send button and answer Yes or No.
    QTest::addColumn<QString>("steps");

    QTest::newRow("test send, Yes") << u"test+"_s;
    QTest::newRow("test send, No") << u"test-"_s;
    QTest::newRow("minute 5") << u"9:05+"_s;
    QTest::newRow("minute 05") << u"minute=05; 9:05+"_s;
    QTest::newRow("blanks and a fraction") << u"minute= 5.9 ; 9:05+"_s;
    QTest::newRow("another minute") << u"9:06-"_s;
    QTest::newRow("hour not flagged") << u"hours=10; 9:05-"_s;
    QTest::newRow("flag other than 1") << u"flag=2; 9:05-"_s;
    QTest::newRow("no hour flagged") << u"hours=; minute=0; 0:00-"_s;
    QTest::newRow("slot 0 is midnight") << u"hours=0; minute=00; 0:00+"_s;
    QTest::newRow("slot 0 is not noon") << u"hours=0; minute=00; 12:00-"_s;
    QTest::newRow("last slot, last minute") << u"hours=23; minute=59; 23:59+"_s;
    QTest::newRow("minute not a number") << u"minute=abc; 9:05-"_s;
    QTest::newRow("minute with a unit") << u"minute=5分; 9:05-"_s;
    QTest::newRow("empty minute at minute 0") << u"minute=; 9:00-"_s;
    // The next flagged hour, and the same minute of the next day, send again.
    QTest::newRow("two ticks in one minute send once")
        << u"hours=0,9; 9:05+; 9:05-; 9:06-; 10:05-; 0:05+; 0:06-; 9:05+"_s;
    QTest::newRow("changed hours take effect at the next tick")
        << u"minute=30; 14:30-; hours=14; 14:30+; hours=9; minute=31; 14:31-"_s;
    for (const QString& file : {API::kCheckFile, API::kSmtpFile, API::kSendTimeFile})
        QTest::newRow(qPrintable(file + u" missing"_s))
            << u"9:05+; rm="_s + file + u"; hours=10; 10:05-"_s;
    QTest::newRow("sent while hidden") << u"hide; 9:05+"_s;
    QTest::newRow("the window's timer ticks") << u"timer"_s;
}

void tst_frmMainSend::schedule() {
    QFETCH(QString, steps);
    Rig rig;
    Settings.sendHours[9] = kFlagOn;
    Settings.sendMinute = u"5"_s;
    bool sent = false;
    for (const QString& step : steps.split(u"; "_s)) {
        const QString arg = step.section(u'=', 1);
        if (step.startsWith(u"hours=")) {
            Settings.sendHours.fill(0);
            for (const QString& hour : arg.split(u',', Qt::SkipEmptyParts))
                Settings.sendHours[hour.toInt()] = kFlagOn;
        } else if (step.startsWith(u"flag=")) {
            std::replace(Settings.sendHours.begin(), Settings.sendHours.end(), kFlagOn,
                         std::int16_t(arg.toInt()));
        } else if (step.startsWith(u"minute=")) {
            Settings.sendMinute = arg;
        } else if (step.startsWith(u"rm=")) {
            QVERIFY(QFile::remove(rig.env.folder.file(arg)));
        } else if (step == u"hide") {
            rig.window.show();
            rig.window.hide();
        } else if (step == u"timer") {
            rig.env.clock.h = 9;
            rig.env.clock.m = 5;
            rig.window.timerSendTime->start(10);
            QTRY_COMPARE(rig.server.connections(), 1);
            sent = true;
        } else {
            const bool sends = step.endsWith(u'+');
            if (step.startsWith(u"test")) {
                rig.env.messageBox.answers = {sends ? platform::MessageBox::kYes
                                                    : platform::MessageBox::kNo};
                rig.window.setSendStatus(kUntouched);
                rig.window.cmdTestSend->click();
                const auto box = rig.env.messageBox.shown.value(0);
                QCOMPARE(box.text, u"テスト送信を行ないます。よろしいですか？"_s);
                QVERIFY(box.title == u"テスト送信"_s && box.style == platform::MessageBox::kYesNo);
                QCOMPARE(rig.window.sendStatus() != kUntouched, sends);
                QCOMPARE(rig.window.cmdTestSend->isEnabled(), !sends);
            } else {
                const QTime at = QTime::fromString(step.chopped(1), u"H:mm");
                QVERIFY2(rig.tickAt(at.hour(), at.minute()) == sends, qPrintable(step));
            }
            sent |= sends;
        }
    }
    if (sent)
        QTRY_COMPARE(rig.window.sendStatus(), u"送信完了"_s);
    QVERIFY(rig.window.cmdTestSend->isEnabled());
    // A scheduled send leaves the window as it was.
    QVERIFY(!rig.window.isVisible());
}

QTEST_MAIN(tst_frmMainSend)
#include "tst_frmMainSend.moc"
