// The main window: start-up, its controls and menus, the status bar clock and
// the tray icon; tst_SettingsDialog drives the buttons that open the dialogs.

#include "app/frmMain.h"
#include "dialogs/frmCheckConfig.h"
#include "dialogs/frmSendTimeConfig.h"
#include "dialogs/frmSmtpConfig.h"
#include "settings/API.h"
#include "settings/variables.h"
#include "support/FakeTrayIcon.h"
#include "support/Fakes.h"
#include "support/KeyInput.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

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

    // The real program, in a folder of its own with a sendtime.ini of fewer
    // than 25 lines, ends before showing its window and says why.
    void programEndsOnMalformedFile() {
        QTemporaryDir dir;
        const QString built = QCoreApplication::applicationDirPath();
        const QString executable = QStringLiteral("tolvane" TOLVANE_EXECUTABLE_SUFFIX);
        for (const QString& name :
             {executable, QStringLiteral("tolvane-services" TOLVANE_EXECUTABLE_SUFFIX)}) {
            if (QFile::exists(built + "/" + name))
                QVERIFY(QFile::copy(built + "/" + name, dir.filePath(name)));
        }
        QFile file(dir.filePath(API::kSendTimeFile));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(fakes::crlf(fakes::settingsLines(API::kSendTimeFile, stored()).mid(0, 20)));
        file.close();
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        program.setProcessEnvironment(environment);
        program.start(dir.filePath(executable), {});
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
        frmMain window;
        QVERIFY(keys::showAndWait(&window));
        // The buttons stand one below the other in the order of their tabs.
        QStringList captions;
        QPushButton* const buttons[] = {window.cmdCheckConfig, window.cmdSmtpConfig,
                                        window.cmdSendTime, window.cmdTestSend};
        for (int i = 0; i < 4; ++i) {
            captions << buttons[i]->text();
            if (i > 0)
                QVERIFY(buttons[i - 1]->nextInFocusChain() == buttons[i] &&
                        buttons[i - 1]->geometry().bottom() < buttons[i]->y());
        }
        for (QAction* menu : window.menuBar()->actions())
            captions << menu->text() + u':' + menu->menu()->actions().value(0)->text();
        QCOMPARE(
            captions,
            (QStringList{"監視項目設定(&S)", "メール送信設定(&M)", "送信時間設定(&T)",
                         "テスト送信(&E)", "ファイル(&F):終了(&X)",
                         "表示(&V):タスクトレイに入れる(&T)", "ヘルプ(&H):バージョン情報(&A)..."}));
        // The window is as wide as its client area, and the menus fit it.
        QCOMPARE(window.width(), window.centralWidget()->width());
        QVERIFY(window.menuBar()->sizeHint().width() <= window.width());
        QVERIFY(window.timerSendTime->isActive() &&
                window.timerSendTime->timerType() == Qt::PreciseTimer);
        QCOMPARE(window.timerSendTime->interval(), 59900);

        window.mnuVersion->trigger();
        QCOMPARE(env.messageBox.shown.size(), 1);
        QVERIFY(env.messageBox.shown[0].title == u"バージョン情報"_s &&
                env.messageBox.shown[0].style == 0);
    }

    void clock() {
        fakes::Environment env;
        env.clock.set(9, 5);
        frmMain window;
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
        fakes::TrayIcon tray;
        tray.available = available;
        frmMain window;
        QVERIFY(keys::showAndWait(&window));
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
};

QTEST_MAIN(tst_frmmain)
#include "tst_frmmain.moc"
