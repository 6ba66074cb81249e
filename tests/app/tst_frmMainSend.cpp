// The main window's test-send button and send scheduler.

#include "app/frmMain.h"
#include "dialogs/SettingsDialog.h"
#include "report/SmtpDialogue.h"
#include "settings/API.h"
#include "settings/variables.h"
#include "support/Fakes.h"
#include "support/ScriptedSmtpServer.h"

#include <QPushButton>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Script = fakes::ScriptedSmtpServer::Script;
using Reply = fakes::ScriptedSmtpServer::Reply;

namespace {
// The three settings files present, a server (by default one that accepts),
// and a schedule of minute 5 of hour 9.
struct Rig {
    explicit Rig(const Script& script = fakes::ScriptedSmtpServer::accepting()) : server(script) {
        for (const QString& file : {API::kCheckFile, API::kSmtpFile, API::kSendTimeFile})
            env.folder.write(file, "\r\n");
        Settings.smtpPort = server.port();
        Settings.smtpServer = u"127.0.0.1"_s;
        Settings.mailFrom = u"tolvane@example.com"_s;
        Settings.mailTo = u"admin@example.org"_s;
        Settings.sendHours[9] = kFlagOn;
        Settings.sendMinute = u"5"_s;
    }
    fakes::Environment env;
    fakes::ScriptedSmtpServer server;
};
} // namespace

class tst_frmMainSend : public QObject {
    Q_OBJECT
private slots:
    void schedule_data() {
        // From 9 flagged and minute "5": changes "hours=H,H", "flag=F" (of the
        // flagged hours), "minute=M", "rm=FILE", "day=D" (the date); ticks "H:MM+" (a mail starts)
        // or "H:MM-" (none), "H:MM~" by the window's own timer; "test+" and "test-" click the
        // test-send button and answer Yes or No. The window stays hidden.
        QTest::addColumn<QString>("steps");

        QTest::newRow("test send, No then Yes") << u"test-; test+"_s;
        QTest::newRow("minute 05; blanks and a fraction")
            << u"minute=05; 9:05+; minute= 5.9 ; hours=10; 10:05+"_s;
        QTest::newRow("minute with a unit; empty minute at minute 0")
            << u"minute=5分; 9:05-; minute=; 9:00-"_s;
        QTest::newRow("flag other than 1") << u"flag=2; 9:05-"_s;
        QTest::newRow("slot 0 is midnight, not noon; the last slot and minute by the timer")
            << u"hours=0,23; minute=00; 12:00-; 0:00+; minute=59; 23:59~"_s;
        // The next flagged hour, and the same minute of the next day, send again.
        QTest::newRow("two ticks in one minute send once")
            << u"hours=0,9; 9:05+; 9:05-; 9:06-; 10:05-; 0:05+; 0:06-; 9:05+"_s;
        // A machine resumed from sleep at the same time on another day.
        QTest::newRow("the same minute of another day sends again")
            << u"9:05+; 9:05-; day=1; 9:05+; 9:05-"_s;
        QTest::newRow("changed hours take effect at the next tick")
            << u"minute=30; 14:30-; hours=14; 14:30+; hours=9; minute=31; 14:31-"_s;
        for (const QString& file : {API::kCheckFile, API::kSmtpFile, API::kSendTimeFile})
            QTest::newRow(qPrintable(file + u" missing"_s))
                << u"9:05+; rm="_s + file + u"; hours=10; 10:05-"_s;
    }

    void schedule() {
        QFETCH(QString, steps);
        Rig rig;
        auto& env = rig.env;
        frmMain window;
        const QString untouched = u"-"_s; // put into the status panel; a send replaces it
        bool sent = false;
        for (const QString& step : steps.split(u"; "_s)) {
            const QString arg = step.section(u'=', 1);
            const bool sends = step.endsWith(u'+') || step.endsWith(u'~');
            window.setSendStatus(untouched);
            if (step.startsWith(u"hours=")) {
                Settings.sendHours.fill(0);
                for (const QString& hour : arg.split(u',', Qt::SkipEmptyParts))
                    Settings.sendHours[hour.toInt()] = kFlagOn;
            } else if (step.startsWith(u"flag=")) {
                std::replace(Settings.sendHours.begin(), Settings.sendHours.end(), kFlagOn,
                             std::int16_t(arg.toInt()));
            } else if (step.startsWith(u"minute=")) {
                Settings.sendMinute = arg;
            } else if (step.startsWith(u"day=")) {
                env.clock.at.setDate(QDate(2026, 12, 7).addDays(arg.toInt()));
            } else if (step.startsWith(u"rm=")) {
                QVERIFY(QFile::remove(env.folder.file(arg)));
            } else if (step.startsWith(u"test")) {
                env.messageBox.answers = {sends ? platform::MessageBox::kYes
                                                : platform::MessageBox::kNo};
                window.cmdTestSend->click();
                QVERIFY(env.messageBox.shown.last().style == platform::MessageBox::kYesNo &&
                        window.cmdTestSend->isEnabled() != sends);
            } else {
                env.clock.set(step.section(u':', 0, 0).toInt(),
                              step.section(u':', 1).chopped(1).toInt());
                if (step.endsWith(u'~'))
                    window.timerSendTime->start(10);
                else
                    window.timerSendTime_Timer();
            }
            if (u"+-~"_s.contains(step.back()))
                QTRY_VERIFY2((window.sendStatus() != untouched) == sends, qPrintable(step));
            sent |= sends;
        }
        if (sent)
            QTRY_COMPARE(window.sendStatus(), u"送信完了"_s);
        QVERIFY(window.cmdTestSend->isEnabled());
        // A scheduled send leaves the window as it was.
        QVERIFY(!window.isVisible());
    }

    // The window's socket events reach the dialogue: a refused connection, a
    // server that closes, and one that refuses the recipient and closes after
    // QUIT while the box of that reply is open fail the test send.
    void failedSend_data() {
        QTest::addColumn<Script>("script"); // empty: nothing listens
        QTest::addColumn<QString>("box");
        QTest::addColumn<bool>("quits"); // the client answers the failing reply with QUIT
        const Script accepting = fakes::ScriptedSmtpServer::accepting();
        QTest::newRow("connection refused") << Script{} << u"Error"_s << false;
        QTest::newRow("closed instead of a reply")
            << accepting.mid(0, 2) + Script{Reply({}, true)} << u"Error"_s << false;
        QTest::newRow("recipient refused, closed while the box is open")
            << accepting.mid(0, 3) + Script{"550 no such user\r\n", Reply({"221 bye\r\n"}, true)}
            << u"ERROR"_s << true;
    }

    void failedSend() {
        QFETCH(Script, script);
        QFETCH(QString, box);
        Rig rig(script);
        if (script.isEmpty()) {
            QTcpServer closed;
            QVERIFY(closed.listen(QHostAddress::LocalHost));
            Settings.smtpPort = closed.serverPort();
        }
        rig.env.messageBox.openFor = 300ms;
        frmMain window;
        window.cmdTestSend->click();
        QTRY_COMPARE(window.sendStatus(), u"送信エラー"_s);
        QTRY_COMPARE(rig.env.messageBox.open, 0);
        QStringList titles;
        for (const auto& shown : rig.env.messageBox.shown)
            titles << shown.title;
        QCOMPARE(titles, (QStringList{u"テスト送信"_s, box}));
        QVERIFY(window.cmdTestSend->isEnabled());
        QFETCH(bool, quits);
        if (quits)
            QVERIFY(rig.server.transcripts.value(0).contains(u"C:QUIT\r\n"_s));
    }

    // The clock moves on while a tick reads it: a tick at 9:59:59.95 whose
    // readings straddle the full hour must not send 10 o'clock's report of
    // minute 59, and 10:59 must still send it.
    void tickAcrossTheFullHour() {
        Rig rig;
        Settings.sendHours.fill(0);
        Settings.sendHours[10] = kFlagOn;
        Settings.sendMinute = u"59"_s;
        struct MovingClock final : platform::Clock {
            QList<QTime> readings{QTime(9, 0)}; // one per question, the last one repeated
            mutable qsizetype next = 0;
            QDateTime now() const override {
                return {QDate(2026, 12, 7), readings[std::min(next++, readings.size() - 1)]};
            }
        } clock;
        platform::ScopedOverride<platform::Clock> inPlace(clock);
        frmMain window;
        clock.readings = {QTime(9, 59, 59, 950), QTime(10, 0)};
        clock.next = 0;
        window.timerSendTime_Timer();
        QTest::qWait(100);
        QCOMPARE(window.sendStatus(), QString());
        clock.readings = {QTime(10, 59)};
        clock.next = 0;
        window.timerSendTime_Timer();
        QTRY_COMPARE(window.sendStatus(), u"送信完了"_s);
    }

    // A modal settings dialog runs an event loop of its own: a tick while it is
    // open sends, and the mail goes through before the dialog closes.
    void sendWhileDialogIsOpen() {
        Rig rig;
        auto& env = rig.env;
        auto& server = rig.server;
        env.clock.set(9, 5);
        frmMain window;
        QString statusWhileOpen;
        QTimer::singleShot(0, this, [&] {
            auto* dlg = dynamic_cast<SettingsDialog*>(QApplication::activeModalWidget());
            QVERIFY(dlg);
            window.timerSendTime_Timer();
            QTRY_COMPARE(window.sendStatus(), u"送信完了"_s);
            statusWhileOpen = window.sendStatus();
            QTest::mouseClick(dlg->cmdCancel, Qt::LeftButton);
        });
        window.cmdSendTime->click();
        QCOMPARE(statusWhileOpen, u"送信完了"_s);
        QCOMPARE(server.transcripts.value(0).last(), u"C:<closed>"_s);
        QVERIFY(window.cmdTestSend->isEnabled());
    }
};

QTEST_MAIN(tst_frmMainSend)
#include "tst_frmMainSend.moc"
