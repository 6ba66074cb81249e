#include "dialogs/frmSmtpConfig.h"
#include "support/Fakes.h"
#include "support/KeyInput.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

const QString kSmtpIni = QStringLiteral("smtp.ini");
const QString kLoginIni = QStringLiteral("smtpauth.ini");
const QString kSenderMessage = QStringLiteral("「送信者」には、メールアドレスを入力してください。");
const QString kRecipientMessage =
    QStringLiteral("「受信者」には、メールアドレスを入力してください。");

QString flag(const QCheckBox* box) {
    return box->isChecked() ? " 1 " : " 0 ";
}

// The ten lines as the file holds them, from the controls.
QStringList shownFields(const frmSmtpConfig& dlg) {
    return {dlg.txtSmtpServer->text(),
            dlg.txtFrom->text(),
            dlg.txtRcpt->text(),
            dlg.txtSubject->text(),
            flag(dlg.chkDetails),
            flag(dlg.chkNGDetails),
            " " + dlg.txtPort->text() + " ",
            " " + QString::number(dlg.cmbSecurity->currentIndex()) + " ",
            dlg.txtFingerprint->text(),
            flag(dlg.chkRetry)};
}

} // namespace

class tst_frmSmtpConfig : public QObject {
    Q_OBJECT
private slots:
    void init() { frmSmtpConfig::acceptedSubject.clear(); }
    void opening_data() {
        QTest::addColumn<QString>("stored"); // empty: no smtp.ini
        QTest::addColumn<QString>("fields");

        QTest::newRow("without smtp.ini")
            << QString()
            << u"127.0.0.1|tolvane@localhost|postmaster@localhost|Status Tolvane| 1 | 1 | 25 | 0 || 1 "_s;
        // A file of six lines means the plain dialogue on port 25, without retries.
        QTest::newRow("with smtp.ini of six lines")
            << u"mail.example|a@b|c@d|Daily report| 0 | 1 "_s
            << u"mail.example|a@b|c@d|Daily report| 0 | 1 | 25 | 0 || 0 "_s;
        QTest::newRow("with smtp.ini of ten lines")
            << u"m|a@b|c@d|S| 1 | 1 | 465 | 2 |ab:CD:ef:01:23:45:67:89:ab:cd:ef:01:23:45:67:89:ab:cd:ef:01:23:45:67:89:ab:cd:ef:01:23:45:67:89| 1 "_s
            << u"m|a@b|c@d|S| 1 | 1 | 465 | 2 |ab:CD:ef:01:23:45:67:89:ab:cd:ef:01:23:45:67:89:ab:cd:ef:01:23:45:67:89:ab:cd:ef:01:23:45:67:89| 1 "_s;
    }

    void opening() {
        QFETCH(QString, stored);
        QFETCH(QString, fields);
        const QStringList shown = fields.split(u'|');
        fakes::Environment env;
        if (!stored.isEmpty())
            env.folder.write(kSmtpIni, fakes::crlf(stored.split(u'|')));
        frmSmtpConfig dlg;
        QVERIFY(keys::showAndWait(&dlg));
        QCOMPARE(shownFields(dlg), shown);
        QVERIFY(!dlg.cmdApply->isEnabled());
        keys::clickCheckBox(dlg.chkDetails); // enables Apply, which the tab order passes
        keys::clickCheckBox(dlg.chkDetails);
        QApplication::setActiveWindow(&dlg);
        dlg.txtSmtpServer->setFocus();
        // The described order, then the server's details (name and password
        // only with a login), and round again.
        QStringList order;
        for (int i = 0; i < 15; ++i, QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab))
            order.append(QApplication::focusWidget()->objectName());
        QCOMPARE(order, (QStringList{"txtSmtpServer", "txtFrom", "txtRcpt", "txtSubject",
                                     "chkDetails", "chkNGDetails", "cmdOK", "cmdApply", "cmdCancel",
                                     "txtPort", "cmbSecurity", "chkAuth", "txtFingerprint",
                                     "chkRetry", "txtSmtpServer"}));

        QTest::keyClick(dlg.txtSmtpServer, Qt::Key_Return);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(env.folder.lines(kSmtpIni), shown);
    }

    // The server's details: choices typed and clicked as the operator would,
    // then OK; what is refused, and what the files get.
    void serverDetails_data() {
        // "security=N" chosen in the list, "auth" clicked, "BOX=text" typed.
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("saved"); // lines 7 to 10 and the login; or the message
        const QString fp(64, u'a');
        QTest::newRow("STARTTLS in place of 25 proposes 587; a login")
            << u"security=1; auth; txtUser=ユーザー; txtPassword=p@ss word"_s
            << u" 587 | 1 || 1 |ユーザー|p@ss word"_s;
        QTest::newRow("SSL/TLS proposes 465; another port stays; a fingerprint")
            << u"security=2; txtPort=2465; security=1; txtFingerprint="_s + fp
            << u" 2465 | 1 |"_s + fp + u"| 1 "_s;
        QTest::newRow("a login without encryption")
            << u"auth; txtUser=u; txtPassword=p"_s
            << u"SMTP認証を行うには、「暗号化」で STARTTLS か SSL/TLS を選んでください。"
               u"パスワードを暗号化せずに送ることはできません。"_s;
        QTest::newRow("a login without a password")
            << u"security=1; auth; txtUser=u"_s
            << u"SMTP認証を行うには、「ユーザー名」と「パスワード」を入力してください。"_s;
        QTest::newRow("port 0") << u"txtPort=0"_s
                                << u"「ポート番号」には、1～65535 の数値を入力してください。"_s;
        QTest::newRow("port 65536")
            << u"txtPort=65536"_s << u"「ポート番号」には、1～65535 の数値を入力してください。"_s;
        QTest::newRow("a fingerprint of 63 digits")
            << u"txtFingerprint="_s + fp.left(63)
            << u"「証明書の指紋」には、SHA-256 の指紋（16 進数 64 桁、コロン区切り可）を入力して"
               u"ください。"_s;
    }

    void serverDetails() {
        QFETCH(QString, steps);
        QFETCH(QString, saved);
        fakes::Environment env;
        frmSmtpConfig dlg;
        QVERIFY(keys::showAndWait(&dlg));
        QVERIFY(!dlg.txtUser->isEnabled());
        for (const QString& step : steps.split(u"; "_s)) {
            const QString value = step.section(u'=', 1);
            if (step.startsWith(u"security=")) {
                while (dlg.cmbSecurity->currentIndex() != value.toInt())
                    QTest::keyClick(dlg.cmbSecurity, dlg.cmbSecurity->currentIndex() < value.toInt()
                                                         ? Qt::Key_Down
                                                         : Qt::Key_Up);
            } else if (step == u"auth") {
                keys::clickCheckBox(dlg.chkAuth);
            } else {
                keys::replaceText(dlg.findChild<QLineEdit*>(step.section(u'=', 0, 0)), value);
            }
        }
        QTest::mouseClick(dlg.cmdOK, Qt::LeftButton);
        if (!saved.startsWith(u' ')) {
            QCOMPARE(env.messageBox.shown.value(0).text, saved);
            QVERIFY(dlg.isVisible() && !env.folder.has(kSmtpIni) && !env.folder.has(kLoginIni));
            return;
        }
        QVERIFY(!dlg.isVisible());
        const QStringList expected = saved.split(u'|');
        QCOMPARE(env.folder.lines(kSmtpIni).mid(6), expected.mid(0, 4));
        QCOMPARE(env.folder.has(kLoginIni), expected.size() > 4);
        if (expected.size() == 4)
            return;
        // Nobody else may read the password: in clear in a file for its owner
        // alone, or protected by the system.
        const QByteArray file = env.folder.read(kLoginIni);
        if (qEnvironmentVariableIsSet("TOLVANE_UNDER_WINE")) {
            QVERIFY(env.folder.lines(kLoginIni).value(0) == expected[4] &&
                    !file.contains(expected[5].toUtf8()));
        } else {
            QCOMPARE(env.folder.lines(kLoginIni), expected.mid(4));
            QCOMPARE(QFile::permissions(env.folder.file(kLoginIni)),
                     QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        }
        // The next opening shows the login again.
        frmSmtpConfig again;
        QVERIFY(again.chkAuth->isChecked() && again.txtUser->text() == expected[4] &&
                again.txtPassword->text() == expected[5]);
    }

    void edits_data() {
        // Each box retyped key by key; "txtSubject^": pasted at the end.
        QTest::addColumn<QString>("boxes");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");   // by the last box
        QTest::addColumn<QString>("message"); // empty: saved

        const QString subject = u"txtSubject"_s;
        QTest::newRow("two @ in the middle")
            << u"txtFrom txtRcpt"_s << u"a@@b"_s << u"a@@b"_s << QString();
        QTest::newRow("sender starts with @, another in the middle")
            << u"txtFrom"_s << u"@me@host"_s << u"@me@host"_s << kSenderMessage;
        QTest::newRow("sender ends with @")
            << u"txtFrom"_s << u"me@"_s << u"me@"_s << kSenderMessage;
        QTest::newRow("recipient ends with @")
            << u"txtRcpt"_s << u"you@"_s << u"you@"_s << kRecipientMessage;
        QTest::newRow("both invalid: only the sender")
            << u"txtFrom txtRcpt"_s << u"me"_s << u"me"_s << kSenderMessage;
        // A refused character in the subject undoes the whole change.
        QTest::newRow("subject: blank and hyphen stay")
            << subject << u"A -x"_s << u"A -x"_s << QString();
        QTest::newRow("subject: dot, underscore") << subject << u"A._"_s << u"A"_s << QString();
        QTest::newRow("subject: kana between a letter and a digit")
            << subject << u"Aカ9"_s << u"A9"_s << QString();
        // A pasted line break would split the file's lines and the SMTP commands.
        QTest::newRow("sender: pasted line break and command")
            << u"txtFrom^"_s << u"\r\nRCPT TO: <x@y>"_s << u"tolvane@localhost\r\nRCPT TO: <x@y>"_s
            << u"「送信者」に改行を含めることはできません。"_s;
        QTest::newRow("recipient: pasted LF")
            << u"txtRcpt^"_s << u"\nX"_s << u"postmaster@localhost\nX"_s
            << u"「宛先」に改行を含めることはできません。"_s;
        QTest::newRow("server: pasted CR") << u"txtSmtpServer^"_s << u"\rX"_s << u"127.0.0.1\rX"_s
                                           << u"「SMTPサーバ」に改行を含めることはできません。"_s;
        QTest::newRow("server: no length limit")
            << u"txtSmtpServer^"_s << QString(40000, u'h') << u"127.0.0.1"_s + QString(40000, u'h')
            << QString();
        QTest::newRow("subject: pasted text with a dot")
            << u"txtSubject^"_s << u" OK today. Really"_s << u"Status Tolvane"_s << QString();
    }

    void edits() {
        QFETCH(QString, boxes);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        fakes::Environment env;
        frmSmtpConfig dlg;
        QVERIFY(keys::showAndWait(&dlg));
        QLineEdit* box = nullptr;
        for (const QString& name : boxes.split(u' ')) {
            box = dlg.findChild<QLineEdit*>(QString(name).remove(u'^'));
            if (name.endsWith(u'^')) {
                box->end(false);
                box->insert(typed);
            } else {
                keys::replaceText(box, typed);
            }
        }
        QTEST(box->text(), "shown");
        QVERIFY(dlg.cmdApply->isEnabled());
        QTest::mouseClick(dlg.cmdOK, Qt::LeftButton);

        QCOMPARE(dlg.isVisible(), !message.isEmpty());
        if (message.isEmpty()) {
            QVERIFY(env.messageBox.shown.isEmpty());
            QCOMPARE(env.folder.lines(kSmtpIni), shownFields(dlg));
            return;
        }
        QCOMPARE(env.messageBox.shown.value(0).text, message);
        QVERIFY(!env.folder.has(kSmtpIni));
        // Apply refuses the same and disables itself; the next edit enables it again.
        QTest::mouseClick(dlg.cmdApply, Qt::LeftButton);
        QVERIFY(!dlg.cmdApply->isEnabled() && !env.folder.has(kSmtpIni));
        for (QLineEdit* box : {dlg.txtSmtpServer, dlg.txtFrom, dlg.txtRcpt})
            keys::replaceText(box, u"x@host"_s);
        QTest::mouseClick(dlg.cmdApply, Qt::LeftButton);
        QCOMPARE(env.messageBox.shown.size(), 2);
        QVERIFY(env.folder.lines(kSmtpIni).contains(u"x@host"_s));
    }

    void refusedStoredSubjectShowsLastAccepted() {
        fakes::Environment env;
        const auto openWithSubject = [&](const QString& subject) {
            env.folder.write(kSmtpIni, fakes::crlf({"h", "a@b", "c@d", subject, " 1 ", " 1 "}));
            return frmSmtpConfig().txtSubject->text();
        };
        // Nothing accepted since start-up: the box stays empty.
        QCOMPARE(openWithSubject(u"bad_subject"_s), QString());
        QCOMPARE(openWithSubject(u"Weekly"_s), u"Weekly"_s);
        QCOMPARE(openWithSubject(u"Monthly.report"_s), u"Weekly"_s);
    }
};

QTEST_MAIN(tst_frmSmtpConfig)
#include "tst_frmSmtpConfig.moc"
