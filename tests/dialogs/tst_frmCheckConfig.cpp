#include "app/API.h"
#include "app/variables.h"
#include "dialogs/frmCheckConfig.h"
#include "platform/Files.h"
#include "support/Fakes.h"
#include "support/KeyInput.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

namespace {

const QString kCheckIni = QStringLiteral("check.ini");

// A check.ini with these twelve numbers and watched names.
void writeCheckIni(const fakes::Environment& env, const QList<qint64>& numbers,
                   const QStringList& names = {}) {
    QStringList lines;
    for (qint64 n : numbers)
        lines.append(API::FormatNumberLine(n));
    lines += names;
    env.folder.write(kCheckIni,
                     (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8());
}

// Every field set apart from the defaults, with slot 1 off and slot 2 on.
const QList<qint64> kStored = {0, 1, 0, 5, 6, 7, 1234, 99999999, 7, 0, 10, 20};

QStringList fileLines(const fakes::Environment& env, const QString& name) {
    return platform::splitLines(QString::fromUtf8(env.folder.read(name)));
}

QStringList entries(const QListWidget* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts.append(list->item(i)->text());
    return texts;
}

QStringList checkedEntries(const QListWidget* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->checkState() == Qt::Checked)
            texts.append(list->item(i)->text());
    }
    return texts;
}

void toggleEntry(QListWidget* list, int row) {
    list->setFocus();
    list->setCurrentRow(row);
    QTest::keyClick(list, Qt::Key_Space);
}

void typeAtEnd(QLineEdit* box, const QString& text) {
    box->setFocus();
    box->end(false);
    keys::typeText(box, text);
}

void showDialog(QDialog& dialog) {
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
}

const QStringList kCaptured = {QStringLiteral("   Alpha"), QStringLiteral("   Beta"),
                               QStringLiteral("   Gamma")};

} // namespace

class tst_frmCheckConfig : public QObject {
    Q_OBJECT
private slots:
    void opensWithDefaultsWithoutCheckIni();
    void opensWithStoredValues();
    void applyFollowsEdits_data();
    void applyFollowsEdits();
    void enablingRule_data();
    void enablingRule();
    void numberBoxesTakeDigitsOnly_data();
    void numberBoxesTakeDigitsOnly();
    void emptiedBoxKeepsItsField();
    void keepsFirst201CheckedServices();
    void watchedNamesMerge_data();
    void watchedNamesMerge();
    void uncheckingAndOkRemovesName();
    void unwritableFileIsReportedAndOkStays();
    void loadFaultIsReportedThenShown();
    void loadFaultIsRaisedAtStartUp();
};

void tst_frmCheckConfig::opensWithDefaultsWithoutCheckIni() {
    fakes::Environment env;
    env.command.listing = fakes::listingOf(kCaptured);
    frmCheckConfig dlg;
    showDialog(dlg);

    QVERIFY(dlg.chkDriveCheck->isChecked());
    QVERIFY(!dlg.chkDrive2->isChecked());
    QVERIFY(!dlg.chkDrive3->isChecked());
    QCOMPARE(dlg.cmbDrive1->count(), 26);
    QCOMPARE(dlg.cmbDrive1->itemText(0), QStringLiteral("A:"));
    QCOMPARE(dlg.cmbDrive1->itemText(25), QStringLiteral("Z:"));
    QCOMPARE(dlg.cmbDrive1->currentText(), QStringLiteral("C:"));
    QCOMPARE(dlg.cmbDrive2->currentText(), QStringLiteral("D:"));
    QCOMPARE(dlg.cmbDrive3->currentText(), QStringLiteral("E:"));
    QVERIFY(!dlg.cmbDrive1->isEditable());
    for (QLineEdit* box : {dlg.txtDrive1Avail, dlg.txtDrive2Avail, dlg.txtDrive3Avail})
        QCOMPARE(box->text(), QStringLiteral("500"));
    QVERIFY(dlg.chkMemoryCheck->isChecked());
    QCOMPARE(dlg.txtMemoryAvail->text(), QStringLiteral("0"));
    QCOMPARE(dlg.txtSwapAvail->text(), QStringLiteral("200"));
    QCOMPARE(entries(dlg.lstServiceList), kCaptured);
    QVERIFY(checkedEntries(dlg.lstServiceList).isEmpty());

    for (QWidget* on : std::initializer_list<QWidget*>{
             dlg.cmbDrive1, dlg.txtDrive1Avail, dlg.chkDrive2, dlg.chkDrive3, dlg.txtMemoryAvail,
             dlg.txtSwapAvail, dlg.cmdApply})
        QVERIFY2(on->isEnabled(), qPrintable(on->objectName()));
    for (QWidget* off : std::initializer_list<QWidget*>{dlg.cmbDrive2, dlg.txtDrive2Avail,
                                                        dlg.cmbDrive3, dlg.txtDrive3Avail})
        QVERIFY2(!off->isEnabled(), qPrintable(off->objectName()));

    QTest::mouseClick(dlg.cmdOK, Qt::LeftButton);
    QVERIFY(!dlg.isVisible());
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(fileLines(env, kCheckIni),
             (QStringList{" 1 ", " 0 ", " 0 ", " 2 ", " 3 ", " 4 ", " 500 ", " 500 ", " 500 ",
                          " 1 ", " 0 ", " 200 "}));
    QCOMPARE(Settings.watchServiceCount, 0);
}

void tst_frmCheckConfig::opensWithStoredValues() {
    fakes::Environment env;
    env.command.listing = fakes::listingOf(kCaptured);
    writeCheckIni(env, kStored, {QStringLiteral("   Beta")});
    frmCheckConfig dlg;
    showDialog(dlg);

    QVERIFY(!dlg.chkDriveCheck->isChecked());
    QVERIFY(dlg.chkDrive2->isChecked());
    QCOMPARE(dlg.cmbDrive1->currentText(), QStringLiteral("F:"));
    QCOMPARE(dlg.cmbDrive2->currentText(), QStringLiteral("G:"));
    QCOMPARE(dlg.cmbDrive3->currentText(), QStringLiteral("H:"));
    QCOMPARE(dlg.txtDrive1Avail->text(), QStringLiteral("1234"));
    QCOMPARE(dlg.txtDrive2Avail->text(), QStringLiteral("99999999"));
    QCOMPARE(dlg.txtDrive3Avail->text(), QStringLiteral("7"));
    QVERIFY(!dlg.chkMemoryCheck->isChecked());
    QCOMPARE(dlg.txtMemoryAvail->text(), QStringLiteral("10"));
    QCOMPARE(dlg.txtSwapAvail->text(), QStringLiteral("20"));
    QCOMPARE(checkedEntries(dlg.lstServiceList), QStringList{QStringLiteral("   Beta")});
    // The master switch is off: slot 2 keeps its mark but nothing of the
    // drives can be edited; the memory boxes follow their own switch.
    for (QWidget* off : std::initializer_list<QWidget*>{
             dlg.cmbDrive1, dlg.txtDrive1Avail, dlg.chkDrive2, dlg.cmbDrive2, dlg.txtDrive2Avail,
             dlg.chkDrive3, dlg.cmbDrive3, dlg.txtDrive3Avail, dlg.txtMemoryAvail, dlg.txtSwapAvail,
             dlg.cmdApply})
        QVERIFY2(!off->isEnabled(), qPrintable(off->objectName()));

    QTest::mouseClick(dlg.cmdOK, Qt::LeftButton);
    QCOMPARE(fileLines(env, kCheckIni),
             (QStringList{" 0 ", " 1 ", " 0 ", " 5 ", " 6 ", " 7 ", " 1234 ", " 99999999 ", " 7 ",
                          " 0 ", " 10 ", " 20 ", "   Beta"}));
}

void tst_frmCheckConfig::applyFollowsEdits_data() {
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QStringList>("expectedLines");

    const QStringList stored = {" 1 ",   " 0 ",   " 0 ", " 2 ", " 3 ",   " 4 ",    " 500 ",
                                " 500 ", " 500 ", " 1 ", " 0 ", " 200 ", "   Beta"};
    QStringList lines = stored;
    lines[3] = " 3 ";
    QTest::newRow("another drive picked") << "drive" << lines;
    lines = stored;
    lines[6] = " 5001 ";
    QTest::newRow("a digit typed") << "digit" << lines;
    lines = stored;
    lines[9] = " 0 ";
    QTest::newRow("a check box clicked") << "checkbox" << lines;
    QTest::newRow("an entry clicked") << "entry" << stored;
    QTest::newRow("all checked") << "all" << stored.mid(0, 12) + kCaptured;
    QTest::newRow("all unchecked") << "none" << stored.mid(0, 12);
}

void tst_frmCheckConfig::applyFollowsEdits() {
    QFETCH(QString, edit);
    QFETCH(QStringList, expectedLines);
    fakes::Environment env;
    env.command.listing = fakes::listingOf(kCaptured);
    writeCheckIni(env, {1, 0, 0, 2, 3, 4, 500, 500, 500, 1, 0, 200}, {QStringLiteral("   Beta")});
    frmCheckConfig dlg;
    showDialog(dlg);
    QVERIFY(!dlg.cmdApply->isEnabled());

    if (edit == "drive") {
        dlg.cmbDrive1->setFocus();
        QTest::keyClick(dlg.cmbDrive1, Qt::Key_Down);
    } else if (edit == "digit") {
        typeAtEnd(dlg.txtDrive1Avail, QStringLiteral("1"));
    } else if (edit == "checkbox") {
        keys::clickCheckBox(dlg.chkMemoryCheck);
    } else if (edit == "entry") {
        QListWidget* list = dlg.lstServiceList;
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(2)).center());
    } else if (edit == "all") {
        QTest::mouseClick(dlg.cmdAllCheck, Qt::LeftButton);
    } else {
        QTest::mouseClick(dlg.cmdAllCancel, Qt::LeftButton);
    }
    QVERIFY(dlg.cmdApply->isEnabled());

    QTest::mouseClick(dlg.cmdApply, Qt::LeftButton);
    QVERIFY(!dlg.cmdApply->isEnabled());
    QVERIFY(dlg.isVisible());
    QCOMPARE(fileLines(env, kCheckIni), expectedLines);
}

void tst_frmCheckConfig::enablingRule_data() {
    QTest::addColumn<bool>("drives");
    QTest::addColumn<bool>("slot2");
    QTest::addColumn<bool>("slot3");
    QTest::addColumn<bool>("memory");
    // Expected enabled states: slot 1 (list, box, both slot check boxes),
    // slot 2 (list, box), slot 3 (list, box), memory boxes.
    QTest::addColumn<bool>("slot1On");
    QTest::addColumn<bool>("slot2On");
    QTest::addColumn<bool>("slot3On");
    QTest::addColumn<bool>("memoryOn");

    QTest::newRow("slot 2 on") << true << true << false << true << true << true << false << true;
    QTest::newRow("slot 3 on") << true << false << true << true << true << false << true << true;
    QTest::newRow("slots 2 and 3 on")
        << true << true << true << false << true << true << true << false;
    QTest::newRow("master off over marked slots")
        << false << true << true << true << false << false << false << true;
    QTest::newRow("everything off")
        << false << false << false << false << false << false << false << false;
}

void tst_frmCheckConfig::enablingRule() {
    QFETCH(bool, drives);
    QFETCH(bool, slot2);
    QFETCH(bool, slot3);
    QFETCH(bool, memory);
    QFETCH(bool, slot1On);
    QFETCH(bool, slot2On);
    QFETCH(bool, slot3On);
    QFETCH(bool, memoryOn);
    fakes::Environment env;
    frmCheckConfig dlg;
    showDialog(dlg);

    // The slot boxes first, while the master switch still lets them be clicked.
    if (slot2)
        keys::clickCheckBox(dlg.chkDrive2);
    if (slot3)
        keys::clickCheckBox(dlg.chkDrive3);
    if (!drives)
        keys::clickCheckBox(dlg.chkDriveCheck);
    if (!memory)
        keys::clickCheckBox(dlg.chkMemoryCheck);
    QCOMPARE(dlg.chkDriveCheck->isChecked(), drives);
    QCOMPARE(dlg.chkDrive2->isChecked(), slot2);
    QCOMPARE(dlg.chkDrive3->isChecked(), slot3);

    QCOMPARE(dlg.cmbDrive1->isEnabled(), slot1On);
    QCOMPARE(dlg.txtDrive1Avail->isEnabled(), slot1On);
    QCOMPARE(dlg.chkDrive2->isEnabled(), slot1On);
    QCOMPARE(dlg.chkDrive3->isEnabled(), slot1On);
    QCOMPARE(dlg.cmbDrive2->isEnabled(), slot2On);
    QCOMPARE(dlg.txtDrive2Avail->isEnabled(), slot2On);
    QCOMPARE(dlg.cmbDrive3->isEnabled(), slot3On);
    QCOMPARE(dlg.txtDrive3Avail->isEnabled(), slot3On);
    QCOMPARE(dlg.txtMemoryAvail->isEnabled(), memoryOn);
    QCOMPARE(dlg.txtSwapAvail->isEnabled(), memoryOn);
    QVERIFY(dlg.lstServiceList->isEnabled());
    QVERIFY(dlg.cmdAllCheck->isEnabled());
}

void tst_frmCheckConfig::numberBoxesTakeDigitsOnly_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("after");

    QTest::newRow("ninth digit pushes out the first") << "txtDrive1Avail"
                                                      << "12345678"
                                                      << "9"
                                                      << "23456789";
    QTest::newRow("fifth digit in a memory box") << "txtSwapAvail"
                                                 << "1234"
                                                 << "56"
                                                 << "3456";
    QTest::newRow("digits within the limit") << "txtMemoryAvail"
                                             << "0"
                                             << "12"
                                             << "012";
    QTest::newRow("letter") << "txtDrive3Avail"
                            << "500"
                            << "a"
                            << "500";
    QTest::newRow("minus") << "txtDrive1Avail"
                           << "500"
                           << "-"
                           << "500";
    QTest::newRow("dot") << "txtMemoryAvail"
                         << "10"
                         << "."
                         << "10";
    QTest::newRow("blank") << "txtSwapAvail"
                           << "200"
                           << " "
                           << "200";
    QTest::newRow("full-width digit") << "txtDrive1Avail"
                                      << "500"
                                      << "５"
                                      << "500";
    QTest::newRow("backspace") << "txtDrive1Avail"
                               << "500"
                               << "\b"
                               << "50";
}

void tst_frmCheckConfig::numberBoxesTakeDigitsOnly() {
    QFETCH(QString, box);
    QFETCH(QString, before);
    QFETCH(QString, keys);
    QFETCH(QString, after);
    fakes::Environment env;
    frmCheckConfig dlg;
    keys::clickCheckBox(dlg.chkDrive3);
    showDialog(dlg);
    auto* edit = dlg.findChild<QLineEdit*>(box);
    QVERIFY(edit);
    edit->setText(before);
    if (keys == "\b") {
        edit->setFocus();
        edit->end(false);
        QTest::keyClick(edit, Qt::Key_Backspace);
    } else {
        typeAtEnd(edit, keys);
    }
    QCOMPARE(edit->text(), after);

    // Nothing can be pasted with the keyboard either.
    QGuiApplication::clipboard()->setText(QStringLiteral("77"));
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(edit->text(), after);
}

void tst_frmCheckConfig::emptiedBoxKeepsItsField() {
    fakes::Environment env;
    writeCheckIni(env, {1, 1, 0, 2, 3, 4, 500, 750, 500, 1, 0, 200});
    frmCheckConfig dlg;
    showDialog(dlg);
    dlg.txtDrive2Avail->setFocus();
    dlg.txtDrive2Avail->selectAll();
    QTest::keyClick(dlg.txtDrive2Avail, Qt::Key_Backspace);
    QCOMPARE(dlg.txtDrive2Avail->text(), QString());

    QTest::mouseClick(dlg.cmdOK, Qt::LeftButton);
    QCOMPARE(Settings.driveLimitMB2, 750);
    QCOMPARE(fileLines(env, kCheckIni).at(7), QStringLiteral(" 750 "));
}

void tst_frmCheckConfig::keepsFirst201CheckedServices() {
    fakes::Environment env;
    QStringList services;
    for (int i = 1; i <= 205; ++i)
        services.append(QStringLiteral("   Service %1").arg(i, 3, 10, QLatin1Char('0')));
    env.command.listing = fakes::listingOf(services);
    frmCheckConfig dlg;
    showDialog(dlg);
    QTest::mouseClick(dlg.cmdAllCheck, Qt::LeftButton);
    QTest::mouseClick(dlg.cmdOK, Qt::LeftButton);

    QCOMPARE(Settings.watchServiceCount, 201);
    QCOMPARE(Settings.watchServices[200], QStringLiteral("   Service 201"));
    QCOMPARE(fileLines(env, kCheckIni).mid(12), services.mid(0, 201));
}

void tst_frmCheckConfig::watchedNamesMerge_data() {
    QTest::addColumn<QStringList>("watched");
    QTest::addColumn<QStringList>("expectedEntries");
    QTest::addColumn<QStringList>("expectedChecked");

    QTest::newRow("captured names are checked in place")
        << QStringList{"   Gamma", "   Alpha"} << kCaptured << QStringList{"   Alpha", "   Gamma"};
    QTest::newRow("a missing name stands at the top")
        << QStringList{"   Delta"} << QStringList{"   Delta"} + kCaptured
        << QStringList{"   Delta"};
    QTest::newRow("two missing names in reverse order")
        << QStringList{"   Delta", "   Omega"} << QStringList{"   Omega", "   Delta"} + kCaptured
        << QStringList{"   Omega", "   Delta"};
    // Only an equal text marks an entry; a part of one or another indentation
    // does not.
    QTest::newRow("a part of an entry is not that entry")
        << QStringList{"   Alph"} << QStringList{"   Alph"} + kCaptured << QStringList{"   Alph"};
    QTest::newRow("indentation counts")
        << QStringList{"Beta"} << QStringList{"Beta"} + kCaptured << QStringList{"Beta"};
}

void tst_frmCheckConfig::watchedNamesMerge() {
    QFETCH(QStringList, watched);
    QFETCH(QStringList, expectedEntries);
    QFETCH(QStringList, expectedChecked);
    fakes::Environment env;
    env.command.listing = fakes::listingOf(kCaptured);
    writeCheckIni(env, {1, 0, 0, 2, 3, 4, 500, 500, 500, 1, 0, 200}, watched);
    frmCheckConfig dlg;

    QCOMPARE(entries(dlg.lstServiceList), expectedEntries);
    QCOMPARE(checkedEntries(dlg.lstServiceList), expectedChecked);
    // Opening and saving never adds a name the operator did not pick.
    QTest::mouseClick(dlg.cmdOK, Qt::LeftButton);
    QCOMPARE(Settings.watchServiceCount, watched.size());
}

void tst_frmCheckConfig::uncheckingAndOkRemovesName() {
    fakes::Environment env;
    env.command.listing = fakes::listingOf(kCaptured);
    writeCheckIni(env, {1, 0, 0, 2, 3, 4, 500, 500, 500, 1, 0, 200},
                  {QStringLiteral("   Alpha"), QStringLiteral("   Beta")});
    frmCheckConfig dlg;
    showDialog(dlg);
    toggleEntry(dlg.lstServiceList, 0);
    QVERIFY(dlg.cmdApply->isEnabled());
    QTest::mouseClick(dlg.cmdOK, Qt::LeftButton);

    QCOMPARE(Settings.watchServiceCount, 1);
    QCOMPARE(Settings.watchServices[0], QStringLiteral("   Beta"));
    QVERIFY(Settings.watchServices[1].isEmpty());
    QCOMPARE(fileLines(env, kCheckIni).mid(12), QStringList{QStringLiteral("   Beta")});
}

void tst_frmCheckConfig::unwritableFileIsReportedAndOkStays() {
    fakes::Environment env;
    // A folder where the file must go: nothing can be written there.
    QVERIFY(QDir(env.folder.path()).mkdir(kCheckIni));
    frmCheckConfig dlg;
    showDialog(dlg);
    typeAtEnd(dlg.txtSwapAvail, QStringLiteral("1"));

    QTest::mouseClick(dlg.cmdOK, Qt::LeftButton);
    QVERIFY(dlg.isVisible());
    QCOMPARE(env.messageBox.shown.size(), 1);
    QCOMPARE(env.messageBox.shown[0].title, QStringLiteral("エラー"));
    QCOMPARE(env.messageBox.shown[0].style, 0);
    QVERIFY(env.messageBox.shown[0].text.contains(env.folder.file(kCheckIni)));
    QCOMPARE(Settings.swapLimitMB, 2001);

    QTest::mouseClick(dlg.cmdApply, Qt::LeftButton);
    QCOMPARE(env.messageBox.shown.size(), 2);
}

void tst_frmCheckConfig::loadFaultIsReportedThenShown() {
    fakes::Environment env;
    env.folder.write(kCheckIni, " 0 \r\n 1 \r\n 1 \r\n 9 \r\nfive\r\n");
    frmCheckConfig dlg;

    QCOMPARE(env.messageBox.shown.size(), 1);
    const auto& box = env.messageBox.shown[0];
    QCOMPARE(box.title, QStringLiteral("エラー"));
    QCOMPARE(box.style, 0);
    QVERIFY(box.text.contains(kCheckIni));
    QVERIFY(box.text.contains(QStringLiteral("5")));
    // What was read before the fault is shown.
    QVERIFY(!dlg.chkDriveCheck->isChecked());
    QVERIFY(dlg.chkDrive2->isChecked());
    QVERIFY(dlg.chkDrive3->isChecked());
    QCOMPARE(dlg.cmbDrive1->currentText(), QStringLiteral("J:"));
}

void tst_frmCheckConfig::loadFaultIsRaisedAtStartUp() {
    fakes::Environment env;
    env.folder.write(kCheckIni, " 1 \r\n");
    bool raised = false;
    try {
        frmCheckConfig dlg(frmCheckConfig::LoadFaults::Raise);
    } catch (const API::LoadError& error) {
        raised = true;
        QCOMPARE(error.file, kCheckIni);
        QCOMPARE(error.line, 2);
    }
    QVERIFY(raised);
    QVERIFY(env.messageBox.shown.isEmpty());
    QVERIFY(!frmCheckConfig::exists());
}

QTEST_MAIN(tst_frmCheckConfig)
#include "tst_frmCheckConfig.moc"
