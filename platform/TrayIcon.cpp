#include "platform/TrayIcon.h"

#include <QSystemTrayIcon>

namespace platform {

namespace {
class SystemTrayIcon final : public TrayIcon {
public:
    bool add(const QIcon& icon, const QString& tip) override {
        if (!QSystemTrayIcon::isSystemTrayAvailable())
            return false;
        if (!icon_) {
            icon_ = new QSystemTrayIcon;
            QObject::connect(icon_, &QSystemTrayIcon::activated,
                             [this](QSystemTrayIcon::ActivationReason reason) {
                                 // Trigger is the left button's click, reported on
                                 // its release.
                                 if (reason == QSystemTrayIcon::Trigger && released_)
                                     released_();
                             });
        }
        icon_->setIcon(icon);
        icon_->setToolTip(tip);
        icon_->show();
        return icon_->isVisible();
    }

    void remove() override {
        if (icon_)
            icon_->hide();
    }

    void setTip(const QString& tip) override {
        if (icon_)
            icon_->setToolTip(tip);
    }

    void setLeftButtonReleased(std::function<void()> callback) override {
        released_ = std::move(callback);
    }

private:
    // Made on first use, once the application object exists; it lives as
    // long as the process.
    QSystemTrayIcon* icon_ = nullptr;
    std::function<void()> released_;
};
} // namespace

TrayIcon& TrayIcon::system() {
    static SystemTrayIcon tray;
    return tray;
}

} // namespace platform
