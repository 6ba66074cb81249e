#pragma once

#include "report/MailMod.h"

#include <QMainWindow>

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QPushButton;
class QTimer;

namespace platform {
class SocketObject;
}

// The main window: start-up, the dialog buttons, test send, the menus, the
// status bar, the send scheduler's timer, the socket and the tray icon host.
// The mail path reaches its status bar, test-send button and socket through
// its outlet.
class frmMain : public QMainWindow, public MailMod::MailOutlet {
public:
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    // Runs once, before the window is first shown. A malformed settings file
    // throws API::LoadError.
    void Form_Load();

    // Third status bar panel: the send status, or how many reports wait for
    // another try while any do.
    void setSendStatus(const QString& text) override;
    QString sendStatus() const;
    void setWaitingReports(int count) override;
    void setTestSendEnabled(bool enabled) override;
    void showBox(const QString& text, const QString& title) override;
    platform::SocketObject& mailSocket() override;

    // Controls, named as the program knows them.
    QFrame* Line1 = nullptr;
    QPushButton* cmdCheckConfig = nullptr;
    QPushButton* cmdSmtpConfig = nullptr;
    QPushButton* cmdSendTime = nullptr;
    QPushButton* cmdTestSend = nullptr;
    QLabel* picTrayIcon = nullptr;
    QTimer* timerSendTime = nullptr;
    platform::SocketObject* sckSend = nullptr;
    QLabel* StatusBarPanels[3] = {};

    QMenu* mnuFile = nullptr;
    QAction* mnuClose = nullptr;
    QMenu* mnuView = nullptr;
    QAction* mnuTaskTray = nullptr;
    QMenu* mnuHelp = nullptr;
    QAction* mnuVersion = nullptr;

    // Menus.
    void mnuClose_Click();
    void mnuVersion_Click();
    void mnuTaskTray_Click();

    // Dialog buttons: each opens its dialog modally and returns when it closes.
    void cmdCheckConfig_Click();
    void cmdSmtpConfig_Click();
    void cmdSendTime_Click();

    // Test send and the SMTP dialogue's socket events.
    void cmdTestSend_Click();
    void sckSend_DataArrival(qint64 bytesTotal);
    void sckSend_Close();
    void sckSend_Error(int number, const QString& description);
    void sckSend_Encrypted();

    // The send scheduler's tick.
    void timerSendTime_Timer();

    // The tray icon's notification: a release of the left button restores the window.
    void picTrayIcon_MouseMove(int button, int shift, int x, int y);

protected:
    // The title bar's close box ends the process.
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void buildStatusBar();
    void updateClockPanel();

    void showSendStatus();
    // The tray icon's tip, which also says how many reports wait.
    QString trayTip() const;

    QTimer* clockTimer_ = nullptr;
    QString sendStatus_;
    int waitingReports_ = 0;

    // The calendar minute (day, hour and minute, counted in minutes) in which
    // the scheduler last started a mail, or kNoSend.
    static constexpr long long kNoSend = -1;
    long long lastSendMinute_ = kNoSend;
};

// Twips to pixels at 96 dots per inch.
constexpr int twips(int value) {
    return value / 15;
}
