#include "support/ScriptedSmtpServer.h"

#include <QTcpSocket>
#include <QTimer>

namespace fakes {

ScriptedSmtpServer::ScriptedSmtpServer(QList<Script> scripts) : scripts_(std::move(scripts)) {
    connect(&server_, &QTcpServer::newConnection, this, &ScriptedSmtpServer::onNewConnection);
    if (!server_.listen(QHostAddress::LocalHost, 0))
        qFatal("cannot listen on 127.0.0.1");
}

ScriptedSmtpServer::Script ScriptedSmtpServer::accepting() {
    return {"220 test.example ready\r\n", "250 hello\r\n",      "250 sender ok\r\n",
            "250 recipient ok\r\n",       "354 end with .\r\n", "250 queued\r\n"};
}

void ScriptedSmtpServer::closeClient() {
    if (!connections_.isEmpty() && connections_.last().socket) {
        connections_.last().closedByServer = true;
        connections_.last().socket->disconnectFromHost();
    }
}

void ScriptedSmtpServer::onNewConnection() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        const int index = int(connections_.size());
        socket->setParent(this);
        Connection connection;
        connection.socket = socket;
        connection.script = scripts_.value(index, scripts_.isEmpty() ? Script{} : scripts_.last());
        connections_.append(connection);
        transcripts.append(QStringList{});
        connect(socket, &QTcpSocket::readyRead, this, [this, index] { onReadyRead(index); });
        connect(socket, &QTcpSocket::disconnected, this, [this, index] {
            if (!connections_[index].closedByServer)
                transcripts[index].append(QStringLiteral("C:<closed>"));
        });
        sendNext(index);
    }
}

void ScriptedSmtpServer::onReadyRead(int index) {
    Connection& c = connections_[index];
    c.pending += c.socket->readAll();
    for (;;) {
        qsizetype end = -1;
        if (c.inData) {
            if (c.pending.startsWith(".\r\n"))
                end = 3;
            else if (const qsizetype dot = c.pending.indexOf("\r\n.\r\n"); dot >= 0)
                end = dot + 5;
        } else if (const qsizetype crlf = c.pending.indexOf("\r\n"); crlf >= 0) {
            end = crlf + 2;
        }
        if (end < 0)
            return;
        const QByteArray unit = c.pending.left(end);
        c.pending.remove(0, end);
        transcripts[index].append(QStringLiteral("C:") + QString::fromUtf8(unit));
        const bool wasData = c.inData;
        c.inData = !wasData && unit.trimmed().toUpper() == "DATA";
        sendNext(index);
    }
}

void ScriptedSmtpServer::sendNext(int index) {
    Connection& c = connections_[index];
    if (c.script.isEmpty())
        return;
    const Reply reply = c.script.takeFirst();
    sendChunks(index, reply.chunks, reply.close);
}

void ScriptedSmtpServer::sendChunks(int index, QList<QByteArray> chunks, bool close) {
    Connection& c = connections_[index];
    if (c.socket->state() != QAbstractSocket::ConnectedState)
        return;
    if (!chunks.isEmpty()) {
        const QByteArray chunk = chunks.takeFirst();
        c.socket->write(chunk);
        c.socket->flush();
        transcripts[index].append(QStringLiteral("S:") + QString::fromUtf8(chunk));
    }
    if (!chunks.isEmpty()) {
        QTimer::singleShot(kChunkGapMs, this,
                           [this, index, chunks, close] { sendChunks(index, chunks, close); });
        return;
    }
    if (close) {
        c.closedByServer = true;
        transcripts[index].append(QStringLiteral("S:<close>"));
        c.socket->disconnectFromHost();
    }
}

} // namespace fakes
