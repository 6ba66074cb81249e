#include "dialogs/CaptureServiceList.h"
#include "dialogs/frmCheckConfig.h"
#include "settings/variables.h"
#include "support/Fakes.h"
#include "support/KeyInput.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

const QString kCheckIni = QStringLiteral("check.ini");
const QStringList kCaptured = {"   Alpha", "   Beta", "   Gamma"};
const QString kCapture = QStringLiteral("service.dat");
const QByteArray kHeading =
    fakes::systemBytes(QStringLiteral("次のサービスが開始されています:\r\n\r\n"));
const QString kDrive2Off = QStringLiteral("cmbDrive2 txtDrive2Avail cmbDrive3 txtDrive3Avail");

// Numbers as the file holds them, a blank on either side: "1 0" -> " 1 ", " 0 ".
QStringList numberLines(const QString& numbers) {
    QStringList lines;
    for (const QString& n : numbers.split(u' '))
        lines.append(u' ' + n + u' ');
    return lines;
}

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

} // namespace

class tst_frmCheckConfig : public QObject {
    Q_OBJECT
private slots:
    void editAndSave_data() {
        QTest::addColumn<QStringList>("stored"); // empty: no check.ini
        // Steps: a name clicks that control; "NAME=TEXT" retypes a box key by key;
        // "NAME^" pastes into it with Ctrl+V; "cmbDrive1+" picks the next drive; "space"
        // toggles the first entry from the keyboard.
        QTest::addColumn<QString>("edits");
        QTest::addColumn<QString>("shown"); // the twelve fields; the file's after a save
        QTest::addColumn<QString>("disabled");
        QTest::addColumn<QStringList>("list");

        QTest::newRow("without check.ini")
            << QStringList{} << QString() << u"1 0 0 C: D: E: 500 500 500 1 0 200"_s << kDrive2Off
            << kCaptured;
        // The master switch is off: slot 2 keeps its mark but nothing of the drives
        // can be edited. Only an equal text marks an entry; each stored name that no
        // entry equals goes to the top, so two of them stand in reverse order.
        QTest::newRow("with check.ini, watched names merged")
            << numberLines(u"0 1 0 5 6 7 1234 99999999 7 0 10 20"_s) +
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
            QTest::newRow(name) << numberLines(u"1 0 0 2 3 4 750 500 500 1 0 200"_s) +
                                       kCaptured.mid(0, 2)
                                << edits << shown << disabled << list;
        };
        edit("slot 3 on, memory off", u"chkDrive3 chkMemoryCheck"_s,
             u"1 0 1 C: D: E: 750 500 500 0 0 200"_s,
             u"cmbDrive2 txtDrive2Avail txtMemoryAvail txtSwapAvail"_s);
        edit("slot 2 on, the master switch off and on again",
             u"chkDrive2 chkDriveCheck chkDriveCheck"_s, u"1 1 0 C: D: E: 750 500 500 1 0 200"_s,
             u"cmbDrive3 txtDrive3Avail"_s);
        edit("another drive picked", u"cmbDrive1+"_s, u"1 0 0 D: D: E: 750 500 500 1 0 200"_s);
        // The number boxes take digits only, up to 8 or 4, the left ones dropping out.
        edit("letters, signs, full-width digits and pastes refused",
             u"txtDrive1Avail=7a-.５5 txtDrive1Avail^"_s, u"1 0 0 C: D: E: 75 500 500 1 0 200"_s);
        edit("a ninth and a fifth digit", u"txtDrive1Avail=123456789 txtSwapAvail=123456"_s,
             u"1 0 0 C: D: E: 23456789 500 500 1 0 3456"_s);
        edit("an emptied box keeps its field", u"txtDrive1Avail="_s,
             u"1 0 0 C: D: E:  500 500 1 0 200"_s);
        edit("an entry unchecked", u"space"_s, asStored, kDrive2Off,
             {"   Alpha", "+   Beta", "   Gamma"});
        edit("all unchecked", u"cmdAllCancel"_s, asStored, kDrive2Off, kCaptured);
    }

    void editAndSave() {
        QFETCH(QStringList, stored);
        QFETCH(QString, edits);
        QFETCH(QString, shown);
        QFETCH(QStringList, list);
        fakes::Environment env;
        env.command.listing = fakes::listingOf(kCaptured);
        if (!stored.isEmpty())
            env.folder.write(kCheckIni, fakes::crlf(stored));
        frmCheckConfig dlg;
        QVERIFY(keys::showAndWait(&dlg));
        QCOMPARE(dlg.cmdApply->isEnabled(), stored.isEmpty());
        QVERIFY(dlg.cmbDrive1->count() == 26 && !dlg.cmbDrive1->isEditable());

        for (const QString& edit : edits.split(u' ', Qt::SkipEmptyParts)) {
            QWidget* w =
                dlg.findChild<QWidget*>(edit.section(u'=', 0, 0).remove(u'+').remove(u'^'));
            if (edit.endsWith(u'^')) {
                QGuiApplication::clipboard()->setText(QStringLiteral("77"));
                QTest::keyClick(w, Qt::Key_V, Qt::ControlModifier);
            } else if (edit == u"space"_s) {
                dlg.lstServiceList->setFocus();
                dlg.lstServiceList->setCurrentRow(0);
                QTest::keyClick(dlg.lstServiceList, Qt::Key_Space);
            } else if (edit.endsWith(u'+')) {
                w->setFocus();
                QTest::keyClick(w, Qt::Key_Down);
            } else if (edit.contains(u'=')) {
                keys::replaceText(static_cast<QLineEdit*>(w), edit.section(u'=', 1));
            } else if (auto* box = qobject_cast<QCheckBox*>(w)) {
                keys::clickCheckBox(box);
            } else {
                QTest::mouseClick(w, Qt::LeftButton);
            }
        }
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

    void keepsFirst201CheckedServices() {
        fakes::Environment env;
        QStringList services;
        for (int i = 1; i <= 205; ++i)
            services.append(QStringLiteral("   Service %1").arg(i, 3, 10, QLatin1Char('0')));
        env.command.listing = fakes::listingOf(services);
        frmCheckConfig dlg;
        QVERIFY(keys::showAndWait(&dlg));
        QTest::mouseClick(dlg.cmdAllCheck, Qt::LeftButton);
        QTest::mouseClick(dlg.cmdOK, Qt::LeftButton);

        QCOMPARE(Settings.watchServiceCount, 201);
        QCOMPARE(env.folder.lines(kCheckIni).mid(12), services.mid(0, 201));
    }

    // The list of running services that the dialog offers, read from the file that
    // the listing command writes.
    void capture_data() {
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

    void capture() {
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
};

QTEST_MAIN(tst_frmCheckConfig)
#include "tst_frmCheckConfig.moc"
