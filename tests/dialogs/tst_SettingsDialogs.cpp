// The three settings dialogs, each on its own: what they show, what the
// operator's keys and clicks do, and what their files get. tst_frmmain opens
// them from the main window.

#include "dialogs/CaptureServiceList.h"
#include "dialogs/frmCheckConfig.h"
#include "dialogs/frmSendTimeConfig.h"
#include "dialogs/frmSmtpConfig.h"
#include "settings/variables.h"
#include "support/Fakes.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// Types the text into the widget key by key, as the keyboard would deliver
// it; characters beyond ASCII arrive as key events that carry only their text.
void typeText(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() < 0x80) {
            QTest::keyClick(widget, char(c.unicode()));
            continue;
        }
        QTest::sendKeyEvent(QTest::Press, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

// Selects the whole text of the box, deletes it and types the new text.
void replaceText(QLineEdit* box, const QString& text) {
    box->setFocus();
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Backspace);
    typeText(box, text);
}

bool showAndWait(QWidget* widget) {
    widget->show();
    return QTest::qWaitForWindowExposed(widget);
}

// Clicks a check box on its indicator, where the operator would click it
// whatever the width that the layout gave the box.
void clickCheckBox(QCheckBox* box) {
    QStyleOptionButton option;
    option.initFrom(box);
    const QRect indicator =
        box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
    QTest::mouseClick(box, Qt::LeftButton, {}, indicator.center());
}

// Works the dialog's controls as the operator would, step by step ("; " between).
// "NAME" clicks the control: Space on a list's first entry. "NAME=TEXT" retypes a
// box key by key, "NAME>TEXT" types at its end, "NAME+=TEXT" pastes at its end;
// "NAME^" presses Ctrl+V with "77" on the clipboard. "NAME+" and "NAME-" choose the
// next and previous item of a list box.
void operate(QWidget& dlg, const QString& steps) {
    static const QRegularExpression parts(u"^(\\w+)(\\+=|[=>^+-]?)(.*)$"_s,
                                          QRegularExpression::DotMatchesEverythingOption);
    for (const QString& step : steps.split(u"; "_s, Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch part = parts.match(step);
        QWidget* w = dlg.findChild<QWidget*>(part.captured(1));
        const QString op = part.captured(2);
        const QString text = part.captured(3);
        auto* box = qobject_cast<QLineEdit*>(w);
        w->setFocus();
        if (op == u"=") {
            replaceText(box, text);
        } else if (op == u"+=") {
            box->end(false);
            box->insert(text);
        } else if (op == u">") {
            box->end(false);
            typeText(box, text);
        } else if (op == u"^") {
            QGuiApplication::clipboard()->setText(u"77"_s);
            QTest::keyClick(w, Qt::Key_V, Qt::ControlModifier);
        } else if (!op.isEmpty()) {
            QTest::keyClick(w, op == u"+" ? Qt::Key_Down : Qt::Key_Up);
        } else if (auto* list = qobject_cast<QListWidget*>(w)) {
            list->setCurrentRow(0);
            QTest::keyClick(list, Qt::Key_Space);
        } else if (auto* check = qobject_cast<QCheckBox*>(w)) {
            clickCheckBox(check);
        } else {
            QTest::mouseClick(w, Qt::LeftButton);
        }
    }
}

const QString kCheckIni = QStringLiteral("check.ini");
const QStringList kCaptured = {"   Alpha", "   Beta", "   Gamma"};
const QString kCapture = QStringLiteral("service.dat");
const QByteArray kHeading =
    fakes::systemBytes(QStringLiteral("次のサービスが開始されています:\r\n\r\n"));
const QString kDrive2Off = QStringLiteral("cmbDrive2 txtDrive2Avail cmbDrive3 txtDrive3Avail");

// The twelve controls that hold a field, in the order of the file.
QStringList shownFields(const frmCheckConfig& d) {
    QStringList shown;
    for (QWidget* w : std::initializer_list<QWidget*>{
             d.chkDriveCheck, d.chkDrive2, d.chkDrive3, d.cmbDrive1, d.cmbDrive2, d.cmbDrive3,
             d.txtDrive1Avail, d.txtDrive2Avail, d.txtDrive3Avail, d.chkMemoryCheck,
             d.txtMemoryAvail, d.txtSwapAvail}) {
        const auto* box = qobject_cast<QCheckBox*>(w);
        const auto* list = qobject_cast<QComboBox*>(w);
        shown.append(box    ? QString::number(box->isChecked())
                     : list ? list->currentText()
                            : static_cast<QLineEdit*>(w)->text());
    }
    return shown;
}

// The names of the disabled controls among those that the check boxes govern, and Apply.
QString disabledControls(const frmCheckConfig& dlg) {
    QStringList off;
    for (QWidget* w : std::initializer_list<QWidget*>{
             dlg.cmbDrive1, dlg.txtDrive1Avail, dlg.chkDrive2, dlg.chkDrive3, dlg.cmbDrive2,
             dlg.txtDrive2Avail, dlg.cmbDrive3, dlg.txtDrive3Avail, dlg.txtMemoryAvail,
             dlg.txtSwapAvail, dlg.lstServiceList, dlg.cmdAllCheck, dlg.cmdAllCancel, dlg.cmdApply})
        if (!w->isEnabled())
            off.append(w->objectName());
    return off.join(u' ');
}

// The entries of the list, a checked one marked with a leading "+".
QStringList listed(const QListWidget* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts.append((list->item(i)->checkState() == Qt::Checked ? u"+"_s : u""_s) +
                     list->item(i)->text());
    return texts;
}

const QString kSmtpIni = QStringLiteral("smtp.ini");
const QString kLoginIni = QStringLiteral("smtpauth.ini");
const QString kSenderMessage = QStringLiteral("「送信者」には、メールアドレスを入力してください。");
const QString kRecipientMessage =
    QStringLiteral("「受信者」には、メールアドレスを入力してください。");
// The ten lines without smtp.ini.
const QString kSmtpDefaults =
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

const QString kSendTimeIni = QStringLiteral("sendtime.ini");

const QString kRangeMessage = u"送信する\"分\"の指定には、00～59の間で指定してください。"_s;
const QString kIntervalMessage = u"「確認の間隔」には、1～1440の分数を指定してください。"_s;

int rangeMessages(const fakes::Environment& env, const QString& text = kRangeMessage) {
    return int(std::count_if(env.messageBox.shown.begin(), env.messageBox.shown.end(),
                             [&](const auto& box) {
                                 return box.text == text && box.title == u"Error" && box.style == 0;
                             }));
}

} // namespace

class tst_SettingsDialogs : public QObject {
    Q_OBJECT
private slots:
    void init() { frmSmtpConfig::acceptedSubject.clear(); }

    void checkEdits_data() {
        QTest::addColumn<QStringList>("stored"); // empty: no check.ini
        QTest::addColumn<QString>("edits");      // see operate()
        QTest::addColumn<QString>("shown");      // the twelve fields; the file's after a save
        QTest::addColumn<QString>("disabled");
        QTest::addColumn<QStringList>("list");

        QTest::newRow("without check.ini")
            << QStringList{} << QString() << u"1 0 0 C: D: E: 500 500 500 1 0 200"_s << kDrive2Off
            << kCaptured;
        // The master switch is off: slot 2 keeps its mark but nothing of the drives
        // can be edited. Only an equal text marks an entry; each stored name that no
        // entry equals goes to the top, so two of them stand in reverse order.
        QTest::newRow("with check.ini, watched names merged")
            << fakes::numberLines({0, 1, 0, 5, 6, 7, 1234, 99999999, 7, 0, 10, 20}) +
                   QStringList{"   Delta", "   Alph", "Beta", "   Beta"}
            << QString() << u"0 1 0 F: G: H: 1234 99999999 7 0 10 20"_s
            << u"cmbDrive1 txtDrive1Avail chkDrive2 chkDrive3 cmbDrive2 txtDrive2Avail cmbDrive3 "_s
               u"txtDrive3Avail txtMemoryAvail txtSwapAvail cmdApply"_s
            << QStringList{"+Beta", "+   Alph", "+   Delta", "   Alpha", "+   Beta", "   Gamma"};

        // Edits over a check.ini of drive 1 at 750 MB watching Alpha and Beta.
        const QString asStored = u"1 0 0 C: D: E: 750 500 500 1 0 200"_s;
        const auto edit = [&](const char* name, const QString& edits, const QString& shown,
                              const QString& disabled = kDrive2Off,
                              const QStringList& list = {"+   Alpha", "+   Beta", "   Gamma"}) {
            QTest::newRow(name) << fakes::numberLines(
                                       {1, 0, 0, 2, 3, 4, 750, 500, 500, 1, 0, 200}) +
                                       kCaptured.mid(0, 2)
                                << edits << shown << disabled << list;
        };
        edit("slot 3 on, memory off", u"chkDrive3; chkMemoryCheck"_s,
             u"1 0 1 C: D: E: 750 500 500 0 0 200"_s,
             u"cmbDrive2 txtDrive2Avail txtMemoryAvail txtSwapAvail"_s);
        edit("slot 2 on, the master switch off and on again",
             u"chkDrive2; chkDriveCheck; chkDriveCheck"_s, u"1 1 0 C: D: E: 750 500 500 1 0 200"_s,
             u"cmbDrive3 txtDrive3Avail"_s);
        edit("another drive picked", u"cmbDrive1+"_s, u"1 0 0 D: D: E: 750 500 500 1 0 200"_s);
        // The number boxes take digits only, up to 8 or 4, the left ones dropping out.
        edit("letters, signs, full-width digits and pastes refused",
             u"txtDrive1Avail=7a-.５5; txtDrive1Avail^"_s, u"1 0 0 C: D: E: 75 500 500 1 0 200"_s);
        edit("a ninth and a fifth digit", u"txtDrive1Avail=123456789; txtSwapAvail=123456"_s,
             u"1 0 0 C: D: E: 23456789 500 500 1 0 3456"_s);
        edit("an emptied box keeps its field", u"txtDrive1Avail="_s,
             u"1 0 0 C: D: E:  500 500 1 0 200"_s);
        edit("an entry unchecked", u"lstServiceList"_s, asStored, kDrive2Off,
             {"   Alpha", "+   Beta", "   Gamma"});
        edit("all unchecked", u"cmdAllCancel"_s, asStored, kDrive2Off, kCaptured);
    }

    void checkEdits() {
        QFETCH(QStringList, stored);
        QFETCH(QString, edits);
        QFETCH(QString, shown);
        QFETCH(QStringList, list);
        fakes::Environment env;
        env.command.listing = fakes::listingOf(kCaptured);
        if (!stored.isEmpty())
            env.folder.write(kCheckIni, fakes::crlf(stored));
        frmCheckConfig dlg;
        QVERIFY(showAndWait(&dlg));
        QCOMPARE(dlg.cmdApply->isEnabled(), stored.isEmpty());
        QVERIFY(dlg.cmbDrive1->count() == 26 && !dlg.cmbDrive1->isEditable());

        operate(dlg, edits);
        QCOMPARE(shownFields(dlg), shown.split(u' '));
        QTEST(disabledControls(dlg), "disabled");
        QCOMPARE(listed(dlg.lstServiceList), list);

        // Saved: the shown fields, a drive as its index, an emptied box keeping the
        // stored field; the checked entries in the order of the list.
        QStringList saved;
        for (const QString& field : shown.split(u' '))
            saved.append(field.isEmpty() ? stored[saved.size()]
                         : field.endsWith(u':')
                             ? u' ' + QString::number(field[0].unicode() - 'A') + u' '
                             : u' ' + field + u' ');
        QStringList watched;
        for (const QString& entry : list)
            if (entry.startsWith(u'+'))
                watched.append(entry.mid(1));
        if (!edits.isEmpty()) {
            QTest::mouseClick(dlg.cmdApply, Qt::LeftButton);
            QVERIFY(!dlg.cmdApply->isEnabled() && dlg.isVisible());
            QCOMPARE(env.folder.lines(kCheckIni), saved + watched);
        }
        QTest::mouseClick(dlg.cmdOK, Qt::LeftButton);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(env.folder.lines(kCheckIni), saved + watched);
        // A name no longer checked leaves the record.
        QCOMPARE(Settings.watchServiceCount, watched.size());
        QVERIFY(Settings.watchServices[watched.size()].isEmpty());
    }

    void checkKeepsFirst201Services() {
        fakes::Environment env;
        QStringList services;
        for (int i = 1; i <= 205; ++i)
            services.append(QStringLiteral("   Service %1").arg(i, 3, 10, QLatin1Char('0')));
        env.command.listing = fakes::listingOf(services);
        frmCheckConfig dlg;
        QVERIFY(showAndWait(&dlg));
        QTest::mouseClick(dlg.cmdAllCheck, Qt::LeftButton);
        QTest::mouseClick(dlg.cmdOK, Qt::LeftButton);

        QCOMPARE(Settings.watchServiceCount, 201);
        QCOMPARE(env.folder.lines(kCheckIni).mid(12), services.mid(0, 201));
    }

    // The list of running services that the dialog offers, read from the file that
    // the listing command writes.
    void captureServiceList_data() {
        QTest::addColumn<QByteArray>("listing");  // null: the command writes no file
        QTest::addColumn<QByteArray>("leftOver"); // null: no file from an earlier capture
        QTest::addColumn<int>("busyPolls");       // -1: the command cannot start
        QTest::addColumn<QStringList>("expected");
        // Polls of 100 ms for the file, 10 ms for the end, 500 ms to settle.
        QTest::addColumn<unsigned>("slept");

        const QByteArray none;
        const QStringList nothing;
        const QStringList three{"   Alpha", "   Beta Service", "   ガンマ"};
        QTest::newRow("three services keep their indentation")
            << fakes::listingOf(three) << none << 0 << three << 500u;
        QTest::newRow("no service") << fakes::listingOf({}) << none << 0 << nothing << 500u;
        QTest::newRow("empty file") << QByteArray("") << none << 0 << nothing << 500u;
        QTest::newRow("cut short after two names") << kHeading + "   Alpha\r\n   Be" << none << 0
                                                   << QStringList{"   Alpha", "   Be"} << 500u;
        QTest::newRow("a line of blanks is an entry; the first empty line ends the list")
            << kHeading + "   Alpha\r\n   \r\n   Beta\r\n\r\n   Gamma\r\n"
            << none << 0 << QStringList{"   Alpha", "   ", "   Beta"} << 500u;
        QTest::newRow("a left-over file is read once the listing has ended")
            << none << fakes::listingOf({"   Old"}) << 2 << QStringList{"   Old"} << 520u;
        QTest::newRow("the file never appears") << none << none << 0 << nothing << 10000u;
        QTest::newRow("the listing never ends") << kHeading << none << 1000000 << nothing << 10000u;
        QTest::newRow("the command cannot start") << none << none << -1 << nothing << 0u;
    }

    void captureServiceList() {
        QFETCH(QByteArray, listing);
        QFETCH(QByteArray, leftOver);
        QFETCH(int, busyPolls);
        fakes::Environment env;
        env.command.listing = listing;
        env.command.createsFile = !listing.isNull();
        env.command.busyPolls = busyPolls;
        env.command.canStart = busyPolls >= 0;
        if (!leftOver.isNull())
            env.folder.write(kCapture, leftOver);

        QTEST(CaptureServiceList(), "expected");
        QTEST(env.sleep.total(), "slept");
        QVERIFY(!env.folder.has(kCapture));
    }

    // The SMTP dialog.
    void smtpOpening_data() {
        QTest::addColumn<QString>("stored"); // empty: no smtp.ini
        QTest::addColumn<QString>("fields");

        // A file of six lines means the plain dialogue on port 25, without retries.
        QTest::newRow("with smtp.ini of six lines")
            << u"mail.example|a@b|c@d|Daily report| 0 | 1 "_s
            << u"mail.example|a@b|c@d|Daily report| 0 | 1 | 25 | 0 || 0 "_s;
        QTest::newRow("with smtp.ini of ten lines")
            << u"m|a@b|c@d|S| 1 | 1 | 465 | 2 |ab:CD:ef:01:23:45:67:89:ab:cd:ef:01:23:45:67:89:ab:cd:ef:01:23:45:67:89:ab:cd:ef:01:23:45:67:89| 1 "_s
            << u"m|a@b|c@d|S| 1 | 1 | 465 | 2 |ab:CD:ef:01:23:45:67:89:ab:cd:ef:01:23:45:67:89:ab:cd:ef:01:23:45:67:89:ab:cd:ef:01:23:45:67:89| 1 "_s;
    }

    void smtpOpening() {
        QFETCH(QString, stored);
        QFETCH(QString, fields);
        QStringList shown = fields.split(u'|');
        fakes::Environment env;
        if (!stored.isEmpty())
            env.folder.write(kSmtpIni, fakes::crlf(stored.split(u'|')));
        frmSmtpConfig dlg;
        QVERIFY(showAndWait(&dlg));
        QCOMPARE(shownFields(dlg), shown);
        QVERIFY(!dlg.cmdApply->isEnabled());
        clickCheckBox(dlg.chkDetails); // enables Apply, which the tab order passes
        clickCheckBox(dlg.chkDetails);
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

    void smtpEdits_data() {
        QTest::addColumn<QString>("steps"); // see operate(); then OK
        // "N=text": line N of smtp.ini, the others as without the file; the login
        // file holds the name and password typed.
        QTest::addColumn<QString>("saved");
        QTest::addColumn<QString>("message"); // empty: saved

        const QString fp(64, u'a');
        const QString portMessage = u"「ポート番号」には、1～65535 の数値を入力してください。"_s;
        QTest::newRow("STARTTLS in place of 25 proposes 587; a login")
            << u"cmbSecurity+; chkAuth; txtUser=ユーザー; txtPassword=p@ss word"_s
            << u"7= 587 |8= 1 "_s << QString();
        QTest::newRow("SSL/TLS proposes 465; another port stays; a fingerprint")
            << u"cmbSecurity+; cmbSecurity+; txtPort=2465; cmbSecurity-; txtFingerprint="_s + fp
            << u"7= 2465 |8= 1 |9="_s + fp << QString();
        QTest::newRow("a login without encryption")
            << u"chkAuth; txtUser=u; txtPassword=p"_s << QString()
            << u"SMTP認証を行うには、「暗号化」で STARTTLS か SSL/TLS を選んでください。"
               u"パスワードを暗号化せずに送ることはできません。"_s;
        QTest::newRow("a login without a password")
            << u"cmbSecurity+; chkAuth; txtUser=u"_s << QString()
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
        // Several recipients, each checked; stored as typed.
        QTest::newRow("two recipients") << u"txtRcpt=a@b, c@d"_s << u"3=a@b, c@d"_s << QString();
        QTest::newRow("two recipients, the second without @")
            << u"txtRcpt=a@b, cd"_s << QString() << kRecipientMessage;
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

    void smtpEdits() {
        QFETCH(QString, steps);
        QFETCH(QString, saved);
        QFETCH(QString, message);
        fakes::Environment env;
        frmSmtpConfig dlg;
        QVERIFY(showAndWait(&dlg));
        QVERIFY(!dlg.txtUser->isEnabled());
        operate(dlg, steps);
        QStringList login; // the name and password typed
        for (const QString& step : steps.split(u"; "_s))
            if (step.startsWith(u"txtUser=") || step.startsWith(u"txtPassword="))
                login.append(step.section(u'=', 1));
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
            typeText(dlg.txtSubject, u"x"_s);
            QVERIFY(dlg.cmdApply->isEnabled());
            return;
        }
        QVERIFY(env.messageBox.shown.isEmpty());
        QStringList lines = kSmtpDefaults.split(u'|');
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
                again.txtPassword->text() == login[1] && again.lblLoginFault->isHidden());
        // One that cannot be used is named, with what to do.
        env.folder.write(kLoginIni, "x\r\n");
        frmSmtpConfig broken;
        QVERIFY(broken.chkAuth->isChecked() && !broken.lblLoginFault->isHidden());
        QVERIFY(broken.lblLoginFault->text().startsWith(u"smtpauth.ini を読み込めません"_s));
    }

    // The send-time dialog.
    // Focus starts at "1時" and tabs through the hours, "24時" last, then the
    // minute, the buttons and the alerts.
    void sendHours() {
        fakes::Environment env;
        frmSendTimeConfig dlg;
        QVERIFY(showAndWait(&dlg));
        QApplication::setActiveWindow(&dlg);
        QTRY_COMPARE(QApplication::focusWidget(), dlg.chkTime[1]);
        for (int shown = 2; shown <= 24; ++shown) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            const QCheckBox* box = dlg.chkTime[shown % 24];
            QCOMPARE(QApplication::focusWidget(), box);
            QCOMPARE(box->text(), QStringLiteral("%1時").arg(shown));
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), dlg.txtSendMin);

        // Without the file, alerts every 5 minutes, no reminders.
        QCOMPARE((QStringList{dlg.frameAlert->title(), dlg.chkAlert->text(),
                              dlg.lblAlertMin->text(), dlg.txtAlertMin->text(),
                              dlg.lblReminderMin->text(), dlg.txtReminderMin->text()}),
                 (QStringList{u"異常時の通知"_s, u"異常をすぐにメールで通知する"_s,
                              u"確認の間隔（分）"_s, u"5"_s,
                              u"再通知の間隔（分、0 で再通知しない）"_s, u"0"_s}));
        QVERIFY(dlg.chkAlert->isChecked());
        // Each of them enables Apply; the boxes take digits alone, and only with alerts on.
        for (QWidget* w :
             std::initializer_list<QWidget*>{dlg.txtAlertMin, dlg.txtReminderMin, dlg.chkAlert}) {
            dlg.cmdApply->setEnabled(false);
            operate(dlg, w->objectName() + (w == dlg.chkAlert ? u""_s : u">0"_s));
            QVERIFY(dlg.cmdApply->isEnabled() && !w->testAttribute(Qt::WA_InputMethodEnabled));
        }
        QVERIFY(!dlg.txtAlertMin->isEnabled() && !dlg.txtReminderMin->isEnabled());
        clickCheckBox(dlg.chkAlert);
        dlg.txtSendMin->setFocus();
        QStringList order;
        for (int i = 0; i < 8; ++i, QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab))
            order.append(QApplication::focusWidget()->objectName());
        QCOMPARE(order, (QStringList{"txtSendMin", "cmdOK", "cmdApply", "cmdCancel", "chkAlert",
                                     "txtAlertMin", "txtReminderMin", "chkTime1"}));
    }

    void sendMinute_data() {
        // The minute beside 6時, then lines 26 and 27 if any ("|" between); null: no file.
        QTest::addColumn<QString>("stored");
        // Into the minute box, or steps on the controls that they name: see operate().
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("hour"); // the box clicked, then Apply; -1: OK
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("messages"); // before OK, which refuses the same minute
        // Lines 26 and 27 saved; or the message of a refused interval, which takes the focus.
        QTest::addColumn<QString>("alerts");

        const QString byDefault = u" 5 | 0 "_s, none = u" 0 | 0 "_s;
        QTest::newRow("24時 is the first line")
            << QString() << QString() << 0 << u"00"_s << 0 << byDefault;
        QTest::newRow("23時 the last") << QString() << QString() << 23 << u"00"_s << 0 << byDefault;
        QTest::newRow("7 saved as it stands, alerts too")
            << u"7| 30 | 15 "_s << QString() << -1 << u"7"_s << 0 << u" 30 | 15 "_s;
        QTest::newRow("above 59") << u"75"_s << QString() << -1 << u"75"_s << 1 << none;
        QTest::newRow("three characters") << u"123"_s << QString() << -1 << u"23"_s << 0 << none;
        QTest::newRow("05, 9 typed at the end") << u"05"_s << u">9"_s << -1 << u"59"_s << 0 << none;
        QTest::newRow("a letter, a full-width digit typed")
            << u"12"_s << u">a５"_s << -1 << u"12"_s << 0 << none;
        QTest::newRow("6 then 0 typed") << QString() << u"=60"_s << -1 << u"60"_s << 1 << none;
        // An emptied box gets its message only from OK, which puts the focus there.
        QTest::newRow("both digits deleted") << QString() << u"="_s << -1 << QString() << 0 << none;
        QTest::newRow("non-digits pasted") << QString() << u"+=5x"_s << -1 << u"5x"_s << 1 << none;
        // The alerts: with them off the interval is 0; a stored 0 shows 5.
        const auto alerts = [](const char* name, const QString& stored, const QString& steps,
                               const QString& saved) {
            QTest::newRow(name) << stored << steps << -1
                                << (stored.isNull() ? u"00"_s : stored.section(u'|', 0, 0)) << 0
                                << saved;
        };
        alerts("alerts every 10 minutes, reminders every 60, digits alone", QString(),
               u"txtAlertMin=1a０0; txtReminderMin=6-0"_s, u" 10 | 60 "_s);
        alerts("alerts off keep the reminder", u"7| 30 | 15 "_s, u"chkAlert"_s, u" 0 | 15 "_s);
        alerts("alerts on after 0", u"7| 0 | 15 "_s, u"chkAlert"_s, u" 5 | 15 "_s);
        alerts("1440, an empty reminder is none", QString(), u"txtAlertMin=1440; txtReminderMin="_s,
               u" 1440 | 0 "_s);
        alerts("alerts off: a reminder out of range is none", QString(),
               u"txtReminderMin=1441; chkAlert"_s, none);
        alerts("an interval of 0", QString(), u"txtAlertMin=0"_s, kIntervalMessage);
        alerts("an emptied interval", u"7| 30 | 0 "_s, u"txtAlertMin="_s, kIntervalMessage);
        alerts("a reminder of 1441", QString(), u"txtReminderMin=1441"_s,
               u"「再通知の間隔」には、0～1440の分数を指定してください。"_s);
    }

    void sendMinute() {
        QFETCH(QString, stored);
        QFETCH(QString, typed);
        QFETCH(int, hour);
        QFETCH(QString, shown);
        QFETCH(int, messages);
        QFETCH(QString, alerts);
        fakes::Environment env;
        QStringList lines(24, u" 0 "_s), file;
        if (!stored.isNull()) {
            lines[6] = u" 1 "_s;
            file = lines + stored.split(u'|');
            env.folder.write(kSendTimeIni, fakes::crlf(file));
        }
        frmSendTimeConfig dlg;
        QVERIFY(showAndWait(&dlg) && !dlg.cmdApply->isEnabled());
        QApplication::setActiveWindow(&dlg);
        operate(dlg, typed.isEmpty() || typed[0].isLetter() ? typed : u"txtSendMin"_s + typed);
        QCOMPARE(dlg.txtSendMin->text(), shown);
        QCOMPARE(rangeMessages(env), messages);
        QCOMPARE(dlg.txtAlertMin->isEnabled(), dlg.chkAlert->isChecked());
        // Each message about the text in the box selects it.
        QCOMPARE(dlg.txtSendMin->selectedText(), messages ? shown : QString());
        const bool alertRefused = !alerts.contains(u'|');
        const bool refused = messages > 0 || shown.isEmpty() || alertRefused;
        if (hour < 0) {
            dlg.cmdOK->setFocus();
            QTest::mouseClick(dlg.cmdOK, Qt::LeftButton);
            QCOMPARE(dlg.isVisible(), refused);
        } else {
            clickCheckBox(dlg.chkTime[hour]);
            QVERIFY(dlg.cmdApply->isEnabled());
            QTest::mouseClick(dlg.cmdApply, Qt::LeftButton);
            QVERIFY(!dlg.cmdApply->isEnabled());
            lines[hour] = u" 1 "_s;
        }
        const QString message = alertRefused ? alerts : kRangeMessage;
        if (refused) {
            QCOMPARE(rangeMessages(env, message), messages + 1);
            if (alertRefused)
                QVERIFY(typed.startsWith(QApplication::focusWidget()->objectName()));
            else
                QCOMPARE(dlg.txtSendMin->selectedText(), shown);
            if (shown.isEmpty())
                QCOMPARE(QApplication::focusWidget(), dlg.txtSendMin);
            // Apply refuses the same way but disables itself all the same.
            dlg.cmdApply_Click();
            QCOMPARE(rangeMessages(env, message), messages + 2);
            QVERIFY(!dlg.cmdApply->isEnabled());
        }
        QCOMPARE(env.folder.lines(kSendTimeIni),
                 refused ? file : lines << shown << alerts.split(u'|'));
    }
};

QTEST_MAIN(tst_SettingsDialogs)
#include "tst_SettingsDialogs.moc"
