#pragma once

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
    void onDisconnected();
    void onErrorOccurred();

    QPointer<QTcpSocket> socket_;
    QStringDecoder decoder_{QStringConverter::System};
};

} // namespace platform
