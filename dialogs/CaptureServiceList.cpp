#include "dialogs/CaptureServiceList.h"

#include "platform/AppFolder.h"
#include "platform/Files.h"
#include "platform/ListingCapture.h"
#include "platform/Service.h"

QStringList CaptureServiceList() {
    QStringList entries;
    if (platform::captureServiceListing(kServiceCaptureFile)) {
        // A listing cut short still offers the services it names.
        if (const auto listed = platform::readServiceListing(kServiceCaptureFile))
            entries = listed->names;
    }
    platform::use<platform::Files>().remove(platform::appFile(kServiceCaptureFile));
    return entries;
}
