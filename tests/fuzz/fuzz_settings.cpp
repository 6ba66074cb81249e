// The settings loaders fed any file. The first byte picks the file (check.ini,
// smtp.ini, sendtime.ini), the rest is its content. A LoadError is an expected
// outcome and must name the file and a line the file has (or the one after
// its end); a file that loads must come back the same through its writer.

#include "FuzzSupport.h"

#include "platform/Files.h"

#include "settings/API.h"
#include "settings/variables.h"

#include <QStringDecoder>

namespace {

using fuzz::check;
using fuzz::fail;

struct SettingsFile {
    const QString& name;
    void (*load)();
    QStringList (*lines)(const SettingsRecord&);
    bool (*write)(const SettingsRecord&);
    int fixedLines; // the lines every loadable file has
};

const SettingsFile kFiles[] = {
    {API::kCheckFile, API::LoadCheckSettings, API::CheckSettingsLines, API::WriteCheckSettings, 12},
    {API::kSmtpFile, API::LoadSmtpSettings, API::SmtpSettingsLines, API::WriteSmtpSettings, 6},
    {API::kSendTimeFile, API::LoadSendTimeSettings, API::SendTimeSettingsLines,
     API::WriteSendTimeSettings, 25},
};

QString shown(const QStringList& lines) {
    return lines.join(QStringLiteral("|"));
}

void checkRecord(const SettingsFile& file, qsizetype lineCount) {
    check(lineCount >= file.fixedLines, "a file shorter than its fixed lines loaded",
          QString::number(lineCount));
    if (&file.name != &API::kCheckFile)
        return;
    const int count = Settings.watchServiceCount;
    check(count >= 0 && count <= kWatchServiceSlots, "service count out of its slots",
          QString::number(count));
    check(count == lineCount - file.fixedLines, "not every line after the 12th became a name",
          QStringLiteral("%1 names of %2 lines").arg(count).arg(lineCount));
    for (int i = count; i < kWatchServiceSlots; ++i)
        check(Settings.watchServices[i].isEmpty(), "a slot after the last name holds text");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const SettingsFile& file = kFiles[data[0] % 3];
    const QByteArray content = fuzz::bytesOf(data + 1, size - 1);
    fuzz::folder().write(file.name, content);
    QStringDecoder decode(QStringConverter::System);
    const qsizetype lineCount = platform::splitLines(QString(decode(content))).size();

    Settings = SettingsRecord{};
    try {
        file.load();
    } catch (const API::LoadError& e) {
        check(e.file == file.name, "LoadError names another file", e.file);
        check(e.line >= 1 && e.line <= lineCount + 1, "LoadError names a line the file lacks",
              QStringLiteral("line %1 of %2").arg(e.line).arg(lineCount));
        check(!e.fault.isEmpty(), "LoadError without a fault");
        const QString message = e.message();
        check(message.contains(file.name) && message.contains(QString::number(e.line)),
              "the message lacks the file or the line", message);
        return 0;
    }
    checkRecord(file, lineCount);

    // Through the writer and back: the same record.
    const QStringList loaded = file.lines(Settings);
    const int loadedCount = Settings.watchServiceCount;
    check(file.write(Settings), "a loaded record cannot be written");
    Settings = SettingsRecord{};
    try {
        file.load();
    } catch (const API::LoadError& e) {
        fail("the file written from a loaded record does not load", e.message());
    }
    check(file.lines(Settings) == loaded, "the record changed through the writer",
          shown(loaded) + QStringLiteral("\n  became  ") + shown(file.lines(Settings)));
    check(Settings.watchServiceCount == loadedCount,
          "the service count changed through the writer");
    return 0;
}
