#pragma once

#include "support/Fakes.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>

namespace fakes {

// An SMTP server on 127.0.0.1 (any free port) that answers from a script and
// keeps a transcript of every connection.
//
// The first reply of a script is sent when a client connects; each later one
// answers one unit of the client's: a command line, or after "DATA" the whole
// message up to and including its "." line. When the script runs out the
// server stays silent. A reply may come in several chunks, sent apart from
// each other so that the client reads them separately.
class ScriptedSmtpServer : public QObject {
public:
    struct Reply {
        Reply(const char* text) : chunks{QByteArray(text)} {}
        Reply(QList<QByteArray> parts, bool closeAfter = false, bool resetAfter = false)
            : chunks(std::move(parts)), close(closeAfter), reset(resetAfter) {}
        QList<QByteArray> chunks;
        // Close the connection after the chunks have gone out; with reset, by
        // a reset (RST) instead of an orderly close.
        bool close = false;
        bool reset = false;
    };
    using Script = QList<Reply>;

    // Connection i follows scripts[i], the last script serving any further one.
    explicit ScriptedSmtpServer(QList<Script> scripts);
    explicit ScriptedSmtpServer(Script script) : ScriptedSmtpServer(QList<Script>{script}) {}

    quint16 port() const { return server_.serverPort(); }
    int connections() const { return int(transcripts.size()); }
    // Closes the server's side of the latest connection.
    void closeClient();

    // One transcript per connection: "S:" and what the server sent, "C:" and
    // one unit of the client's, "C:<closed>" when the client closed.
    QList<QStringList> transcripts;

    // The replies of a server that accepts every mail.
    static Script accepting();

private:
    struct Connection {
        QTcpSocket* socket;
        Script script;
        QByteArray pending;
        bool inData = false;
        bool closedByServer = false;
    };
    void onReadyRead(int index);
    void send(int index, Reply reply);

    QTcpServer server_;
    QList<Script> scripts_;
    QList<Connection> connections_;
};

// A mail's surroundings: all fakes in place, a scripted server, and the
// settings that mail from me@example.com to you@example.org through it. The
// reply time-outs that a case shortens come back when the rig goes.
struct MailRig {
    explicit MailRig(const QList<ScriptedSmtpServer::Script>& scripts = {
                         ScriptedSmtpServer::accepting()});
    ~MailRig();
    QStringList transcript(int i = 0) const { return server.transcripts.value(i); }
    QString boxes() const { return env.messageBox.log(); }

    Environment env;
    ScriptedSmtpServer server;
    // Bound to a loopback port and never listening: connections to its port
    // are refused, and no other program can take the port meanwhile.
    QTcpSocket refusing;
};

} // namespace fakes
