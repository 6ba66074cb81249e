#include "support/ScriptedSmtpServer.h"

#include "mail/Delivery.h"
#include "settings/variables.h"

#include <QTcpSocket>
#include <QTimer>

#ifdef _WIN32
#include <winsock2.h>
using NativeSocket = SOCKET;
#else
#include <sys/socket.h>
using NativeSocket = int;
#endif

namespace fakes {

// Pause between the chunks of one reply: long enough for the client to read each on its own.
constexpr int kChunkGapMs = 30;

ScriptedSmtpServer::ScriptedSmtpServer(QList<Script> scripts) : scripts_(std::move(scripts)) {
    connect(&server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            const int index = int(connections_.size());
            socket->setParent(this);
            connections_.append({socket, scripts_.value(index, scripts_.last()), {}, false, false});
            transcripts.append(QStringList{});
            connect(socket, &QTcpSocket::readyRead, this, [this, index] { onReadyRead(index); });
            connect(socket, &QTcpSocket::disconnected, this, [this, index] {
                if (!connections_[index].closedByServer)
                    transcripts[index].append("C:<closed>");
            });
            if (!connections_[index].script.isEmpty())
                send(index, connections_[index].script.takeFirst());
        }
    });
    if (!server_.listen(QHostAddress::LocalHost, 0))
        qFatal("cannot listen on 127.0.0.1");
}

ScriptedSmtpServer::Script ScriptedSmtpServer::accepting() {
    return {"220 test.example ready\r\n", "250 hello\r\n",      "250 sender ok\r\n",
            "250 recipient ok\r\n",       "354 end with .\r\n", "250 queued\r\n"};
}

void ScriptedSmtpServer::closeClient() {
    connections_.last().closedByServer = true;
    connections_.last().socket->disconnectFromHost();
}

void ScriptedSmtpServer::onReadyRead(int index) {
    Connection& c = connections_[index];
    c.pending += c.socket->readAll();
    for (;;) {
        const auto after = [&](const QByteArray& mark) {
            const qsizetype at = c.pending.indexOf(mark);
            return at < 0 ? at : at + mark.size();
        };
        const qsizetype end =
            c.inData && c.pending.startsWith(".\r\n") ? 3 : after(c.inData ? "\r\n.\r\n" : "\r\n");
        if (end < 0)
            return;
        const QByteArray unit = c.pending.left(end);
        c.pending.remove(0, end);
        transcripts[index].append("C:" + systemText(unit));
        c.inData = !c.inData && unit.trimmed().toUpper() == "DATA";
        if (!c.script.isEmpty())
            send(index, c.script.takeFirst());
    }
}

void ScriptedSmtpServer::send(int index, Reply reply) {
    Connection& c = connections_[index];
    if (c.socket->state() != QAbstractSocket::ConnectedState)
        return;
    if (!reply.chunks.isEmpty()) {
        const QByteArray chunk = reply.chunks.takeFirst();
        c.socket->write(chunk);
        c.socket->flush();
        transcripts[index].append("S:" + systemText(chunk));
    }
    if (!reply.chunks.isEmpty()) {
        QTimer::singleShot(kChunkGapMs, this, [this, index, reply] { send(index, reply); });
    } else if (reply.close) {
        c.closedByServer = true;
        transcripts[index].append(reply.reset ? "S:<reset>" : "S:<close>");
        if (reply.reset) {
            // A zero linger time makes the close a reset.
            const linger noLinger{1, 0};
            ::setsockopt(NativeSocket(c.socket->socketDescriptor()), SOL_SOCKET, SO_LINGER,
                         reinterpret_cast<const char*>(&noLinger), sizeof noLinger);
            c.socket->abort();
        } else {
            c.socket->disconnectFromHost();
        }
    }
}

MailRig::MailRig(const QList<ScriptedSmtpServer::Script>& scripts) : server(scripts) {
    Settings.smtpServer = "127.0.0.1";
    Settings.smtpPort = server.port();
    Settings.mailFrom = "me@example.com";
    Settings.mailTo = "you@example.org";
    if (!refusing.bind(QHostAddress::LocalHost, 0, QAbstractSocket::DontShareAddress))
        qFatal("cannot bind a socket on 127.0.0.1");
}

MailRig::~MailRig() {
    MailMod::replyTimeout = MailMod::kReplyTimeout;
    MailMod::dataEndTimeout = MailMod::kDataEndTimeout;
}

} // namespace fakes
