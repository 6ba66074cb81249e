#include "app/frmMain.h"

#include "dialogs/TolvaneFont.h"
#include "dialogs/chkConfigMod.h"
#include "dialogs/frmCheckConfig.h"
#include "dialogs/frmSendTimeConfig.h"
#include "dialogs/frmSmtpConfig.h"
#include "engine/Engine.h"
#include "engine/SendStatus.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "platform/Service.h"
#include "platform/TrayIcon.h"
#include "settings/API.h"
#include "settings/variables.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <cstdlib>

namespace {
// The clock panel is refreshed just after each turn of the minute: the timer
// may fire a little early, and the margin keeps it from showing the old
// minute again.
constexpr int kMinuteMs = 60000;
constexpr int kClockMarginMs = 20;
// Client area and status bar, in twips.
constexpr int kClientWidth = 2790;
constexpr int kStatusBarTop = 3405;
constexpr int kStatusBarHeight = 255;
// Status bar panel widths, in proportion.
constexpr int kPanelWidths[3] = {970, 1235, 2611};
} // namespace

frmMain::frmMain(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("Tolvane"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/tolvane32.png")));
    setFont(tolvaneFont());
    buildControls();
    buildMenus();
    buildStatusBar();

    connect(cmdTestSend, &QPushButton::clicked, this, &frmMain::cmdTestSend_Click);

    engine = new Engine(Engine::Face::Window, this);
    mailStatus_ = new SendStatus(
        *engine, [this](const Notice& box) { showNotice(box); }, this);
    connect(mailStatus_, &SendStatus::changed, this, &frmMain::showMailStatus);
    connect(engine, &Engine::waitingChanged, this, &frmMain::setWaitingReports);
    setSendStatus(mailStatus_->text());

    connect(cmdCheckConfig, &QPushButton::clicked, this, &frmMain::cmdCheckConfig_Click);
    connect(cmdSmtpConfig, &QPushButton::clicked, this, &frmMain::cmdSmtpConfig_Click);
    connect(cmdSendTime, &QPushButton::clicked, this, &frmMain::cmdSendTime_Click);
    connect(mnuTaskTray, &QAction::triggered, this, &frmMain::mnuTaskTray_Click);

    // The client width exactly: shown at no size of its own, a window whose
    // layout can grow sideways (the status bar's) is widened to 200 pixels.
    resize(sizeHint());
}

frmMain::~frmMain() {
    // The engine's last words (a mail given up as it goes) reach no window.
    engine->disconnect();
}

void frmMain::buildControls() {
    auto* client = new QWidget(this);
    client->setFixedSize(twips(kClientWidth), twips(kStatusBarTop));
    setCentralWidget(client);

    Line1 = new QFrame(client);
    Line1->setObjectName(QStringLiteral("Line1"));
    Line1->setFrameShape(QFrame::HLine);
    Line1->setFrameShadow(QFrame::Sunken);
    Line1->setGeometry(0, 0, twips(2760), 2);

    auto button = [client](const char* name, const QString& caption, int top) {
        auto* b = new QPushButton(caption, client);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(twips(540), twips(top), twips(1815), twips(495));
        return b;
    };
    cmdCheckConfig = button("cmdCheckConfig", QStringLiteral("監視項目設定(&S)"), 300);
    cmdSmtpConfig = button("cmdSmtpConfig", QStringLiteral("メール送信設定(&M)"), 1020);
    cmdSendTime = button("cmdSendTime", QStringLiteral("送信時間設定(&T)"), 1740);
    cmdTestSend = button("cmdTestSend", QStringLiteral("テスト送信(&E)"), 2460);
    setTabOrder(cmdCheckConfig, cmdSmtpConfig);
    setTabOrder(cmdSmtpConfig, cmdSendTime);
    setTabOrder(cmdSendTime, cmdTestSend);

    // Holds the tray icon image; it lies below the visible client area.
    picTrayIcon = new QLabel(client);
    picTrayIcon->setObjectName(QStringLiteral("picTrayIcon"));
    picTrayIcon->setPixmap(QPixmap(QStringLiteral(":/icons/tolvane16.png")));
    picTrayIcon->setGeometry(twips(1200), twips(4080), twips(375), twips(375));
}

void frmMain::buildMenus() {
    // Tight item padding, so that the three menus fit the narrow window as
    // they do with the system's own menu bar.
    menuBar()->setStyleSheet(
        QStringLiteral("QMenuBar { spacing: 0px; } QMenuBar::item { padding: 2px 2px; }"));
    mnuFile = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    mnuClose = mnuFile->addAction(QStringLiteral("終了(&X)"));
    connect(mnuClose, &QAction::triggered, this, &frmMain::mnuClose_Click);

    mnuView = menuBar()->addMenu(QStringLiteral("表示(&V)"));
    mnuTaskTray = mnuView->addAction(QStringLiteral("タスクトレイに入れる(&T)"));

    mnuHelp = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    mnuVersion = mnuHelp->addAction(QStringLiteral("バージョン情報(&A)..."));
    connect(mnuVersion, &QAction::triggered, this, &frmMain::mnuVersion_Click);
}

void frmMain::buildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar"));
    bar->setSizeGripEnabled(false);
    bar->setFixedHeight(twips(kStatusBarHeight));
    for (int i = 0; i < 3; ++i) {
        auto* panel = new QLabel(bar);
        panel->setObjectName(QStringLiteral("StatusBarPanel%1").arg(i + 1));
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
        // Ignored lets the stretch factors alone decide the widths.
        panel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        bar->addWidget(panel, kPanelWidths[i]);
        StatusBarPanels[i] = panel;
    }
    StatusBarPanels[0]->setText(QStringLiteral("時間"));
    clockTimer_ = new QTimer(this);
    clockTimer_->setSingleShot(true);
    clockTimer_->setTimerType(Qt::PreciseTimer);
    connect(clockTimer_, &QTimer::timeout, this, &frmMain::updateClockPanel);
    updateClockPanel();
}

void frmMain::updateClockPanel() {
    const QTime now = platform::use<platform::Clock>().now().time();
    StatusBarPanels[1]->setText(
        QStringLiteral("%1:%2").arg(now.hour()).arg(now.minute(), 2, 10, QLatin1Char('0')));
    // Awake once a minute only.
    const int intoMinute = now.second() * 1000 + now.msec();
    clockTimer_->start(kMinuteMs - intoMinute + kClockMarginMs);
}

void frmMain::setSendStatus(const QString& text) {
    sendStatus_ = text;
    showSendStatus();
}

QString frmMain::sendStatus() const {
    return sendStatus_;
}

void frmMain::setWaitingReports(int count) {
    waitingReports_ = count;
    showSendStatus();
    // In the tray, the icon's tip says it too.
    platform::use<platform::TrayIcon>().setTip(trayTip());
}

void frmMain::showSendStatus() {
    StatusBarPanels[2]->setText(
        waitingReports_ > 0 ? QStringLiteral("再送待ち %1件").arg(waitingReports_) : sendStatus_);
    // The panel is narrow: a longer text (the state of the program without
    // a window) is read whole in its tip.
    StatusBarPanels[2]->setToolTip(StatusBarPanels[2]->text());
}

void frmMain::Form_Load() {
    Settings.watchServices.fill(QString());
    // Creates the check dialog hidden, which runs its opening. A check.ini
    // that fails to load there ends the start-up with that one report.
    chkConfigMod::FillDriveLists(frmCheckConfig::instance(frmCheckConfig::LoadFaults::Raise));
    if (API::SettingsFileExists(API::kCheckFile))
        API::LoadCheckSettings();
    if (API::SettingsFileExists(API::kSmtpFile))
        API::LoadSmtpSettings();
    if (API::SettingsFileExists(API::kSendTimeFile))
        API::LoadSendTimeSettings();
    frmCheckConfig::destroyInstance();
    frmSendTimeConfig::destroyInstance();
    frmSmtpConfig::destroyInstance();
}

void frmMain::mnuClose_Click() {
    // Ends at once: no further event runs and a mail under way is cut off.
    std::_Exit(EXIT_SUCCESS);
}

void frmMain::closeEvent(QCloseEvent* event) {
    event->accept();
    QApplication::quit();
}

void frmMain::mnuVersion_Click() {
    platform::use<platform::MessageBox>().show(QStringLiteral("Tolvane バージョン 2.0.0\nVelmora"),
                                               QStringLiteral("バージョン情報"),
                                               platform::MessageBox::kOkOnly);
}
