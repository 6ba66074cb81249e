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
// The ten lines without smtp.ini.
const QString kDefaults =
    u"127.0.0.1|tolvane@localhost|postmaster@localhost|Status Tolvane| 1 | 1 | 25 | 0 || 1 "_s;

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

        QTest::newRow("without smtp.ini") << QString() << kDefaults;
        // A file of six lines means the plain dialogue on port 25, without retries.
        QTest::newRow("with smtp.ini of six lines")
            << u"mail.example|a@b|c@d|Daily report| 0 | 1 "_s
            << u"mail.example|a@b|c@d|Daily report| 0 | 1 | 25 | 0 || 0 "_s;
        // Nothing accepted since start-up: the box stays empty.
        QTest::newRow("with a refused subject")
            << u"h|a@b|c@d|bad_subject| 1 | 1 "_s << u"h|a@b|c@d|| 1 | 1 | 25 | 0 || 0 "_s;
        QTest::newRow("with smtp.ini of ten lines")
            << u"m|a@b|c@d|S| 1 | 1 | 465 | 2 |ab:CD:ef:01:23:45:67:89:ab:cd:ef:01:23:45:67:89:ab:cd:ef:01:23:45:67:89:ab:cd:ef:01:23:45:67:89| 1 "_s
            << u"m|a@b|c@d|S| 1 | 1 | 465 | 2 |ab:CD:ef:01:23:45:67:89:ab:cd:ef:01:23:45:67:89:ab:cd:ef:01:23:45:67:89:ab:cd:ef:01:23:45:67:89| 1 "_s;
    }

    void opening() {
        QFETCH(QString, stored);
        QFETCH(QString, fields);
        QStringList shown = fields.split(u'|');
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
        // The boxes and buttons of the mail, then the server's details (name and password
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
        // Opened again on a refused subject, the box shows the last one accepted.
        const QString accepted = shown[3];
        shown[3] = u"Monthly.report"_s;
        env.folder.write(kSmtpIni, fakes::crlf(shown));
        QCOMPARE(frmSmtpConfig().txtSubject->text(), accepted);
    }

    void edits_data() {
        // "BOX=text" retyped key by key, "BOX+=text" pasted at the end, "security=N"
        // chosen in the list, "auth" clicked; then OK.
        QTest::addColumn<QString>("steps");
        // "N=text": line N of smtp.ini, the others as without the file; the login
        // file holds the name and password typed.
        QTest::addColumn<QString>("saved");
        QTest::addColumn<QString>("message"); // empty: saved

        const QString fp(64, u'a');
        const QString portMessage = u"「ポート番号」には、1～65535 の数値を入力してください。"_s;
        QTest::newRow("STARTTLS in place of 25 proposes 587; a login")
            << u"security=1; auth; txtUser=ユーザー; txtPassword=p@ss word"_s << u"7= 587 |8= 1 "_s
            << QString();
        QTest::newRow("SSL/TLS proposes 465; another port stays; a fingerprint")
            << u"security=2; txtPort=2465; security=1; txtFingerprint="_s + fp
            << u"7= 2465 |8= 1 |9="_s + fp << QString();
        QTest::newRow("a login without encryption")
            << u"auth; txtUser=u; txtPassword=p"_s << QString()
            << u"SMTP認証を行うには、「暗号化」で STARTTLS か SSL/TLS を選んでください。"
               u"パスワードを暗号化せずに送ることはできません。"_s;
        QTest::newRow("a login without a password")
            << u"security=1; auth; txtUser=u"_s << QString()
            << u"SMTP認証を行うには、「ユーザー名」と「パスワード」を入力してください。"_s;
        QTest::newRow("port 0") << u"txtPort=0"_s << QString() << portMessage;
        QTest::newRow("port 65536") << u"txtPort=65536"_s << QString() << portMessage;
        QTest::newRow("a fingerprint of 63 digits")
            << u"txtFingerprint="_s + fp.left(63) << QString()
            << u"「証明書の指紋」には、SHA-256 の指紋（16 進数 64 桁、コロン区切り可）を入力して"
               u"ください。"_s;
        QTest::newRow("two @ in the middle")
            << u"txtFrom=a@@b; txtRcpt=a@@b"_s << u"2=a@@b|3=a@@b"_s << QString();
        QTest::newRow("sender starts with @, another in the middle")
            << u"txtFrom=@me@host"_s << QString() << kSenderMessage;
        QTest::newRow("recipient ends with @")
            << u"txtRcpt=you@"_s << QString() << kRecipientMessage;
        QTest::newRow("both invalid: only the sender")
            << u"txtFrom=me; txtRcpt=me"_s << QString() << kSenderMessage;
        // A refused character in the subject undoes the whole change.
        QTest::newRow("subject: blank and hyphen stay")
            << u"txtSubject=A -x"_s << u"4=A -x"_s << QString();
        QTest::newRow("subject: dot, underscore") << u"txtSubject=A._"_s << u"4=A"_s << QString();
        QTest::newRow("subject: kana between a letter and a digit")
            << u"txtSubject=Aカ9"_s << u"4=A9"_s << QString();
        QTest::newRow("subject: pasted text with a dot")
            << u"txtSubject+= OK today. Really"_s << u"4=Status Tolvane"_s << QString();
        // A pasted line break would split the file's lines and the SMTP commands.
        QTest::newRow("sender: pasted line break and command")
            << u"txtFrom+=\r\nRCPT TO: <x@y>"_s << QString()
            << u"「送信者」に改行を含めることはできません。"_s;
        QTest::newRow("recipient: pasted LF")
            << u"txtRcpt+=\nX"_s << QString() << u"「宛先」に改行を含めることはできません。"_s;
        QTest::newRow("server: pasted CR") << u"txtSmtpServer+=\rX"_s << QString()
                                           << u"「SMTPサーバ」に改行を含めることはできません。"_s;
        QTest::newRow("server: no length limit")
            << u"txtSmtpServer+="_s + QString(40000, u'h')
            << u"1=127.0.0.1"_s + QString(40000, u'h') << QString();
    }

    void edits() {
        QFETCH(QString, steps);
        QFETCH(QString, saved);
        QFETCH(QString, message);
        fakes::Environment env;
        frmSmtpConfig dlg;
        QVERIFY(keys::showAndWait(&dlg));
        QVERIFY(!dlg.txtUser->isEnabled());
        QStringList login;
        for (const QString& step : steps.split(u"; "_s)) {
            const QString name = step.section(u'=', 0, 0);
            const QString value = step.section(u'=', 1);
            if (name == u"security") {
                while (dlg.cmbSecurity->currentIndex() != value.toInt())
                    QTest::keyClick(dlg.cmbSecurity, dlg.cmbSecurity->currentIndex() < value.toInt()
                                                         ? Qt::Key_Down
                                                         : Qt::Key_Up);
            } else if (step == u"auth") {
                keys::clickCheckBox(dlg.chkAuth);
            } else if (name.endsWith(u'+')) {
                QLineEdit* box = dlg.findChild<QLineEdit*>(name.chopped(1));
                box->end(false);
                box->insert(value);
            } else {
                keys::replaceText(dlg.findChild<QLineEdit*>(name), value);
                if (name == u"txtUser" || name == u"txtPassword")
                    login.append(value);
            }
        }
        QVERIFY(dlg.cmdApply->isEnabled());
        QTest::mouseClick(dlg.cmdOK, Qt::LeftButton);
        QCOMPARE(dlg.isVisible(), !message.isEmpty());
        if (!message.isEmpty()) {
            // Apply refuses the same and disables itself; the next edit enables it again.
            QTest::mouseClick(dlg.cmdApply, Qt::LeftButton);
            QCOMPARE(env.messageBox.shown.size(), 2);
            QVERIFY(env.messageBox.shown[0].text == message &&
                    env.messageBox.shown[1].text == message);
            QVERIFY(!dlg.cmdApply->isEnabled());
            QVERIFY(!env.folder.has(kSmtpIni) && !env.folder.has(kLoginIni));
            keys::typeText(dlg.txtSubject, u"x"_s);
            QVERIFY(dlg.cmdApply->isEnabled());
            return;
        }
        QVERIFY(env.messageBox.shown.isEmpty());
        QStringList lines = kDefaults.split(u'|');
        for (const QString& line : saved.split(u'|'))
            lines[line.section(u'=', 0, 0).toInt() - 1] = line.section(u'=', 1);
        QCOMPARE(env.folder.lines(kSmtpIni), lines);
        QCOMPARE(env.folder.has(kLoginIni), !login.isEmpty());
        if (login.isEmpty())
            return;
        // Nobody else may read the password: in clear in a file for its owner
        // alone, or protected by the system.
        const QByteArray file = env.folder.read(kLoginIni);
        if (qEnvironmentVariableIsSet("TOLVANE_UNDER_WINE")) {
            QVERIFY(env.folder.lines(kLoginIni).value(0) == login[0] &&
                    !file.contains(login[1].toUtf8()));
        } else {
            QCOMPARE(env.folder.lines(kLoginIni), login);
            QCOMPARE(QFile::permissions(env.folder.file(kLoginIni)),
                     QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        }
        // The next opening shows the login again.
        frmSmtpConfig again;
        QVERIFY(again.chkAuth->isChecked() && again.txtUser->text() == login[0] &&
                again.txtPassword->text() == login[1]);
    }
};

QTEST_MAIN(tst_frmSmtpConfig)
#include "tst_frmSmtpConfig.moc"
