#include "dialogs/frmSmtpConfig.h"
#include "support/Fakes.h"
#include "support/KeyInput.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

const QString kSmtpIni = QStringLiteral("smtp.ini");
const QString kSenderMessage = QStringLiteral("「送信者」には、メールアドレスを入力してください。");
const QString kRecipientMessage =
    QStringLiteral("「受信者」には、メールアドレスを入力してください。");

// The six fields as the file holds them, from the controls.
QStringList shownFields(const frmSmtpConfig& dlg) {
    return {dlg.txtSmtpServer->text(),
            dlg.txtFrom->text(),
            dlg.txtRcpt->text(),
            dlg.txtSubject->text(),
            dlg.chkDetails->isChecked() ? " 1 " : " 0 ",
            dlg.chkNGDetails->isChecked() ? " 1 " : " 0 "};
}

} // namespace

class tst_frmSmtpConfig : public QObject {
    Q_OBJECT
private slots:
    void init() { frmSmtpConfig::acceptedSubject.clear(); }
    void opening_data() {
        QTest::addColumn<bool>("stored");
        QTest::addColumn<QString>("fields");

        QTest::newRow("without smtp.ini")
            << false
            << u"127.0.0.1|tolvane@localhost|postmaster@localhost|Status Tolvane| 1 | 1 "_s;
        QTest::newRow("with smtp.ini") << true << u"mail.example|a@b|c@d|Daily report| 0 | 1 "_s;
    }

    void opening() {
        QFETCH(bool, stored);
        QFETCH(QString, fields);
        const QStringList shown = fields.split(u'|');
        fakes::Environment env;
        if (stored)
            env.folder.write(kSmtpIni, fakes::crlf(shown));
        frmSmtpConfig dlg;
        QVERIFY(keys::showAndWait(&dlg));
        QCOMPARE(shownFields(dlg), shown);
        QVERIFY(!dlg.cmdApply->isEnabled());
        keys::clickCheckBox(dlg.chkDetails); // enables Apply, which the tab order passes
        keys::clickCheckBox(dlg.chkDetails);
        QApplication::setActiveWindow(&dlg);
        dlg.txtSmtpServer->setFocus();
        QStringList order;
        for (int i = 0; i < 9; ++i, QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab))
            order.append(QApplication::focusWidget()->objectName());
        QCOMPARE(order,
                 (QStringList{"txtSmtpServer", "txtFrom", "txtRcpt", "txtSubject", "chkDetails",
                              "chkNGDetails", "cmdOK", "cmdApply", "cmdCancel"}));

        QTest::keyClick(dlg.txtSmtpServer, Qt::Key_Return);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(env.folder.lines(kSmtpIni), shown);
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
