#include "mail/Delivery.h"

#include "platform/AppFolder.h"
#include "platform/Service.h"
#include "platform/SocketObject.h"
#include "settings/API.h"
#include "settings/variables.h"

#include <QRegularExpression>
#include <QTimer>

namespace MailMod {

std::chrono::milliseconds replyTimeout = kReplyTimeout;
std::chrono::milliseconds dataEndTimeout = kDataEndTimeout;

namespace {

const QString kCrLf = QStringLiteral("\r\n");

// A real reply line has at most 512 characters (RFC 5321 4.5.3.1.5) and a
// multi-line reply a few dozen lines; anything far beyond is a server gone
// wrong, and the limits keep it from filling the memory.
constexpr qsizetype kMaxReplyLineLength = 2048;
constexpr int kMaxReplyLines = 100;

using Fault = platform::SocketObject::TlsFault;
QString tlsFaultText(Fault fault, const QByteArray& presented) {
    switch (fault) {
    case Fault::Expired:
        return QStringLiteral("サーバの証明書の有効期限が切れています。");
    case Fault::NameMismatch:
        return QStringLiteral("サーバの証明書はサーバ名 %1 のものではありません。")
            .arg(Settings.smtpServer);
    case Fault::Untrusted:
        // What the server presented, ready to be checked and pasted as the
        // certificate's fingerprint.
        return QStringLiteral("サーバの証明書を信頼できません（システムの証明書ストアにも、"
                              "証明書の指紋にも一致しません）。") +
               (presented.isEmpty() ? QString()
                                    : QStringLiteral("\r\nサーバの証明書の指紋 (SHA-256): ") +
                                          QString::fromLatin1(presented.toHex(':').toUpper()));
    default:
        return QStringLiteral("TLS のハンドシェイクに失敗しました。");
    }
}

// Why a login cannot be used; nothing when it can.
QString loginFault(platform::Credentials::Fault fault) {
    if (const QString file = LoginFileFault(fault); !file.isEmpty())
        return file;
    if (Settings.smtpSecurity != kSecurityStartTls && Settings.smtpSecurity != kSecurityTls)
        return QStringLiteral("暗号化しない接続では SMTP 認証を行いません。メール送信設定の"
                              "「暗号化」で STARTTLS か SSL/TLS を選んでください。");
    return {};
}

QString afterFirstAt(const QString& address) {
    const qsizetype at = address.indexOf(QLatin1Char('@'));
    return at < 0 ? address : address.mid(at + 1);
}

QString base64(const QString& text) {
    return QString::fromLatin1(text.toUtf8().toBase64());
}

bool isDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

} // namespace

QString LoginFileFault(platform::Credentials::Fault fault) {
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
        return {};
    }
}

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

Delivery::Delivery(Mail mail, QObject* parent) : QObject(parent), mail_(std::move(mail)) {
    sckSend = new platform::SocketObject(this);
    using platform::SocketObject;
    connect(sckSend, &SocketObject::DataArrival, this, &Delivery::sckSend_DataArrival);
    connect(sckSend, &SocketObject::Closed, this, &Delivery::sckSend_Close);
    connect(sckSend, &SocketObject::Error, this, &Delivery::sckSend_Error);
    connect(sckSend, &SocketObject::Encrypted, this, &Delivery::sckSend_Encrypted);
    replyTimer_ = new QTimer(this);
    replyTimer_->setSingleShot(true);
    connect(replyTimer_, &QTimer::timeout, this, &Delivery::connectionEnded);
}

Delivery::~Delivery() = default;

void Delivery::setStep(std::int16_t step) {
    smtpStep = step;
}

// Whether the mail is in dialogue with the server (connecting included).
bool Delivery::inDialogue() const {
    return (smtpStep >= kGreeting && smtpStep <= kDataEndReply) ||
           (smtpStep >= kEhloReply && smtpStep <= kAuthReply);
}

// Whether the mail asks for more than the plain dialogue: then it speaks
// EHLO, and no password and no mail go in clear.
bool Delivery::extended() const {
    return Settings.smtpSecurity == kSecurityStartTls || Settings.smtpSecurity == kSecurityTls ||
           login_.has_value();
}

// The login of smtpauth.ini, when there is one. A login that cannot be used
// refuses the mail, and so does one that would go over a connection without
// TLS.
bool Delivery::readLogin() {
    login_.reset();
    const auto read =
        platform::use<platform::Credentials>().read(platform::appFile(API::kLoginFile));
    if (read.fault == platform::Credentials::Fault::Absent)
        return true;
    if (const QString fault = loginFault(read.fault); !fault.isEmpty()) {
        endMail(End::Refused, 0, fault);
        return false;
    }
    login_ = read.login;
    return true;
}

void Delivery::sendLine(const QString& line) {
    sckSend->SendData(line + kCrLf);
}

// A value holding a line end would smuggle a command of its own into the
// dialogue: such a line is not sent and the mail is refused, for good.
bool Delivery::sendCommand(const QString& line) {
    if (API::HoldsLineBreak(line)) {
        sendLine(QStringLiteral("QUIT"));
        endMail(End::Refused);
        return false;
    }
    sendLine(line);
    return true;
}

void Delivery::armTimeout(std::chrono::milliseconds limit) {
    replyTimer_->start(limit);
}

void Delivery::closeConnection() {
    replyTimer_->stop();
    sckSend->Close();
    sckSend->LocalPort = 0;
}

void Delivery::ConnectSmtp() {
    sckSend->LocalPort = 0;
    sckSend->Close();
    setStep(kGreeting);
    reader_.clear();
    if (!readLogin())
        return;
    sckSend->RemoteHost = Settings.smtpServer;
    sckSend->RemotePort = Settings.smtpPort;
    sckSend->TrustedFingerprint =
        API::ReadFingerprint(Settings.smtpFingerprint).value_or(QByteArray());
    // Armed before connecting: a connection that fails at once stops it again.
    armTimeout(replyTimeout);
    if (Settings.smtpSecurity == kSecurityTls) {
        setStep(kTlsConnect);
        sckSend->ConnectEncrypted();
    } else {
        sckSend->Connect();
    }
}

void Delivery::Abandon() {
    if (inDialogue()) {
        endMail(End::ConnectionLost, 0,
                QStringLiteral("プログラムの終了により送信を中断しました。"));
        return;
    }
    connectionEnded();
}

// MAIL FROM, once the server has answered the greeting (and the login).
bool Delivery::startEnvelope() {
    if (!sendCommand(QStringLiteral("MAIL FROM: ") + mail_.sender))
        return false;
    setStep(kMailFromReply);
    return true;
}

bool Delivery::sendRecipient() {
    if (!sendCommand(QStringLiteral("RCPT TO: ") + mail_.recipients.value(recipient_)))
        return false;
    setStep(kRcptToReply);
    return true;
}

// After EHLO: STARTTLS first where it is asked for and not yet done, then the
// login, then the mail.
bool Delivery::answerEhlo(const QString& reply) {
    const Capabilities offered = ReadCapabilities(reply);
    if (Settings.smtpSecurity == kSecurityStartTls && !sckSend->isEncrypted()) {
        if (!offered.startTls) {
            endMail(End::Refused, 0,
                    QStringLiteral("サーバが STARTTLS を提供していないため、暗号化できません。"));
            return false;
        }
        sendLine(QStringLiteral("STARTTLS"));
        setStep(kStartTlsReply);
    } else if (login_ && offered.authPlain) {
        // RFC 4616: the authorization identity empty, the name, the password.
        sendLine(QStringLiteral("AUTH PLAIN ") +
                 base64(QChar(u'\0') + login_->name + QChar(u'\0') + login_->password));
        setStep(kAuthReply);
    } else if (login_ && offered.authLogin) {
        sendLine(QStringLiteral("AUTH LOGIN"));
        setStep(kAuthUserReply);
    } else if (login_) {
        endMail(End::Refused, 0,
                QStringLiteral("サーバが SMTP 認証（PLAIN または LOGIN）を提供していません。"));
        return false;
    } else {
        return startEnvelope();
    }
    return true;
}

// Answers a reply by the step the dialogue stands at. False when the mail has
// ended.
bool Delivery::answerReply(const ReplyReader::Reply& reply) {
    switch (smtpStep) {
    case kGreeting:
        heloDomain = afterFirstAt(mail_.sender);
        if (!sendCommand((extended() ? QStringLiteral("EHLO ") : QStringLiteral("HELO ")) +
                         heloDomain))
            return false;
        setStep(extended() ? kEhloReply : kHeloReply);
        break;
    case kHeloReply:
    case kAuthReply:
        if (!startEnvelope())
            return false;
        break;
    case kMailFromReply:
        recipient_ = 0;
        if (!sendRecipient())
            return false;
        break;
    case kRcptToReply:
        // With several recipients, one that the server refuses is left out and
        // named; the mail goes to those it takes.
        if (!isPassing(reply.code)) {
            refused_.append(mail_.recipients.value(recipient_) + QStringLiteral(": ") + reply.text);
            lastRefusal_ = reply.text;
        }
        if (++recipient_ < mail_.recipients.size()) {
            if (!sendRecipient())
                return false;
            break;
        }
        if (refused_.size() == mail_.recipients.size()) {
            refused_.clear();
            endMail(End::FailingReply, reply.code, lastRefusal_);
            return false;
        }
        sendLine(QStringLiteral("DATA"));
        setStep(kDataReply);
        break;
    case kDataReply:
        sckSend->SendData(DotStuffed(mail_.mailText) + kCrLf);
        sendLine(QStringLiteral("."));
        setStep(kDataEndReply);
        armTimeout(dataEndTimeout);
        return true;
    case kDataEndReply:
        endMail(End::Delivered, reply.code);
        return false;
    case kEhloReply:
        if (!answerEhlo(reply.text))
            return false;
        break;
    case kStartTlsReply:
        // Nothing that came in clear counts once TLS is under way (RFC 3207
        // 4.2): a reply smuggled in behind the 220 is dropped.
        reader_.clear();
        setStep(kTlsHandshake);
        sckSend->StartEncryption();
        break;
    case kAuthUserReply:
        sendLine(base64(login_->name));
        setStep(kAuthPasswordReply);
        break;
    case kAuthPasswordReply:
        sendLine(base64(login_->password));
        setStep(kAuthReply);
        break;
    default:
        return true;
    }
    armTimeout(replyTimeout);
    return true;
}

// The codes that move each step on: any of the four of the plain dialogue at
// its steps; exactly the one that RFC 3207 and RFC 4954 give at the others.
bool Delivery::isPassing(int code) const {
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

void Delivery::sckSend_DataArrival(qint64 /*bytesTotal*/) {
    const QString data = sckSend->GetData();
    // Only a mail in dialogue is moved on by a reply; after a failing reply
    // the 221 to its QUIT has no effect, and nothing counts in the middle of
    // a TLS handshake.
    if (!inDialogue() || smtpStep == kTlsHandshake || smtpStep == kTlsConnect)
        return;
    reader_.append(data);
    while (const auto reply = reader_.take()) {
        // A refused recipient among several is answered by its step.
        const bool severalRecipients = smtpStep == kRcptToReply && mail_.recipients.size() > 1;
        if (!severalRecipients && !isPassing(reply->code)) {
            endMail(End::FailingReply, reply->code, reply->text);
            return;
        }
        if (!answerReply(*reply))
            return;
    }
}

void Delivery::sckSend_Close() {
    connectionEnded();
}

void Delivery::sckSend_Error(int /*number*/, const QString& /*description*/) {
    connectionEnded();
}

// TLS is under way: from the first byte, the greeting comes next; after
// STARTTLS, the client starts again with EHLO (RFC 3207 4.2).
void Delivery::sckSend_Encrypted() {
    if (smtpStep == kTlsConnect) {
        setStep(kGreeting);
    } else if (smtpStep == kTlsHandshake) {
        if (!sendCommand(QStringLiteral("EHLO ") + heloDomain))
            return;
        setStep(kEhloReply);
    } else {
        return;
    }
    armTimeout(replyTimeout);
}

// Before the server has accepted the message, an end of the connection (or
// of the wait for a reply) loses the mail: a failed send; in a TLS handshake,
// one whose cause is told. After a failing reply only the connection is let
// go.
void Delivery::connectionEnded() {
    if (smtpStep == kTlsHandshake || smtpStep == kTlsConnect) {
        const Fault fault = sckSend->tlsFault();
        // A certificate that is not trusted stays so; another try can mend a
        // handshake that did not complete.
        const bool lasting =
            fault == Fault::Expired || fault == Fault::NameMismatch || fault == Fault::Untrusted;
        endMail(lasting ? End::Refused : End::ConnectionLost, 0,
                tlsFaultText(fault, sckSend->presentedFingerprint()));
        return;
    }
    if (inDialogue()) {
        endMail(End::ConnectionLost);
        return;
    }
    setStep(kNoMail);
    closeConnection();
    if (!finished_) {
        finished_ = true;
        emit finished();
    }
}

void Delivery::endMail(End end, int code, const QString& detail) {
    login_.reset();
    if (end == End::FailingReply) {
        setStep(kAwaitingClose);
        sendLine(QStringLiteral("QUIT"));
        // The server should close after QUIT; one that does not must not keep
        // the connection for ever either.
        armTimeout(replyTimeout);
    } else {
        if (end == End::Delivered)
            sendLine(QStringLiteral("QUIT"));
        // Dropped before anyone hears of the end, so that no later event of
        // this connection can act meanwhile.
        setStep(kNoMail);
        closeConnection();
        finished_ = true;
    }
    emit ended(end, code, detail);
    if (end != End::FailingReply)
        emit finished();
}

} // namespace MailMod
