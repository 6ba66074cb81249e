// The main window's start-up and its tray icon; its settings buttons are
// exercised by the settings dialogs' own tests.

#include "app/API.h"
#include "app/frmMain.h"
#include "app/variables.h"
#include "dialogs/frmCheckConfig.h"
#include "dialogs/frmSendTimeConfig.h"
#include "dialogs/frmSmtpConfig.h"
#include "support/FakeTrayIcon.h"
#include "support/Fakes.h"
#include "support/KeyInput.h"

#include <QAction>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {
bool anyDialogExists() {
    return frmCheckConfig::exists() || frmSmtpConfig::exists() || frmSendTimeConfig::exists();
}
} // namespace

class tst_frmMainSettings : public QObject {
    Q_OBJECT
private slots:
    void startUp_data();
    void startUp();
    void tray_data();
    void tray();
};

void tst_frmMainSettings::startUp_data() {
    QTest::addColumn<QStringList>("checkIni");
    QTest::addColumn<int>("faultyLine"); // 0: none
    QTest::newRow("well-formed files")
        << QStringList{" 1 ",   " 0 ",   " 0 ", " 3 ", " 3 ",   " 4 ",     " 900 ",
                       " 500 ", " 500 ", " 1 ", " 0 ", " 200 ", "   Alpha"}
        << 0;
    QTest::newRow("malformed check.ini ends start-up") << QStringList{" 1 ", " 0 ", "zero"} << 3;
}

void tst_frmMainSettings::startUp() {
    QFETCH(QStringList, checkIni);
    QFETCH(int, faultyLine);
    fakes::Environment env;
    env.folder.write(API::kCheckFile, fakes::crlf(checkIni));
    env.folder.write(API::kSmtpFile, fakes::crlf({"127.0.0.1", "a@b", "c@d", "S", " 1 ", " 0 "}));
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
    QVERIFY(!anyDialogExists());
    if (faultyLine == 0) {
        // The check dialog was created for its drive lists, which ran its capture.
        QCOMPARE(env.command.started.size(), 1);
        QVERIFY(Settings.driveLimitMB1 == 900 && Settings.watchServices[0] == u"   Alpha"_s);
        QCOMPARE(Settings.mailFrom, u"a@b"_s);
    }
}

void tst_frmMainSettings::tray_data() {
    QTest::addColumn<bool>("available");
    QTest::newRow("notification area") << true;
    QTest::newRow("no notification area: the window stays") << false;
}

void tst_frmMainSettings::tray() {
    QFETCH(bool, available);
    fakes::Environment env;
    fakes::TrayEnvironment tray;
    tray.tray.available = available;
    frmMain window;
    QVERIFY(keys::showAndWait(&window));

    // Twice: as often as the operator likes.
    for (int round = 1; round <= 2; ++round) {
        window.mnuTaskTray->trigger();
        QCOMPARE(window.isVisible(), !available);
        QCOMPARE(tray.tray.shown, available);
        QCOMPARE(env.messageBox.shown.size(), available ? 0 : round);
        if (!available) {
            QCOMPARE(env.messageBox.shown.last().title, u"エラー"_s);
            continue;
        }
        QCOMPARE(tray.tray.added.size(), round);
        QCOMPARE(tray.tray.added.last().tip, u"クリックで表示します"_s);
        QVERIFY(!tray.tray.added.last().icon.isNull());
        tray.tray.releaseLeftButton();
        QVERIFY(window.isVisible() && !tray.tray.shown);
        QCOMPARE(tray.tray.removals, round);
    }
}

QTEST_MAIN(tst_frmMainSettings)
#include "tst_frmMainSettings.moc"
