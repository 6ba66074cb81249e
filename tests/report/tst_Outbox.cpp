// Scheduled reports that could not be sent wait in outbox/ and are tried
// again, over real loopback connections, by the fake clock.

#include "mail/Delivery.h"
#include "mail/Outbox.h"
#include "report/MailMod.h"
#include "settings/variables.h"
#include "support/ScriptedSmtpServer.h"

#include <QDir>
#include <QtTest>
#include <optional>

using namespace std::chrono_literals;
using Server = fakes::ScriptedSmtpServer;
using Script = Server::Script;
using Reply = Server::Reply;
using MailMod::Origin;

namespace {

const Script kBusy{"421 busy\r\n", Reply({"221 bye\r\n"}, true)};
const QString kError = "エラーが発生しました。";

// A kept scheduled report; the server answers connection i with scripts[i].
struct Rig : fakes::MailRig {
    explicit Rig(const QList<Script>& scripts) : MailRig(scripts) {
        Settings.keepFailedReports = kFlagOn;
        env.clock.set(9, 5);
        start = env.clock.at;
        face.engine.Start();
    }
    // A mail, to its end; the clock moves on by `later` once it is composed.
    void send(Origin origin, std::chrono::seconds later = 0s) {
        face.engine.SendMail(origin);
        env.clock.at = start.addSecs(later.count());
        QTRY_VERIFY(face.status.testSendEnabled());
    }
    // The clock moved on; the outbox looks for due reports.
    void at(std::chrono::seconds since) {
        env.clock.at = start.addSecs(since.count());
        face.engine.queue.RetryDue();
        QTRY_VERIFY(face.status.testSendEnabled() && !face.engine.queue.busy());
    }
    QString status() const { return face.status.text(); }
    QStringList kept() const { return QDir(env.folder.file("outbox")).entryList(QDir::Files); }

    fakes::MailFace face{env.messageBox};
    QDateTime start;
};

} // namespace

class tst_Outbox : public QObject {
    Q_OBJECT
private slots:
    // Only a scheduled report that failed for a cause that may pass is kept;
    // its failure shows the usual box.
    void firstFailure_data() {
        QTest::addColumn<Script>("script");
        QTest::addColumn<int>("origin");
        QTest::addColumn<bool>("retryOn");
        QTest::addColumn<QString>("box");
        QTest::addColumn<bool>("kept");
        const Script accepting = Server::accepting();
        // With retry on, the box says what became of the report.
        const QString kept = "レポートを保存しました。送信できるまで再送します。/";
        QTest::newRow("no connection") << Script{} << int(Origin::Schedule) << true
                                       << "Error|" + kError + "\r\n" + kept << true;
        // The failure comes minutes after the composition: a reply time-out.
        QTest::newRow("no reply to HELO") << Script{"220 ready\r\n"} << int(Origin::Schedule)
                                          << true << "Error|" + kError + "\r\n" + kept << true;
        QTest::newRow("421 to the greeting")
            << kBusy << int(Origin::Schedule) << true
            << "ERROR|" + kError + "\r\n421 busy\r\n" + kept << true;
        QTest::newRow("550 to RCPT TO")
            << accepting.mid(0, 3) + Script{"550 no such user\r\n", Reply({"221 bye\r\n"}, true)}
            << int(Origin::Schedule) << true
            << "ERROR|" + kError +
                   "\r\n550 no such "
                   "user\r\nこのレポートは再送しません（サーバが受け付けを拒否しました）。/"
            << false;
        QTest::newRow("a test send")
            << Script{} << int(Origin::TestSend) << true << "Error|" + kError + "/" << false;
        QTest::newRow("retry off")
            << Script{} << int(Origin::Schedule) << false << "Error|" + kError + "/" << false;
        QTest::newRow("a line break in the sender")
            << accepting << int(Origin::Schedule) << true
            << "Error|" + kError + "設定をもう一度確認してください。/" << false;
        QTest::newRow("a full disk")
            << Script{} << int(Origin::Schedule) << true
            << "Error|" + kError + "\r\nレポートを保存できなかったため、再送できません。/" << false;
    }

    void firstFailure() {
        QFETCH(Script, script);
        QFETCH(int, origin);
        QFETCH(bool, retryOn);
        QFETCH(bool, kept);
        Rig rig({script});
        Settings.keepFailedReports = retryOn ? kFlagOn : 0;
        if (script.isEmpty())
            Settings.smtpPort = rig.refusing.localPort();
        MailMod::replyTimeout = 100ms;
        if (QByteArray(QTest::currentDataTag()) == "a line break in the sender")
            Settings.mailFrom = "me@example.com\r\nRSET";
        std::optional<fakes::FullDisk> full;
        if (QByteArray(QTest::currentDataTag()) == "a full disk" && !full.emplace(20).works())
            QSKIP("needs a per-process file-size limit (Linux)");
        rig.send(Origin(origin), 5min);
        full.reset();
        QTEST(rig.boxes(), "box");
        QCOMPARE(rig.status(), "送信エラー");
        QCOMPARE(rig.kept().size(), kept ? 1 : 0);
        QCOMPARE(rig.face.waitingReports, kept ? 1 : 0);
        // Kept with the moment of its composition.
        if (kept)
            QCOMPARE(rig.env.folder.lines("outbox/" + rig.kept()[0]).value(4),
                     "Date: " + rig.start.toString(Qt::RFC2822Date));
    }

    // Tries after 1, 2, 4, 8, 16 and 30 minutes, then every 30 minutes, with
    // no box while they fail; the report goes out as it was kept, and leaves
    // the outbox.
    void retries() {
        Rig rig(QList<Script>(8, kBusy) << Server::accepting());
        rig.send(Origin::Schedule);
        QCOMPARE(rig.kept().size(), 1);
        const QString kept = fakes::systemText(rig.env.folder.read("outbox/" + rig.kept()[0]));
        // It goes to whom it was composed for.
        Settings.mailFrom = "later@example.com";
        Settings.mailTo = "later@example.org";
        int tries = 1;
        for (const int minute : {1, 3, 7, 15, 31, 61, 91, 121}) {
            rig.at(std::chrono::minutes(minute) - 1s);
            QCOMPARE(rig.server.connections(), tries);
            rig.at(std::chrono::minutes(minute));
            QCOMPARE(rig.server.connections(), ++tries);
        }
        QCOMPARE(rig.env.messageBox.shown.size(), 1);
        QCOMPARE(rig.status(), "送信完了");
        QVERIFY(rig.kept().isEmpty() && rig.face.waitingReports == 0);
        // As it was kept.
        QCOMPARE(rig.server.transcripts.last().value(9), "C:" + kept + "\r\n.\r\n");
        QCOMPARE(rig.server.transcripts.last().mid(3, 3),
                 (QStringList{"C:MAIL FROM: me@example.com\r\n", "S:250 sender ok\r\n",
                              "C:RCPT TO: you@example.org\r\n"}));
    }

    // A day after its composition a report is given up, with a box that says when.
    void givenUpAfterADay() {
        Rig rig({kBusy});
        rig.send(Origin::Schedule);
        rig.at(24h - 1s);
        QCOMPARE(rig.kept().size(), 1);
        rig.at(24h);
        QVERIFY(rig.kept().isEmpty() && rig.face.waitingReports == 0);
        QCOMPARE(rig.env.messageBox.shown.last().text,
                 kError + "\r\n2026/12/07 09:05 に作成したレポートを 24 時間のあいだ送信できな"
                          "かったため、再送をやめました。");
    }

    // At start, what waits is tried within a minute, the oldest first; once
    // one goes through, the rest follow without waiting.
    void oldestFirstAtStart() {
        Rig rig({Server::accepting()});
        const QDateTime at = rig.start;
        MailMod::Outbox& outbox = rig.face.engine.queue.outbox;
        const auto keep = [&](const QString& text, const QDateTime& composedAt) {
            MailMod::Mail mail;
            mail.mailText = text;
            mail.composedAt = composedAt;
            return outbox.KeepReport(mail);
        };
        QVERIFY(keep("From: b\r\nTo: b\r\nSubject: B\r\nX: b\r\n\r\nB\r\n", at.addSecs(300)));
        QVERIFY(keep("From: a\r\nTo: a\r\nSubject: A\r\nX: a\r\n\r\nA\r\n", at));
        outbox.LoadOutbox();
        QCOMPARE(rig.face.waitingReports, 2);
        rig.at(14s);
        QCOMPARE(rig.server.connections(), 0);
        rig.at(15s);
        rig.at(15s);
        QCOMPARE(rig.server.connections(), 2);
        QVERIFY(rig.server.transcripts[0].value(9).endsWith("\r\nA\r\n\r\n.\r\n"));
        QVERIFY(rig.server.transcripts[1].value(9).endsWith("\r\nB\r\n\r\n.\r\n"));
        QVERIFY(rig.kept().isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_Outbox)
#include "tst_Outbox.moc"
