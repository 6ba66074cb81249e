#include "app/variables.h"
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
    void opening_data();
    void opening();
    void addressRules_data();
    void addressRules();
    void subjectFilter_data();
    void subjectFilter();
    void refusedStoredSubjectShowsLastAccepted();
};

void tst_frmSmtpConfig::opening_data() {
    QTest::addColumn<bool>("stored");
    QTest::addColumn<QString>("fields");

    QTest::newRow("without smtp.ini")
        << false << u"127.0.0.1|tolvane@localhost|postmaster@localhost|Status Tolvane| 1 | 1 "_s;
    QTest::newRow("with smtp.ini") << true << u"mail.example|a@b|c@d|Daily report| 0 | 1 "_s;
}

void tst_frmSmtpConfig::opening() {
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
    // The two options are independent of each other.
    keys::clickCheckBox(dlg.chkDetails);
    QVERIFY(shownFields(dlg)[5] == shown[5] && dlg.cmdApply->isEnabled());
    keys::clickCheckBox(dlg.chkDetails);
    QApplication::setActiveWindow(&dlg);
    dlg.txtSmtpServer->setFocus();
    QStringList order;
    for (int i = 0; i < 9; ++i, QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab))
        order.append(QApplication::focusWidget()->objectName());
    QCOMPARE(order, (QStringList{"txtSmtpServer", "txtFrom", "txtRcpt", "txtSubject", "chkDetails",
                                 "chkNGDetails", "cmdOK", "cmdApply", "cmdCancel"}));

    QTest::keyClick(dlg.txtSmtpServer, Qt::Key_Return);
    QVERIFY(!dlg.isVisible());
    QCOMPARE(env.folder.lines(kSmtpIni), shown);
}

void tst_frmSmtpConfig::addressRules_data() {
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("message"); // empty: saved

    QTest::newRow("plain addresses") << u"me@host"_s << u"you@host"_s << QString();
    QTest::newRow("two @ in the middle") << u"a@@b"_s << u"c@d@e"_s << QString();
    QTest::newRow("sender starts with @") << u"@host"_s << u"you@host"_s << kSenderMessage;
    QTest::newRow("sender starts with @, another in the middle")
        << u"@me@host"_s << u"you@host"_s << kSenderMessage;
    QTest::newRow("sender ends with @") << u"me@"_s << u"you@host"_s << kSenderMessage;
    QTest::newRow("sender without @") << u"me.host"_s << u"you@host"_s << kSenderMessage;
    QTest::newRow("empty sender") << QString() << u"you@host"_s << kSenderMessage;
    QTest::newRow("recipient starts with @") << u"me@host"_s << u"@host"_s << kRecipientMessage;
    QTest::newRow("recipient ends with @") << u"me@host"_s << u"you@host@"_s << kRecipientMessage;
    QTest::newRow("recipient without @") << u"me@host"_s << u"you"_s << kRecipientMessage;
    QTest::newRow("both invalid: only the sender") << u"me"_s << u"you"_s << kSenderMessage;
}

void tst_frmSmtpConfig::addressRules() {
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, message);
    fakes::Environment env;
    frmSmtpConfig dlg;
    QVERIFY(keys::showAndWait(&dlg));
    keys::replaceText(dlg.txtFrom, from);
    keys::replaceText(dlg.txtRcpt, to);
    QTest::mouseClick(dlg.cmdOK, Qt::LeftButton);

    QCOMPARE(dlg.isVisible(), !message.isEmpty());
    if (message.isEmpty()) {
        QVERIFY(env.messageBox.shown.isEmpty());
        QCOMPARE(env.folder.lines(kSmtpIni).mid(1, 2), (QStringList{from, to}));
        return;
    }
    QCOMPARE(env.messageBox.shown.value(0).text, message);
    QVERIFY(!env.folder.has(kSmtpIni));
    // Apply refuses the same and disables itself; the next edit enables it again.
    QTest::mouseClick(dlg.cmdApply, Qt::LeftButton);
    QVERIFY(!dlg.cmdApply->isEnabled() && !env.folder.has(kSmtpIni));
    for (QLineEdit* box : {dlg.txtFrom, dlg.txtRcpt})
        keys::replaceText(box, u"x@host"_s);
    QTest::mouseClick(dlg.cmdApply, Qt::LeftButton);
    QCOMPARE(env.messageBox.shown.size(), 2);
    QVERIFY(env.folder.lines(kSmtpIni).contains(u"x@host"_s));
}

void tst_frmSmtpConfig::subjectFilter_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("pasted");
    QTest::addColumn<QString>("expected");

    QTest::newRow("blank") << u" "_s << false << u"Status Tolvane "_s;
    QTest::newRow("hyphen") << u"-x"_s << false << u"Status Tolvane-x"_s;
    QTest::newRow("dot") << u"."_s << false << u"Status Tolvane"_s;
    QTest::newRow("underscore") << u"_"_s << false << u"Status Tolvane"_s;
    QTest::newRow("full-width letter") << u"Ａ"_s << false << u"Status Tolvane"_s;
    QTest::newRow("kana between a letter and a digit")
        << u"Aカ9"_s << false << u"Status TolvaneA9"_s;
    QTest::newRow("half-width kana") << u"ｶ"_s << false << u"Status Tolvane"_s;
    QTest::newRow("pasted text with a dot")
        << u" OK today. Really"_s << true << u"Status Tolvane"_s;
}

void tst_frmSmtpConfig::subjectFilter() {
    QFETCH(QString, typed);
    QFETCH(bool, pasted);
    QFETCH(QString, expected);
    fakes::Environment env;
    frmSmtpConfig dlg;
    QVERIFY(keys::showAndWait(&dlg));
    if (pasted) {
        dlg.txtSubject->end(false);
        dlg.txtSubject->insert(typed);
    } else {
        keys::typeAtEnd(dlg.txtSubject, typed);
    }
    QCOMPARE(dlg.txtSubject->text(), expected);
    QVERIFY(dlg.cmdApply->isEnabled());
    QTest::mouseClick(dlg.cmdOK, Qt::LeftButton);
    QCOMPARE(Settings.mailSubject, expected);
}

void tst_frmSmtpConfig::refusedStoredSubjectShowsLastAccepted() {
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

QTEST_MAIN(tst_frmSmtpConfig)
#include "tst_frmSmtpConfig.moc"
