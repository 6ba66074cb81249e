// Times the program's slow paths over the real platform services (the real
// listing helper, real pauses) in a temporary application folder.
//
//   build/tolvane_bench [runs]
//
// Each case runs `runs` times (default 5) and prints its fastest, median and
// slowest time. A new case is one more entry in the table in main().

#include "app/variables.h"
#include "platform/AppFolder.h"
#include "platform/CommandStart.h"
#include "platform/MessageBox.h"
#include "platform/Service.h"
#include "report/MailMod.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

// Runs per case when none is given: enough for a median that one slow run
// does not move.
constexpr int kDefaultRuns = 5;
// A listing helper that has not ended by then has hung.
constexpr qint64 kListingTimeoutMs = 10000;

class TemporaryAppFolder final : public platform::AppFolder {
public:
    QString path() const override { return dir_.path(); }
    bool isValid() const { return dir_.isValid(); }

private:
    QTemporaryDir dir_;
};

// Nobody reads a box during a benchmark: its text goes to standard error.
class ConsoleMessageBox final : public platform::MessageBox {
public:
    int show(const QString& text, const QString& title, int style) override {
        std::fprintf(stderr, "%s: %s\n", qUtf8Printable(title), qUtf8Printable(text));
        return style == kYesNo ? kYes : kOk;
    }
};

struct Case {
    const char* name;
    // Prepares one run; not timed.
    std::function<void()> prepare;
    // The timed work; false when it failed.
    std::function<bool()> run;
};

void reportSettings(int watchedNames) {
    Settings = SettingsRecord{};
    Settings.mailFrom = QStringLiteral("tolvane@localhost");
    Settings.mailTo = QStringLiteral("admin@localhost");
    Settings.mailSubject = QStringLiteral("Status Tolvane");
    Settings.driveCheck1 = kFlagOn;
    Settings.driveIndex1 = 2; // C:
    Settings.memoryCheck = kFlagOn;
    Settings.showDetails = kFlagOn;
    Settings.showNGDetails = kFlagOn;
    for (int i = 0; i < watchedNames; ++i)
        Settings.watchServices[i] =
            QStringLiteral("   tolvane-bench-%1").arg(i, 3, 10, QChar(u'0'));
}

bool listingAlone(const QString& folder) {
    const auto running = platform::use<platform::CommandStart>().startServiceListing(
        std::filesystem::path(folder.toStdU16String()), "bench.dat");
    if (!running)
        return false;
    QElapsedTimer clock;
    clock.start();
    while (!running->hasEnded()) {
        if (clock.elapsed() > kListingTimeoutMs)
            return false;
        QThread::usleep(200);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : kDefaultRuns;

    TemporaryAppFolder folder;
    if (!folder.isValid()) {
        std::fprintf(stderr, "cannot create a temporary application folder\n");
        return 1;
    }
    ConsoleMessageBox messageBox;
    platform::ScopedOverride<platform::AppFolder> folderInPlace(folder);
    platform::ScopedOverride<platform::MessageBox> boxInPlace(messageBox);

    const std::vector<Case> cases = {
        {"service listing alone (start to end)", [] {},
         [&] { return listingAlone(folder.path()); }},
        {"ComposeReport, no watched names", [] { reportSettings(0); },
         [] { return MailMod::ComposeReport() == 0; }},
        {"ComposeReport, 200 watched names", [] { reportSettings(200); },
         [] { return MailMod::ComposeReport() == 0; }},
    };

    std::printf("%d runs per case; times in ms (fastest / median / slowest)\n", runs);
    int failed = 0;
    for (const Case& c : cases) {
        std::vector<double> times;
        for (int i = 0; i < runs; ++i) {
            c.prepare();
            QElapsedTimer clock;
            clock.start();
            const bool ok = c.run();
            const double ms = double(clock.nsecsElapsed()) / 1e6;
            if (!ok) {
                std::printf("%-40s FAILED\n", c.name);
                ++failed;
                times.clear();
                break;
            }
            times.push_back(ms);
        }
        if (times.empty())
            continue;
        std::sort(times.begin(), times.end());
        std::printf("%-40s %8.1f / %8.1f / %8.1f\n", c.name, times.front(), times[times.size() / 2],
                    times.back());
    }
    Settings = SettingsRecord{};
    return failed == 0 ? 0 : 1;
}
