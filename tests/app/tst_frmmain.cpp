// The main window: controls, menus, status bar, timer and start-up.

#include "app/frmMain.h"
#include "platform/SocketObject.h"
#include "settings/API.h"
#include "settings/variables.h"
#include "support/Fakes.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

namespace {

using fakes::crlf;

QByteArray checkIni(const QStringList& names = {}) {
    QStringList lines{" 1 ",   " 0 ",   " 0 ",   " 2 ", " 3 ", " 4 ",
                      " 500 ", " 500 ", " 500 ", " 1 ", " 0 ", " 200 "};
    return crlf(lines + names);
}

QByteArray smtpIni() {
    return crlf(
        {"127.0.0.1", "tolvane@localhost", "admin@localhost", "Status Tolvane", " 1 ", " 0 "});
}

QByteArray sendtimeIni(int lines = 25) {
    QStringList out;
    for (int h = 0; h < 24; ++h)
        out << (h == 9 ? " 1 " : " 0 ");
    out << "05";
    return crlf(out.mid(0, lines));
}

} // namespace

class TestFrmMain : public QObject {
    Q_OBJECT
private slots:
    void layout() {
        fakes::Environment env;
        frmMain window;
        const struct {
            QPushButton* button;
            const char* caption;
            int top;
        } buttons[] = {{window.cmdCheckConfig, "監視項目設定(&S)", 20},
                       {window.cmdSmtpConfig, "メール送信設定(&M)", 68},
                       {window.cmdSendTime, "送信時間設定(&T)", 116},
                       {window.cmdTestSend, "テスト送信(&E)", 164}};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(buttons[i].button->text(), QString::fromUtf8(buttons[i].caption));
            QCOMPARE(buttons[i].button->geometry(), QRect(36, buttons[i].top, 121, 33));
            if (i > 0) // tab order
                QCOMPARE(buttons[i - 1].button->nextInFocusChain(), buttons[i].button);
        }
        // The tray image box lies below the visible client area.
        QCOMPARE(window.centralWidget()->size(), QSize(186, 227));
        // The three menus fit the client width: the window is no wider.
        QVERIFY2(window.menuBar()->sizeHint().width() <= 186,
                 qPrintable(QString::number(window.menuBar()->sizeHint().width())));
        window.show();
        QCOMPARE(window.width(), 186);
        QCOMPARE(window.picTrayIcon->geometry(), QRect(80, 272, 25, 25));
        QCOMPARE(window.picTrayIcon->pixmap().size(), QSize(16, 16));
        QCOMPARE(window.windowIcon().availableSizes().value(0), QSize(32, 32));
        QCOMPARE(QFontInfo(window.font()).pointSize(), 9);
        QStringList menus;
        for (QAction* menu : window.menuBar()->actions())
            menus << menu->text() + ":" + menu->menu()->actions().value(0)->text();
        QCOMPARE(menus, (QStringList{"ファイル(&F):終了(&X)", "表示(&V):タスクトレイに入れる(&T)",
                                     "ヘルプ(&H):バージョン情報(&A)..."}));
        QVERIFY(window.timerSendTime->isActive());
        QCOMPARE(window.timerSendTime->interval(), 59900);
    }

    void versionBox() {
        fakes::Environment env;
        frmMain window;
        window.mnuVersion->trigger();
        QCOMPARE(env.messageBox.shown.size(), 1);
        const auto& box = env.messageBox.shown[0];
        QCOMPARE(box.title, "バージョン情報");
        QCOMPARE(box.style, 0);
        const QStringList lines = box.text.split('\n');
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines[0].contains("Tolvane") && lines[0].contains("2.0.0"));
        QCOMPARE(lines[1], "Velmora");
    }

    void statusBar() {
        fakes::Environment env;
        env.clock.set(9, 5);
        frmMain window;
        window.resize(window.sizeHint());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.StatusBarPanels[0]->text(), "時間");
        QCOMPARE(window.StatusBarPanels[1]->text(), "9:05");
        QCOMPARE(window.sendStatus(), "");
        // The panels share the bar in the proportion 970 : 1235 : 2611.
        const double total = window.StatusBarPanels[0]->width() +
                             window.StatusBarPanels[1]->width() +
                             window.StatusBarPanels[2]->width();
        QVERIFY(qAbs(window.StatusBarPanels[0]->width() / total - 970.0 / 4816) < 0.03);
        QVERIFY(qAbs(window.StatusBarPanels[2]->width() / total - 2611.0 / 4816) < 0.03);
        // The clock keeps itself current.
        env.clock.set(23, 59);
        QTRY_COMPARE_WITH_TIMEOUT(window.StatusBarPanels[1]->text(), QString("23:59"), 2500);
    }

    void startUpLoadsWhatExists() {
        fakes::Environment env;
        Settings.watchServices[0] = "   left over";
        frmMain window;
        window.Form_Load();
        QCOMPARE(Settings.watchServices[0], "");
        QCOMPARE(Settings.smtpServer, "");
        env.folder.write("check.ini", checkIni({"   ServiceA"}));
        env.folder.write("SMTP.INI", smtpIni());
        env.folder.write("sendtime.ini", sendtimeIni());
        window.Form_Load();
        QCOMPARE(Settings.driveLimitMB1, 500);
        QCOMPARE(Settings.watchServices[0], "   ServiceA");
        QCOMPARE(Settings.mailTo, "admin@localhost");
        QCOMPARE(Settings.sendHours[9], 1);
        QCOMPARE(Settings.sendMinute, "05");
        QCOMPARE(window.sendStatus(), "");
    }

    // The files load in the order check.ini, smtp.ini, sendtime.ini: a fault in
    // smtp.ini stops start-up after check.ini and before sendtime.ini.
    void startUpStopsAtMalformedFile() {
        fakes::Environment env;
        env.folder.write("check.ini", checkIni());
        env.folder.write("smtp.ini", crlf({"127.0.0.1", "a@b"}));
        env.folder.write("sendtime.ini", sendtimeIni());
        frmMain window;
        try {
            window.Form_Load();
            QFAIL("start-up accepted a malformed smtp.ini");
        } catch (const API::LoadError& e) {
            QCOMPARE(e.file, "smtp.ini");
            QCOMPARE(e.line, 3);
        }
        QCOMPARE(Settings.driveLimitMB1, 500);
        QCOMPARE(Settings.mailFrom, "a@b");
        QCOMPARE(Settings.sendMinute, "");
    }

    void startUpResetsSocket() {
        fakes::Environment env;
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        frmMain window;
        window.sckSend->RemoteHost = "127.0.0.1";
        window.sckSend->RemotePort = server.serverPort();
        window.sckSend->LocalPort = 0;
        window.sckSend->Connect();
        QTRY_VERIFY(server.hasPendingConnections());
        window.sckSend->LocalPort = 4711;
        window.Form_Load();
        QCOMPARE(window.sckSend->LocalPort, 0);
        QVERIFY(!window.sckSend->isOpen());
    }

    // The real program, started in a folder of its own with a sendtime.ini of
    // fewer than 25 lines, ends before showing its window and says why.
    void programEndsOnMalformedFile() {
        QTemporaryDir dir;
        const QString built = QCoreApplication::applicationDirPath();
        const QString executable = QStringLiteral("tolvane" TOLVANE_EXECUTABLE_SUFFIX);
        for (const QString& name :
             {executable, QStringLiteral("tolvane-services" TOLVANE_EXECUTABLE_SUFFIX)}) {
            if (QFile::exists(built + "/" + name))
                QVERIFY(QFile::copy(built + "/" + name, dir.filePath(name)));
        }
        QFile file(dir.filePath("sendtime.ini"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(sendtimeIni(20));
        file.close();
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        program.setProcessEnvironment(environment);
        program.start(dir.filePath(executable), {});
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QVERIFY(program.exitCode() != 0);
        // In the system code page, as a console there shows it.
        const QString errors = fakes::systemText(program.readAllStandardError());
        QVERIFY2(errors.contains("sendtime.ini") && errors.contains("21"), qPrintable(errors));
        QVERIFY2(errors.contains("途中で終わっています"), qPrintable(errors));
    }
};

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
