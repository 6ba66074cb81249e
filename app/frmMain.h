#pragma once

#include <QMainWindow>

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QPushButton;
class QTimer;
class Engine;
class SendStatus;
struct Notice;

// The main window: start-up, the dialog buttons, test send, the menus, the
// status bar and the tray icon host. It is the face of its engine, which
// schedules and sends: it shows what the engine tells in boxes, the status
// bar, the tray icon's tip and the test-send button.
class frmMain : public QMainWindow {
public:
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    // Runs once, before the window is first shown. A malformed settings file
    // throws API::LoadError.
    void Form_Load();

    // Third status bar panel: the send status, or how many reports wait for
    // another try while any do.
    void setSendStatus(const QString& text);
    QString sendStatus() const;
    void setWaitingReports(int count);

    // The schedule, the queue of mails and the outbox.
    Engine* engine = nullptr;

    // Controls, named as the program knows them.
    QFrame* Line1 = nullptr;
    QPushButton* cmdCheckConfig = nullptr;
    QPushButton* cmdSmtpConfig = nullptr;
    QPushButton* cmdSendTime = nullptr;
    QPushButton* cmdTestSend = nullptr;
    QLabel* picTrayIcon = nullptr;
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

    // Test send.
    void cmdTestSend_Click();

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
    // What the engine tells of the mails.
    void showMailStatus();
    void showNotice(const Notice& box);
    // The tray icon's tip, which also says how many reports wait.
    QString trayTip() const;

    QTimer* clockTimer_ = nullptr;
    QString sendStatus_;
    int waitingReports_ = 0;
    SendStatus* mailStatus_ = nullptr;
};

// Twips to pixels at 96 dots per inch.
constexpr int twips(int value) {
    return value / 15;
}
