// The install of this build and the Debian package that cpack made from it (the
// test deb_package runs it first): the package's files, its service unit, the
// clean-up of its maintainer scripts, and the unpacked program mailing a report
// by itself.

#include "settings/API.h"
#include "settings/variables.h"
#include "support/Fakes.h"
#include "support/SmtpSink.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTime>
#include <limits>

namespace {

// The scheduler looks at the clock every 59.9 s: a send in the next minute
// comes at the first or the second look.
constexpr int kScheduledSendMs = 150000;
// A loopback address of the test's own, so that port 25 is free on it even
// where a mail server listens on 127.0.0.1:25.
const QString kSinkAddress = QStringLiteral("127.0.0.25");

const QString kDeb = QStringLiteral(TOLVANE_DEB_FILE);
const QString kFolder = QStringLiteral("/opt/tolvane");

// The names under `folder`, symbolic links included (not followed), folders with a "/".
QStringList namesUnder(const QString& folder) {
    QStringList names;
    QDirIterator entries(folder,
                         QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
    while (entries.hasNext()) {
        const QFileInfo entry = entries.nextFileInfo();
        names << QDir(folder).relativeFilePath(entry.filePath()) +
                     (entry.isDir() && !entry.isSymLink() ? "/" : "");
    }
    names.sort();
    return names;
}

} // namespace

class tst_DebPackage : public QObject {
    Q_OBJECT
    QTemporaryDir root_;    // the package's files, unpacked
    QTemporaryDir control_; // its control files

private slots:
    void initTestCase() {
        QVERIFY2(QFileInfo::exists(kDeb),
                 qPrintable(kDeb + " is missing: the test deb_package makes it"));
        const fakes::Ran files = fakes::run("dpkg-deb", {"-x", kDeb, root_.path()});
        QVERIFY2(files.ok(), files.err.constData());
        const fakes::Ran control = fakes::run("dpkg-deb", {"-e", kDeb, control_.path()});
        QVERIFY2(control.ok(), control.err.constData());
    }

    // Every file and folder of the package with its mode and owner: nothing of
    // the build (tests, benchmark) beside the program, nothing missing.
    void files() {
        const fakes::Ran listing = fakes::run("dpkg-deb", {"-c", kDeb});
        QVERIFY2(listing.ok(), listing.err.constData());
        QStringList entries;
        for (const QByteArray& line : listing.out.split('\n')) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() >= 6 && !fields.last().endsWith('/'))
                entries << QString("%1 %2 %3").arg(fields[0], fields[1], fields.last());
        }
        entries.sort();
        const QStringList expected{
            "-rw-r--r-- root/root ./etc/xdg/autostart/tolvane.desktop",
            "-rw-r--r-- root/root ./lib/systemd/system/tolvane.service",
            "-rw-r--r-- root/root ./opt/tolvane/tolvane16.png",
            "-rw-r--r-- root/root ./opt/tolvane/tolvane32.png",
            "-rw-r--r-- root/root ./usr/share/doc/tolvane/README.md",
            "-rw-r--r-- root/root ./usr/share/doc/tolvane/changelog.gz",
            "-rw-r--r-- root/root ./usr/share/doc/tolvane/guide.html",
            "-rw-r--r-- root/root ./usr/share/doc/tolvane/images/check-config-windows.png",
            "-rw-r--r-- root/root ./usr/share/doc/tolvane/images/check-config.png",
            "-rw-r--r-- root/root ./usr/share/doc/tolvane/images/error-box.png",
            "-rw-r--r-- root/root ./usr/share/doc/tolvane/images/main-windows.png",
            "-rw-r--r-- root/root ./usr/share/doc/tolvane/images/main.png",
            "-rw-r--r-- root/root ./usr/share/doc/tolvane/images/sendtime-config-windows.png",
            "-rw-r--r-- root/root ./usr/share/doc/tolvane/images/sendtime-config.png",
            "-rw-r--r-- root/root ./usr/share/doc/tolvane/images/smtp-config-windows.png",
            "-rw-r--r-- root/root ./usr/share/doc/tolvane/images/smtp-config.png",
            "-rw-r--r-- root/root ./usr/share/lintian/overrides/tolvane",
            "-rwxr-xr-x root/root ./opt/tolvane/tolvane",
            "-rwxr-xr-x root/root ./opt/tolvane/tolvane-check",
            "-rwxr-xr-x root/root ./opt/tolvane/tolvane-listing",
            "-rwxr-xr-x root/root ./opt/tolvane/tolvane-service",
        };
        QCOMPARE(entries, expected);
        // The libraries come from the binaries (dpkg-shlibdeps), with versions.
        const fakes::Ran depends = fakes::run("dpkg-deb", {"-f", kDeb, "Depends"});
        QVERIFY2(depends.out.contains("libqt6widgets6 (>= "), depends.out.constData());
        // The log-in entry names the packaged program.
        QFile entry(root_.filePath("etc/xdg/autostart/tolvane.desktop"));
        QVERIFY(entry.open(QIODevice::ReadOnly));
        QVERIFY(entry.readAll().contains("\nExec=\"" + kFolder.toUtf8() + "/tolvane\"\n"));
    }

    // An install into a folder given then, with a blank: the log-in entry,
    // written at install time, names the program (quoted, so that the folder
    // stays one word) and its icon where they land.
    void installIntoFolderGiven() {
        QTemporaryDir root;
        const QString prefix = QDir::tempPath() + "/tolvane install/opt";
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DESTDIR", root.path());
        const fakes::Ran install = fakes::run(
            TOLVANE_CMAKE, {"--install", TOLVANE_BUILD_DIR, "--prefix", prefix}, environment);
        QVERIFY2(install.ok(), (install.out + install.err).constData());
        QFile file(root.path() + TOLVANE_AUTOSTART_DIR "/tolvane.desktop");
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
        const QString entry = QString::fromUtf8(file.readAll());
        QVERIFY2(entry.startsWith("[Desktop Entry]\n") &&
                     entry.contains("\nExec=\"" + prefix + "/tolvane\"\n"),
                 qPrintable(entry));
        QVERIFY(QFileInfo(root.path() + prefix + "/tolvane").isExecutable());
        const QString icon = QRegularExpression("\nIcon=([^\n]+)\n").match(entry).captured(1);
        QVERIFY2(QFileInfo(root.path() + icon).size() > 0, qPrintable(entry));
    }

    // The maintainer scripts are there, runnable and sound shell.
    void maintainerScripts() {
        for (const char* name : {"postinst", "prerm", "postrm"}) {
            const QString script = QDir(control_.path()).filePath(name);
            QVERIFY2(QFileInfo(script).isExecutable(), name);
            const fakes::Ran syntax = fakes::run("sh", {"-n", script});
            QVERIFY2(syntax.ok(), syntax.err.constData());
        }
    }

    // systemd-analyze checks the unit against a root holding the unpacked files
    // and the system's own units (so that the program in ExecStart is the
    // packaged one); it runs without systemd as the init process. Any message,
    // even one that does not fail the check, is a fault.
    void unitVerifies() {
        const QString units = root_.filePath("usr/lib/systemd");
        QVERIFY(QDir().mkpath(units));
        const fakes::Ran copied = fakes::run("cp", {"-a", "/lib/systemd/system", units});
        QVERIFY2(copied.ok(), copied.err.constData());
        const fakes::Ran verified =
            fakes::run("systemd-analyze", {"verify", "--man=no", "--root=" + root_.path(),
                                           "/lib/systemd/system/tolvane.service"});
        QVERIFY2(verified.ok() && verified.out.isEmpty() && verified.err.isEmpty(),
                 (verified.out + verified.err).constData());
    }

    // postrm in a scratch root (dpkg's DPKG_ROOT): remove takes the capture
    // files and keeps the settings, purge takes the settings in any case of
    // their names, the login, the outbox and the drive links (not what they
    // point to), and the folder unless something else is in it.
    void maintainerScriptsCleanUp_data() {
        QTest::addColumn<QStringList>("actions");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("left");
        const QStringList settings{"check.ini", "outbox/1.eml", "sendtime.ini",
                                   "smtp.ini",  "smtpauth.ini", "verdicts.dat"};
        const QStringList captures{"alerts.dat", "runnings.dat", "service.dat",
                                   "tolvane-check-7.dat", "tolvane.lock"};
        QTest::newRow("remove") << QStringList{"remove"} << settings + captures
                                << QStringList{"opt/",
                                               "opt/tolvane/",
                                               "opt/tolvane/check.ini",
                                               "opt/tolvane/dosdevices/",
                                               "opt/tolvane/dosdevices/d:",
                                               "opt/tolvane/outbox/",
                                               "opt/tolvane/outbox/1.eml",
                                               "opt/tolvane/sendtime.ini",
                                               "opt/tolvane/smtp.ini",
                                               "opt/tolvane/smtpauth.ini",
                                               "opt/tolvane/verdicts.dat"};
        QTest::newRow("remove, then purge")
            << QStringList{"remove", "purge"} << settings + captures << QStringList{"opt/"};
        QTest::newRow("purge, names in other cases")
            << QStringList{"remove", "purge"}
            << QStringList{"CHECK.INI", "Smtp.Ini", "sendtime.ini"} << QStringList{"opt/"};
        QTest::newRow("purge keeps a file of the administrator's, and the folder")
            << QStringList{"remove", "purge"} << settings + QStringList{"notes.txt"}
            << QStringList{"opt/", "opt/tolvane/", "opt/tolvane/notes.txt"};
    }

    void maintainerScriptsCleanUp() {
        QFETCH(QStringList, actions);
        QFETCH(QStringList, files);
        QFETCH(QStringList, left);
        QTemporaryDir root;
        QTemporaryDir driveTarget;
        const QString folder = root.path() + kFolder;
        QVERIFY(QDir().mkpath(folder + "/dosdevices") && QDir().mkpath(folder + "/outbox"));
        for (const QString& name : files)
            fakes::writeLines(QDir(folder).filePath(name), {" 1 "});
        const QString kept = driveTarget.filePath("kept.txt");
        fakes::writeLines(kept, {"data"});
        QVERIFY(QFile::link(driveTarget.path(), folder + "/dosdevices/d:"));

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DPKG_ROOT", root.path());
        for (const QString& action : actions) {
            const fakes::Ran script =
                fakes::run(QDir(control_.path()).filePath("postrm"), {action}, environment);
            QVERIFY2(script.ok(), qPrintable(action + ": " + script.err));
        }
        QCOMPARE(namesUnder(root.path()), left);
        QVERIFY(QFileInfo::exists(kept));
    }

    // The unpacked headless program, started as the service starts it, mails
    // at the time in sendtime.ini from its own folder, with the packaged
    // listing helper. Asked to end (SIGTERM) while the server keeps the
    // report waiting, it keeps the report and ends at once; started again, it
    // sends that report. A drive limit raised while it was stopped brings an
    // alert at the start, lowered again a recovery at the next check.
    // Standard error, the journal under the service, says each step.
    void unpackedServiceMails() {
        QTcpServer silent;
        if (!silent.listen(QHostAddress(kSinkAddress), 25))
            QSKIP("cannot listen on port 25 of 127.0.0.25: that needs root");
        const QString folder = root_.path() + kFolder;
        // Drive C: (the root folder) and the memory, limits 0 (swap -1): all
        // OK; no services; alerts every minute.
        SettingsRecord settings;
        settings.driveCheck1 = settings.memoryCheck = kFlagOn;
        settings.driveIndex1 = 2;
        settings.swapLimitMB = -1;
        settings.alertMinutes = 1;
        settings.smtpServer = kSinkAddress;
        settings.mailFrom = "tolvane@monitor.example";
        settings.mailTo = "admin@example.org";
        settings.mailSubject = "Tolvane package test";
        settings.showDetails = settings.showNGDetails = settings.keepFailedReports = kFlagOn;
        settings.sendHours.fill(kFlagOn);
        // The minute after the next, when the next begins within 10 s.
        settings.sendMinute = QString::number((QTime::currentTime().addSecs(10).minute() + 1) % 60);
        for (const QString& file : {API::kCheckFile, API::kSmtpFile, API::kSendTimeFile})
            fakes::writeLines(QDir(folder).filePath(file), fakes::settingsLines(file, settings));

        QProcess program;
        program.setWorkingDirectory(folder);
        const QString service = QDir(folder).filePath("tolvane-service");
        QString journal;
        const auto running = [&] {
            journal += QString::fromUtf8(program.readAllStandardError());
            return program.state() != QProcess::NotRunning;
        };
        const auto run = [&](const auto& done, int timeoutMs) {
            const qsizetype from = journal.size();
            program.start(service, {});
            // Its first alert check waits for the service listing.
            QTRY_VERIFY_WITH_TIMEOUT(
                !running() || journal.indexOf(" started for " + folder + "\n", from) >= 0, 20000);
            // One scheduler for the folder: a second one ends at once.
            const fakes::Ran second = fakes::run(service, {});
            QVERIFY2(second.code == 3 && second.err.contains("another program"), second.err);
            QTRY_VERIFY_WITH_TIMEOUT(done() || !running(), timeoutMs);
            QVERIFY2(running(), qPrintable(journal));
            QElapsedTimer stopping;
            stopping.start();
            program.terminate();
            QVERIFY(program.waitForFinished(2000) && program.exitCode() == 0);
            QVERIFY(stopping.elapsed() < 2000);
            running();
        };
        run([&] { return silent.hasPendingConnections(); }, kScheduledSendMs);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(QDir(folder + "/outbox").entryList(QDir::Files).size(), 1);
        silent.close();
        // C: at its limit, while stopped: an alert at the start, the kept
        // report 15 s later, and with the limit lowered again the recovery at
        // the next tick.
        const auto limitC = [&](std::int32_t limitMB) {
            settings.driveLimitMB1 = limitMB;
            fakes::writeLines(QDir(folder).filePath(API::kCheckFile),
                              fakes::settingsLines(API::kCheckFile, settings));
        };
        limitC(std::numeric_limits<std::int32_t>::max());
        fakes::SmtpSink sink(kSinkAddress, 25);
        const auto subjects = [&] {
            QStringList subjects;
            for (int n = 1; !sink.message(n).isEmpty(); ++n)
                subjects << sink.message(n)["content"]
                                .toString()
                                .section("Subject: ", 1)
                                .section("\r\n", 0, 0);
            if (subjects.size() == 2 && settings.driveLimitMB1 != 0)
                limitC(0);
            return subjects;
        };
        run([&] { return subjects().size() == 3; }, 90000);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(subjects(), (QStringList{"[NG] Tolvane package test", "Tolvane package test",
                                          "[OK] Tolvane package test"}));
        QVERIFY(QDir(folder + "/outbox").entryList(QDir::Files).isEmpty());
        for (const char* line : {"送信中...", "再送待ち 1件", "送信完了", "再送待ち 0件"})
            QVERIFY2(journal.contains(QString::fromUtf8(line)), qPrintable(journal));

        const QJsonObject mail = sink.message(2);
        QCOMPARE(mail["helo"].toString(), "monitor.example");
        QCOMPARE(mail["mail_from"].toString(), "tolvane@monitor.example");
        QCOMPARE(mail["rcpt_tos"].toArray(), QJsonArray{"admin@example.org"});
        const QString content = mail["content"].toString();
        for (const char* part :
             {"\r\nSubject: Tolvane package test\r\n", "\r\nC:ドライブ --- OK\r\n",
              "物理メモリ --- OK", "サービス --- OK", "[動作中のサービス]\r\n"}) {
            QVERIFY2(content.contains(QString::fromUtf8(part)), qPrintable(content));
        }
    }
};

QTEST_GUILESS_MAIN(tst_DebPackage)
#include "tst_DebPackage.moc"
