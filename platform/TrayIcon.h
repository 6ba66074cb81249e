#pragma once

#include <QIcon>
#include <QString>
#include <functional>

namespace platform {

// One icon of the program in the notification area of the taskbar.
class TrayIcon {
public:
    virtual ~TrayIcon() = default;
    // Puts the icon with its tip into the notification area. False when it
    // cannot be shown there (the desktop has no notification area).
    virtual bool add(const QIcon& icon, const QString& tip) = 0;
    // Takes the icon out again; harmless when it is not there.
    virtual void remove() = 0;
    // The tip of the icon, from now on; shown when it is in the area.
    virtual void setTip(const QString& tip) = 0;
    // Called at every release of the left mouse button on the icon.
    virtual void setLeftButtonReleased(std::function<void()> callback) = 0;
    static TrayIcon& system();
};

} // namespace platform
