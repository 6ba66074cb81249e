// The service listing fed any bytes. The first byte picks the reader:
//  0  the helper's parser of `systemctl list-units` output,
//  1  the helper's parser of `service --status-all` output,
//  2  the capture file reader that the report and the check dialog use.
// The rest is the output or the file. What the helper parses, it prints; what
// it prints, the capture reader must give back name by name.

#include "FuzzSupport.h"

#include "platform/ListingCapture.h"
#include "platform/linux/ServiceListing.h"

#include <QStringDecoder>
#include <string>
#include <string_view>
#include <vector>

namespace {

using fuzz::check;

// Blanks that separate the columns of both outputs.
constexpr std::string_view kBlanks = " \t\r\n";
const QString kCapture = QStringLiteral("runnings.dat");

QString hexOf(std::string_view text) {
    return QString::fromLatin1(
        QByteArray(text.data(), static_cast<qsizetype>(text.size())).toHex(' '));
}

// The line of `text` that holds `at`.
std::string_view lineAt(std::string_view text, std::size_t at) {
    const std::size_t begin = text.rfind('\n', at);
    const std::size_t from = begin == std::string_view::npos ? 0 : begin + 1;
    return text.substr(from, text.find('\n', at) - from);
}

// Each name is a single non-empty word that stands, with `suffix`, as a word
// of its own in a line of the output (after a blank or one of `openers`),
// after the one of the name before it, and that line satisfies `lineHolds`.
template <class LineRule>
void checkNames(std::string_view output, const std::vector<std::string>& names,
                std::string_view suffix, std::string_view openers, LineRule lineHolds) {
    std::size_t lineStart = 0; // the earliest place the next name may stand
    for (const std::string& name : names) {
        check(!name.empty(), "an empty name");
        check(name.find_first_of(kBlanks) == std::string::npos, "a name with a blank", hexOf(name));
        const std::string word = name + std::string(suffix);
        bool found = false;
        for (std::size_t at = output.find(word, lineStart); at != std::string_view::npos;
             at = output.find(word, at + 1)) {
            const bool wordStart = at == 0 ||
                                   kBlanks.find(output[at - 1]) != std::string_view::npos ||
                                   openers.find(output[at - 1]) != std::string_view::npos;
            const std::size_t after = at + word.size();
            const bool wordEnd =
                after == output.size() || kBlanks.find(output[after]) != std::string_view::npos;
            if (!wordStart || !wordEnd || !lineHolds(lineAt(output, at)))
                continue;
            found = true;
            const std::size_t lf = output.find('\n', at);
            lineStart = lf == std::string_view::npos ? output.size() : lf + 1;
            break;
        }
        check(found, "a name that is no word of a later line of the output", hexOf(name));
    }
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

bool hasWord(std::string_view line, std::string_view word) {
    for (std::size_t at = line.find(word); at != std::string_view::npos;
         at = line.find(word, at + 1)) {
        const std::size_t after = at + word.size();
        if ((at == 0 || kBlanks.find(line[at - 1]) != std::string_view::npos) &&
            (after == line.size() || kBlanks.find(line[after]) != std::string_view::npos))
            return true;
    }
    return false;
}

void systemctl(std::string_view output) {
    const auto names = platform::runningUnitsFromSystemctl(output);
    checkNames(output, names, ".service", "",
               [](std::string_view line) { return hasWord(line, "running"); });
    checkRoundTrip(names);
}

void serviceStatus(std::string_view output) {
    const auto names = platform::runningScriptsFromServiceStatus(output);
    // The name may follow the mark's "]" directly.
    checkNames(output, names, "", "]", [](std::string_view line) {
        const std::size_t open = line.find('['), close = line.find(']');
        return open != std::string_view::npos && close != std::string_view::npos && open < close &&
               line.substr(open, close - open).find('+') != std::string_view::npos;
    });
    checkRoundTrip(names);
}

// The capture reader against the listing's layout: the lines from the third
// on, up to the first empty one, which marks the listing complete.
void capture(const QByteArray& bytes) {
    fuzz::folder().write(kCapture, bytes);
    const auto listed = platform::readServiceListing(kCapture);
    check(listed.has_value(), "an existing capture cannot be read");
    QStringDecoder decode(QStringConverter::System);
    const QStringList lines = fuzz::linesOf(decode(bytes));
    QStringList names;
    bool complete = false;
    for (qsizetype i = 2; i < lines.size(); ++i) {
        if (lines[i].isEmpty()) {
            complete = true;
            break;
        }
        names.append(lines[i]);
    }
    check(listed->complete == complete, "the capture's end is misread");
    check(listed->names == names, "the capture's names are misread",
          listed->names.join(u'|') + QStringLiteral("\n  expected  ") + names.join(u'|'));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 3) {
    case 0:
        systemctl(rest);
        break;
    case 1:
        serviceStatus(rest);
        break;
    default:
        capture(fuzz::bytesOf(data + 1, size - 1));
        break;
    }
    return 0;
}
