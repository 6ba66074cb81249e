// The check program run for real over a temporary application folder: its
// status line and its exit codes, the report's
// body, and its metrics file read by Prometheus's own tools.

#include "support/Fakes.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <unistd.h>

namespace {

// What a run printed, standard output then standard error.
QString printed(const fakes::Ran& ran) {
    return QString::fromUtf8(ran.out + ran.err);
}

} // namespace

class tst_CheckProgram : public QObject {
    Q_OBJECT

private slots:
    void statusLine_data() {
        QTest::addColumn<QStringList>("check"); // none: no check.ini
        QTest::addColumn<bool>("report");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("output");
        // Slot 1 on C: (index 2), the memory check on; limits that always pass.
        QTest::newRow("all pass") << fakes::numberLines({1, 0, 0, 2, 0, 0, -1, 0, 0, 1, -1, -1})
                                  << false << 0
                                  << "TOLVANE OK - C: (\\d+) MB free; physical memory (\\d+) MB "
                                     "free; swap (\\d+) MB free; no service watched \\| "
                                     "C:=\\1MB;;@~:-1;0;\\d+ physical=\\2MB;;@~:-1;0;\\d+ "
                                     "swap=\\3MB;;@~:-1;0;\\d+ services_not_running=0;;0;0;0\\n";
        QTest::newRow("drive at its limit or below")
            << fakes::numberLines({1, 0, 0, 2, 0, 0, 2147483647, 0, 0, 0, 0, 0}) << false << 2
            << "TOLVANE CRITICAL - C: (\\d+) MB free \\(limit 2147483647 MB\\) \\| "
               "C:=\\1MB;;@0:2147483647;0;\\d+ physical=\\d+MB;;;0;\\d+ swap=\\d+MB;;;0;\\d+ "
               "services_not_running=0;;0;0;0\\n";
        QTest::newRow("watched service not running")
            << fakes::numberLines({1, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0}) +
                   QStringList{"   tolvane-missing", "   ｻｰﾋﾞｽ"}
            << false << 2
            << "TOLVANE CRITICAL - service 'tolvane-missing' not running; service 'ｻｰﾋﾞｽ' not "
               "running \\| C:=.* services_not_running=2;;0;0;2\\n";
        QTest::newRow("check.ini unreadable")
            << QStringList{" 1 ", " x "} << false << 3
            << "TOLVANE UNKNOWN - check.ini line 2 cannot be read\n";
        QTest::newRow("no check.ini")
            << QStringList() << false << 3 << "TOLVANE UNKNOWN - no check.ini in /.*\\n";
        // Slot 2 counts while slot 1 is off, as in the report; the drive
        // that is missing hides none of the other checks.
        QTest::newRow("no such drive")
            << fakes::numberLines({0, 1, 1, 0, 3, 2, 0, 0, 0, 0, 0, 0}) +
                   QStringList{"   tolvane-missing"}
            << false << 2
            << "TOLVANE CRITICAL - D: does not exist or is not ready; service 'tolvane-missing' "
               "not running \\| C:=\\d+MB;;@0:0;0;\\d+ physical=.* services_not_running=1;;0;0;1\n";
        // smtp.ini gives the NG details; the header lines are not part of the body.
        QTest::newRow("report") << fakes::numberLines(
                                       {1, 0, 0, 2, 0, 0, 2147483647, 0, 0, 0, 0, 0}) +
                                       QStringList{"   tolvane-missing"}
                                << true << 2
                                << "\\[HDD容量チェック\\]\nC:ドライブ --- 空き容量が、2147483647 "
                                   "MBを下回りました。現在、\\d+ MBの空きがあります。\n\n"
                                   "\\[サービス動作チェック\\]\n   tolvane-missing --- NG\n\n";
    }

    void statusLine() {
        QFETCH(QStringList, check);
        QFETCH(bool, report);
        QTemporaryDir folder;
        if (!check.isEmpty())
            fakes::writeLines(folder.filePath("check.ini"), check);
        fakes::writeLines(folder.filePath("smtp.ini"), {"mail.example.org", "a@example.org",
                                                        "b@example.org", "Status", " 0 ", " 1 "});
        const QStringList files = QDir(folder.path()).entryList(QDir::Files);

        QStringList arguments{"--dir", folder.path()};
        if (report)
            arguments << "--report";
        const fakes::Ran ran = fakes::run(TOLVANE_CHECK, arguments);
        QTEST(ran.code, "code");
        QFETCH(QString, output);
        const QString out = printed(ran);
        QVERIFY2(
            QRegularExpression(QRegularExpression::anchoredPattern(output)).match(out).hasMatch(),
            qPrintable(out));
        // The capture of the listing is gone again.
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files), files);
    }

    // promtool accepts the file, and the node exporter's textfile collector
    // serves it without an error, label values escaped as it reads them. The
    // missing drive D: in slot 3 hides no other figure.
    void metricsFile() {
        QTemporaryDir folder;
        const QString textfiles = folder.filePath("textfiles");
        QVERIFY(QDir(folder.path()).mkdir("textfiles"));
        fakes::writeLines(
            folder.filePath("check.ini"),
            fakes::numberLines({1, 1, 1, 2, 2, 3, 0, 2147483647, 0, 1, -1, 0}) +
                QStringList{"   odd \"サービス\" \\ name", "odd \"サービス\" \\ name"});
        const QString prom = textfiles + "/tolvane.prom";
        fakes::writeLines(prom, {"a former file, replaced whole"});
        QCOMPARE(fakes::run(TOLVANE_CHECK, {"--dir", folder.path(), "--prom", prom}).code, 2);

        const fakes::Ran promtool = fakes::run(PROMTOOL, {"check", "metrics"},
                                               QProcessEnvironment::systemEnvironment(), prom);
        QVERIFY2(promtool.ok() && printed(promtool).isEmpty(),
                 qPrintable(PROMTOOL ": " + printed(promtool) + " (scripts/setup.sh installs it)"));

        // The exporter serves on the test's own listening socket, handed over
        // as systemd does (descriptor 3): the port is never free for another
        // program to take, and the scrape waits in its queue until the
        // exporter is up.
        QVERIFY2(QFileInfo(NODE_EXPORTER).isExecutable(),
                 NODE_EXPORTER " (scripts/setup.sh installs it)");
        QTcpServer listening;
        QVERIFY(listening.listen(QHostAddress::LocalHost));
        const int socket = int(listening.socketDescriptor());
        const QString url = QString("http://127.0.0.1:%1/metrics").arg(listening.serverPort());
        QProcess exporter;
        exporter.setChildProcessModifier([socket] {
            if (socket == 3)
                ::fcntl(3, F_SETFD, 0);
            else
                ::dup2(socket, 3);
        });
        exporter.start("/bin/sh",
                       {"-c", "export LISTEN_PID=$$ LISTEN_FDS=1; exec \"$0\" \"$@\"",
                        NODE_EXPORTER, "--web.systemd-socket", "--collector.disable-defaults",
                        "--collector.textfile", "--collector.textfile.directory=" + textfiles});
        QVERIFY(exporter.waitForStarted());
        listening.close();
        const fakes::Ran scrape = fakes::run("curl", {"-sS", url});
        exporter.terminate();
        exporter.waitForFinished();
        QCOMPARE(scrape.code, 0);
        // Its log names what it could not serve, such as a series given twice.
        const QString log = exporter.readAllStandardError();
        QVERIFY2(!log.contains("level=error"), qPrintable(log));
        for (const char* line :
             {"node_textfile_scrape_error 0", "tolvane_check_success 1",
              "tolvane_drive_ok{drive=\"C:\",slot=\"2\"} 0", "tolvane_memory_ok 1",
              "tolvane_drive_readable{drive=\"D:\",slot=\"3\"} 0",
              "tolvane_service_running{service=\"odd \\\"サービス\\\" \\\\ name\"} 0",
              "tolvane_services_not_running 2"})
            QVERIFY2(printed(scrape).contains("\n" + QString(line) + "\n"), line);
    }
};

QTEST_GUILESS_MAIN(tst_CheckProgram)
#include "tst_CheckProgram.moc"
