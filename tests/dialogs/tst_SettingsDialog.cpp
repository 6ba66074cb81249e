// What the three settings dialogs share, each opened by its button of the main
// window: their file failing to load or to be written, and Esc and Cancel.

#include "app/frmMain.h"
#include "dialogs/frmCheckConfig.h"
#include "dialogs/frmSendTimeConfig.h"
#include "dialogs/frmSmtpConfig.h"
#include "settings/variables.h"
#include "support/Fakes.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace Qt::StringLiterals;

class tst_SettingsDialog : public QObject {
    Q_OBJECT
private slots:
    void settingsFileFaults_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("lines"); // empty: a folder stands where the file goes
        QTest::addColumn<int>("faultyLine");
        // "objectName.property=value" of controls that show what was read before the fault.
        QTest::addColumn<QStringList>("shown");

        QTest::newRow("check.ini cannot be read")
            << u"check.ini"_s << QStringList{" 0 ", " 1 ", " 1 ", " 9 ", "five"} << 5
            << QStringList{"chkDriveCheck.checked=false", "chkDrive3.checked=true",
                           "cmbDrive1.currentText=J:"};
        QTest::newRow("smtp.ini cannot be read")
            << u"smtp.ini"_s << QStringList{"mail.example", "a@b", "c@d", "Daily", "yes"} << 5
            << QStringList{"txtSmtpServer.text=mail.example", "txtSubject.text=Daily"};
        // The minute comes from the record, which the failed load left alone.
        QTest::newRow("sendtime.ini cannot be read")
            << u"sendtime.ini"_s << QStringList{" 0 ", " 1 ", " 0 ", " 1 ", " 0 "} << 6
            << QStringList{"chkTime1.checked=true", "chkTime2.checked=false",
                           "chkTime3.checked=true", "txtSendMin.text=15"};
        for (const QString& file : {u"check.ini"_s, u"smtp.ini"_s, u"sendtime.ini"_s})
            QTest::newRow(qPrintable(file + u" cannot be written"_s))
                << file << QStringList{} << 0 << QStringList{};
    }

    void settingsFileFaults() {
        QFETCH(QString, file);
        QFETCH(QStringList, lines);
        QFETCH(int, faultyLine);
        QFETCH(QStringList, shown);
        fakes::Environment env;
        Settings.sendMinute = u"15"_s;
        if (lines.isEmpty())
            QVERIFY(QDir(env.folder.path()).mkdir(file));
        else
            env.folder.write(file, fakes::crlf(lines));
        frmMain window;
        QPushButton* button = file == u"check.ini"_s  ? window.cmdCheckConfig
                              : file == u"smtp.ini"_s ? window.cmdSmtpConfig
                                                      : window.cmdSendTime;

        // Read while the dialog is open; it is closed with Cancel whatever it showed.
        QStringList seen;
        bool openAfterOk = false;
        bool openAfterEsc = false;
        bool recordKept = true;
        QTimer::singleShot(0, this, [&] {
            auto* dlg = dynamic_cast<SettingsDialog*>(QApplication::activeModalWidget());
            if (!dlg)
                return;
            for (const QString& probe : shown) {
                const QStringList part = probe.split(QRegularExpression(u"[.=]"_s));
                const QVariant value =
                    dlg->findChild<QWidget*>(part[0])->property(qPrintable(part[1]));
                seen.append(part[0] + u'.' + part[1] + u'=' + value.toString());
            }
            if (faultyLine == 0) {
                // What was not saved does not take effect either.
                const SettingsRecord before = Settings;
                QTest::mouseClick(dlg->cmdOK, Qt::LeftButton);
                openAfterOk = dlg->isVisible();
                recordKept = Settings == before;
            }
            QTest::keyClick(dlg, Qt::Key_Escape);
            openAfterEsc = dlg->isVisible();
            QTest::mouseClick(dlg->cmdCancel, Qt::LeftButton);
        });
        button->click();

        QVERIFY(!frmCheckConfig::exists() && !frmSmtpConfig::exists() &&
                !frmSendTimeConfig::exists());
        QCOMPARE(seen, shown);
        QCOMPARE(openAfterOk, faultyLine == 0);
        QVERIFY(recordKept);
        QVERIFY(openAfterEsc);
        QCOMPARE(env.messageBox.shown.size(), 1);
        const auto box = env.messageBox.shown[0];
        QVERIFY(box.title == u"エラー"_s && box.style == 0);
        QVERIFY(box.text.contains(faultyLine ? file : env.folder.file(file)));
        if (faultyLine)
            QVERIFY(box.text.contains(QString::number(faultyLine)));
        // Cancel saved nothing.
        QCOMPARE(env.folder.lines(file), lines);
    }
};

QTEST_MAIN(tst_SettingsDialog)
#include "tst_SettingsDialog.moc"
