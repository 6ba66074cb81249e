// The main window: start-up, its controls and menus, the status bar clock, the
// tray icon, the buttons that open the settings dialogs (their files failing to
// load or to be written, Esc and Cancel), the test send and the send scheduler.

#include "app/frmMain.h"
#include "dialogs/frmCheckConfig.h"
#include "dialogs/frmSendTimeConfig.h"
#include "dialogs/frmSmtpConfig.h"
#include "engine/Engine.h"
#include "platform/TrayIcon.h"
#include "settings/API.h"
#include "settings/variables.h"
#include "support/Fakes.h"
#include "support/ScriptedSmtpServer.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Script = fakes::ScriptedSmtpServer::Script;
using Reply = fakes::ScriptedSmtpServer::Reply;

namespace {

// A notification area, in place for the life of the object, that keeps the
// icon last put into it. `available` false stands for a desktop without one.
class FakeTrayIcon final : public platform::TrayIcon {
public:
    bool available = true;
    bool shown = false;
    QIcon icon;
    QString tip;

    bool add(const QIcon& added, const QString& addedTip) override {
        icon = added;
        tip = addedTip;
        return shown = available;
    }
    void remove() override { shown = false; }
    void setTip(const QString& newTip) override { tip = newTip; }
    void setLeftButtonReleased(std::function<void()> callback) override {
        released_ = std::move(callback);
    }
    // What the operator's release of the left button on the icon does.
    void releaseLeftButton() {
        if (shown && released_)
            released_();
    }

private:
    std::function<void()> released_;
    platform::ScopedOverride<platform::TrayIcon> inPlace_{*this};
};

SettingsRecord stored() {
    SettingsRecord s;
    s.driveCheck1 = s.memoryCheck = s.showDetails = s.sendHours[9] = kFlagOn;
    s.driveIndex1 = 2;
    s.driveLimitMB1 = 500;
    s.swapLimitMB = 200;
    s.watchServices[0] = u"   ServiceA"_s;
    s.watchServiceCount = 1;
    s.smtpServer = u"127.0.0.1"_s;
    s.mailFrom = u"tolvane@localhost"_s;
    s.mailTo = u"admin@localhost"_s;
    s.mailSubject = u"Status Tolvane"_s;
    s.sendMinute = u"05"_s;
    return s;
}

// The three settings files present, a server (by default one that accepts),
// and a schedule of minute 5 of hour 9.
struct Rig : fakes::MailRig {
    explicit Rig(const Script& script = fakes::ScriptedSmtpServer::accepting())
        : MailRig({script}) {
        for (const QString& file : {API::kCheckFile, API::kSmtpFile, API::kSendTimeFile})
            env.folder.write(file, "\r\n");
        Settings.sendHours[9] = kFlagOn;
        Settings.sendMinute = u"5"_s;
    }
};

// The clock of the scheduler's ticks, which may move on while a tick reads it:
// one reading per question, the last one repeated.
struct MovingClock final : platform::Clock {
    QDate date{2026, 12, 7};
    QList<QTime> readings{QTime(0, 0)};
    mutable qsizetype next = 0;
    QDateTime now() const override {
        return {date, readings[std::min(next++, readings.size() - 1)]};
    }
};
} // namespace

class tst_frmmain : public QObject {
    Q_OBJECT
private slots:
    // Start-up loads each settings file that exists, whatever the case of its
    // name, in the order check.ini, smtp.ini, sendtime.ini; a fault ends it at
    // that file. The check dialog, created hidden for its drive lists, reads
    // check.ini first and raises its fault without a box of its own.
    void startUp_data() {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("cutShort"); // holds its first line only
        const QStringList all{u"CHECK.INI"_s, u"Smtp.ini"_s, u"sendtime.ini"_s};
        QTest::newRow("no file") << QStringList{} << QString();
        QTest::newRow("all three, names in any case") << all << QString();
        QTest::newRow("check.ini cut short") << all << API::kCheckFile;
        QTest::newRow("smtp.ini cut short: sendtime.ini not read") << all << API::kSmtpFile;
    }

    void startUp() {
        QFETCH(QStringList, files);
        QFETCH(QString, cutShort);
        fakes::Environment env;
        for (const QString& name : files)
            env.folder.write(name, fakes::crlf(fakes::settingsLines(name, stored())
                                                   .mid(0, name.toLower() == cutShort ? 1 : -1)));
        Settings.watchServices[0] = u"   left over"_s;
        frmMain window;
        QString raisedBy;
        try {
            window.Form_Load();
        } catch (const API::LoadError& error) {
            raisedBy = error.file + u':' + QString::number(error.line);
        }
        QCOMPARE(raisedBy, cutShort.isEmpty() ? QString() : cutShort + u":2"_s);
        bool loaded = !files.isEmpty();
        for (const QString& file : {API::kCheckFile, API::kSmtpFile, API::kSendTimeFile}) {
            loaded &= file != cutShort;
            if (file != cutShort)
                QCOMPARE(fakes::settingsLines(file, Settings),
                         fakes::settingsLines(file, loaded ? stored() : SettingsRecord{}));
        }
        QVERIFY(Settings.watchServices[0] != u"   left over"_s);
        QVERIFY(env.messageBox.shown.isEmpty());
        // The dialogs go again, unless a later file ends start-up, and the program.
        QCOMPARE(frmCheckConfig::exists(), cutShort == API::kSmtpFile);
        QVERIFY(!frmSmtpConfig::exists() && !frmSendTimeConfig::exists());
        QCOMPARE(env.command.started.size(), 1);
        QCOMPARE(window.sendStatus(), QString());
        // One dialog of a kind: asked for again, the one that exists.
        frmCheckConfig& dialog = frmCheckConfig::instance();
        QCOMPARE(&frmCheckConfig::instance(), &dialog);
        frmCheckConfig::destroyInstance();
    }

    // The real program, given a settings folder (--dir) with a sendtime.ini of
    // fewer than 25 lines, ends before showing its window and says why.
    void programEndsOnMalformedFile() {
        fakes::Environment env;
        env.folder.write(
            API::kSendTimeFile,
            fakes::crlf(fakes::settingsLines(API::kSendTimeFile, stored()).mid(0, 20)));
        QProcess program; // offscreen as this test is
        program.start(QCoreApplication::applicationDirPath() +
                          QStringLiteral("/tolvane" TOLVANE_EXECUTABLE_SUFFIX),
                      {u"--dir"_s, env.folder.path()});
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QVERIFY(program.exitCode() != 0);
        // In the system code page, as a console there shows it.
        const QString errors = fakes::systemText(program.readAllStandardError());
        QVERIFY2(errors.contains("sendtime.ini") && errors.contains("21"), qPrintable(errors));
        QVERIFY2(errors.contains("途中で終わっています"), qPrintable(errors));
    }

    void controls() {
        fakes::Environment env;
        // Just before the turn of a minute, when the clock panel wakes.
        env.clock.at.setTime(QTime(9, 5, 59, 950));
        frmMain window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // The buttons in the order of their tabs.
        QStringList captions;
        QPushButton* const buttons[] = {window.cmdCheckConfig, window.cmdSmtpConfig,
                                        window.cmdSendTime, window.cmdTestSend};
        for (int i = 0; i < 4; ++i) {
            captions << buttons[i]->text();
            if (i > 0)
                QCOMPARE(buttons[i - 1]->nextInFocusChain(), buttons[i]);
        }
        for (QAction* menu : window.menuBar()->actions())
            captions << menu->text() + u':' + menu->menu()->actions().value(0)->text();
        QCOMPARE(
            captions,
            (QStringList{"監視項目設定(&S)", "メール送信設定(&M)", "送信時間設定(&T)",
                         "テスト送信(&E)", "ファイル(&F):終了(&X)",
                         "表示(&V):タスクトレイに入れる(&T)", "ヘルプ(&H):バージョン情報(&A)..."}));
        // The menu bar fits in one line.
        QVERIFY(window.menuBar()->sizeHint().width() <= window.width());
        QVERIFY(window.engine->timerSendTime->isActive());

        window.mnuVersion->trigger();
        QCOMPARE(env.messageBox.shown.size(), 1);
        QVERIFY(env.messageBox.shown[0].title == u"バージョン情報"_s &&
                env.messageBox.shown[0].style == 0);
        // Qt's words in a real box, as the program loads them on a Japanese system.
        const std::unique_ptr<QTranslator> qtWords(
            platform::InstallQtTranslation(QLocale(QLocale::Japanese)));
        QMessageBox box(QMessageBox::NoIcon, {}, {}, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(box.button(QMessageBox::Yes)->text() + box.button(QMessageBox::No)->text(),
                 u"はい(&Y)いいえ(&N)"_s);
        // The status bar's clock.
        QCOMPARE(window.StatusBarPanels[0]->text(), u"時間"_s);
        QCOMPARE(window.StatusBarPanels[1]->text(), u"9:05"_s);
        env.clock.set(23, 59);
        QTRY_COMPARE(window.StatusBarPanels[1]->text(), u"23:59"_s);
    }

    void tray_data() {
        QTest::addColumn<bool>("available");
        QTest::newRow("notification area") << true;
        QTest::newRow("no notification area: the window stays") << false;
    }

    void tray() {
        QFETCH(bool, available);
        fakes::Environment env;
        FakeTrayIcon tray;
        tray.available = available;
        frmMain window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // Twice: as often as the operator likes.
        for (int round = 1; round <= 2; ++round) {
            window.mnuTaskTray->trigger();
            QVERIFY(window.isVisible() != available && tray.shown == available);
            QCOMPARE(env.messageBox.shown.size(), available ? 0 : round);
            if (!available)
                continue;
            QVERIFY(tray.tip == u"クリックで表示します"_s && !tray.icon.isNull());
            // Reports that wait for another try: the tip and the status panel say how many.
            window.setWaitingReports(round);
            QCOMPARE(tray.tip, u"クリックで表示します\n再送待ち %1件"_s.arg(round));
            QCOMPARE(window.StatusBarPanels[2]->text(), u"再送待ち %1件"_s.arg(round));
            window.setWaitingReports(0);
            tray.releaseLeftButton();
            QVERIFY(window.isVisible() && !tray.shown);
        }
    }

    void settingsFileFaults_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("lines"); // empty: a folder stands where the file goes
        QTest::addColumn<int>("faultyLine");
        // "objectName.property=value" of controls that show what was read before the fault.
        QTest::addColumn<QStringList>("shown");

        QTest::newRow("check.ini cannot be read")
            << u"check.ini"_s << QStringList{" 0 ", " 1 ", " 1 ", " 9 ", "five"} << 5
            << QStringList{"chkDriveCheck.checked=false", "chkDrive3.checked=true",
                           "cmbDrive1.currentText=J:"};
        QTest::newRow("smtp.ini cannot be read")
            << u"smtp.ini"_s << QStringList{"mail.example", "a@b", "c@d", "Daily", "yes"} << 5
            << QStringList{"txtSmtpServer.text=mail.example", "txtSubject.text=Daily"};
        // The minute comes from the record, which the failed load left alone.
        QTest::newRow("sendtime.ini cannot be read")
            << u"sendtime.ini"_s << QStringList{" 0 ", " 1 ", " 0 ", " 1 ", " 0 "} << 6
            << QStringList{"chkTime1.checked=true", "chkTime2.checked=false",
                           "chkTime3.checked=true", "txtSendMin.text=15"};
        for (const QString& file : {u"check.ini"_s, u"smtp.ini"_s, u"sendtime.ini"_s})
            QTest::newRow(qPrintable(file + u" cannot be written"_s))
                << file << QStringList{} << 0 << QStringList{};
    }

    void settingsFileFaults() {
        QFETCH(QString, file);
        QFETCH(QStringList, lines);
        QFETCH(int, faultyLine);
        QFETCH(QStringList, shown);
        fakes::Environment env;
        Settings.sendMinute = u"15"_s;
        if (lines.isEmpty())
            QVERIFY(QDir(env.folder.path()).mkdir(file));
        else
            env.folder.write(file, fakes::crlf(lines));
        frmMain window;
        QPushButton* button = file == u"check.ini"_s  ? window.cmdCheckConfig
                              : file == u"smtp.ini"_s ? window.cmdSmtpConfig
                                                      : window.cmdSendTime;

        // Read while the dialog is open; it is closed with Cancel whatever it showed.
        QStringList seen;
        QTimer::singleShot(0, this, [&] {
            auto* dlg = dynamic_cast<SettingsDialog*>(QApplication::activeModalWidget());
            if (!dlg)
                return;
            for (const QString& probe : shown) {
                const QStringList part = probe.split(QRegularExpression(u"[.=]"_s));
                const QVariant value =
                    dlg->findChild<QWidget*>(part[0])->property(qPrintable(part[1]));
                seen.append(part[0] + u'.' + part[1] + u'=' + value.toString());
            }
            if (faultyLine == 0) {
                // What was not saved does not take effect either.
                const SettingsRecord before = Settings;
                QTest::mouseClick(dlg->cmdOK, Qt::LeftButton);
                seen << (dlg->isVisible() && Settings == before ? u"OK refused"_s : u"OK"_s);
            }
            QTest::keyClick(dlg, Qt::Key_Escape);
            seen << (dlg->isVisible() ? u"Esc ignored"_s : u"Esc"_s);
            QTest::mouseClick(dlg->cmdCancel, Qt::LeftButton);
        });
        button->click();

        QVERIFY(!frmCheckConfig::exists() && !frmSmtpConfig::exists() &&
                !frmSendTimeConfig::exists());
        if (faultyLine == 0)
            shown << u"OK refused"_s;
        QCOMPARE(seen, shown << u"Esc ignored"_s);
        QCOMPARE(env.messageBox.shown.size(), 1);
        const auto box = env.messageBox.shown[0];
        QVERIFY(box.title == u"エラー"_s && box.style == 0);
        QVERIFY(box.text.contains(faultyLine ? file : env.folder.file(file)));
        if (faultyLine)
            QVERIFY(box.text.contains(QString::number(faultyLine)));
        // Cancel saved nothing.
        QCOMPARE(env.folder.lines(file), lines);
    }

    void schedule_data() {
        // From 9 flagged and minute "5": changes "hours=H,H", "flag=F" (of the
        // flagged hours), "minute=M", "rm=FILE", "day=D" (the date); ticks "H:MM+" (a mail starts)
        // or "H:MM-" (none), "H:MM~" by the window's own timer, "H:MM:SS.zzz>H:MM-" with the
        // clock moving on while the tick reads it; "test+" and "test-" click the test-send
        // button and answer Yes or No. The window stays hidden.
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
        // Readings that straddle the full hour must not send 10 o'clock's minute 59.
        QTest::newRow("a tick across the full hour")
            << u"hours=10; minute=59; 9:59:59.950>10:00-; 10:59+"_s;
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
        MovingClock clock;
        platform::ScopedOverride<platform::Clock> inPlace(clock);
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
                clock.date = QDate(2026, 12, 7).addDays(arg.toInt());
            } else if (step.startsWith(u"rm=")) {
                QVERIFY(QFile::remove(env.folder.file(arg)));
            } else if (step.startsWith(u"test")) {
                env.messageBox.answers = {sends ? platform::MessageBox::kYes
                                                : platform::MessageBox::kNo};
                window.cmdTestSend->click();
                QVERIFY(env.messageBox.shown.last().style == platform::MessageBox::kYesNo &&
                        window.cmdTestSend->isEnabled() != sends);
            } else {
                clock.next = 0;
                clock.readings.clear();
                for (const QString& at : step.chopped(1).split(u'>'))
                    clock.readings
                        << QTime::fromString(at, at.size() > 5 ? u"h:mm:ss.zzz"_s : u"h:mm"_s);
                if (step.endsWith(u'~'))
                    window.engine->timerSendTime->start(10);
                else
                    window.engine->timerSendTime_Timer();
            }
            if (u"+-~"_s.contains(step.back()))
                QTRY_VERIFY2((window.sendStatus() != untouched) == sends, qPrintable(step));
            sent |= sends;
        }
        // Every mail has had its turn.
        QTRY_VERIFY(window.cmdTestSend->isEnabled());
        if (sent)
            QCOMPARE(window.sendStatus(), u"送信完了"_s);
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
        if (script.isEmpty())
            Settings.smtpPort = rig.refusing.localPort();
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
            QVERIFY(rig.transcript().contains(u"C:QUIT\r\n"_s));
    }

    // A settings file changed on disk while the program runs is loaded at the
    // next tick; one that fails to load is told once, and the settings in
    // force stay.
    void settingsChangedOnDisk_data() {
        QTest::addColumn<bool>("hour9");  // flagged in the new file
        QTest::addColumn<int>("lines");   // of the new file that are written
        QTest::addColumn<int>("sendsAt"); // the minute of hour 9 that sends
        QTest::newRow("minute 7 saved by another program") << true << 25 << 7;
        QTest::newRow("cut short after hour 11: all in force stays") << false << 12 << 5;
    }

    void settingsChangedOnDisk() {
        QFETCH(bool, hour9);
        QFETCH(int, lines);
        QFETCH(int, sendsAt);
        Rig rig;
        frmMain window;
        SettingsRecord changed = Settings;
        changed.sendMinute = u"7"_s;
        changed.sendHours[9] = hour9 ? kFlagOn : 0;
        rig.env.folder.write(
            API::kSendTimeFile,
            fakes::crlf(fakes::settingsLines(API::kSendTimeFile, changed).mid(0, lines)));
        for (const int minute : {5, 7}) {
            rig.env.clock.set(9, minute);
            window.engine->timerSendTime_Timer();
            window.engine->timerSendTime_Timer();
        }
        QTRY_COMPARE(window.sendStatus(), u"送信完了"_s);
        QCOMPARE(rig.server.connections(), 1);
        QCOMPARE(Settings.sendMinute, QString::number(sendsAt));
        QCOMPARE(rig.env.messageBox.shown.size(), lines < 25 ? 1 : 0);
        if (lines < 25)
            QVERIFY(rig.env.messageBox.log().startsWith(
                u"エラー|設定ファイル sendtime.ini の 13 行目"_s));
    }

    // Another program schedules for the folder (it holds the folder's lock):
    // the window says so and sends nothing at the minute, but makes test sends.
    void anotherProgramSchedules() {
        Rig rig;
        rig.env.clock.set(9, 5);
        Engine other;
        frmMain window;
        QCOMPARE(window.sendStatus(), u"他のプログラムが定時送信します"_s);
        window.engine->timerSendTime_Timer();
        other.timerSendTime_Timer();
        QTRY_VERIFY(!other.queue.busy() && rig.server.connections() == 1);
        QCOMPARE(window.sendStatus(), u"他のプログラムが定時送信します"_s);
        window.cmdTestSend->click();
        QTRY_COMPARE(window.sendStatus(), u"送信完了"_s);
        QCOMPARE(rig.server.connections(), 2);
    }

    // Beside the Windows service the window never takes the lock, also while
    // the service is stopped (the service could not start again), and shows
    // the service's state from its status file.
    void besideTheService() {
        Rig rig;
        rig.env.clock.set(9, 5);
        QVERIFY((EngineStatus{true, false, {}, {}, 2}.Write()));
        frmMain window;
        QCOMPARE(window.sendStatus(), u"サービス停止中　再送待ち 2件"_s);
        window.engine->timerSendTime_Timer();
        QVERIFY(!window.engine->queue.busy());
        Engine service(Engine::Face::Service);
        QVERIFY(service.schedules());
        service.Start();
        service.timerSendTime_Timer();
        QTRY_VERIFY(!service.queue.busy() && rig.server.connections() == 1);
        window.engine->timerSendTime_Timer();
        QCOMPARE(window.sendStatus(), u"サービス実行中　最終 "_s +
                                          rig.env.clock.now().toString(u"MM/dd"_s) +
                                          u" 09:05 送信完了"_s);
    }

    // A modal settings dialog runs an event loop of its own: a tick while it is
    // open sends, and the mail goes through before the dialog closes.
    void sendWhileDialogIsOpen() {
        Rig rig;
        rig.env.clock.set(9, 5);
        frmMain window;
        QString statusWhileOpen;
        QTimer::singleShot(0, this, [&] {
            auto* dlg = dynamic_cast<SettingsDialog*>(QApplication::activeModalWidget());
            QVERIFY(dlg);
            window.engine->timerSendTime_Timer();
            QTRY_COMPARE(window.sendStatus(), u"送信完了"_s);
            statusWhileOpen = window.sendStatus();
            QTest::mouseClick(dlg->cmdCancel, Qt::LeftButton);
        });
        window.cmdSendTime->click();
        QCOMPARE(statusWhileOpen, u"送信完了"_s);
        QCOMPARE(rig.transcript().last(), u"C:<closed>"_s);
        QVERIFY(window.cmdTestSend->isEnabled());
    }
};

QTEST_MAIN(tst_frmmain)
#include "tst_frmmain.moc"
