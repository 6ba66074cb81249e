#include "app/API.h"
#include "app/variables.h"
#include "dialogs/frmSendTimeConfig.h"
#include "support/Fakes.h"
#include "support/KeyInput.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

const QString kSendTimeIni = QStringLiteral("sendtime.ini");

const QString kRangeMessage = u"送信する\"分\"の指定には、00～59の間で指定してください。"_s;

// How many times the minute's range message has been shown, as an error box.
int rangeMessages(const fakes::Environment& env) {
    int count = 0;
    for (const auto& box : env.messageBox.shown)
        count += box.text == kRangeMessage && box.title == u"Error"_s && box.style == 0;
    return count;
}

} // namespace

class tst_frmSendTimeConfig : public QObject {
    Q_OBJECT
private slots:
    void hourBoxesInFourColumnsOfSix();
    void minuteTyping_data();
    void minuteTyping();
    void refusedMinute_data();
    void refusedMinute();
    void hourBoxWritesItsLine_data();
    void hourBoxWritesItsLine();
    void storedMinuteCheckedOnOpening_data();
    void storedMinuteCheckedOnOpening();
};

void tst_frmSendTimeConfig::hourBoxesInFourColumnsOfSix() {
    fakes::Environment env;
    frmSendTimeConfig dlg;
    QVERIFY(keys::showAndWait(&dlg));
    // Hours rise downwards in a column; the next column starts at the top.
    for (int shown = 1; shown <= 24; ++shown) {
        const QCheckBox* box = dlg.chkTime[shown % 24];
        QCOMPARE(box->text(), QStringLiteral("%1時").arg(shown));
        QCOMPARE(box->x(), dlg.chkTime[((shown - 1) / 6 * 6 + 1) % 24]->x());
        QCOMPARE(box->y(), dlg.chkTime[(shown - 1) % 6 + 1]->y());
        if ((shown - 1) % 6 > 0)
            QVERIFY(box->y() > dlg.chkTime[shown - 1]->y());
    }
    QVERIFY(dlg.chkTime[0]->x() > dlg.chkTime[18]->x());
}

void tst_frmSendTimeConfig::minuteTyping_data() {
    QTest::addColumn<QString>("before"); // "|" marks the caret; none: at the end
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("after");
    QTest::addColumn<int>("messages"); // each selects the two characters

    QTest::newRow("7 into an empty box") << u""_s << u"7"_s << u"7"_s << 0;
    QTest::newRow("05, caret at the end, 9") << u"05"_s << u"9"_s << u"59"_s << 0;
    QTest::newRow("05, caret at the start, 1") << u"|05"_s << u"1"_s << u"05"_s << 0;
    QTest::newRow("6 then 0") << u""_s << u"60"_s << u"60"_s << 1;
    QTest::newRow("letter") << u"12"_s << u"a"_s << u"12"_s << 0;
    QTest::newRow("minus") << u"12"_s << u"-"_s << u"12"_s << 0;
    QTest::newRow("dot") << u"1"_s << u"."_s << u"1"_s << 0;
    QTest::newRow("blank") << u"1"_s << u" "_s << u"1"_s << 0;
    QTest::newRow("full-width digit") << u"1"_s << u"５"_s << u"1"_s << 0;
}

void tst_frmSendTimeConfig::minuteTyping() {
    QFETCH(QString, before);
    QFETCH(QString, typed);
    QFETCH(QString, after);
    QFETCH(int, messages);
    fakes::Environment env;
    frmSendTimeConfig dlg;
    QVERIFY(keys::showAndWait(&dlg));
    const int caret = int(before.indexOf(u'|'));
    dlg.txtSendMin->setText(before.remove(u'|'));
    dlg.txtSendMin->setFocus();
    dlg.txtSendMin->setCursorPosition(caret < 0 ? int(before.size()) : caret);
    keys::typeText(dlg.txtSendMin, typed);

    QCOMPARE(dlg.txtSendMin->text(), after);
    QCOMPARE(rangeMessages(env), messages);
    QCOMPARE(env.messageBox.shown.size(), messages);
    QCOMPARE(dlg.txtSendMin->selectedText(), messages ? after : QString());
    if (after == u"7"_s) {
        // Saved exactly as typed, and shown so at the next opening.
        QTest::mouseClick(dlg.cmdOK, Qt::LeftButton);
        QCOMPARE(env.folder.lines(kSendTimeIni).last(), after);
        QCOMPARE(frmSendTimeConfig().txtSendMin->text(), after);
    }
}

void tst_frmSendTimeConfig::refusedMinute_data() {
    QTest::addColumn<QString>("text"); // holding an "x", which no key types: pasted
    QTest::newRow("60 typed") << u"60"_s;
    QTest::newRow("both digits deleted") << u""_s;
    QTest::newRow("non-digits pasted") << u"5x"_s;
}

void tst_frmSendTimeConfig::refusedMinute() {
    QFETCH(QString, text);
    // Each message about the text in the box selects it; an empty box gets none.
    const int messagesBeforeOk = text.isEmpty() ? 0 : 1;
    fakes::Environment env;
    frmSendTimeConfig dlg;
    QVERIFY(keys::showAndWait(&dlg));
    QApplication::setActiveWindow(&dlg);
    dlg.txtSendMin->selectAll();
    if (text.contains(u'x'))
        dlg.txtSendMin->insert(text);
    else
        keys::replaceText(dlg.txtSendMin, text);
    QCOMPARE(rangeMessages(env), messagesBeforeOk);
    dlg.cmdOK->setFocus();

    QTest::mouseClick(dlg.cmdOK, Qt::LeftButton);
    QCOMPARE(rangeMessages(env), messagesBeforeOk + 1);
    QVERIFY(dlg.isVisible());
    QCOMPARE(dlg.txtSendMin->selectedText(), text);
    if (text.isEmpty())
        QCOMPARE(QApplication::focusWidget(), dlg.txtSendMin);
    // Apply refuses the same way but disables itself all the same.
    dlg.cmdApply_Click();
    QCOMPARE(rangeMessages(env), messagesBeforeOk + 2);
    QVERIFY(!dlg.cmdApply->isEnabled() && !env.folder.has(kSendTimeIni));
}

void tst_frmSendTimeConfig::hourBoxWritesItsLine_data() {
    QTest::addColumn<int>("index"); // -1: none, and Return stands for OK
    QTest::newRow("defaults") << -1;
    QTest::newRow("24時 is the first line") << 0;
    QTest::newRow("1時") << 1;
    QTest::newRow("23時") << 23;
}

void tst_frmSendTimeConfig::hourBoxWritesItsLine() {
    QFETCH(int, index);
    fakes::Environment env;
    frmSendTimeConfig dlg;
    QVERIFY(keys::showAndWait(&dlg) && !dlg.cmdApply->isEnabled());
    QStringList expected(24, u" 0 "_s);
    if (index < 0) {
        QTest::keyClick(dlg.txtSendMin, Qt::Key_Return);
        QVERIFY(!dlg.isVisible());
    } else {
        keys::clickCheckBox(dlg.chkTime[index]);
        QVERIFY(dlg.cmdApply->isEnabled());
        QTest::mouseClick(dlg.cmdApply, Qt::LeftButton);
        QVERIFY(!dlg.cmdApply->isEnabled());
        expected[index] = u" 1 "_s;
    }
    QCOMPARE(env.folder.lines(kSendTimeIni), expected << u"00"_s);
}

void tst_frmSendTimeConfig::storedMinuteCheckedOnOpening_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("messages");

    QTest::newRow("in range") << u"30"_s << u"30"_s << 0;
    QTest::newRow("above 59") << u"75"_s << u"75"_s << 1;
    QTest::newRow("three characters") << u"123"_s << u"23"_s << 0;
}

void tst_frmSendTimeConfig::storedMinuteCheckedOnOpening() {
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    QFETCH(int, messages);
    fakes::Environment env;
    QStringList lines(24, u" 0 "_s);
    lines[6] = u" 1 "_s;
    env.folder.write(kSendTimeIni, fakes::crlf(lines << stored));
    frmSendTimeConfig dlg;
    QCOMPARE(dlg.txtSendMin->text(), shown);
    QCOMPARE(rangeMessages(env), messages);
    QVERIFY(dlg.chkTime[6]->isChecked());
    QVERIFY(!dlg.cmdApply->isEnabled());
}

QTEST_MAIN(tst_frmSendTimeConfig)
#include "tst_frmSendTimeConfig.moc"
