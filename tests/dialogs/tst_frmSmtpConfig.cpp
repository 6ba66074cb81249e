#include "app/API.h"
#include "app/variables.h"
#include "dialogs/frmSmtpConfig.h"
#include "platform/Files.h"
#include "support/Fakes.h"
#include "support/KeyInput.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace {

const QString kSmtpIni = QStringLiteral("smtp.ini");
const QString kSenderMessage = QStringLiteral("「送信者」には、メールアドレスを入力してください。");
const QString kRecipientMessage =
    QStringLiteral("「受信者」には、メールアドレスを入力してください。");

void writeSmtpIni(const fakes::Environment& env, const QStringList& lines) {
    env.folder.write(kSmtpIni,
                     (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8());
}

QStringList fileLines(const fakes::Environment& env) {
    return platform::splitLines(QString::fromUtf8(env.folder.read(kSmtpIni)));
}

void showDialog(QDialog& dialog) {
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
}

void replaceText(QLineEdit* box, const QString& text) {
    box->setFocus();
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Backspace);
    keys::typeText(box, text);
}

} // namespace

class tst_frmSmtpConfig : public QObject {
    Q_OBJECT
private slots:
    void init() { frmSmtpConfig::acceptedSubject.clear(); }
    void defaultsSavedByOk();
    void storedValuesShown();
    void addressRules_data();
    void addressRules();
    void subjectFilter_data();
    void subjectFilter();
    void pastedSubjectIsRefusedWhole();
    void refusedStoredSubjectShowsLastAccepted();
    void applyAfterRefusedSave();
    void tabOrder();
    void escapeDoesNotClose();
    void unwritableFileIsReportedAndOkStays();
    void loadFaultIsReportedThenShown();
};

void tst_frmSmtpConfig::defaultsSavedByOk() {
    fakes::Environment env;
    frmSmtpConfig dlg;
    showDialog(dlg);
    QCOMPARE(dlg.txtSmtpServer->text(), QStringLiteral("127.0.0.1"));
    QVERIFY(dlg.txtFrom->text().endsWith(QStringLiteral("@localhost")));
    QVERIFY(dlg.txtRcpt->text().endsWith(QStringLiteral("@localhost")));
    QCOMPARE(dlg.txtSubject->text(), QStringLiteral("Status Tolvane"));
    QVERIFY(dlg.chkDetails->isChecked());
    QVERIFY(dlg.chkNGDetails->isChecked());
    QVERIFY(!dlg.cmdApply->isEnabled());

    QTest::keyClick(dlg.txtSmtpServer, Qt::Key_Return);
    QVERIFY(!dlg.isVisible());
    QCOMPARE(fileLines(env), (QStringList{"127.0.0.1", dlg.txtFrom->text(), dlg.txtRcpt->text(),
                                          "Status Tolvane", " 1 ", " 1 "}));
    QCOMPARE(Settings.mailSubject, QStringLiteral("Status Tolvane"));
}

void tst_frmSmtpConfig::storedValuesShown() {
    fakes::Environment env;
    writeSmtpIni(env, {"mail.example", "a@b", "c@d", "Daily report", " 0 ", " 1 "});
    frmSmtpConfig dlg;
    QCOMPARE(dlg.txtSmtpServer->text(), QStringLiteral("mail.example"));
    QCOMPARE(dlg.txtFrom->text(), QStringLiteral("a@b"));
    QCOMPARE(dlg.txtRcpt->text(), QStringLiteral("c@d"));
    QCOMPARE(dlg.txtSubject->text(), QStringLiteral("Daily report"));
    QVERIFY(!dlg.chkDetails->isChecked());
    QVERIFY(dlg.chkNGDetails->isChecked());
    QVERIFY(!dlg.cmdApply->isEnabled());
    // The two options are independent of each other.
    showDialog(dlg);
    keys::clickCheckBox(dlg.chkDetails);
    QVERIFY(dlg.chkNGDetails->isChecked());
    QVERIFY(dlg.cmdApply->isEnabled());
}

void tst_frmSmtpConfig::addressRules_data() {
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("message"); // empty: saved

    QTest::newRow("plain addresses") << "me@host"
                                     << "you@host"
                                     << "";
    QTest::newRow("two @ in the middle") << "a@@b"
                                         << "c@d@e"
                                         << "";
    QTest::newRow("sender starts with @") << "@host"
                                          << "you@host" << kSenderMessage;
    QTest::newRow("sender starts with @, another in the middle") << "@me@host"
                                                                 << "you@host" << kSenderMessage;
    QTest::newRow("sender ends with @") << "me@"
                                        << "you@host" << kSenderMessage;
    QTest::newRow("sender without @") << "me.host"
                                      << "you@host" << kSenderMessage;
    QTest::newRow("empty sender") << ""
                                  << "you@host" << kSenderMessage;
    QTest::newRow("recipient starts with @") << "me@host"
                                             << "@host" << kRecipientMessage;
    QTest::newRow("recipient ends with @") << "me@host"
                                           << "you@host@" << kRecipientMessage;
    QTest::newRow("recipient without @") << "me@host"
                                         << "you" << kRecipientMessage;
    QTest::newRow("both invalid: only the sender") << "me"
                                                   << "you" << kSenderMessage;
}

void tst_frmSmtpConfig::addressRules() {
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, message);
    fakes::Environment env;
    frmSmtpConfig dlg;
    showDialog(dlg);
    replaceText(dlg.txtFrom, from);
    replaceText(dlg.txtRcpt, to);
    QTest::mouseClick(dlg.cmdOK, Qt::LeftButton);

    if (message.isEmpty()) {
        QVERIFY(env.messageBox.shown.isEmpty());
        QVERIFY(!dlg.isVisible());
        QCOMPARE(Settings.mailFrom, from);
        QCOMPARE(fileLines(env).mid(1, 2), (QStringList{from, to}));
        return;
    }
    QCOMPARE(env.messageBox.shown.size(), 1);
    QCOMPARE(env.messageBox.shown[0].text, message);
    QCOMPARE(env.messageBox.shown[0].title, QStringLiteral("エラー"));
    QCOMPARE(env.messageBox.shown[0].style, 0);
    QVERIFY(dlg.isVisible());
    QVERIFY(!env.folder.has(kSmtpIni));
    QVERIFY(Settings.mailFrom.isEmpty());
    QCOMPARE(dlg.txtFrom->text(), from);
}

void tst_frmSmtpConfig::subjectFilter_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");

    QTest::newRow("letters and digits") << "Ab9"
                                        << "Status TolvaneAb9";
    QTest::newRow("blank") << " "
                           << "Status Tolvane ";
    QTest::newRow("hyphen") << "-x"
                            << "Status Tolvane-x";
    QTest::newRow("dot") << "."
                         << "Status Tolvane";
    QTest::newRow("underscore") << "_"
                                << "Status Tolvane";
    QTest::newRow("full-width letter") << "Ａ"
                                       << "Status Tolvane";
    QTest::newRow("kana between letters") << "aカb"
                                          << "Status Tolvaneab";
    QTest::newRow("half-width kana") << "ｶ"
                                     << "Status Tolvane";
}

void tst_frmSmtpConfig::subjectFilter() {
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    fakes::Environment env;
    frmSmtpConfig dlg;
    showDialog(dlg);
    dlg.txtSubject->setFocus();
    dlg.txtSubject->end(false);
    keys::typeText(dlg.txtSubject, typed);
    QCOMPARE(dlg.txtSubject->text(), expected);
    QVERIFY(dlg.cmdApply->isEnabled());
    QTest::mouseClick(dlg.cmdOK, Qt::LeftButton);
    QCOMPARE(Settings.mailSubject, expected);
}

void tst_frmSmtpConfig::pastedSubjectIsRefusedWhole() {
    fakes::Environment env;
    frmSmtpConfig dlg;
    showDialog(dlg);
    dlg.txtSubject->setFocus();
    dlg.txtSubject->end(false);
    dlg.txtSubject->insert(QStringLiteral(" OK today. Really"));
    QCOMPARE(dlg.txtSubject->text(), QStringLiteral("Status Tolvane"));
}

void tst_frmSmtpConfig::refusedStoredSubjectShowsLastAccepted() {
    fakes::Environment env;
    writeSmtpIni(env, {"h", "a@b", "c@d", "bad_subject", " 1 ", " 1 "});
    {
        // Nothing accepted since start-up: the box stays empty.
        frmSmtpConfig dlg;
        QCOMPARE(dlg.txtSubject->text(), QString());
    }
    writeSmtpIni(env, {"h", "a@b", "c@d", "Weekly", " 1 ", " 1 "});
    { frmSmtpConfig dlg; }
    writeSmtpIni(env, {"h", "a@b", "c@d", "Monthly.report", " 1 ", " 1 "});
    frmSmtpConfig dlg;
    QCOMPARE(dlg.txtSubject->text(), QStringLiteral("Weekly"));
}

void tst_frmSmtpConfig::applyAfterRefusedSave() {
    fakes::Environment env;
    frmSmtpConfig dlg;
    showDialog(dlg);
    replaceText(dlg.txtFrom, QStringLiteral("nobody"));
    QVERIFY(dlg.cmdApply->isEnabled());
    QTest::mouseClick(dlg.cmdApply, Qt::LeftButton);
    QCOMPARE(env.messageBox.shown.size(), 1);
    QVERIFY(!dlg.cmdApply->isEnabled());
    QVERIFY(!env.folder.has(kSmtpIni));

    keys::typeText(dlg.txtFrom, QStringLiteral("@host"));
    QVERIFY(dlg.cmdApply->isEnabled());
    QTest::mouseClick(dlg.cmdApply, Qt::LeftButton);
    QCOMPARE(env.messageBox.shown.size(), 1);
    QCOMPARE(fileLines(env).at(1), QStringLiteral("nobody@host"));
}

void tst_frmSmtpConfig::tabOrder() {
    fakes::Environment env;
    frmSmtpConfig dlg;
    showDialog(dlg);
    QApplication::setActiveWindow(&dlg);
    dlg.txtSmtpServer->setFocus();
    dlg.cmdApply->setEnabled(true);
    QStringList order{QApplication::focusWidget()->objectName()};
    for (int i = 0; i < 8; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order.append(QApplication::focusWidget()->objectName());
    }
    QCOMPARE(order, (QStringList{"txtSmtpServer", "txtFrom", "txtRcpt", "txtSubject", "chkDetails",
                                 "chkNGDetails", "cmdOK", "cmdApply", "cmdCancel"}));
}

void tst_frmSmtpConfig::escapeDoesNotClose() {
    fakes::Environment env;
    frmSmtpConfig dlg;
    showDialog(dlg);
    QTest::keyClick(dlg.txtFrom, Qt::Key_Escape);
    QVERIFY(dlg.isVisible());
    QTest::mouseClick(dlg.cmdCancel, Qt::LeftButton);
    QVERIFY(!dlg.isVisible());
    QVERIFY(!env.folder.has(kSmtpIni));
}

void tst_frmSmtpConfig::unwritableFileIsReportedAndOkStays() {
    fakes::Environment env;
    QVERIFY(QDir(env.folder.path()).mkdir(kSmtpIni));
    frmSmtpConfig dlg;
    showDialog(dlg);
    QTest::mouseClick(dlg.cmdOK, Qt::LeftButton);
    QVERIFY(dlg.isVisible());
    QCOMPARE(env.messageBox.shown.size(), 1);
    QCOMPARE(env.messageBox.shown[0].title, QStringLiteral("エラー"));
    QCOMPARE(env.messageBox.shown[0].style, 0);
    QVERIFY(env.messageBox.shown[0].text.contains(env.folder.file(kSmtpIni)));
}

void tst_frmSmtpConfig::loadFaultIsReportedThenShown() {
    fakes::Environment env;
    writeSmtpIni(env, {"mail.example", "a@b", "c@d", "Daily", "yes"});
    frmSmtpConfig dlg;
    QCOMPARE(env.messageBox.shown.size(), 1);
    QCOMPARE(env.messageBox.shown[0].title, QStringLiteral("エラー"));
    QVERIFY(env.messageBox.shown[0].text.contains(kSmtpIni));
    QVERIFY(env.messageBox.shown[0].text.contains(QStringLiteral("5")));
    QCOMPARE(dlg.txtSmtpServer->text(), QStringLiteral("mail.example"));
    QCOMPARE(dlg.txtSubject->text(), QStringLiteral("Daily"));
}

QTEST_MAIN(tst_frmSmtpConfig)
#include "tst_frmSmtpConfig.moc"
