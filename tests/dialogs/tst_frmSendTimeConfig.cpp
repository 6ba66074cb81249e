#include "app/API.h"
#include "app/variables.h"
#include "dialogs/frmSendTimeConfig.h"
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

const QString kSendTimeIni = QStringLiteral("sendtime.ini");
const QString kRangeMessage =
    QStringLiteral("送信する\"分\"の指定には、00～59の間で指定してください。");

void writeSendTimeIni(const fakes::Environment& env, const QList<int>& hours,
                      const QString& minute) {
    QStringList lines;
    for (int h : hours)
        lines.append(API::FormatNumberLine(h));
    if (!minute.isNull())
        lines.append(minute);
    env.folder.write(kSendTimeIni,
                     (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8());
}

QStringList fileLines(const fakes::Environment& env) {
    return platform::splitLines(QString::fromUtf8(env.folder.read(kSendTimeIni)));
}

void showDialog(QDialog& dialog) {
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
}

int rangeMessages(const fakes::Environment& env) {
    int count = 0;
    for (const auto& box : env.messageBox.shown) {
        if (box.text == kRangeMessage && box.title == QStringLiteral("Error") && box.style == 0)
            ++count;
    }
    return count;
}

} // namespace

class tst_frmSendTimeConfig : public QObject {
    Q_OBJECT
private slots:
    void defaultsSavedByOk();
    void hourBoxesInFourColumnsOfSix();
    void minuteTyping_data();
    void minuteTyping();
    void singleDigitSavedAsTyped();
    void outOfRangeMinuteRefusedOnOk();
    void emptiedMinuteRefusedOnOk();
    void pastedMinuteRefused();
    void hourBoxWritesItsLine_data();
    void hourBoxWritesItsLine();
    void storedMinuteCheckedOnOpening_data();
    void storedMinuteCheckedOnOpening();
    void unwritableFileIsReportedAndOkStays();
    void loadFaultIsReportedThenShown();
};

void tst_frmSendTimeConfig::defaultsSavedByOk() {
    fakes::Environment env;
    frmSendTimeConfig dlg;
    showDialog(dlg);
    for (QCheckBox* box : dlg.chkTime)
        QVERIFY(!box->isChecked());
    QCOMPARE(dlg.txtSendMin->text(), QStringLiteral("00"));
    QVERIFY(!dlg.cmdApply->isEnabled());

    QTest::keyClick(dlg.txtSendMin, Qt::Key_Return);
    QVERIFY(!dlg.isVisible());
    QStringList expected(24, QStringLiteral(" 0 "));
    expected.append(QStringLiteral("00"));
    QCOMPARE(fileLines(env), expected);
}

void tst_frmSendTimeConfig::hourBoxesInFourColumnsOfSix() {
    fakes::Environment env;
    frmSendTimeConfig dlg;
    showDialog(dlg);
    QCOMPARE(dlg.chkTime[0]->text(), QStringLiteral("24時"));
    QCOMPARE(dlg.chkTime[13]->text(), QStringLiteral("13時"));
    // Hours rise downwards in a column; the next column starts at the top.
    for (int shown = 1; shown <= 24; ++shown) {
        const QCheckBox* box = dlg.chkTime[shown % 24];
        const QCheckBox* columnTop = dlg.chkTime[((shown - 1) / 6 * 6 + 1) % 24];
        const QCheckBox* firstColumn = dlg.chkTime[(shown - 1) % 6 + 1];
        QCOMPARE(box->x(), columnTop->x());
        QCOMPARE(box->y(), firstColumn->y());
        if ((shown - 1) % 6 > 0)
            QVERIFY(box->y() > dlg.chkTime[shown - 1]->y());
    }
    QVERIFY(dlg.chkTime[0]->x() > dlg.chkTime[18]->x());
}

void tst_frmSendTimeConfig::minuteTyping_data() {
    QTest::addColumn<QString>("before");
    QTest::addColumn<bool>("caretAtStart");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("after");
    QTest::addColumn<int>("messages");
    QTest::addColumn<QString>("selected");

    QTest::newRow("7 into an empty box") << "" << false << "7"
                                         << "7" << 0 << "";
    QTest::newRow("05, caret at the end, 9") << "05" << false << "9"
                                             << "59" << 0 << "";
    QTest::newRow("05, caret at the start, 1") << "05" << true << "1"
                                               << "05" << 0 << "";
    QTest::newRow("6 then 0") << "" << false << "60"
                              << "60" << 1 << "60";
    QTest::newRow("letter") << "12" << false << "a"
                            << "12" << 0 << "";
    QTest::newRow("minus") << "12" << false << "-"
                           << "12" << 0 << "";
    QTest::newRow("dot") << "1" << false << "."
                         << "1" << 0 << "";
    QTest::newRow("blank") << "1" << false << " "
                           << "1" << 0 << "";
    QTest::newRow("full-width digit") << "1" << false << "５"
                                      << "1" << 0 << "";
}

void tst_frmSendTimeConfig::minuteTyping() {
    QFETCH(QString, before);
    QFETCH(bool, caretAtStart);
    QFETCH(QString, typed);
    QFETCH(QString, after);
    QFETCH(int, messages);
    QFETCH(QString, selected);
    fakes::Environment env;
    frmSendTimeConfig dlg;
    showDialog(dlg);
    dlg.txtSendMin->setText(before);
    dlg.txtSendMin->setFocus();
    dlg.txtSendMin->setCursorPosition(caretAtStart ? 0 : int(before.size()));
    keys::typeText(dlg.txtSendMin, typed);

    QCOMPARE(dlg.txtSendMin->text(), after);
    QCOMPARE(rangeMessages(env), messages);
    QCOMPARE(env.messageBox.shown.size(), messages);
    QCOMPARE(dlg.txtSendMin->selectedText(), selected);
}

void tst_frmSendTimeConfig::singleDigitSavedAsTyped() {
    fakes::Environment env;
    {
        frmSendTimeConfig dlg;
        showDialog(dlg);
        dlg.txtSendMin->setFocus();
        dlg.txtSendMin->selectAll();
        keys::typeText(dlg.txtSendMin, QStringLiteral("7"));
        QTest::mouseClick(dlg.cmdOK, Qt::LeftButton);
        QVERIFY(!dlg.isVisible());
    }
    QCOMPARE(Settings.sendMinute, QStringLiteral("7"));
    QCOMPARE(fileLines(env).last(), QStringLiteral("7"));
    frmSendTimeConfig again;
    QCOMPARE(again.txtSendMin->text(), QStringLiteral("7"));
}

void tst_frmSendTimeConfig::outOfRangeMinuteRefusedOnOk() {
    fakes::Environment env;
    frmSendTimeConfig dlg;
    showDialog(dlg);
    dlg.txtSendMin->setFocus();
    dlg.txtSendMin->selectAll();
    keys::typeText(dlg.txtSendMin, QStringLiteral("60"));
    QCOMPARE(rangeMessages(env), 1);
    dlg.txtSendMin->deselect();

    QTest::mouseClick(dlg.cmdOK, Qt::LeftButton);
    QCOMPARE(rangeMessages(env), 2);
    QVERIFY(dlg.isVisible());
    QCOMPARE(dlg.txtSendMin->selectedText(), QStringLiteral("60"));
    QVERIFY(!env.folder.has(kSendTimeIni));
    QVERIFY(Settings.sendMinute.isEmpty());

    // Apply refuses the same way but disables itself all the same.
    QTest::mouseClick(dlg.cmdApply, Qt::LeftButton);
    QCOMPARE(rangeMessages(env), 3);
    QVERIFY(!dlg.cmdApply->isEnabled());
    QVERIFY(!env.folder.has(kSendTimeIni));
}

void tst_frmSendTimeConfig::emptiedMinuteRefusedOnOk() {
    fakes::Environment env;
    frmSendTimeConfig dlg;
    showDialog(dlg);
    QApplication::setActiveWindow(&dlg);
    dlg.txtSendMin->setFocus();
    dlg.txtSendMin->end(false);
    QTest::keyClick(dlg.txtSendMin, Qt::Key_Backspace);
    QTest::keyClick(dlg.txtSendMin, Qt::Key_Backspace);
    QCOMPARE(dlg.txtSendMin->text(), QString());
    QVERIFY(env.messageBox.shown.isEmpty());

    dlg.cmdOK->setFocus();
    QTest::mouseClick(dlg.cmdOK, Qt::LeftButton);
    QCOMPARE(rangeMessages(env), 1);
    QVERIFY(dlg.isVisible());
    QCOMPARE(QApplication::focusWidget(), dlg.txtSendMin);
    QVERIFY(!env.folder.has(kSendTimeIni));
}

void tst_frmSendTimeConfig::pastedMinuteRefused() {
    fakes::Environment env;
    frmSendTimeConfig dlg;
    showDialog(dlg);
    // A paste through the context menu does not pass the key filter.
    dlg.txtSendMin->selectAll();
    dlg.txtSendMin->insert(QStringLiteral("5x"));
    QCOMPARE(rangeMessages(env), 1);
    QTest::mouseClick(dlg.cmdOK, Qt::LeftButton);
    QCOMPARE(rangeMessages(env), 2);
    QVERIFY(dlg.isVisible());
    QVERIFY(!env.folder.has(kSendTimeIni));
}

void tst_frmSendTimeConfig::hourBoxWritesItsLine_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("caption");

    QTest::newRow("midnight") << 0 << "24時";
    QTest::newRow("one o'clock") << 1 << "1時";
    QTest::newRow("noon") << 12 << "12時";
    QTest::newRow("last hour") << 23 << "23時";
}

void tst_frmSendTimeConfig::hourBoxWritesItsLine() {
    QFETCH(int, index);
    QFETCH(QString, caption);
    fakes::Environment env;
    frmSendTimeConfig dlg;
    showDialog(dlg);
    QCheckBox* box = dlg.chkTime[index];
    QCOMPARE(box->text(), caption);
    keys::clickCheckBox(box);
    QVERIFY(dlg.cmdApply->isEnabled());
    QTest::mouseClick(dlg.cmdApply, Qt::LeftButton);
    QVERIFY(!dlg.cmdApply->isEnabled());

    const QStringList lines = fileLines(env);
    QCOMPARE(lines.size(), 25);
    for (int h = 0; h < 24; ++h) {
        QCOMPARE(lines[h], h == index ? QStringLiteral(" 1 ") : QStringLiteral(" 0 "));
        QCOMPARE(Settings.sendHours[h], std::int16_t(h == index ? 1 : 0));
    }
}

void tst_frmSendTimeConfig::storedMinuteCheckedOnOpening_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("messages");

    QTest::newRow("in range") << "30"
                              << "30" << 0;
    QTest::newRow("above 59") << "75"
                              << "75" << 1;
    QTest::newRow("three characters") << "123"
                                      << "23" << 0;
}

void tst_frmSendTimeConfig::storedMinuteCheckedOnOpening() {
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    QFETCH(int, messages);
    fakes::Environment env;
    QList<int> hours(24, 0);
    hours[6] = 1;
    writeSendTimeIni(env, hours, stored);
    frmSendTimeConfig dlg;
    QCOMPARE(dlg.txtSendMin->text(), shown);
    QCOMPARE(rangeMessages(env), messages);
    QVERIFY(dlg.chkTime[6]->isChecked());
    QVERIFY(!dlg.cmdApply->isEnabled());
}

void tst_frmSendTimeConfig::unwritableFileIsReportedAndOkStays() {
    fakes::Environment env;
    QVERIFY(QDir(env.folder.path()).mkdir(kSendTimeIni));
    frmSendTimeConfig dlg;
    showDialog(dlg);
    QTest::mouseClick(dlg.cmdOK, Qt::LeftButton);
    QVERIFY(dlg.isVisible());
    QCOMPARE(env.messageBox.shown.size(), 1);
    QCOMPARE(env.messageBox.shown[0].title, QStringLiteral("エラー"));
    QCOMPARE(env.messageBox.shown[0].style, 0);
    QVERIFY(env.messageBox.shown[0].text.contains(env.folder.file(kSendTimeIni)));
}

void tst_frmSendTimeConfig::loadFaultIsReportedThenShown() {
    fakes::Environment env;
    Settings.sendMinute = QStringLiteral("15");
    writeSendTimeIni(env, {0, 1, 0, 1, 0, 0, 0, 0, 0, 0}, QString());
    frmSendTimeConfig dlg;
    QCOMPARE(env.messageBox.shown.size(), 1);
    QCOMPARE(env.messageBox.shown[0].title, QStringLiteral("エラー"));
    QVERIFY(env.messageBox.shown[0].text.contains(kSendTimeIni));
    QVERIFY(env.messageBox.shown[0].text.contains(QStringLiteral("11")));
    QVERIFY(dlg.chkTime[1]->isChecked());
    QVERIFY(dlg.chkTime[3]->isChecked());
    QVERIFY(!dlg.chkTime[2]->isChecked());
    QCOMPARE(dlg.txtSendMin->text(), QStringLiteral("15"));
}

QTEST_MAIN(tst_frmSendTimeConfig)
#include "tst_frmSendTimeConfig.moc"
