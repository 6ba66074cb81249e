#pragma once

#include <QString>
#include <QStringList>

// The capture file of the check settings dialog, in the application folder.
inline const QString kServiceCaptureFile = QStringLiteral("service.dat");

// Runs the listing of the started services into the capture file, waits for
// it, and returns the service lines exactly as listed (indentation kept), in
// file order. Blocks the calling thread for at least the settling pause. The
// wait is bounded: a listing that does not end in time, or cannot be started,
// yields an empty list. The capture file is deleted afterwards.
QStringList CaptureServiceList();
