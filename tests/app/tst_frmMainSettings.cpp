// The main window's start-up and tray icon; tst_SettingsDialog drives its buttons.

#include "app/frmMain.h"
#include "dialogs/frmCheckConfig.h"
#include "dialogs/frmSendTimeConfig.h"
#include "dialogs/frmSmtpConfig.h"
#include "settings/API.h"
#include "support/FakeTrayIcon.h"
#include "support/Fakes.h"
#include "support/KeyInput.h"

#include <QAction>
#include <QLabel>
#include <QtTest>

using namespace Qt::StringLiterals;

class tst_frmMainSettings : public QObject {
    Q_OBJECT
private slots:
    void startUp_data() {
        QTest::addColumn<QStringList>("checkIni");
        QTest::addColumn<int>("faultyLine"); // 0: none
        QTest::newRow("well-formed check.ini") << QStringList(12, u" 0 "_s) << 0;
        QTest::newRow("malformed check.ini ends start-up") << QStringList{" 1 ", "zero"} << 2;
    }

    void startUp() {
        QFETCH(QStringList, checkIni);
        QFETCH(int, faultyLine);
        fakes::Environment env;
        env.folder.write(API::kCheckFile, fakes::crlf(checkIni));
        frmMain window;
        int raisedAt = 0;
        try {
            window.Form_Load();
        } catch (const API::LoadError& error) {
            QCOMPARE(error.file, API::kCheckFile);
            raisedAt = error.line;
        }
        QCOMPARE(raisedAt, faultyLine);
        // Start-up itself reports a fault once; the hidden dialog says nothing.
        QVERIFY(env.messageBox.shown.isEmpty());
        QVERIFY(!frmCheckConfig::exists() && !frmSmtpConfig::exists() &&
                !frmSendTimeConfig::exists());
        // The check dialog was created for its drive lists, which ran its capture.
        if (faultyLine == 0)
            QCOMPARE(env.command.started.size(), 1);
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

QTEST_MAIN(tst_frmMainSettings)
#include "tst_frmMainSettings.moc"
