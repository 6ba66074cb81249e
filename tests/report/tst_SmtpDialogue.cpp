// The SMTP dialogue over real loopback connections against a scripted server.

#include "app/frmMain.h"
#include "app/variables.h"
#include "platform/SocketObject.h"
#include "report/MailMod.h"
#include "report/SmtpDialogue.h"
#include "support/Fakes.h"
#include "support/ScriptedSmtpServer.h"

#include <QPushButton>
#include <QTcpServer>
#include <QtTest>

using namespace std::chrono_literals;
using Script = fakes::ScriptedSmtpServer::Script;
using Reply = fakes::ScriptedSmtpServer::Reply;

namespace {

const QString kMailText = QStringLiteral("From: me@example.com\r\nTo: you@example.org\r\n"
                                         "Subject: 状態報告\r\n\r\nCドライブ: OK");
const QString kErrorText = QStringLiteral("エラーが発生しました。");

// Everything one dialogue needs: fakes, the main window, a server and settings.
struct Rig {
    explicit Rig(const QList<Script>& scripts) : server(scripts) {
        Settings.smtpServer = QStringLiteral("127.0.0.1");
        Settings.mailFrom = QStringLiteral("me@example.com");
        Settings.mailTo = QStringLiteral("you@example.org");
        MailMod::mailText = kMailText;
        MailMod::smtpPort = server.port();
    }
    explicit Rig(const Script& script = fakes::ScriptedSmtpServer::accepting())
        : Rig(QList<Script>{script}) {}
    ~Rig() {
        MailMod::smtpPort = MailMod::kSmtpPort;
        MailMod::replyTimeout = MailMod::kReplyTimeout;
        MailMod::dataEndTimeout = MailMod::kDataEndTimeout;
    }

    // What SendMail does once the report is composed.
    void start() {
        window.setSendStatus(QStringLiteral("送信中..."));
        window.cmdTestSend->setEnabled(false);
        MailMod::ConnectSmtp();
    }
    const QStringList& transcript(int connection = 0) const {
        return server.transcripts[connection];
    }

    fakes::Environment env;
    frmMain window;
    fakes::ScriptedSmtpServer server;
};

// The transcript of a whole mail from the client's side, with `data` on the wire.
QStringList acceptedTranscript(const QString& helo, const QString& data) {
    return {QStringLiteral("S:220 test.example ready\r\n"),
            QStringLiteral("C:HELO ") + helo + "\r\n",
            QStringLiteral("S:250 hello\r\n"),
            QStringLiteral("C:MAIL FROM: me@example.com\r\n"),
            QStringLiteral("S:250 sender ok\r\n"),
            QStringLiteral("C:RCPT TO: you@example.org\r\n"),
            QStringLiteral("S:250 recipient ok\r\n"),
            QStringLiteral("C:DATA\r\n"),
            QStringLiteral("S:354 end with .\r\n"),
            QStringLiteral("C:") + data,
            QStringLiteral("S:250 queued\r\n"),
            QStringLiteral("C:QUIT\r\n"),
            QStringLiteral("C:<closed>")};
}

QString wireData(const QString& text) {
    return text + QStringLiteral("\r\n.\r\n");
}

} // namespace

class tst_SmtpDialogue : public QObject {
    Q_OBJECT

private slots:
    void replyFraming_data();
    void replyFraming();

    void acceptedMail_data();
    void acceptedMail();

    void failingReply_data();
    void failingReply();
    void failedReplyWithoutClose();
    void serverClosesMidDialogue();
    void connectionRefused();
    void silentServer_data();
    void silentServer();
    void lineEndInSetting_data();
    void lineEndInSetting();
    void secondMailReplacesFirst();
    void nothingSentWhenComposingFails();
    void windowClosedDuringMail();
};

void tst_SmtpDialogue::replyFraming_data() {
    QTest::addColumn<QStringList>("reads");
    // Each reply taken, as "code|text"; code 0 marks a malformed one.
    QTest::addColumn<QStringList>("replies");

    QTest::newRow("one line") << QStringList{"220 ready\r\n"} << QStringList{"220|220 ready\r\n"};
    QTest::newRow("code alone") << QStringList{"250\r\n"} << QStringList{"250|250\r\n"};
    QTest::newRow("lone LF") << QStringList{"250 ok\n"} << QStringList{"250|250 ok\n"};
    QTest::newRow("incomplete line") << QStringList{"220 rea"} << QStringList{};
    QTest::newRow("continuation only") << QStringList{"220-first\r\n"} << QStringList{};
    QTest::newRow("multi-line in one read")
        << QStringList{"220-first\r\n220-second\r\n220 last\r\n"}
        << QStringList{"220|220-first\r\n220-second\r\n220 last\r\n"};
    QTest::newRow("multi-line over reads split mid-line")
        << QStringList{"220-fir", "st\r\n220 la", "st\r\n"}
        << QStringList{"220|220-first\r\n220 last\r\n"};
    QTest::newRow("two replies in one read")
        << QStringList{"250 a\r\n354 b\r\n"} << QStringList{"250|250 a\r\n", "354|354 b\r\n"};
    QTest::newRow("no code") << QStringList{"hello\r\n"} << QStringList{"0|hello\r\n"};
    QTest::newRow("two digits") << QStringList{"25 ok\r\n"} << QStringList{"0|25 ok\r\n"};
    QTest::newRow("letter in the code") << QStringList{"2x0 ok\r\n"} << QStringList{"0|2x0 ok\r\n"};
    QTest::newRow("four digits") << QStringList{"2500 ok\r\n"} << QStringList{"0|2500 ok\r\n"};
    QTest::newRow("empty line") << QStringList{"\r\n"} << QStringList{"0|\r\n"};
    QTest::newRow("bad line after a continuation")
        << QStringList{"220-first\r\nsecond\r\n"} << QStringList{"0|220-first\r\nsecond\r\n"};
    const QString endless(5000, QLatin1Char('x'));
    QTest::newRow("endless line") << QStringList{endless} << QStringList{"0|" + endless};
    QString manyLines;
    for (int i = 0; i < 100; ++i)
        manyLines += QStringLiteral("220-line\r\n");
    QTest::newRow("endless reply") << QStringList{manyLines} << QStringList{"0|" + manyLines};
}

void tst_SmtpDialogue::replyFraming() {
    QFETCH(QStringList, reads);
    QFETCH(QStringList, replies);
    MailMod::ReplyReader reader;
    QStringList taken;
    for (const QString& read : reads) {
        reader.append(read);
        while (const auto reply = reader.take())
            taken.append(QString::number(reply->code) + "|" + reply->text);
    }
    QCOMPARE(taken, replies);
}

void tst_SmtpDialogue::acceptedMail_data() {
    QTest::addColumn<QList<QByteArray>>("greeting"); // as the server sends it, read by read
    QTest::addColumn<QString>("mailFromReply");
    QTest::addColumn<QString>("mailFrom");
    QTest::addColumn<QString>("helo");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("onTheWire");

    const QList<QByteArray> greeting{"220 test.example ready\r\n"};
    const QString ok = QStringLiteral("250 sender ok\r\n");
    const QString from = QStringLiteral("me@example.com");
    const QString helo = QStringLiteral("example.com");
    QTest::newRow("plain") << greeting << ok << from << helo << kMailText << kMailText;
    QTest::newRow("two at signs") << greeting << ok << "me@relay@example.com"
                                  << "relay@example.com" << kMailText << kMailText;
    QTest::newRow("no at sign") << greeting << ok << "postmaster"
                                << "postmaster" << kMailText << kMailText;
    QTest::newRow("250 as greeting")
        << QList<QByteArray>{"250 hello there\r\n"} << ok << from << helo << kMailText << kMailText;
    QTest::newRow("354 after MAIL FROM") << greeting << "354 go on\r\n"
                                         << from << helo << kMailText << kMailText;
    QTest::newRow("multi-line greeting in one read")
        << QList<QByteArray>{"220-test.example\r\n220 ready\r\n"} << ok << from << helo << kMailText
        << kMailText;
    QTest::newRow("multi-line greeting in two reads")
        << QList<QByteArray>{"220-test.example\r\n", "220 ready\r\n"} << ok << from << helo
        << kMailText << kMailText;
    QTest::newRow("greeting split inside lines")
        << QList<QByteArray>{"220-test.ex", "ample\r\n220 rea", "dy\r\n"} << ok << from << helo
        << kMailText << kMailText;
    QTest::newRow("line starting with a dot")
        << greeting << ok << from << helo << "a\r\n.hidden\r\nb"
        << "a\r\n..hidden\r\nb";
    QTest::newRow("line holding only a dot") << greeting << ok << from << helo << "a\r\n.\r\nb"
                                             << "a\r\n..\r\nb";
    QTest::newRow("first and last line dots") << greeting << ok << from << helo << ".\r\nb\r\n."
                                              << "..\r\nb\r\n..";
    QTest::newRow("dots inside lines") << greeting << ok << from << helo << "a.b\r\n x."
                                       << "a.b\r\n x.";
}

void tst_SmtpDialogue::acceptedMail() {
    QFETCH(QList<QByteArray>, greeting);
    QFETCH(QString, mailFromReply);
    QFETCH(QString, mailFrom);
    QFETCH(QString, helo);
    QFETCH(QString, text);
    QFETCH(QString, onTheWire);
    Script script = fakes::ScriptedSmtpServer::accepting();
    script[0] = Reply(greeting);
    script[2] = Reply(QList<QByteArray>{mailFromReply.toUtf8()});
    Rig rig(script);
    Settings.mailFrom = mailFrom;
    MailMod::mailText = text;

    rig.start();
    QTRY_COMPARE(rig.window.sendStatus(), QStringLiteral("送信完了"));
    QVERIFY(rig.window.cmdTestSend->isEnabled());
    QCOMPARE(MailMod::heloDomain, helo);
    QCOMPARE(MailMod::smtpStep, std::int16_t(5));

    // Each command only after the whole of the reply before it.
    QStringList expected = acceptedTranscript(helo, wireData(onTheWire));
    expected[3] = QStringLiteral("C:MAIL FROM: ") + mailFrom + "\r\n";
    expected[4] = QStringLiteral("S:") + mailFromReply;
    expected.removeFirst();
    for (qsizetype i = greeting.size() - 1; i >= 0; --i)
        expected.prepend(QStringLiteral("S:") + QString::fromUtf8(greeting[i]));
    QTRY_COMPARE(rig.transcript(), expected);
    QVERIFY(rig.env.messageBox.shown.isEmpty());
    QVERIFY(!rig.window.sckSend->isOpen());
}

void tst_SmtpDialogue::failingReply_data() {
    QTest::addColumn<Script>("script");
    // The client's units up to the failing reply, without the QUIT that follows it.
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<QString>("reply");

    const Script accepting = fakes::ScriptedSmtpServer::accepting();
    const QString rejected = QStringLiteral("550 5.1.1 no such user\r\n");
    const QStringList upToRcpt{"HELO example.com\r\n", "MAIL FROM: me@example.com\r\n",
                               "RCPT TO: you@example.org\r\n"};
    QTest::newRow("550 to RCPT TO")
        << Script{accepting[0], accepting[1], accepting[2], rejected.toUtf8().constData()}
        << upToRcpt << rejected;
    const QString refusing = QStringLiteral("554-not today\r\n554 go away\r\n");
    QTest::newRow("multi-line 554 greeting")
        << Script{refusing.toUtf8().constData()} << QStringList{} << refusing;
    QTest::newRow("reply without a code")
        << Script{accepting[0], "hello there\r\n"} << QStringList{"HELO example.com\r\n"}
        << QStringLiteral("hello there\r\n");
    QTest::newRow("two-digit code")
        << Script{accepting[0], "25 ok\r\n"} << QStringList{"HELO example.com\r\n"}
        << QStringLiteral("25 ok\r\n");
    const QString tooBig = QStringLiteral("552 too much mail data\r\n");
    QTest::newRow("552 to the end of the data")
        << Script{accepting[0], accepting[1], accepting[2],
                  accepting[3], accepting[4], tooBig.toUtf8().constData()}
        << upToRcpt + QStringList{"DATA\r\n", wireData(kMailText)} << tooBig;
}

void tst_SmtpDialogue::failingReply() {
    QFETCH(Script, script);
    QFETCH(QStringList, commands);
    QFETCH(QString, reply);
    // The server answers QUIT as a real one would, but leaves the close to the test.
    script.append("221 bye\r\n");
    Rig rig(script);

    rig.start();
    QTRY_COMPARE(rig.window.sendStatus(), QStringLiteral("送信エラー"));
    QCOMPARE(rig.env.messageBox.shown.size(), 1);
    QCOMPARE(rig.env.messageBox.shown[0].text, kErrorText + "\r\n" + reply);
    QCOMPARE(rig.env.messageBox.shown[0].title, QStringLiteral("ERROR"));
    QCOMPARE(rig.env.messageBox.shown[0].style, 0);
    QTRY_VERIFY(rig.transcript().contains(QStringLiteral("S:221 bye\r\n")));

    // The 221 moves nothing on: no command, no "送信完了", the button waits for the close.
    QTest::qWait(100);
    QStringList sent;
    for (const QString& unit : rig.transcript())
        if (unit.startsWith(QStringLiteral("C:")))
            sent.append(unit.mid(2));
    QCOMPARE(sent, commands + QStringList(QStringLiteral("QUIT\r\n")));
    QCOMPARE(rig.window.sendStatus(), QStringLiteral("送信エラー"));
    QVERIFY(!rig.window.cmdTestSend->isEnabled());
    QCOMPARE(rig.env.messageBox.shown.size(), 1);

    rig.server.closeClient();
    QTRY_VERIFY(rig.window.cmdTestSend->isEnabled());
    QCOMPARE(rig.window.sendStatus(), QStringLiteral("送信エラー"));
    QCOMPARE(rig.env.messageBox.shown.size(), 1);
}

void tst_SmtpDialogue::failedReplyWithoutClose() {
    Rig rig(Script{"554 go away\r\n"});
    MailMod::replyTimeout = 100ms;

    rig.start();
    QTRY_VERIFY(rig.window.cmdTestSend->isEnabled());
    QTRY_COMPARE(rig.transcript(), (QStringList{"S:554 go away\r\n", "C:QUIT\r\n", "C:<closed>"}));
    // The operator has been told once; the time-out adds no second box.
    QCOMPARE(rig.env.messageBox.shown.size(), 1);
    QCOMPARE(rig.window.sendStatus(), QStringLiteral("送信エラー"));
}

void tst_SmtpDialogue::serverClosesMidDialogue() {
    Script script = fakes::ScriptedSmtpServer::accepting().mid(0, 2);
    script.append(Reply(QList<QByteArray>{}, true));
    Rig rig(script);

    rig.start();
    QTRY_VERIFY(rig.window.cmdTestSend->isEnabled());
    QVERIFY(rig.env.messageBox.shown.isEmpty());
    QCOMPARE(rig.window.sendStatus(), QStringLiteral("送信中..."));
    QVERIFY(!rig.window.sckSend->isOpen());
    QCOMPARE(rig.transcript().last(), QStringLiteral("S:<close>"));
}

void tst_SmtpDialogue::connectionRefused() {
    Rig rig;
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
    MailMod::smtpPort = closed.serverPort();
    closed.close();

    rig.start();
    QTRY_COMPARE(rig.window.sendStatus(), QStringLiteral("送信エラー"));
    QVERIFY(rig.window.cmdTestSend->isEnabled());
    QCOMPARE(rig.env.messageBox.shown.size(), 1);
    QCOMPARE(rig.env.messageBox.shown[0].text, kErrorText);
    QCOMPARE(rig.env.messageBox.shown[0].title, QStringLiteral("Error"));
    QCOMPARE(rig.env.messageBox.shown[0].style, 0);
}

void tst_SmtpDialogue::silentServer_data() {
    QTest::addColumn<Script>("script");
    QTest::addColumn<std::chrono::milliseconds>("replyTimeout");
    QTest::addColumn<std::chrono::milliseconds>("dataEndTimeout");

    // The other time-out is far beyond the test's patience: only the right one can end it.
    QTest::newRow("no greeting") << Script{} << std::chrono::milliseconds(100)
                                 << std::chrono::milliseconds(1h);
    QTest::newRow("no answer to HELO")
        << fakes::ScriptedSmtpServer::accepting().mid(0, 1) << std::chrono::milliseconds(100)
        << std::chrono::milliseconds(1h);
    QTest::newRow("no answer to the end of the data")
        << fakes::ScriptedSmtpServer::accepting().mid(0, 5) << std::chrono::milliseconds(1h)
        << std::chrono::milliseconds(100);
}

void tst_SmtpDialogue::silentServer() {
    QFETCH(Script, script);
    QFETCH(std::chrono::milliseconds, replyTimeout);
    QFETCH(std::chrono::milliseconds, dataEndTimeout);
    Rig rig(script);
    MailMod::replyTimeout = replyTimeout;
    MailMod::dataEndTimeout = dataEndTimeout;

    rig.start();
    QTRY_COMPARE(rig.window.sendStatus(), QStringLiteral("送信エラー"));
    QVERIFY(rig.window.cmdTestSend->isEnabled());
    QCOMPARE(rig.env.messageBox.shown.size(), 1);
    QCOMPARE(rig.env.messageBox.shown[0].title, QStringLiteral("Error"));
    QTRY_COMPARE(rig.transcript().last(), QStringLiteral("C:<closed>"));
}

void tst_SmtpDialogue::lineEndInSetting_data() {
    QTest::addColumn<QString>("mailFrom");
    QTest::addColumn<QString>("mailTo");
    QTest::addColumn<QStringList>("commands");

    QTest::newRow("CR LF in the sender (HELO argument)") << "me@example.com\r\nRSET"
                                                         << "you@example.org" << QStringList{};
    QTest::newRow("LF in the recipient")
        << "me@example.com"
        << "you@example.org\nRSET"
        << QStringList{"HELO example.com\r\n", "MAIL FROM: me@example.com\r\n"};
    QTest::newRow("CR in the recipient")
        << "me@example.com"
        << "you@example.org\rRSET"
        << QStringList{"HELO example.com\r\n", "MAIL FROM: me@example.com\r\n"};
}

void tst_SmtpDialogue::lineEndInSetting() {
    QFETCH(QString, mailFrom);
    QFETCH(QString, mailTo);
    QFETCH(QStringList, commands);
    Rig rig;
    Settings.mailFrom = mailFrom;
    Settings.mailTo = mailTo;

    rig.start();
    QTRY_COMPARE(rig.window.sendStatus(), QStringLiteral("送信エラー"));
    QVERIFY(rig.window.cmdTestSend->isEnabled());
    QCOMPARE(rig.env.messageBox.shown.size(), 1);
    QTRY_COMPARE(rig.transcript().last(), QStringLiteral("C:<closed>"));
    QStringList sent;
    for (const QString& unit : rig.transcript())
        if (unit.startsWith(QStringLiteral("C:")))
            sent.append(unit.mid(2));
    QCOMPARE(sent, commands + QStringList({"QUIT\r\n", "<closed>"}));
}

void tst_SmtpDialogue::secondMailReplacesFirst() {
    Rig rig(QList<Script>{Script{}, fakes::ScriptedSmtpServer::accepting()});

    MailMod::SendMail();
    QTRY_COMPARE(rig.server.connections(), 1);
    MailMod::SendMail();
    QCOMPARE(rig.window.sendStatus(), QStringLiteral("送信中..."));
    QVERIFY(!rig.window.cmdTestSend->isEnabled());
    QTRY_COMPARE(rig.window.sendStatus(), QStringLiteral("送信完了"));
    QVERIFY(rig.window.cmdTestSend->isEnabled());
    QTRY_COMPARE(rig.transcript(0), QStringList{"C:<closed>"});
    QTRY_COMPARE(
        rig.transcript(1),
        acceptedTranscript("example.com", wireData(MailMod::DotStuffed(MailMod::mailText))));
    QVERIFY(rig.env.messageBox.shown.isEmpty());
}

void tst_SmtpDialogue::nothingSentWhenComposingFails() {
    Rig rig;
    // A drive that does not exist fails the report.
    Settings.driveCheck1 = kFlagOn;
    Settings.driveIndex1 = 3;

    MailMod::SendMail();
    QCOMPARE(rig.window.sendStatus(), QStringLiteral("送信エラー"));
    QVERIFY(rig.window.cmdTestSend->isEnabled());
    QCOMPARE(rig.env.messageBox.shown.size(), 1);
    QTest::qWait(200);
    QCOMPARE(rig.server.connections(), 0);
}

void tst_SmtpDialogue::windowClosedDuringMail() {
    fakes::Environment env;
    fakes::ScriptedSmtpServer server(Script{});
    Settings.smtpServer = QStringLiteral("127.0.0.1");
    MailMod::smtpPort = server.port();
    {
        frmMain window;
        MailMod::ConnectSmtp();
        QTRY_COMPARE(server.connections(), 1);
        // Going away with the connection open must not call back into the window.
    }
    MailMod::smtpPort = MailMod::kSmtpPort;
    QTRY_COMPARE(server.transcripts[0], QStringList{"C:<closed>"});
    QVERIFY(env.messageBox.shown.isEmpty());
}

QTEST_MAIN(tst_SmtpDialogue)
#include "tst_SmtpDialogue.moc"
