#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// The listing of the started services, captured into a file of the
// application folder. The report and the check settings dialog each capture
// into a file of their own; what they do when a capture fails differs.
namespace platform {

// Starts the listing into `fileName` and waits until the file is there and the
// listing has ended, polling, for ten seconds at most; then lets the output
// settle for 500 ms. False when the listing could not be started or did not
// finish in time (nothing settles then). Blocks the calling thread.
bool captureServiceListing(const QString& fileName);

struct ListedServices {
    // The lines from the third on, up to the first empty line, as listed
    // (indentation kept).
    QStringList names;
    // Whether that empty line was there; a listing cut short lacks it.
    bool complete = false;
};

// The services of a captured listing; nothing when the file cannot be read.
std::optional<ListedServices> readServiceListing(const QString& fileName);

} // namespace platform
