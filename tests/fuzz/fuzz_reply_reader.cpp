// The SMTP reply reader fed any server data in any chunks. The first byte
// says how many chunk sizes follow (1 to 8); each of those bytes plus one is
// the size in bytes of a chunk, taken in turn; the rest is what the server
// sends. The chunks go through the system code page decoder as the socket's
// do, into append(), and take() runs after every chunk until it has nothing.
//
// Whatever comes: every take() hands out the very data that came next, in
// order; a reply with a code is lines that all carry it, "NNN-text" but the
// last ("NNN text" or "NNN"), each with its line end; the way the data was
// split changes no reply before the first malformed one; clear() drops what
// waits.

#include "FuzzSupport.h"

#include "mail/Delivery.h"

#include <QList>
#include <QStringDecoder>

namespace {

using fuzz::check;
using Reply = MailMod::ReplyReader::Reply;

QString hex(QStringView text) {
    return QString::fromLatin1(text.toUtf8().toHex(' '));
}

bool wellFormed(const QString& text, int code) {
    const QString digits = QStringLiteral("%1").arg(code, 3, 10, QLatin1Char('0'));
    QStringList lines = text.split(u'\n');
    if (lines.takeLast() != QString())
        return false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QStringView line = lines[i];
        if (line.endsWith(u'\r'))
            line.chop(1);
        const bool last = i + 1 == lines.size();
        if (!line.startsWith(digits) ||
            (last ? line.size() > 3 && line[3] != u' ' : line.size() < 4 || line[3] != u'-'))
            return false;
    }
    return !lines.isEmpty();
}

// Takes every reply the reader has, checking each against the data not yet
// taken before it (`appended` from `taken` on).
void takeAll(MailMod::ReplyReader& reader, const QString& appended, qsizetype& taken,
             QList<Reply>& replies) {
    while (const std::optional<Reply> reply = reader.take()) {
        const QStringView rest = QStringView(appended).mid(taken);
        check(!reply->text.isEmpty() && rest.startsWith(reply->text),
              "a reply that is not the data that came next",
              hex(reply->text) + QStringLiteral("\n  data: ") + hex(rest));
        check(reply->code == 0 || wellFormed(reply->text, reply->code),
              "a code for a reply that is not that code's well-formed lines",
              QString::number(reply->code) + QStringLiteral(": ") + hex(reply->text));
        taken += reply->text.size();
        replies.append(*reply);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::size_t sizeCount = std::min<std::size_t>(data[0] % 8 + 1, size - 1);
    if (sizeCount == 0)
        return 0;
    const std::uint8_t* sizes = data + 1;
    const std::uint8_t* stream = data + 1 + sizeCount;
    const std::size_t streamSize = size - 1 - sizeCount;

    MailMod::ReplyReader reader;
    QStringDecoder decode(QStringConverter::System);
    QString appended;
    qsizetype taken = 0;
    QList<Reply> replies;
    for (std::size_t at = 0, chunk = 0; at < streamSize; ++chunk) {
        const std::size_t length =
            std::min<std::size_t>(sizes[chunk % sizeCount] + 1u, streamSize - at);
        const QString text = decode(QByteArrayView(stream + at, static_cast<qsizetype>(length)));
        at += length;
        reader.append(text);
        appended += text;
        takeAll(reader, appended, taken, replies);
    }

    // The same data in one piece gives the same replies, up to the first
    // malformed one (an overlong line is cut where its chunk ends).
    MailMod::ReplyReader whole;
    whole.append(appended);
    qsizetype wholeTaken = 0;
    QList<Reply> wholeReplies;
    takeAll(whole, appended, wholeTaken, wholeReplies);
    for (qsizetype i = 0; i < replies.size() && replies[i].code != 0; ++i) {
        check(i < wholeReplies.size() && wholeReplies[i].text == replies[i].text &&
                  wholeReplies[i].code == replies[i].code,
              "the replies depend on how the data was split", hex(replies[i].text));
    }

    reader.clear();
    const QString ok = QStringLiteral("250 ok\r\n");
    reader.append(ok);
    const auto after = reader.take();
    check(after && after->text == ok && after->code == 250,
          "data pending before clear() still counts");
    return 0;
}
