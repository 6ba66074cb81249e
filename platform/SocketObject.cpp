#include "platform/SocketObject.h"

#include <QHostAddress>
#include <QStringEncoder>
#include <QTcpSocket>

namespace platform {

SocketObject::SocketObject(QObject* parent) : QObject(parent) {}

SocketObject::~SocketObject() {
    // No events out of a destructor: the owner may be half destroyed already.
    if (socket_) {
        socket_->disconnect(this);
        socket_->abort();
    }
}

void SocketObject::Connect() {
    Close();
    socket_ = new QTcpSocket(this);
    decoder_.resetState();
    connect(socket_, &QTcpSocket::readyRead, this, &SocketObject::onReadyRead);
    connect(socket_, &QTcpSocket::disconnected, this, &SocketObject::onDisconnected);
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
    if (!old)
        return;
    old->disconnect(this);
    if (old->state() == QAbstractSocket::ConnectedState) {
        // Let what was queued go out, then let the socket go.
        connect(old, &QTcpSocket::disconnected, old, &QObject::deleteLater);
        old->disconnectFromHost();
        if (old->state() != QAbstractSocket::UnconnectedState)
            return;
    } else {
        old->abort();
    }
    old->deleteLater();
}

bool SocketObject::isOpen() const {
    return socket_ && socket_->state() != QAbstractSocket::UnconnectedState;
}

void SocketObject::onReadyRead() {
    if (socket_)
        emit DataArrival(socket_->bytesAvailable());
}

void SocketObject::onDisconnected() {
    emit Closed();
}

void SocketObject::onErrorOccurred() {
    if (!socket_)
        return;
    // A peer that closes is the Close event, not an error.
    if (socket_->error() == QAbstractSocket::RemoteHostClosedError)
        return;
    emit Error(static_cast<int>(socket_->error()), socket_->errorString());
}

} // namespace platform
