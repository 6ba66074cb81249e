#include "platform/SocketObject.h"

#include <QCryptographicHash>
#include <QHostAddress>
#include <QSslSocket>
#include <QStringEncoder>

namespace platform {

SocketObject::SocketObject(QObject* parent) : QObject(parent) {}

SocketObject::~SocketObject() {
    // No events out of a destructor: the owner may be half destroyed already.
    for (QSslSocket* old : std::as_const(retired_)) {
        if (old)
            old->disconnect(this);
    }
    if (socket_) {
        socket_->disconnect(this);
        socket_->abort();
    }
}

void SocketObject::open() {
    Close();
    socket_ = new QSslSocket(this);
    ended_ = false;
    tlsFault_ = TlsFault::None;
    presentedFingerprint_.clear();
    decoder_.resetState();
    connect(socket_, &QSslSocket::readyRead, this, &SocketObject::onReadyRead);
    connect(socket_, &QSslSocket::stateChanged, this, &SocketObject::onStateChanged);
    connect(socket_, &QSslSocket::errorOccurred, this, &SocketObject::onErrorOccurred);
    connect(socket_, &QSslSocket::sslErrors, this, &SocketObject::onSslErrors);
    connect(socket_, &QSslSocket::encrypted, this,
            [this] { deliver([this] { emit Encrypted(); }); });
    if (LocalPort != 0)
        socket_->bind(QHostAddress::AnyIPv4, static_cast<quint16>(LocalPort));
}

void SocketObject::Connect() {
    open();
    socket_->connectToHost(RemoteHost, static_cast<quint16>(RemotePort));
}

void SocketObject::ConnectEncrypted() {
    open();
    socket_->connectToHostEncrypted(RemoteHost, static_cast<quint16>(RemotePort));
}

void SocketObject::StartEncryption() {
    if (socket_)
        socket_->startClientEncryption();
}

bool SocketObject::isEncrypted() const {
    return socket_ && socket_->isEncrypted();
}

// The certificate is trusted when the system's store vouches for it and its
// name, or when it is the one whose fingerprint the operator gave. Otherwise
// the handshake ends, and the cause stays for the Error event's handler.
void SocketObject::onSslErrors(const QList<QSslError>& errors) {
    if (!socket_)
        return;
    const QSslCertificate peer = socket_->peerCertificate();
    presentedFingerprint_ = peer.isNull() ? QByteArray() : peer.digest(QCryptographicHash::Sha256);
    if (!TrustedFingerprint.isEmpty() && !presentedFingerprint_.isEmpty() &&
        presentedFingerprint_ == TrustedFingerprint) {
        socket_->ignoreSslErrors(errors);
        return;
    }
    bool expired = false, nameMismatch = false, untrusted = false;
    for (const QSslError& error : errors) {
        switch (error.error()) {
        case QSslError::CertificateExpired:
        case QSslError::CertificateNotYetValid:
            expired = true;
            break;
        case QSslError::HostNameMismatch:
            nameMismatch = true;
            break;
        default:
            untrusted = true;
            break;
        }
    }
    tlsFault_ = untrusted      ? TlsFault::Untrusted
                : expired      ? TlsFault::Expired
                : nameMismatch ? TlsFault::NameMismatch
                               : TlsFault::Untrusted;
}

void SocketObject::SendData(const QString& text) {
    if (!socket_)
        return;
    QStringEncoder encode(QStringConverter::System);
    socket_->write(encode(text));
}

QString SocketObject::GetData() {
    if (!socket_)
        return {};
    return decoder_(socket_->readAll());
}

void SocketObject::Close() {
    QSslSocket* old = socket_;
    socket_.clear();
    if (old)
        retire(old);
}

void SocketObject::retire(QSslSocket* old) {
    old->disconnect(this);
    if (old->state() == QAbstractSocket::ConnectedState) {
        // Let what was queued go out, then let the socket go.
        connect(old, &QSslSocket::disconnected, this, &SocketObject::reap);
        old->disconnectFromHost();
    } else {
        old->abort();
    }
    retired_.append(old);
    reap();
}

void SocketObject::reap() {
    if (delivering_ > 0)
        return;
    const bool closing = !retired_.isEmpty();
    for (qsizetype i = retired_.size() - 1; i >= 0; --i) {
        QSslSocket* old = retired_[i];
        if (old && old->state() != QAbstractSocket::UnconnectedState)
            continue;
        retired_.removeAt(i);
        if (old) {
            old->disconnect(this);
            // Later, so that a socket whose own signal is being emitted is not
            // destroyed under its feet.
            old->deleteLater();
        }
    }
    if (closing && !holdsConnection())
        emit Released();
}

template <class Emit> void SocketObject::deliver(Emit&& emitEvent) {
    ++delivering_;
    emitEvent();
    if (--delivering_ == 0)
        reap();
}

bool SocketObject::holdsConnection() const {
    return socket_ || !retired_.isEmpty();
}

void SocketObject::onReadyRead() {
    if (socket_)
        deliver([this] { emit DataArrival(socket_->bytesAvailable()); });
}

// A connection ends once, by the Close event or by the Error event. A peer that
// closes or resets is the Close event, also when it does so before the
// connection was reported as made (no disconnected signal comes then).
void SocketObject::onStateChanged(QAbstractSocket::SocketState state) {
    if (state == QAbstractSocket::UnconnectedState)
        endConnection();
}

void SocketObject::onErrorOccurred() {
    endConnection();
}

void SocketObject::endConnection() {
    if (!socket_ || ended_)
        return;
    const QAbstractSocket::SocketError error = socket_->error();
    if (error == QAbstractSocket::UnknownSocketError &&
        socket_->state() != QAbstractSocket::UnconnectedState)
        return;
    ended_ = true;
    if (error == QAbstractSocket::UnknownSocketError ||
        error == QAbstractSocket::RemoteHostClosedError) {
        deliver([this] { emit Closed(); });
        return;
    }
    const QString description = socket_->errorString();
    deliver([&] { emit Error(static_cast<int>(error), description); });
}

} // namespace platform
