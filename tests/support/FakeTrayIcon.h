#pragma once

#include "platform/Service.h"
#include "platform/TrayIcon.h"

#include <QList>

namespace fakes {

// A notification area that records what was put into it. `available` false
// stands for a desktop without one.
class TrayIcon final : public platform::TrayIcon {
public:
    struct Added {
        QIcon icon;
        QString tip;
    };
    bool available = true;
    bool shown = false;
    QList<Added> added;
    int removals = 0;

    bool add(const QIcon& icon, const QString& tip) override;
    void remove() override;
    void setLeftButtonReleased(std::function<void()> callback) override;
    // What the operator's release of the left button on the icon does.
    void releaseLeftButton();

private:
    std::function<void()> released_;
};

// The fake tray in place for the life of the object.
struct TrayEnvironment {
    TrayIcon tray;

private:
    platform::ScopedOverride<platform::TrayIcon> override_{tray};
};

} // namespace fakes
