// Hiding the main window into the notification area and bringing it back.

#include "app/frmMain.h"

#include "platform/MessageBox.h"
#include "platform/Service.h"
#include "platform/TrayIcon.h"

#include <QLabel>
#include <QPointer>

namespace {
// The icon's notification code for a release of the left mouse button.
constexpr int kLeftButtonUp = 514;
} // namespace

void frmMain::mnuTaskTray_Click() {
    auto& tray = platform::use<platform::TrayIcon>();
    tray.setLeftButtonReleased([window = QPointer<frmMain>(this)] {
        if (window)
            window->picTrayIcon_MouseMove(Qt::LeftButton, 0, kLeftButtonUp, 0);
    });
    if (!tray.add(QIcon(picTrayIcon->pixmap()), trayTip())) {
        // Hidden without an icon, the window could never be reached again.
        platform::use<platform::MessageBox>().show(
            QStringLiteral(
                "通知領域（タスクトレイ）が見つからないため、アイコンを表示できません。\n"
                "ウィンドウは表示したままにします。"),
            QStringLiteral("エラー"), platform::MessageBox::kOkOnly);
        return;
    }
    hide();
}

QString frmMain::trayTip() const {
    const QString tip = QStringLiteral("クリックで表示します");
    return waitingReports_ > 0 ? tip + QStringLiteral("\n再送待ち %1件").arg(waitingReports_) : tip;
}

void frmMain::picTrayIcon_MouseMove(int, int, int x, int) {
    if (x != kLeftButtonUp)
        return;
    show();
    platform::use<platform::TrayIcon>().remove();
}
