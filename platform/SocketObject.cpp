#include "platform/SocketObject.h"

#include <QHostAddress>
#include <QStringEncoder>
#include <QTcpSocket>

namespace platform {

SocketObject::SocketObject(QObject* parent) : QObject(parent) {}

SocketObject::~SocketObject() {
    // No events out of a destructor: the owner may be half destroyed already.
    for (QTcpSocket* old : std::as_const(retired_)) {
        if (old)
            old->disconnect(this);
    }
    if (socket_) {
        socket_->disconnect(this);
        socket_->abort();
    }
}

void SocketObject::Connect() {
    Close();
    socket_ = new QTcpSocket(this);
    ended_ = false;
    decoder_.resetState();
    connect(socket_, &QTcpSocket::readyRead, this, &SocketObject::onReadyRead);
    connect(socket_, &QTcpSocket::stateChanged, this, &SocketObject::onStateChanged);
    connect(socket_, &QTcpSocket::errorOccurred, this, &SocketObject::onErrorOccurred);
    if (LocalPort != 0)
        socket_->bind(QHostAddress::AnyIPv4, static_cast<quint16>(LocalPort));
    socket_->connectToHost(RemoteHost, static_cast<quint16>(RemotePort));
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
    QTcpSocket* old = socket_;
    socket_.clear();
    if (old)
        retire(old);
}

void SocketObject::retire(QTcpSocket* old) {
    old->disconnect(this);
    if (old->state() == QAbstractSocket::ConnectedState) {
        // Let what was queued go out, then let the socket go.
        connect(old, &QTcpSocket::disconnected, this, &SocketObject::reap);
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
    for (qsizetype i = retired_.size() - 1; i >= 0; --i) {
        QTcpSocket* old = retired_[i];
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
}

template <class Emit> void SocketObject::deliver(Emit&& emitEvent) {
    ++delivering_;
    emitEvent();
    if (--delivering_ == 0)
        reap();
}

bool SocketObject::isOpen() const {
    return socket_ && socket_->state() != QAbstractSocket::UnconnectedState;
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
