#pragma once

#include "platform/Service.h"
#include "platform/TrayIcon.h"

namespace fakes {

// A notification area, in place for the life of the object, that keeps the
// icon last put into it. `available` false stands for a desktop without one.
class TrayIcon final : public platform::TrayIcon {
public:
    bool available = true;
    bool shown = false;
    QIcon icon;
    QString tip;

    bool add(const QIcon& added, const QString& addedTip) override {
        icon = added;
        tip = addedTip;
        return shown = available;
    }
    void remove() override { shown = false; }
    void setTip(const QString& newTip) override { tip = newTip; }
    void setLeftButtonReleased(std::function<void()> callback) override {
        released_ = std::move(callback);
    }
    // What the operator's release of the left button on the icon does.
    void releaseLeftButton() {
        if (shown && released_)
            released_();
    }

private:
    std::function<void()> released_;
    platform::ScopedOverride<platform::TrayIcon> inPlace_{*this};
};

} // namespace fakes
