#include "platform/ListingCapture.h"

#include "platform/AppFolder.h"
#include "platform/CommandStart.h"
#include "platform/Files.h"
#include "platform/Service.h"
#include "platform/Sleep.h"

#include <filesystem>

namespace platform {

namespace {
// Poll interval while the capture file does not exist yet.
constexpr unsigned kFilePollMs = 100;
// Poll interval while the listing runs on; short, so that the caller is held
// up no more than this beyond the listing's own end.
constexpr unsigned kEndPollMs = 10;
// Pause after the listing, kept from the time when it was all the listing got
// to finish its writing.
constexpr unsigned kSettleMs = 500;
// A listing takes well under a second; ten seconds means it hangs or never
// writes its file, and the operator should not be kept waiting longer.
constexpr unsigned kWaitLimitMs = 10000;
// The heading line and the empty line below it.
constexpr qsizetype kHeadingLines = 2;
} // namespace

bool captureServiceListing(const QString& fileName) {
    const auto running = use<CommandStart>().startServiceListing(
        // UTF-16 names the folder the same on every system; a narrow string
        // would be read in the ANSI code page on Windows.
        std::filesystem::path(use<AppFolder>().path().toStdU16String()), fileName.toStdString());
    if (!running)
        return false;
    auto& sleep = use<Sleep>();
    auto& files = use<Files>();
    const QString path = appFile(fileName);
    unsigned waited = 0;
    const auto pause = [&](unsigned ms) {
        if (waited >= kWaitLimitMs)
            return false;
        sleep.sleep(ms);
        waited += ms;
        return true;
    };
    while (!files.exists(path)) {
        if (!pause(kFilePollMs))
            return false;
    }
    // Reading before the listing has ended would catch it half-written.
    while (!running->hasEnded()) {
        if (!pause(kEndPollMs))
            return false;
    }
    sleep.sleep(kSettleMs);
    return true;
}

std::optional<ListedServices> readServiceListing(const QString& fileName) {
    const auto lines = use<Files>().readLines(appFile(fileName));
    if (!lines)
        return std::nullopt;
    ListedServices listed;
    for (qsizetype i = kHeadingLines; i < lines->size(); ++i) {
        if (lines->at(i).isEmpty()) {
            listed.complete = true;
            break;
        }
        listed.names.append(lines->at(i));
    }
    return listed;
}

} // namespace platform
