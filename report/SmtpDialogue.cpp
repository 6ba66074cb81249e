#include "report/SmtpDialogue.h"

#include "platform/SocketObject.h"
#include "report/MailMod.h"
#include "settings/API.h"
#include "settings/variables.h"

#include <QPointer>
#include <QTimer>

namespace MailMod {

int smtpPort = kSmtpPort;
std::chrono::milliseconds replyTimeout = kReplyTimeout;
std::chrono::milliseconds dataEndTimeout = kDataEndTimeout;

namespace {

const QString kCrLf = QStringLiteral("\r\n");
const QString kSending = QStringLiteral("送信中...");
const QString kSent = QStringLiteral("送信完了");
const QString kSendError = QStringLiteral("送信エラー");
const QString kErrorText = QStringLiteral("エラーが発生しました。");
const QString kComposeErrorText =
    QStringLiteral("エラーが発生しました。設定をもう一度確認してください。");

// A real reply line has at most 512 characters (RFC 5321 4.5.3.1.5) and a
// multi-line reply a few dozen lines; anything far beyond is a server gone
// wrong, and the limits keep it from filling the memory.
constexpr qsizetype kMaxReplyLineLength = 2048;
constexpr int kMaxReplyLines = 100;

// The box of a failing reply shows at most this much of it: the length of a
// reply line (RFC 5321 4.5.3.1.5); a longer reply is cut and ends in "...".
constexpr qsizetype kMaxShownReply = 512;

ReplyReader reader;
QPointer<QTimer> replyTimer;

platform::SocketObject& socket() {
    return Outlet()->mailSocket();
}

void closeSocket() {
    if (!Outlet())
        return;
    socket().Close();
    socket().LocalPort = 0;
}

void stopTimeout() {
    if (replyTimer)
        replyTimer->stop();
}

void armTimeout(std::chrono::milliseconds limit) {
    if (!replyTimer) {
        replyTimer = new QTimer(&socket());
        replyTimer->setSingleShot(true);
        QObject::connect(replyTimer, &QTimer::timeout, replyTimer, &ConnectionEnded);
    }
    replyTimer->start(limit);
}

void sendLine(const QString& line) {
    socket().SendData(line + kCrLf);
}

// A setting holding a line end would smuggle a command of its own into the
// dialogue: such a line is not sent and the mail is given up.
bool sendCommand(const QString& line) {
    if (API::HoldsLineBreak(line)) {
        sendLine(QStringLiteral("QUIT"));
        EndMail(MailEnd::ConnectionLost);
        return false;
    }
    sendLine(line);
    return true;
}

bool isPassing(int code) {
    return code == 220 || code == 221 || code == 250 || code == 354;
}

QString afterFirstAt(const QString& address) {
    const qsizetype at = address.indexOf(QLatin1Char('@'));
    return at < 0 ? address : address.mid(at + 1);
}

QString shownReply(const QString& reply) {
    if (reply.size() <= kMaxShownReply)
        return reply;
    qsizetype keep = kMaxShownReply;
    if (reply[keep - 1].isHighSurrogate())
        --keep;
    return reply.left(keep) + QStringLiteral("...");
}

// Answers a passing reply by the step the dialogue stands at. False when the
// mail has ended.
bool answerReply() {
    switch (smtpStep) {
    case kGreeting:
        heloDomain = afterFirstAt(Settings.mailFrom);
        if (!sendCommand(QStringLiteral("HELO ") + heloDomain))
            return false;
        smtpStep = kHeloReply;
        break;
    case kHeloReply:
        if (!sendCommand(QStringLiteral("MAIL FROM: ") + Settings.mailFrom))
            return false;
        smtpStep = kMailFromReply;
        break;
    case kMailFromReply:
        if (!sendCommand(QStringLiteral("RCPT TO: ") + Settings.mailTo))
            return false;
        smtpStep = kRcptToReply;
        break;
    case kRcptToReply:
        sendLine(QStringLiteral("DATA"));
        smtpStep = kDataReply;
        break;
    case kDataReply:
        socket().SendData(DotStuffed(mailText) + kCrLf);
        sendLine(QStringLiteral("."));
        smtpStep = kDataEndReply;
        armTimeout(dataEndTimeout);
        return true;
    case kDataEndReply:
        EndMail(MailEnd::Delivered);
        return false;
    default:
        return true;
    }
    armTimeout(replyTimeout);
    return true;
}

bool isDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

} // namespace

void ReplyReader::clear() {
    pending_.clear();
}

void ReplyReader::append(QStringView data) {
    pending_.append(data);
}

std::optional<ReplyReader::Reply> ReplyReader::take() {
    qsizetype start = 0;
    QStringView code;
    for (int lines = 1;; ++lines) {
        const qsizetype end = pending_.indexOf(QLatin1Char('\n'), start);
        if (end < 0) {
            if (pending_.size() - start <= kMaxReplyLineLength)
                return std::nullopt;
            Reply overlong{pending_, 0};
            pending_.clear();
            return overlong;
        }
        QStringView line = QStringView(pending_).mid(start, end - start);
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (lines == 1 && line.size() >= 3)
            code = line.left(3);
        // Every line of a reply carries the code of its first line.
        const bool wellFormed =
            line.size() >= 3 && line.size() <= kMaxReplyLineLength && isDigit(line[0]) &&
            isDigit(line[1]) && isDigit(line[2]) && line.left(3) == code &&
            (line.size() == 3 || line[3] == QLatin1Char(' ') || line[3] == QLatin1Char('-'));
        const bool last = wellFormed && (line.size() == 3 || line[3] == QLatin1Char(' '));
        if (!wellFormed || last || lines == kMaxReplyLines) {
            Reply reply{pending_.left(end + 1), 0};
            if (last)
                reply.code = code.toInt();
            pending_.remove(0, end + 1);
            return reply;
        }
        start = end + 1;
    }
}

QString DotStuffed(const QString& text) {
    QString wire;
    wire.reserve(text.size() + text.size() / 32 + 1);
    bool lineStart = true;
    for (const QChar c : text) {
        if (lineStart && c == QLatin1Char('.'))
            wire += QLatin1Char('.');
        wire += c;
        lineStart = c == QLatin1Char('\n');
    }
    return wire;
}

void EndMail(MailEnd end, const QString& reply) {
    stopTimeout();
    if (end == MailEnd::FailingReply) {
        smtpStep = kAwaitingClose;
        sendLine(QStringLiteral("QUIT"));
        // The server should close after QUIT; one that does not must not keep
        // the button disabled for ever either.
        armTimeout(replyTimeout);
    } else {
        if (end == MailEnd::Delivered)
            sendLine(QStringLiteral("QUIT"));
        // Dropped before any box, so that no later event of this connection
        // can act while the box is open.
        smtpStep = kNoMail;
        closeSocket();
    }
    MailOutlet* out = Outlet();
    if (!out)
        return;
    if (end == MailEnd::Delivered) {
        out->setTestSendEnabled(true);
        out->setSendStatus(kSent);
        return;
    }
    const std::uint64_t thisMail = mailsStarted;
    switch (end) {
    case MailEnd::FailingReply:
        out->showBox(kErrorText + kCrLf + shownReply(reply), QStringLiteral("ERROR"));
        break;
    case MailEnd::CompositionFailed:
        out->showBox(kComposeErrorText, QStringLiteral("Error"));
        break;
    default:
        out->showBox(kErrorText, QStringLiteral("Error"));
        break;
    }
    if (thisMail != mailsStarted)
        return;
    // After a failing reply the button waits for the server's close.
    if (end != MailEnd::FailingReply)
        out->setTestSendEnabled(true);
    out->setSendStatus(kSendError);
}

void SendMail() {
    ++mailsStarted;
    Outlet()->setSendStatus(kSending);
    Outlet()->setTestSendEnabled(false);
    if (ComposeReport() != 0)
        return;
    ConnectSmtp();
}

void ConnectSmtp() {
    platform::SocketObject& sck = socket();
    sck.LocalPort = 0;
    sck.Close();
    smtpStep = kGreeting;
    reader.clear();
    sck.RemoteHost = Settings.smtpServer;
    sck.RemotePort = smtpPort;
    // Armed before connecting: a connection that fails at once stops it again.
    armTimeout(replyTimeout);
    sck.Connect();
}

void ReplyDataArrived() {
    const QString data = socket().GetData();
    // Only a mail in dialogue is moved on by a reply; after a failing reply
    // the 221 to its QUIT has no effect.
    if (smtpStep < kGreeting || smtpStep > kDataEndReply)
        return;
    reader.append(data);
    while (const auto reply = reader.take()) {
        if (!isPassing(reply->code)) {
            EndMail(MailEnd::FailingReply, reply->text);
            return;
        }
        if (!answerReply())
            return;
    }
}

// Before the server has accepted the message, an end of the connection loses
// the report: a failed send. After a failing reply, or with no mail on the
// socket, only the socket and the button are put right.
void ConnectionEnded() {
    if (smtpStep >= kGreeting && smtpStep <= kDataEndReply) {
        EndMail(MailEnd::ConnectionLost);
        return;
    }
    stopTimeout();
    smtpStep = kNoMail;
    closeSocket();
    if (Outlet())
        Outlet()->setTestSendEnabled(true);
}

} // namespace MailMod
