// The SMTP reply reader fed any server data in any chunks. The first byte
// says how many chunk sizes follow (1 to 8); each of those bytes plus one is
// the size in bytes of a chunk, taken in turn; the rest is what the server
// sends. The chunks go through the system code page decoder as the socket's
// do, into append(), and take() runs after every chunk until it has nothing.
//
// The rules checked come from what the reader promises: replies are lines
// "NNN-text" ending with "NNN text" or "NNN", each ended by CR LF or a lone LF;
// every take() returns the data it consumes, in order; a complete reply is
// handed out and an incomplete one is waited for; the code is that of the
// reply's lines, and 0 when the reply is malformed (a line not starting with
// three digits, lines with different codes, an overlong line or too many
// lines). What the reader of a reply to EHLO finds offered, the reply names.

#include "FuzzSupport.h"

#include "report/SmtpDialogue.h"

#include <QList>
#include <QStringDecoder>

namespace {

using fuzz::check;
using Reply = MailMod::ReplyReader::Reply;

// What a real server sends, which the reader must take as it is: lines of at
// most 512 characters with their CR LF (RFC 5321 4.5.3.1.5), and not many of
// them. Beyond these the reader may cut a reply short as malformed.
constexpr qsizetype kSureLineLength = 510;
constexpr int kSureLines = 30;

enum class Kind { Continuation, Last, Malformed };

bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// A line without its line end.
Kind kindOf(QStringView line) {
    if (line.size() < 3 || !isDigit(line[0]) || !isDigit(line[1]) || !isDigit(line[2]))
        return Kind::Malformed;
    if (line.size() == 3 || line[3] == u' ')
        return Kind::Last;
    return line[3] == u'-' ? Kind::Continuation : Kind::Malformed;
}

// Whether a line still arriving can become a well-formed one.
bool canBecomeWellFormed(QStringView partial) {
    for (qsizetype i = 0; i < partial.size() && i < 3; ++i) {
        if (!isDigit(partial[i]))
            return false;
    }
    return partial.size() <= 3 || partial[3] == u' ' || partial[3] == u'-';
}

QStringView withoutCr(QStringView line) {
    return line.endsWith(u'\r') ? line.chopped(1) : line;
}

// What take() must do with the data gathered and not yet taken.
struct Expectation {
    enum { Reply, Malformed, Wait, Unknown } what;
    qsizetype length = 0; // Reply: the reply's text is this much of the data
    int code = 0;
};

Expectation expectation(QStringView rest) {
    qsizetype start = 0;
    int firstCode = -1;
    bool mixed = false;
    for (int n = 1; n <= kSureLines; ++n) {
        const qsizetype lf = rest.indexOf(u'\n', start);
        if (lf < 0) {
            const QStringView partial = rest.mid(start);
            if (mixed || partial.size() > kSureLineLength || !canBecomeWellFormed(partial))
                return {Expectation::Unknown};
            return {Expectation::Wait};
        }
        const QStringView line = withoutCr(rest.mid(start, lf - start));
        if (line.size() > kSureLineLength)
            return {Expectation::Unknown};
        const Kind kind = kindOf(line);
        if (kind == Kind::Malformed)
            return {Expectation::Malformed};
        const int code = line.left(3).toInt();
        if (firstCode < 0)
            firstCode = code;
        mixed = mixed || code != firstCode;
        if (kind == Kind::Last) {
            if (mixed)
                return {Expectation::Malformed};
            return {Expectation::Reply, lf + 1, code};
        }
        start = lf + 1;
    }
    return {Expectation::Unknown};
}

// The code of a reply text made of well-formed lines that share one code and
// end with a last line; -1 for any other text.
int wellFormedCode(QStringView text) {
    int code = -1;
    qsizetype start = 0;
    while (start < text.size()) {
        const qsizetype lf = text.indexOf(u'\n', start);
        if (lf < 0)
            return -1;
        const QStringView line = withoutCr(text.mid(start, lf - start));
        const Kind kind = kindOf(line);
        const int lineCode = line.left(3).toInt();
        if (kind == Kind::Malformed || (code >= 0 && lineCode != code))
            return -1;
        code = lineCode;
        start = lf + 1;
        if (kind == Kind::Last)
            return start == text.size() ? code : -1;
    }
    return -1;
}

QString hex(QStringView text) {
    return QString::fromLatin1(text.toUtf8().toHex(' '));
}

// Takes every reply the reader has, checking each against the data not yet
// taken before it (`appended` from `taken` on).
void takeAll(MailMod::ReplyReader& reader, const QString& appended, qsizetype& taken,
             QList<Reply>& replies) {
    for (;;) {
        const QStringView rest = QStringView(appended).mid(taken);
        const Expectation expected = expectation(rest);
        const std::optional<Reply> reply = reader.take();
        if (!reply) {
            check(expected.what != Expectation::Reply, "a complete reply was not handed out",
                  hex(rest));
            check(expected.what != Expectation::Malformed,
                  "a complete malformed reply was not handed out", hex(rest));
            check(!reader.take(), "take() without new data found a reply");
            return;
        }
        check(expected.what != Expectation::Wait, "a reply was handed out before it was complete",
              hex(rest));
        check(!reply->text.isEmpty(), "an empty reply");
        check(rest.startsWith(reply->text), "a reply that is not the data that came next",
              hex(reply->text) + QStringLiteral("\n  data: ") + hex(rest));
        check(reply->code >= 0 && reply->code <= 999, "a code of more than three digits",
              QString::number(reply->code));
        if (reply->code != 0)
            check(wellFormedCode(reply->text) == reply->code,
                  "a nonzero code for a reply that is not one code's well-formed lines",
                  QString::number(reply->code) + QStringLiteral(": ") + hex(reply->text));
        if (expected.what == Expectation::Reply) {
            check(reply->text.size() == expected.length, "a complete reply taken in part or more",
                  hex(reply->text) + QStringLiteral("\n  data: ") + hex(rest));
            check(reply->code == expected.code, "a well-formed reply with another code",
                  QString::number(reply->code) + QStringLiteral(": ") + hex(reply->text));
        }
        if (expected.what == Expectation::Malformed)
            check(reply->code == 0, "a malformed reply with a code",
                  QString::number(reply->code) + QStringLiteral(": ") + hex(reply->text));
        // A reply to EHLO offers only what a line after its first names.
        const MailMod::Capabilities offered = MailMod::ReadCapabilities(reply->text);
        const QString offers = reply->text.section(u'\n', 1).toUpper();
        check((!offered.startTls || offers.contains(QStringLiteral("STARTTLS"))) &&
                  (!offered.authPlain || offers.contains(QStringLiteral("PLAIN"))) &&
                  (!offered.authLogin || offers.contains(QStringLiteral("LOGIN"))),
              "an offer that the reply does not name", hex(reply->text));
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

    // clear() drops whatever was pending.
    reader.clear();
    check(!reader.take(), "a reply after clear()");
    const QString ok = QStringLiteral("250 ok\r\n");
    reader.append(ok);
    const auto after = reader.take();
    check(after && after->text == ok && after->code == 250,
          "data pending before clear() still counts");
    return 0;
}
