#include "dialogs/CaptureServiceList.h"

#include "platform/AppFolder.h"
#include "platform/CommandStart.h"
#include "platform/Files.h"
#include "platform/Service.h"
#include "platform/Sleep.h"

#include <filesystem>

namespace {
// How often the file and the listing are looked at while waiting.
constexpr unsigned kPollMs = 100;
// Lets the listing's output settle after it has ended.
constexpr unsigned kSettleMs = 500;
// A listing takes well under a second; ten seconds means it hangs or never
// writes its file, and the operator should not be kept waiting longer.
constexpr unsigned kWaitLimitMs = 10000;
// The heading line and the empty line below it.
constexpr int kHeadingLines = 2;

QStringList readServiceLines(const QString& path) {
    const auto lines = platform::use<platform::Files>().readLines(path);
    QStringList entries;
    if (!lines)
        return entries;
    // The first empty line ends the list; so does the end of a file cut short.
    for (qsizetype i = kHeadingLines; i < lines->size() && !lines->at(i).isEmpty(); ++i)
        entries.append(lines->at(i));
    return entries;
}
} // namespace

QStringList CaptureServiceList() {
    auto& files = platform::use<platform::Files>();
    auto& sleep = platform::use<platform::Sleep>();
    const QString folder = platform::use<platform::AppFolder>().path();
    const QString path = platform::appFile(kServiceCaptureFile);

    auto command = platform::use<platform::CommandStart>().startServiceListing(
        std::filesystem::path(folder.toStdU16String()), kServiceCaptureFile.toStdString());

    unsigned waited = 0;
    bool ready = false;
    // A file left behind by an earlier capture is found at once; without a
    // started command only such a file can ever appear.
    if (command || files.exists(path)) {
        while (!files.exists(path) && waited < kWaitLimitMs) {
            sleep.sleep(kPollMs);
            waited += kPollMs;
        }
        // Reading before the listing has ended would catch it half-written.
        bool ended = !command || command->hasEnded();
        while (!ended && waited < kWaitLimitMs) {
            sleep.sleep(kPollMs);
            waited += kPollMs;
            ended = command->hasEnded();
        }
        ready = ended && files.exists(path);
    }

    QStringList entries;
    if (ready) {
        sleep.sleep(kSettleMs);
        entries = readServiceLines(path);
    }
    files.remove(path);
    return entries;
}
