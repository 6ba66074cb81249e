#include "support/FakeTrayIcon.h"

namespace fakes {

bool TrayIcon::add(const QIcon& icon, const QString& tip) {
    added.append({icon, tip});
    shown = available;
    return shown;
}

void TrayIcon::remove() {
    ++removals;
    shown = false;
}

void TrayIcon::setLeftButtonReleased(std::function<void()> callback) {
    released_ = std::move(callback);
}

void TrayIcon::releaseLeftButton() {
    if (shown && released_)
        released_();
}

} // namespace fakes
