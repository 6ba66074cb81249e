// End to end: a report composed over fake system services goes to a real SMTP
// server (aiosmtpd, from Debian's packages) on a loopback port: in clear, or
// with TLS and a login, to a certificate made for the test.

#include "report/MailMod.h"
#include "settings/API.h"
#include "settings/variables.h"
#include "support/Fakes.h"
#include "support/SmtpSink.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kError = "Error|エラーが発生しました。\r\n";

// Certificates made with openssl for this run: a CA and a server certificate
// of "localhost" that it signed, the same that expired yesterday, and one that
// signed itself.
struct Certificates {
    void make() {
        QProcess sh;
        sh.setWorkingDirectory(dir.path());
        sh.start("/bin/sh", {"-ec", R"(
            key="-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2"
            openssl req -x509 $key -keyout ca.key -out ca.pem -subj /CN=TestCA
            openssl req $key -keyout local.key -out local.csr -subj /CN=localhost
            printf 'subjectAltName=DNS:localhost' > san
            openssl x509 -req -in local.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 \
                -extfile san -out local.pem 2>/dev/null
            openssl x509 -req -in local.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days -1 \
                -extfile san -out old.pem 2>/dev/null
            cp local.key old.key
            openssl req -x509 $key -keyout self.key -out self.pem -subj /CN=sink.test \
                -addext subjectAltName=DNS:sink.test)"});
        made = sh.waitForFinished(20000) && sh.exitCode() == 0;
    }
    QString file(const QString& name) const { return dir.filePath(name); }
    QString fingerprint(const QString& name) const {
        const auto certificates = QSslCertificate::fromPath(file(name));
        return certificates.value(0).digest(QCryptographicHash::Sha256).toHex(':').toUpper();
    }
    QTemporaryDir dir;
    bool made = false;
};

} // namespace

class tst_MailDelivery : public QObject {
    Q_OBJECT
    Certificates certificates_;

private slots:
    void initTestCase() {
        certificates_.make();
        QVERIFY2(certificates_.made, "openssl could not make the test certificates");
        // The test's CA stands for one in the system's store.
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.addCaCertificates(certificates_.file("ca.pem"));
        QSslConfiguration::setDefaultConfiguration(tls);
    }

    void delivery_data() {
        QTest::addColumn<QStringList>("server"); // smtp_sink.py's options
        QTest::addColumn<QString>("settings");   // "host security fingerprint-of"
        QTest::addColumn<QString>("login");      // smtpauth.ini: "name:password mode"
        QTest::addColumn<QString>("boxes");
        QTest::addColumn<QString>("commands"); // what the server saw: AUTH and MAIL
        const auto row = [](const char* name, const QStringList& server, const QString& settings,
                            const QString& login, const QString& boxes, const QString& commands) {
            QTest::newRow(name) << server << settings << login << boxes << commands;
        };
        // The option that turns TLS on, with the certificate and key of `cert`.
        const auto tls = [this](const QString& option, const QString& cert) {
            return QStringList{option, certificates_.file(cert + ".pem"),
                               certificates_.file(cert + ".key")};
        };
        const QStringList login{"--login", "u:p@ss"}, starttls = tls("--starttls", "self") + login;
        row("in clear", {}, "127.0.0.1 0 -", "", "", "MAIL");
        row("STARTTLS, AUTH PLAIN, a certificate trusted by its fingerprint", starttls,
            "127.0.0.1 1 self", "u:p@ss 600", "", "AUTH PLAIN|MAIL");
        row("TLS from the first byte, AUTH LOGIN alone, a certificate in the store",
            tls("--tls", "local") + login + QStringList{"--login-only"}, "localhost 2 -",
            "u:p@ss 600", "", "AUTH LOGIN|MAIL");
        // Not trusted: a scheduled report with retry on fails for good.
        const QString forGood =
            "\r\nこのレポートは再送しません（設定を直さなければ送信できません）。/";
        row("a certificate of the store for another name", tls("--tls", "local"), "127.0.0.1 2 -",
            "", kError + "サーバの証明書はサーバ名 127.0.0.1 のものではありません。" + forGood, "");
        row("a certificate of the store that has expired", tls("--tls", "old"), "localhost 2 -", "",
            kError + "サーバの証明書の有効期限が切れています。" + forGood, "");
        row("a certificate that nothing vouches for", starttls, "127.0.0.1 1 local", "u:p@ss 600",
            kError +
                "サーバの証明書を信頼できません（システムの証明書ストアにも、証明書の指紋にも"
                "一致しません）。\r\nサーバの証明書の指紋 (SHA-256): " +
                certificates_.fingerprint("self.pem") + forGood,
            "");
        row("a wrong password", starttls, "127.0.0.1 1 self", "u:wrong 600",
            "ERROR|エラーが発生しました。\r\n535 5.7.8 Authentication credentials invalid\r\n/",
            "AUTH PLAIN");
        row("STARTTLS not offered", login, "127.0.0.1 1 -", "u:p@ss 600",
            kError + "サーバが STARTTLS を提供していないため、暗号化できません。/", "");
        row("a login file that others may read", starttls, "127.0.0.1 1 self", "u:p@ss 644",
            kError + "smtpauth.ini はほかのユーザーも読めるため使いません。所有者だけが読める"
                     "ようにしてください（chmod 600 smtpauth.ini）。/",
            "");
    }

    void delivery() {
        QFETCH(QStringList, server);
        QFETCH(QString, settings);
        QFETCH(QString, login);
        QFETCH(QString, boxes);
        QFETCH(QString, commands);
        fakes::SmtpSink sink("127.0.0.1", 0, server);
        QVERIFY2(sink.port() > 0, "the SMTP server did not start: python3-aiosmtpd is missing?");

        fakes::Environment env;
        // Listing lines that start with a dot, one holding nothing else, reach the
        // detail section as they are: the server must get them back unchanged.
        env.command.listing = fakes::listingOf({"   cron", ".hidden-unit", ".", "   ssh"});
        const QStringList setting = settings.split(' ');
        Settings.showDetails = kFlagOn;
        Settings.smtpServer = setting[0];
        Settings.smtpPort = sink.port();
        Settings.smtpSecurity = std::int16_t(setting[1].toInt());
        if (setting[2] != "-")
            // With blanks between its bytes, as some tools print it.
            Settings.smtpFingerprint =
                certificates_.fingerprint(setting[2] + ".pem").replace(u':', u' ');
        Settings.mailFrom = "tolvane@monitor.example";
        Settings.mailTo = "admin@example.org, ops@example.org";
        Settings.mailSubject = "サーバー状態報告";
        const bool scheduled = boxes.contains("再送しません");
        Settings.keepFailedReports = scheduled ? kFlagOn : 0;
        QVERIFY(API::WriteCheckSettings(Settings) && API::WriteSmtpSettings(Settings));
        if (!login.isEmpty()) {
            env.folder.write(API::kLoginFile, fakes::crlf(login.section(' ', 0, 0).split(':')));
            const auto others =
                login.endsWith("644") ? QFile::ReadGroup | QFile::ReadOther : QFile::Permissions();
            QVERIFY(QFile::setPermissions(env.folder.file(API::kLoginFile),
                                          QFile::ReadOwner | QFile::WriteOwner | others));
        }

        // As at start-up: the record comes from the files just written.
        Settings = SettingsRecord{};
        API::LoadCheckSettings();
        API::LoadSmtpSettings();
        fakes::MailFace face(env.messageBox);
        face.engine.SendMail(scheduled ? MailMod::Origin::Schedule : MailMod::Origin::TestSend);
        QTRY_VERIFY_WITH_TIMEOUT(face.status.testSendEnabled(), 10000);
        QCOMPARE(face.waitingReports, 0);
        QCOMPARE(env.messageBox.log(), boxes);
        QCOMPARE(face.status.text(), boxes.isEmpty() ? "送信完了" : "送信エラー");
        // Noted before they are answered: all that went to the server is there.
        QCOMPARE(sink.commands().join('|'), commands);
        if (!boxes.isEmpty())
            return;
        const QJsonObject mail = sink.message();
        QCOMPARE(mail["helo"].toString(), "monitor.example");
        QCOMPARE(mail["mail_from"].toString(), "tolvane@monitor.example");
        QCOMPARE(mail["rcpt_tos"].toArray(), (QJsonArray{"admin@example.org", "ops@example.org"}));
        // In the system code page, as it went out.
        MailMod::Mail composed;
        QCOMPARE(MailMod::ComposeReport(composed), std::int16_t(0));
        // Each composition has a Message-ID of its own.
        const QRegularExpression id("Message-ID: [^\r]+");
        composed.mailText.replace(id, id.match(fakes::systemText(sink.content())).captured());
        QCOMPARE(sink.content(), fakes::systemBytes(composed.mailText + "\r\n"));
        QVERIFY(composed.mailText.contains(
            "\r\nTo: admin@example.org, ops@example.org\r\nSubject: サーバー状態報告\r\n"));
        QVERIFY(composed.mailText.contains("\r\n.hidden-unit\r\n.\r\n"));
        // A mail reader takes it: Python's parser finds the mail's identifier,
        // and the body decoded with the declared charset is the report's and the
        // line end before the end of the data (line ends as Python gives them).
        env.folder.write("arrived.eml", sink.content());
        const fakes::Ran parsed =
            fakes::run("python3",
                       {"-c", "import email, sys\n"
                              "m = email.message_from_binary_file(sys.stdin.buffer)\n"
                              "body = m.get_payload(decode=True).decode(m.get_content_charset())\n"
                              "sys.stdout.buffer.write((m['Message-ID'] + '|' + body).encode())"},
                       QProcessEnvironment::systemEnvironment(), env.folder.file("arrived.eml"));
        const QString arrived = QString::fromUtf8(parsed.out);
        QVERIFY2(arrived.startsWith("<") && arrived.contains("@monitor.example>|"), parsed.err);
        QCOMPARE(arrived.section('|', 1),
                 QString(composed.mailText.section("\r\n\r\n", 1) + "\r\n").replace("\r\n", "\n"));
    }
};

QTEST_GUILESS_MAIN(tst_MailDelivery)
#include "tst_MailDelivery.moc"
