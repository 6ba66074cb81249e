#pragma once

#include <QAbstractSocket>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringDecoder>

class QSslError;
class QSslSocket;

namespace platform {

// A TCP client socket object with the properties, operations and events that
// the SMTP dialogue uses, and TLS where it is asked for. Text is converted to
// and from the system code page.
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
    // The SHA-256 fingerprint of a server certificate to trust besides the
    // system's store; empty: the store alone.
    QByteArray TrustedFingerprint;

    // Why a TLS handshake failed.
    enum class TlsFault {
        None,
        Expired,      // the certificate is out of its validity period
        NameMismatch, // valid, but not for RemoteHost
        Untrusted,    // neither in the system's store nor the trusted fingerprint
        Handshake,    // the handshake itself failed (no TLS, a closed connection)
    };

    // Starts connecting to RemoteHost:RemotePort; returns at once. A failure is
    // reported through Error, never by this call.
    void Connect();
    // The same with TLS from the first byte: Encrypted follows the handshake.
    void ConnectEncrypted();
    // Starts TLS on the open connection (after STARTTLS): Encrypted follows
    // the handshake. A failed handshake is reported through Error, its cause
    // by tlsFault().
    void StartEncryption();
    bool isEncrypted() const;
    // The cause of the last failed handshake of the connection, and the
    // SHA-256 fingerprint of the certificate the server presented in it
    // (empty when it presented none).
    TlsFault tlsFault() const { return tlsFault_; }
    QByteArray presentedFingerprint() const { return presentedFingerprint_; }
    // Queues text for sending.
    void SendData(const QString& text);
    // All received data that is waiting, as one string.
    QString GetData();
    // Closes the connection; harmless when there is none.
    void Close();
    // Whether a connection is open, or a closed one still sends what was
    // queued before its Close; the object may be destroyed only when not.
    bool holdsConnection() const;

signals:
    void DataArrival(qint64 bytesTotal);
    void Closed();
    void Error(int number, const QString& description);
    void Encrypted();
    // The last connection that was closed has sent all it had and is gone.
    void Released();

private:
    void open();
    void onReadyRead();
    void onSslErrors(const QList<QSslError>& errors);
    void onStateChanged(QAbstractSocket::SocketState state);
    void onErrorOccurred();
    void endConnection();
    // Lets go of the current socket: it finishes sending, then is destroyed.
    void retire(QSslSocket* old);
    // Destroys the retired sockets that are done, unless an event is being
    // delivered (the socket that sent it may be one of them).
    void reap();
    template <class Emit> void deliver(Emit&& emitEvent);

    QPointer<QSslSocket> socket_;
    QList<QPointer<QSslSocket>> retired_;
    int delivering_ = 0;
    bool ended_ = false; // the current connection's Close or Error has been sent
    TlsFault tlsFault_ = TlsFault::None;
    QByteArray presentedFingerprint_;
    QStringDecoder decoder_{QStringConverter::System};
};

} // namespace platform
