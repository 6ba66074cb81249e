#pragma once

#include <QAbstractSocket>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringDecoder>

class QTcpSocket;

namespace platform {

// A TCP client socket object with the properties, operations and events that
// the SMTP dialogue uses. Text is converted to and from the system code page.
// Each connection gets a socket of its own, so Close lets the data queued
// before it go out while a new Connect can start at once.
//
// A handler of an event may open a modal box, whose event loop delivers further
// events (a Close, an Error, a new Connect) while the first handler is still on
// the stack. A socket let go meanwhile is therefore destroyed only once no
// event of this object is being delivered.
class SocketObject : public QObject {
    Q_OBJECT
public:
    explicit SocketObject(QObject* parent = nullptr);
    ~SocketObject() override;

    QString RemoteHost;
    int RemotePort = 0;
    int LocalPort = 0; // 0: any free port

    // Starts connecting to RemoteHost:RemotePort; returns at once. A failure is
    // reported through Error, never by this call.
    void Connect();
    // Queues text for sending.
    void SendData(const QString& text);
    // All received data that is waiting, as one string.
    QString GetData();
    // Closes the connection; harmless when there is none.
    void Close();
    // Whether a connection is being made or is open.
    bool isOpen() const;

signals:
    void DataArrival(qint64 bytesTotal);
    void Closed();
    void Error(int number, const QString& description);

private:
    void onReadyRead();
    void onStateChanged(QAbstractSocket::SocketState state);
    void onErrorOccurred();
    void endConnection();
    // Lets go of the current socket: it finishes sending, then is destroyed.
    void retire(QTcpSocket* old);
    // Destroys the retired sockets that are done, unless an event is being
    // delivered (the socket that sent it may be one of them).
    void reap();
    template <class Emit> void deliver(Emit&& emitEvent);

    QPointer<QTcpSocket> socket_;
    QList<QPointer<QTcpSocket>> retired_;
    int delivering_ = 0;
    bool ended_ = false; // the current connection's Close or Error has been sent
    QStringDecoder decoder_{QStringConverter::System};
};

} // namespace platform
