// The service listing fed any bytes. The first byte picks the reader:
//  0  the helper's parser of `systemctl list-units` output,
//  1  the helper's parser of `service --status-all` output,
//  2  the capture file reader that the report and the check dialog use.
// The rest is the output or the file. Every name parsed is a word of the
// output; what the helper prints of the names, the capture reader gives back
// name by name; any capture file is read.

#include "FuzzSupport.h"

#include "platform/ListingCapture.h"
#include "platform/linux/ServiceListing.h"

#include <QStringDecoder>
#include <string>
#include <string_view>
#include <vector>

namespace {

using fuzz::check;

const QString kCapture = QStringLiteral("runnings.dat");

QString hexOf(std::string_view text) {
    return QString::fromLatin1(
        QByteArray(text.data(), static_cast<qsizetype>(text.size())).toHex(' '));
}

void checkNames(std::string_view output, const std::vector<std::string>& names) {
    for (const std::string& name : names)
        check(!name.empty() && name.find_first_of(" \t\r\n") == std::string::npos &&
                  output.find(name) != std::string_view::npos,
              "a name that is no word of the output", hexOf(name));
}

// The helper's text, captured and read back, gives the names as listed.
void checkRoundTrip(const std::vector<std::string>& names) {
    const std::string text = platform::serviceListingText(names);
    fuzz::folder().write(kCapture, QByteArray::fromStdString(text));
    const auto listed = platform::readServiceListing(kCapture);
    check(listed.has_value(), "the capture cannot be read");
    check(listed->complete, "the helper's listing reads as cut short");
    check(listed->names.size() == static_cast<qsizetype>(names.size()),
          "the capture holds another number of names",
          QStringLiteral("%1 of %2").arg(listed->names.size()).arg(names.size()));
    for (std::size_t i = 0; i < names.size(); ++i) {
        // Followed by its line end in the file, a cut-off character at the
        // end of a name is decoded, as a replacement character.
        QStringDecoder decode(QStringConverter::System, QStringConverter::Flag::Stateless);
        const QString expected =
            QStringLiteral("   ") + QString(decode(QByteArray::fromStdString(names[i])));
        check(listed->names[static_cast<qsizetype>(i)] == expected,
              "a name reads back otherwise from the capture", hexOf(names[i]));
    }
}

void parsed(std::string_view output, const std::vector<std::string>& names) {
    checkNames(output, names);
    checkRoundTrip(names);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 3) {
    case 0:
        parsed(rest, platform::runningUnitsFromSystemctl(rest));
        break;
    case 1:
        parsed(rest, platform::runningScriptsFromServiceStatus(rest));
        break;
    default:
        fuzz::folder().write(kCapture, fuzz::bytesOf(data + 1, size - 1));
        check(platform::readServiceListing(kCapture).has_value(),
              "an existing capture cannot be read");
        break;
    }
    return 0;
}
