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

int rangeMessages(const fakes::Environment& env) {
    return int(std::count_if(env.messageBox.shown.begin(), env.messageBox.shown.end(),
                             [](const auto& box) { return box.text == kRangeMessage; }));
}

} // namespace

class tst_frmSendTimeConfig : public QObject {
    Q_OBJECT
private slots:
    // Focus starts at "1時" and tabs through the hours as shown, then the minute.
    // Hours rise downwards in a column of six, columns left to right; "24時" last.
    void hourBoxes() {
        fakes::Environment env;
        frmSendTimeConfig dlg;
        QVERIFY(keys::showAndWait(&dlg));
        QApplication::setActiveWindow(&dlg);
        QTRY_COMPARE(QApplication::focusWidget(), dlg.chkTime[1]);
        for (int shown = 2; shown <= 24; ++shown) {
            const QWidget* above = QApplication::focusWidget();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            const QCheckBox* box = dlg.chkTime[shown % 24];
            QCOMPARE(QApplication::focusWidget(), box);
            QCOMPARE(box->text(), QStringLiteral("%1時").arg(shown));
            QVERIFY((shown - 1) % 6 ? box->x() == above->x() && box->y() > above->y()
                                    : box->x() > above->x() && box->y() == dlg.chkTime[1]->y());
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), dlg.txtSendMin);
    }

    void minute_data() {
        QTest::addColumn<QString>("stored"); // the minute beside 6時; null: no file
        // Typed into the minute box at the end of its text; after "^" at the start,
        // after "=" in place of it; after "!" pasted in place of it.
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("hour"); // the box clicked, then Apply; -1: OK
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("messages"); // before OK, which refuses the same minute

        QTest::newRow("defaults") << QString() << QString() << -1 << u"00"_s << 0;
        QTest::newRow("24時 is the first line") << QString() << QString() << 0 << u"00"_s << 0;
        QTest::newRow("23時 the last") << QString() << QString() << 23 << u"00"_s << 0;
        QTest::newRow("7 saved as it stands") << u"7"_s << QString() << -1 << u"7"_s << 0;
        QTest::newRow("above 59") << u"75"_s << QString() << -1 << u"75"_s << 1;
        QTest::newRow("three characters") << u"123"_s << QString() << -1 << u"23"_s << 0;
        QTest::newRow("05, 9 typed at the end") << u"05"_s << u"9"_s << -1 << u"59"_s << 0;
        QTest::newRow("05, 1 typed at the start") << u"05"_s << u"^1"_s << -1 << u"05"_s << 0;
        QTest::newRow("a letter, a full-width digit typed")
            << u"12"_s << u"a５"_s << -1 << u"12"_s << 0;
        QTest::newRow("6 then 0 typed") << QString() << u"=60"_s << -1 << u"60"_s << 1;
        // An emptied box gets its message only from OK, which puts the focus there.
        QTest::newRow("both digits deleted") << QString() << u"="_s << -1 << QString() << 0;
        QTest::newRow("non-digits pasted") << QString() << u"!5x"_s << -1 << u"5x"_s << 1;
    }

    void minute() {
        QFETCH(QString, stored);
        QFETCH(QString, typed);
        QFETCH(int, hour);
        QFETCH(QString, shown);
        QFETCH(int, messages);
        fakes::Environment env;
        QStringList lines(24, u" 0 "_s);
        if (!stored.isNull()) {
            lines[6] = u" 1 "_s;
            env.folder.write(kSendTimeIni, fakes::crlf(lines + QStringList{stored}));
        }
        frmSendTimeConfig dlg;
        QVERIFY(keys::showAndWait(&dlg) && !dlg.cmdApply->isEnabled());
        QApplication::setActiveWindow(&dlg);
        dlg.txtSendMin->setFocus();
        if (typed.startsWith(u'=')) {
            keys::replaceText(dlg.txtSendMin, typed.mid(1));
        } else if (typed.startsWith(u'!')) {
            dlg.txtSendMin->selectAll();
            dlg.txtSendMin->insert(typed.mid(1));
        } else {
            if (typed.startsWith(u'^'))
                dlg.txtSendMin->setCursorPosition(0);
            keys::typeText(dlg.txtSendMin, typed.remove(u'^'));
        }
        QCOMPARE(dlg.txtSendMin->text(), shown);
        QCOMPARE(rangeMessages(env), messages);
        // Each message about the text in the box selects it.
        QCOMPARE(dlg.txtSendMin->selectedText(), messages ? shown : QString());
        const bool refused = messages > 0 || shown.isEmpty();
        if (hour < 0) {
            dlg.cmdOK->setFocus();
            QTest::mouseClick(dlg.cmdOK, Qt::LeftButton);
            QCOMPARE(dlg.isVisible(), refused);
        } else {
            keys::clickCheckBox(dlg.chkTime[hour]);
            QVERIFY(dlg.cmdApply->isEnabled());
            QTest::mouseClick(dlg.cmdApply, Qt::LeftButton);
            QVERIFY(!dlg.cmdApply->isEnabled());
            lines[hour] = u" 1 "_s;
        }
        if (refused) {
            QCOMPARE(rangeMessages(env), messages + 1);
            QCOMPARE(dlg.txtSendMin->selectedText(), shown);
            if (shown.isEmpty())
                QCOMPARE(QApplication::focusWidget(), dlg.txtSendMin);
            // Apply refuses the same way but disables itself all the same.
            dlg.cmdApply_Click();
            QCOMPARE(rangeMessages(env), messages + 2);
            QVERIFY(!dlg.cmdApply->isEnabled());
        }
        QCOMPARE(env.folder.lines(kSendTimeIni),
                 refused && stored.isNull() ? QStringList() : lines << (refused ? stored : shown));
    }
};

QTEST_MAIN(tst_frmSendTimeConfig)
#include "tst_frmSendTimeConfig.moc"
