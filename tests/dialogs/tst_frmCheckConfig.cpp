#include "app/variables.h"
#include "dialogs/frmCheckConfig.h"
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

QStringList entries(const QListWidget* list, bool checkedOnly) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        if (!checkedOnly || list->item(i)->checkState() == Qt::Checked)
            texts.append(list->item(i)->text());
    return texts;
}

} // namespace

class tst_frmCheckConfig : public QObject {
    Q_OBJECT
private slots:
    void opening_data();
    void opening();
    void editsEnableApplyAndAreSaved_data();
    void editsEnableApplyAndAreSaved();
    void enablingRule_data();
    void enablingRule();
    void numberBoxesTakeDigitsOnly_data();
    void numberBoxesTakeDigitsOnly();
    void keepsFirst201CheckedServices();
    void watchedNamesMerge_data();
    void watchedNamesMerge();
};

void tst_frmCheckConfig::opening_data() {
    QTest::addColumn<QStringList>("stored"); // empty: no check.ini
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("disabled");

    QTest::newRow("without check.ini") << QStringList{} << u"1 0 0 C: D: E: 500 500 500 1 0 200"_s
                                       << u"cmbDrive2 txtDrive2Avail cmbDrive3 txtDrive3Avail"_s;
    // The master switch is off: slot 2 keeps its mark but nothing of the
    // drives can be edited; the memory boxes follow their own switch.
    QTest::newRow("with check.ini")
        << numberLines(u"0 1 0 5 6 7 1234 99999999 7 0 10 20"_s) + QStringList{"   Beta"}
        << u"0 1 0 F: G: H: 1234 99999999 7 0 10 20"_s
        << u"cmbDrive1 txtDrive1Avail chkDrive2 chkDrive3 cmbDrive2 txtDrive2Avail cmbDrive3 "_s
           u"txtDrive3Avail txtMemoryAvail txtSwapAvail cmdApply"_s;
}

void tst_frmCheckConfig::opening() {
    QFETCH(QStringList, stored);
    QFETCH(QString, shown);
    QFETCH(QString, disabled);
    fakes::Environment env;
    env.command.listing = fakes::listingOf(kCaptured);
    if (!stored.isEmpty())
        env.folder.write(kCheckIni, fakes::crlf(stored));
    frmCheckConfig dlg;
    QVERIFY(keys::showAndWait(&dlg));

    QCOMPARE(shownFields(dlg), shown.split(u' '));
    QCOMPARE(disabledControls(dlg), disabled);
    QCOMPARE(dlg.cmbDrive1->count(), 26);
    QCOMPARE(dlg.cmbDrive1->itemText(0) + dlg.cmbDrive1->itemText(25), QStringLiteral("A:Z:"));
    QVERIFY(!dlg.cmbDrive1->isEditable());
    QCOMPARE(entries(dlg.lstServiceList, false), kCaptured);
    QCOMPARE(entries(dlg.lstServiceList, true), stored.mid(12));

    QTest::mouseClick(dlg.cmdOK, Qt::LeftButton);
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(env.folder.lines(kCheckIni),
             stored.isEmpty() ? numberLines("1 0 0 2 3 4 500 500 500 1 0 200") : stored);
}

void tst_frmCheckConfig::editsEnableApplyAndAreSaved_data() {
    QTest::addColumn<QString>("edit");
    QTest::addColumn<int>("line"); // -1: the numbers stay as stored
    QTest::addColumn<QString>("value");
    QTest::addColumn<QStringList>("watched");

    const QStringList stored = {"   Alpha", "   Beta"};
    QTest::newRow("another drive picked") << u"drive"_s << 3 << u" 3 "_s << stored;
    QTest::newRow("a digit typed") << u"digit"_s << 6 << u" 7501 "_s << stored;
    QTest::newRow("an emptied box keeps its field") << u"empty"_s << -1 << u""_s << stored;
    QTest::newRow("a check box clicked") << u"checkbox"_s << 9 << u" 0 "_s << stored;
    QTest::newRow("an entry clicked") << u"click"_s << -1 << u""_s << stored;
    QTest::newRow("an entry unchecked") << u"uncheck"_s << -1 << u""_s << QStringList{"   Beta"};
    QTest::newRow("all checked") << u"all"_s << -1 << u""_s << kCaptured;
    QTest::newRow("all unchecked") << u"none"_s << -1 << u""_s << QStringList{};
}

void tst_frmCheckConfig::editsEnableApplyAndAreSaved() {
    QFETCH(QString, edit);
    QFETCH(int, line);
    QFETCH(QString, value);
    QFETCH(QStringList, watched);
    fakes::Environment env;
    env.command.listing = fakes::listingOf(kCaptured);
    QStringList numbers = numberLines("1 0 0 2 3 4 750 500 500 1 0 200");
    env.folder.write(kCheckIni, fakes::crlf(numbers + QStringList{"   Alpha", "   Beta"}));
    frmCheckConfig dlg;
    QVERIFY(keys::showAndWait(&dlg) && !dlg.cmdApply->isEnabled());

    QListWidget* list = dlg.lstServiceList;
    if (edit == "drive") {
        dlg.cmbDrive1->setFocus();
        QTest::keyClick(dlg.cmbDrive1, Qt::Key_Down);
    } else if (edit == "digit" || edit == "empty") {
        keys::replaceText(dlg.txtDrive1Avail, edit == "digit" ? "7501" : "");
    } else if (edit == "checkbox") {
        keys::clickCheckBox(dlg.chkMemoryCheck);
    } else if (edit == "click") {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(2)).center());
    } else if (edit == "uncheck") {
        list->setFocus();
        list->setCurrentRow(0);
        QTest::keyClick(list, Qt::Key_Space);
    } else {
        QTest::mouseClick(edit == "all" ? dlg.cmdAllCheck : dlg.cmdAllCancel, Qt::LeftButton);
    }
    QVERIFY(dlg.cmdApply->isEnabled());
    QTest::mouseClick(dlg.cmdApply, Qt::LeftButton);
    QVERIFY(!dlg.cmdApply->isEnabled() && dlg.isVisible());
    if (line >= 0)
        numbers[line] = value;
    QCOMPARE(env.folder.lines(kCheckIni), numbers + watched);
    // OK saves the same, and a name no longer checked leaves the record.
    QTest::mouseClick(dlg.cmdOK, Qt::LeftButton);
    QCOMPARE(Settings.watchServiceCount, watched.size());
    QVERIFY(Settings.watchServices[watched.size()].isEmpty());
}

void tst_frmCheckConfig::enablingRule_data() {
    QTest::addColumn<QString>("clicks");
    QTest::addColumn<QString>("disabled");

    const QString drives = "cmbDrive1 txtDrive1Avail chkDrive2 chkDrive3 cmbDrive2 "
                           "txtDrive2Avail cmbDrive3 txtDrive3Avail";
    QTest::newRow("slot 2 on") << u"chkDrive2"_s << u"cmbDrive3 txtDrive3Avail"_s;
    QTest::newRow("slot 3 on, memory off")
        << u"chkDrive3 chkMemoryCheck"_s
        << u"cmbDrive2 txtDrive2Avail txtMemoryAvail txtSwapAvail"_s;
    QTest::newRow("master off over marked slots")
        << u"chkDrive2 chkDrive3 chkDriveCheck"_s << drives;
    QTest::newRow("master on again")
        << u"chkDrive2 chkDriveCheck chkDriveCheck"_s << u"cmbDrive3 txtDrive3Avail"_s;
    QTest::newRow("everything off")
        << u"chkDriveCheck chkMemoryCheck"_s << drives + u" txtMemoryAvail txtSwapAvail"_s;
}

void tst_frmCheckConfig::enablingRule() {
    QFETCH(QString, clicks);
    QFETCH(QString, disabled);
    fakes::Environment env;
    frmCheckConfig dlg;
    QVERIFY(keys::showAndWait(&dlg));
    for (const QString& name : clicks.split(u' '))
        keys::clickCheckBox(dlg.findChild<QCheckBox*>(name));
    QCOMPARE(disabledControls(dlg), disabled);
}

void tst_frmCheckConfig::numberBoxesTakeDigitsOnly_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("after");

    QTest::newRow("ninth digit pushes out the first")
        << u"txtDrive1Avail"_s << u"12345678"_s << u"9"_s << u"23456789"_s;
    QTest::newRow("fifth digit in a memory box")
        << u"txtSwapAvail"_s << u"1234"_s << u"56"_s << u"3456"_s;
    QTest::newRow("digits within the limit")
        << u"txtMemoryAvail"_s << u"0"_s << u"12"_s << u"012"_s;
    QTest::newRow("letter") << u"txtDrive3Avail"_s << u"500"_s << u"a"_s << u"500"_s;
    QTest::newRow("minus") << u"txtDrive1Avail"_s << u"500"_s << u"-"_s << u"500"_s;
    QTest::newRow("dot") << u"txtMemoryAvail"_s << u"10"_s << u"."_s << u"10"_s;
    QTest::newRow("blank") << u"txtSwapAvail"_s << u"200"_s << u" "_s << u"200"_s;
    QTest::newRow("full-width digit") << u"txtDrive1Avail"_s << u"500"_s << u"５"_s << u"500"_s;
    QTest::newRow("backspace") << u"txtDrive1Avail"_s << u"500"_s << u"\b"_s << u"50"_s;
}

void tst_frmCheckConfig::numberBoxesTakeDigitsOnly() {
    QFETCH(QString, box);
    QFETCH(QString, before);
    QFETCH(QString, typed);
    QFETCH(QString, after);
    fakes::Environment env;
    frmCheckConfig dlg;
    keys::clickCheckBox(dlg.chkDrive3);
    QVERIFY(keys::showAndWait(&dlg));
    auto* edit = dlg.findChild<QLineEdit*>(box);
    edit->setText(before);
    keys::typeAtEnd(edit, typed);
    QCOMPARE(edit->text(), after);

    // Nothing can be pasted with the keyboard either.
    QGuiApplication::clipboard()->setText(QStringLiteral("77"));
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(edit->text(), after);
}

void tst_frmCheckConfig::keepsFirst201CheckedServices() {
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

void tst_frmCheckConfig::watchedNamesMerge_data() {
    QTest::addColumn<QStringList>("watched");
    QTest::addColumn<QStringList>("expectedEntries");

    QTest::newRow("captured names are checked in place")
        << QStringList{"   Gamma", "   Alpha"} << kCaptured;
    QTest::newRow("a missing name stands at the top")
        << QStringList{"   Delta"} << QStringList{"   Delta"} + kCaptured;
    QTest::newRow("two missing names in reverse order")
        << QStringList{"   Delta", "   Omega"} << QStringList{"   Omega", "   Delta"} + kCaptured;
    // Only an equal text marks an entry; a part of one or another indentation does not.
    QTest::newRow("a part of an entry is not that entry")
        << QStringList{"   Alph"} << QStringList{"   Alph"} + kCaptured;
    QTest::newRow("indentation counts") << QStringList{"Beta"} << QStringList{"Beta"} + kCaptured;
}

void tst_frmCheckConfig::watchedNamesMerge() {
    QFETCH(QStringList, watched);
    QFETCH(QStringList, expectedEntries);
    fakes::Environment env;
    env.command.listing = fakes::listingOf(kCaptured);
    env.folder.write(kCheckIni,
                     fakes::crlf(numberLines("1 0 0 2 3 4 500 500 500 1 0 200") + watched));
    frmCheckConfig dlg;

    QCOMPARE(entries(dlg.lstServiceList, false), expectedEntries);
    QStringList checked = entries(dlg.lstServiceList, true);
    QCOMPARE(QSet<QString>(checked.begin(), checked.end()),
             QSet<QString>(watched.begin(), watched.end()));
    // Opening and saving never adds a name the operator did not pick.
    QTest::mouseClick(dlg.cmdOK, Qt::LeftButton);
    QCOMPARE(Settings.watchServiceCount, watched.size());
}

QTEST_MAIN(tst_frmCheckConfig)
#include "tst_frmCheckConfig.moc"
