#include "report/SmtpDialogue.h"

#include "app/API.h"
#include "app/frmMain.h"
#include "app/variables.h"
#include "platform/MessageBox.h"
#include "platform/Service.h"
#include "platform/SocketObject.h"
#include "report/MailMod.h"

#include <QPointer>
#include <QPushButton>
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

// A real reply line has at most 512 characters (RFC 5321 4.5.3.1.5) and a
// multi-line reply a few dozen lines; anything far beyond is a server gone
// wrong, and the limits keep it from filling the memory.
constexpr qsizetype kMaxReplyLineLength = 2048;
constexpr int kMaxReplyLines = 100;

// The box of a failing reply shows at most this much of it: the length of a
// reply line (RFC 5321 4.5.3.1.5); a longer reply is cut and ends in "...".
constexpr qsizetype kMaxShownReply = 512;

ReplyReader reader;

// Where the mail on the socket stands. Only a mail in dialogue can fail by a
// close, an error or a time-out; once it has failed or ended, later events of
// its connection cannot show a second box.
enum class Phase {
    Idle,          // no mail on the socket
    Dialogue,      // connecting or in dialogue
    AwaitingClose, // a failing reply was answered with QUIT; only the close counts
};
Phase phase = Phase::Idle;
QPointer<QTimer> replyTimer;

frmMain& window() {
    return frmMain::instance();
}

platform::SocketObject& socket() {
    return *frmMain::instance().sckSend;
}

void showBox(const QString& text, const QString& title) {
    platform::use<platform::MessageBox>().show(text, title, platform::MessageBox::kOkOnly);
}

void closeSocket() {
    socket().Close();
    socket().LocalPort = 0;
}

void stopTimeout() {
    if (replyTimer)
        replyTimer->stop();
}

void connectionEnded();

void armTimeout(std::chrono::milliseconds limit) {
    if (!replyTimer) {
        replyTimer = new QTimer(window().sckSend);
        replyTimer->setSingleShot(true);
        QObject::connect(replyTimer, &QTimer::timeout, replyTimer, &connectionEnded);
    }
    replyTimer->start(limit);
}

void sendLine(const QString& line) {
    socket().SendData(line + kCrLf);
}

// The mail on the socket has failed: its connection is dropped, so no later
// event of it can act, and the operator is told once. The box runs an event
// loop of its own; a newer mail started meanwhile keeps the button and the
// status text.
void failSend() {
    phase = Phase::Idle;
    stopTimeout();
    closeSocket();
    const std::uint64_t thisMail = mailsStarted;
    showBox(kErrorText, QStringLiteral("Error"));
    if (thisMail != mailsStarted)
        return;
    window().cmdTestSend->setEnabled(true);
    window().setSendStatus(kSendError);
}

// A setting holding a line end would smuggle a command of its own into the
// dialogue: such a line is not sent and the mail is given up.
bool sendCommand(const QString& line) {
    if (API::HoldsLineBreak(line)) {
        sendLine(QStringLiteral("QUIT"));
        failSend();
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

void failOnReply(const QString& reply) {
    phase = Phase::AwaitingClose;
    sendLine(QStringLiteral("QUIT"));
    // The server should close after QUIT; one that does not must not keep the
    // button disabled for ever either.
    armTimeout(replyTimeout);
    const std::uint64_t thisMail = mailsStarted;
    showBox(kErrorText + kCrLf + shownReply(reply), QStringLiteral("ERROR"));
    if (thisMail == mailsStarted)
        window().setSendStatus(kSendError);
}

// The connection has ended: closed or reset by the server, broken, or timed
// out. A mail still in dialogue has failed; after a failing reply the
// operator has been told already, and only the socket and the button are
// put right.
void connectionEnded() {
    if (phase == Phase::Dialogue) {
        failSend();
        return;
    }
    phase = Phase::Idle;
    stopTimeout();
    closeSocket();
    window().cmdTestSend->setEnabled(true);
}

// Answers a passing reply by the step the dialogue stands at. False when the
// dialogue has ended.
bool answerReply() {
    switch (smtpStep) {
    case 0: // the greeting
        heloDomain = afterFirstAt(Settings.mailFrom);
        if (!sendCommand(QStringLiteral("HELO ") + heloDomain))
            return false;
        smtpStep = 1;
        break;
    case 1: // HELO
        if (!sendCommand(QStringLiteral("MAIL FROM: ") + Settings.mailFrom))
            return false;
        smtpStep = 2;
        break;
    case 2: // MAIL FROM
        if (!sendCommand(QStringLiteral("RCPT TO: ") + Settings.mailTo))
            return false;
        smtpStep = 3;
        break;
    case 3: // RCPT TO
        sendLine(QStringLiteral("DATA"));
        smtpStep = 4;
        break;
    case 4: // DATA
        socket().SendData(DotStuffed(mailText) + kCrLf);
        sendLine(QStringLiteral("."));
        smtpStep = 5;
        armTimeout(dataEndTimeout);
        return true;
    case 5: // the end of the message
        phase = Phase::Idle;
        stopTimeout();
        sendLine(QStringLiteral("QUIT"));
        closeSocket();
        window().cmdTestSend->setEnabled(true);
        window().setSendStatus(kSent);
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

void SendMail() {
    ++mailsStarted;
    window().setSendStatus(kSending);
    window().cmdTestSend->setEnabled(false);
    if (ComposeReport() != 0)
        return;
    ConnectSmtp();
}

void ConnectSmtp() {
    platform::SocketObject& sck = socket();
    sck.LocalPort = 0;
    sck.Close();
    smtpStep = 0;
    reader.clear();
    phase = Phase::Dialogue;
    sck.RemoteHost = Settings.smtpServer;
    sck.RemotePort = smtpPort;
    // Armed before connecting: a connection that fails at once stops it again.
    armTimeout(replyTimeout);
    sck.Connect();
}

void ReplyDataArrived() {
    const QString data = socket().GetData();
    if (phase != Phase::Dialogue)
        return;
    reader.append(data);
    while (const auto reply = reader.take()) {
        if (!isPassing(reply->code)) {
            failOnReply(reply->text);
            return;
        }
        if (!answerReply())
            return;
    }
}

// Before the server has accepted the message, a close loses the report.
void ServerClosed() {
    connectionEnded();
}

void SocketFailed() {
    connectionEnded();
}

} // namespace MailMod
