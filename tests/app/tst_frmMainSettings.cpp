#include "app/API.h"
#include "app/frmMain.h"
#include "app/variables.h"
#include "dialogs/frmCheckConfig.h"
#include "dialogs/frmSendTimeConfig.h"
#include "dialogs/frmSmtpConfig.h"
#include "support/FakeTrayIcon.h"
#include "support/Fakes.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace {

void writeFile(const fakes::Environment& env, const QString& name, const QStringList& lines) {
    env.folder.write(name, (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8());
}

bool anyDialogExists() {
    return frmCheckConfig::exists() || frmSmtpConfig::exists() || frmSendTimeConfig::exists();
}

} // namespace

class tst_frmMainSettings : public QObject {
    Q_OBJECT
private slots:
    void buttonOpensDialogModally_data();
    void buttonOpensDialogModally();
    void existingDialogShownAsItIs();
    void startUpFillsDriveListsAndDestroysDialogs();
    void startUpEndsOnMalformedCheckIniWithoutBox();
    void trayRoundTrip();
    void noNotificationAreaKeepsWindow();
};

void tst_frmMainSettings::buttonOpensDialogModally_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("dialog");
    QTest::addColumn<QString>("title");

    QTest::newRow("checks") << "cmdCheckConfig"
                            << "frmCheckConfig"
                            << "監視項目設定";
    QTest::newRow("mail") << "cmdSmtpConfig"
                          << "frmSmtpConfig"
                          << "メール送信設定";
    QTest::newRow("send time") << "cmdSendTime"
                               << "frmSendTimeConfig"
                               << "送信時間設定";
}

void tst_frmMainSettings::buttonOpensDialogModally() {
    QFETCH(QString, button);
    QFETCH(QString, dialog);
    QFETCH(QString, title);
    fakes::Environment env;
    frmMain window;
    window.Form_Load();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QString seen;
    QString seenTitle;
    bool closed = false;
    QTimer::singleShot(0, this, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        seen = modal->objectName();
        seenTitle = modal->windowTitle();
        QTest::mouseClick(modal->findChild<QPushButton*>(QStringLiteral("cmdCancel")),
                          Qt::LeftButton);
        closed = true;
    });
    QTest::mouseClick(window.findChild<QPushButton*>(button), Qt::LeftButton);
    // The click has returned only once the dialog was closed.
    QVERIFY(closed);
    QCOMPARE(seen, dialog);
    QCOMPARE(seenTitle, title);
    QVERIFY(!anyDialogExists());
}

void tst_frmMainSettings::existingDialogShownAsItIs() {
    fakes::Environment env;
    frmMain window;
    frmCheckConfig::instance().txtSwapAvail->setText(QStringLiteral("4321"));

    QString shown;
    QTimer::singleShot(0, this, [&] {
        auto* modal = dynamic_cast<frmCheckConfig*>(QApplication::activeModalWidget());
        if (!modal)
            return;
        shown = modal->txtSwapAvail->text();
        modal->cmdCancel->click();
    });
    window.cmdCheckConfig_Click();
    QCOMPARE(shown, QStringLiteral("4321"));
    QCOMPARE(env.command.started.size(), 1);
    QVERIFY(!frmCheckConfig::exists());
}

void tst_frmMainSettings::startUpFillsDriveListsAndDestroysDialogs() {
    fakes::Environment env;
    writeFile(env, API::kCheckFile,
              {" 1 ", " 0 ", " 0 ", " 3 ", " 3 ", " 4 ", " 900 ", " 500 ", " 500 ", " 1 ", " 0 ",
               " 200 ", "   Alpha"});
    writeFile(env, API::kSmtpFile, {"127.0.0.1", "a@b", "c@d", "Status", " 1 ", " 0 "});
    frmMain window;
    window.Form_Load();

    // The check dialog was created for its drive lists, which ran its capture.
    QCOMPARE(env.command.started.size(), 1);
    QVERIFY(!anyDialogExists());
    QCOMPARE(Settings.driveIndex1, 3);
    QCOMPARE(Settings.driveLimitMB1, 900);
    QCOMPARE(Settings.watchServices[0], QStringLiteral("   Alpha"));
    QCOMPARE(Settings.mailFrom, QStringLiteral("a@b"));
    QVERIFY(env.messageBox.shown.isEmpty());
}

void tst_frmMainSettings::startUpEndsOnMalformedCheckIniWithoutBox() {
    fakes::Environment env;
    writeFile(env, API::kCheckFile, {" 1 ", " 0 ", "zero"});
    frmMain window;
    bool raised = false;
    try {
        window.Form_Load();
    } catch (const API::LoadError& error) {
        raised = true;
        QCOMPARE(error.file, API::kCheckFile);
        QCOMPARE(error.line, 3);
    }
    QVERIFY(raised);
    // Start-up itself reports the fault once; the hidden dialog says nothing.
    QVERIFY(env.messageBox.shown.isEmpty());
    QVERIFY(!anyDialogExists());
}

void tst_frmMainSettings::trayRoundTrip() {
    fakes::Environment env;
    fakes::TrayEnvironment tray;
    frmMain window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    window.mnuTaskTray->trigger();
    QCOMPARE(tray.tray.added.size(), 1);
    QCOMPARE(tray.tray.added[0].tip, QStringLiteral("クリックで表示します"));
    QVERIFY(!tray.tray.added[0].icon.isNull());
    QVERIFY(tray.tray.shown);
    QVERIFY(!window.isVisible());

    tray.tray.releaseLeftButton();
    QVERIFY(window.isVisible());
    QVERIFY(!tray.tray.shown);
    QCOMPARE(tray.tray.removals, 1);

    // Again, as often as the operator likes.
    window.mnuTaskTray->trigger();
    QVERIFY(!window.isVisible());
    tray.tray.releaseLeftButton();
    QVERIFY(window.isVisible());
    QCOMPARE(tray.tray.removals, 2);
    QVERIFY(env.messageBox.shown.isEmpty());
}

void tst_frmMainSettings::noNotificationAreaKeepsWindow() {
    fakes::Environment env;
    fakes::TrayEnvironment tray;
    tray.tray.available = false;
    frmMain window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    window.mnuTaskTray->trigger();
    QVERIFY(window.isVisible());
    QCOMPARE(env.messageBox.shown.size(), 1);
    QCOMPARE(env.messageBox.shown[0].title, QStringLiteral("エラー"));
    QCOMPARE(env.messageBox.shown[0].style, 0);
}

QTEST_MAIN(tst_frmMainSettings)
#include "tst_frmMainSettings.moc"
