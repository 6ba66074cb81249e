#include "report/SmtpDialogue.h"

#include "platform/AppFolder.h"
#include "platform/Clock.h"
#include "platform/Credentials.h"
#include "platform/Service.h"
#include "platform/SocketObject.h"
#include "report/MailMod.h"
#include "report/Outbox.h"
#include "settings/API.h"
#include "settings/variables.h"

#include <QPointer>
#include <QRegularExpression>
#include <QTimer>
#include <optional>

namespace MailMod {

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
// The login of the mail under way, read from its file as the mail starts.
std::optional<platform::Credentials::Login> login;
// Who started the mail under way, and what its end needs: the file of a
// retried report, the moment a scheduled report was composed.
struct Mail {
    Origin origin = Origin::TestSend;
    QString outboxFile;
    QDateTime composedAt;
};
Mail currentMail;

using Fault = platform::SocketObject::TlsFault;
QString tlsFaultText(Fault fault) {
    switch (fault) {
    case Fault::Expired:
        return QStringLiteral("サーバの証明書の有効期限が切れています。");
    case Fault::NameMismatch:
        return QStringLiteral("サーバの証明書はサーバ名 %1 のものではありません。")
            .arg(Settings.smtpServer);
    case Fault::Untrusted:
        return QStringLiteral("サーバの証明書を信頼できません（システムの証明書ストアにも、"
                              "証明書の指紋にも一致しません）。");
    default:
        return QStringLiteral("TLS のハンドシェイクに失敗しました。");
    }
}

// Whether a mail is in dialogue with the server (connecting included).
bool inDialogue() {
    return (smtpStep >= kGreeting && smtpStep <= kDataEndReply) ||
           (smtpStep >= kEhloReply && smtpStep <= kAuthReply);
}

// Why a login cannot be used; nothing when it can.
QString loginFault(platform::Credentials::Fault fault) {
    using Fault = platform::Credentials::Fault;
    switch (fault) {
    case Fault::ReadableByOthers:
        return QStringLiteral("%1 はほかのユーザーも読めるため使いません。所有者だけが読めるように"
                              "してください（chmod 600 %1）。")
            .arg(API::kLoginFile);
    case Fault::Unreadable:
        return QStringLiteral("%1 を読み込めません（1 行目にユーザー名、2 行目にパスワード）。")
            .arg(API::kLoginFile);
    case Fault::NoPassword:
        return QStringLiteral("%1 にパスワードがありません。メール送信設定でパスワードを入力"
                              "してください。")
            .arg(API::kLoginFile);
    default:
        break;
    }
    if (Settings.smtpSecurity != kSecurityStartTls && Settings.smtpSecurity != kSecurityTls)
        return QStringLiteral("暗号化しない接続では SMTP 認証を行いません。メール送信設定の"
                              "「暗号化」で STARTTLS か SSL/TLS を選んでください。");
    return {};
}

// The login of smtpauth.ini for the mail that starts, when there is one. A
// login that cannot be used refuses the mail, and so does one that would go
// over a connection without TLS.
bool readLogin() {
    login.reset();
    const auto read =
        platform::use<platform::Credentials>().read(platform::appFile(API::kLoginFile));
    if (read.fault == platform::Credentials::Fault::Absent)
        return true;
    if (const QString fault = loginFault(read.fault); !fault.isEmpty()) {
        EndMail(MailEnd::Refused, fault);
        return false;
    }
    login = read.login;
    return true;
}

// Whether a mail under way asked for more than the plain dialogue: then it
// speaks EHLO, and no password and no mail go in clear.
bool extended() {
    return Settings.smtpSecurity == kSecurityStartTls || Settings.smtpSecurity == kSecurityTls ||
           login.has_value();
}

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

QString base64(const QString& text) {
    return QString::fromLatin1(text.toUtf8().toBase64());
}

// MAIL FROM, once the server has answered the greeting (and the login).
bool startEnvelope() {
    if (!sendCommand(QStringLiteral("MAIL FROM: ") + Settings.mailFrom))
        return false;
    smtpStep = kMailFromReply;
    return true;
}

// After EHLO: STARTTLS first where it is asked for and not yet done, then the
// login, then the mail.
bool answerEhlo(const QString& reply) {
    const Capabilities offered = ReadCapabilities(reply);
    if (Settings.smtpSecurity == kSecurityStartTls && !socket().isEncrypted()) {
        if (!offered.startTls) {
            EndMail(MailEnd::Refused,
                    QStringLiteral("サーバが STARTTLS を提供していないため、暗号化できません。"));
            return false;
        }
        sendLine(QStringLiteral("STARTTLS"));
        smtpStep = kStartTlsReply;
    } else if (login && offered.authPlain) {
        // RFC 4616: the authorization identity empty, the name, the password.
        sendLine(QStringLiteral("AUTH PLAIN ") +
                 base64(QChar(u'\0') + login->name + QChar(u'\0') + login->password));
        smtpStep = kAuthReply;
    } else if (login && offered.authLogin) {
        sendLine(QStringLiteral("AUTH LOGIN"));
        smtpStep = kAuthUserReply;
    } else if (login) {
        EndMail(MailEnd::Refused,
                QStringLiteral("サーバが SMTP 認証（PLAIN または LOGIN）を提供していません。"));
        return false;
    } else {
        return startEnvelope();
    }
    return true;
}

// Answers a reply by the step the dialogue stands at. False when the mail has
// ended.
bool answerReply(const QString& reply) {
    switch (smtpStep) {
    case kGreeting:
        heloDomain = afterFirstAt(Settings.mailFrom);
        if (!sendCommand((extended() ? QStringLiteral("EHLO ") : QStringLiteral("HELO ")) +
                         heloDomain))
            return false;
        smtpStep = extended() ? kEhloReply : kHeloReply;
        break;
    case kHeloReply:
    case kAuthReply:
        if (!startEnvelope())
            return false;
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
    case kEhloReply:
        if (!answerEhlo(reply))
            return false;
        break;
    case kStartTlsReply:
        // Nothing that came in clear counts once TLS is under way (RFC 3207
        // 4.2): a reply smuggled in behind the 220 is dropped.
        reader.clear();
        smtpStep = kTlsHandshake;
        socket().StartEncryption();
        break;
    case kAuthUserReply:
        sendLine(base64(login->name));
        smtpStep = kAuthPasswordReply;
        break;
    case kAuthPasswordReply:
        sendLine(base64(login->password));
        smtpStep = kAuthReply;
        break;
    default:
        return true;
    }
    armTimeout(replyTimeout);
    return true;
}

// The codes that move each step on: any of the four of the plain dialogue at
// its steps; exactly the one that RFC 3207 and RFC 4954 give at the others.
bool isPassing(int code) {
    switch (smtpStep) {
    case kEhloReply:
        return code == 250;
    case kStartTlsReply:
        return code == 220;
    case kAuthUserReply:
    case kAuthPasswordReply:
        return code == 334;
    case kAuthReply:
        return code == 235;
    default:
        return code == 220 || code == 221 || code == 250 || code == 354;
    }
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

Capabilities ReadCapabilities(const QString& reply) {
    Capabilities offered;
    const QStringList lines = reply.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        // "250-KEYWORD params" or "250 KEYWORD params"; "AUTH=PLAIN" of old.
        const QStringList words = lines[i].mid(4).trimmed().toUpper().split(
            QRegularExpression(QStringLiteral("[ =]")), Qt::SkipEmptyParts);
        if (words.isEmpty())
            continue;
        if (words[0] == QLatin1String("STARTTLS"))
            offered.startTls = true;
        if (words[0] == QLatin1String("AUTH")) {
            offered.authPlain |= words.contains(QLatin1String("PLAIN"));
            offered.authLogin |= words.contains(QLatin1String("LOGIN"));
        }
    }
    return offered;
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

void EndMail(MailEnd end, const QString& detail) {
    const Mail mail = std::exchange(currentMail, Mail{});
    // A report leaves the outbox as soon as the server has taken it.
    if (end == MailEnd::Delivered && mail.origin == Origin::Retry)
        RetryEnded(mail.outboxFile, RetryEnd::Delivered);
    stopTimeout();
    login.reset();
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
        MailDelivered();
        return;
    }
    // Another try can mend a lost connection or a refusal for now (4yz), not
    // one for good (5yz, RFC 5321 4.2.1) or a certificate not trusted.
    const bool passing = end == MailEnd::ConnectionLost ||
                         (end == MailEnd::FailingReply && !detail.startsWith(u'5'));
    QString kept;
    if (mail.origin == Origin::Retry) {
        RetryEnded(mail.outboxFile, passing ? RetryEnd::Failed : RetryEnd::Refused);
    } else if (mail.origin == Origin::Schedule && passing &&
               Settings.keepFailedReports == kFlagOn && !KeepReport(mailText, mail.composedAt)) {
        kept = kCrLf + QStringLiteral("レポートを保存できなかったため、再送できません。");
    }
    const std::uint64_t thisMail = mailsStarted;
    // A retry that fails for now says nothing: the report waits, and the
    // status bar says how many wait.
    if (mail.origin != Origin::Retry || !passing) {
        switch (end) {
        case MailEnd::FailingReply:
            out->showBox(kErrorText + kCrLf + shownReply(detail) + kept, QStringLiteral("ERROR"));
            break;
        case MailEnd::CompositionFailed:
            out->showBox(kComposeErrorText, QStringLiteral("Error"));
            break;
        default:
            out->showBox((detail.isEmpty() ? kErrorText : kErrorText + kCrLf + detail) + kept,
                         QStringLiteral("Error"));
            break;
        }
    }
    if (thisMail != mailsStarted)
        return;
    // After a failing reply the button waits for the server's close.
    if (end != MailEnd::FailingReply)
        out->setTestSendEnabled(true);
    out->setSendStatus(kSendError);
}

void SendMail(Origin origin) {
    ++mailsStarted;
    Outlet()->setSendStatus(kSending);
    Outlet()->setTestSendEnabled(false);
    // A mail still on the socket is replaced, as ConnectSmtp drops its
    // connection; a retried report stays in the outbox for later.
    currentMail = {origin, QString(), platform::use<platform::Clock>().now()};
    if (ComposeReport() != 0)
        return;
    ConnectSmtp();
}

void SendKeptReport(const QString& file, const QString& text) {
    ++mailsStarted;
    Outlet()->setSendStatus(kSending);
    Outlet()->setTestSendEnabled(false);
    mailText = text;
    currentMail = {Origin::Retry, file, QDateTime()};
    ConnectSmtp();
}

void ConnectSmtp() {
    platform::SocketObject& sck = socket();
    sck.LocalPort = 0;
    sck.Close();
    smtpStep = kGreeting;
    reader.clear();
    if (!readLogin())
        return;
    sck.RemoteHost = Settings.smtpServer;
    sck.RemotePort = Settings.smtpPort;
    sck.TrustedFingerprint = API::ReadFingerprint(Settings.smtpFingerprint).value_or(QByteArray());
    // Armed before connecting: a connection that fails at once stops it again.
    armTimeout(replyTimeout);
    if (Settings.smtpSecurity == kSecurityTls) {
        smtpStep = kTlsConnect;
        sck.ConnectEncrypted();
    } else {
        sck.Connect();
    }
}

void ReplyDataArrived() {
    const QString data = socket().GetData();
    // Only a mail in dialogue is moved on by a reply; after a failing reply
    // the 221 to its QUIT has no effect, and nothing counts in the middle of
    // a TLS handshake.
    if (!inDialogue() || smtpStep == kTlsHandshake || smtpStep == kTlsConnect)
        return;
    reader.append(data);
    while (const auto reply = reader.take()) {
        if (!isPassing(reply->code)) {
            EndMail(MailEnd::FailingReply, reply->text);
            return;
        }
        if (!answerReply(reply->text))
            return;
    }
}

// TLS is under way: from the first byte, the greeting comes next; after
// STARTTLS, the client starts again with EHLO (RFC 3207 4.2).
void ConnectionEncrypted() {
    if (smtpStep == kTlsConnect) {
        smtpStep = kGreeting;
    } else if (smtpStep == kTlsHandshake) {
        if (!sendCommand(QStringLiteral("EHLO ") + heloDomain))
            return;
        smtpStep = kEhloReply;
    } else {
        return;
    }
    armTimeout(replyTimeout);
}

void HandleSocketEvents(platform::SocketObject& socket) {
    using platform::SocketObject;
    QObject::connect(&socket, &SocketObject::DataArrival, &socket, &ReplyDataArrived);
    QObject::connect(&socket, &SocketObject::Closed, &socket, &ConnectionEnded);
    QObject::connect(&socket, &SocketObject::Error, &socket, &ConnectionEnded);
    QObject::connect(&socket, &SocketObject::Encrypted, &socket, &ConnectionEncrypted);
}

// Before the server has accepted the message, an end of the connection loses
// the report: a failed send; in a TLS handshake, one whose cause is told. After
// a failing reply, or with no mail on the socket, only the socket and the
// button are put right.
void ConnectionEnded() {
    if (smtpStep == kTlsHandshake || smtpStep == kTlsConnect) {
        const Fault fault = socket().tlsFault();
        // A certificate that is not trusted stays so; another try can mend a
        // handshake that did not complete.
        const bool lasting =
            fault == Fault::Expired || fault == Fault::NameMismatch || fault == Fault::Untrusted;
        EndMail(lasting ? MailEnd::Refused : MailEnd::ConnectionLost, tlsFaultText(fault));
        return;
    }
    if (inDialogue()) {
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
