// Installs the build into a temporary root: the installed folder must be enough to
// start the program and capture the service listing, the log-in entry must start it.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

// An install copies a few files; this is ample even on a busy machine.
constexpr int kInstallMs = 60000;
// Long enough for the program to load its settings and show its window.
constexpr int kStartMs = 3000;

// Installs the build under `root` (as DESTDIR), into `prefix` when one is given.
// Returns the install's output when it fails, an empty text when it succeeds.
QString install(const QString& root, const QString& prefix = {}) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DESTDIR", root);
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    QStringList arguments{"--install", TOLVANE_BUILD_DIR};
    if (!prefix.isEmpty())
        arguments << "--prefix" << prefix;
    process.start(TOLVANE_CMAKE, arguments);
    const bool done = process.waitForFinished(kInstallMs) &&
                      process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return done ? QString() : "install failed: " + QString::fromLocal8Bit(process.readAll());
}

// The value of `key` in the desktop entry, as the session reads it.
QString entryValue(const QByteArray& entry, const QByteArray& key) {
    for (const QByteArray& line : entry.split('\n'))
        if (line.startsWith(key + '='))
            return QString::fromUtf8(line.mid(key.size() + 1).trimmed());
    return {};
}

} // namespace

class tst_Install : public QObject {
    Q_OBJECT
    QTemporaryDir root_;
    QString folder_;

private slots:
    void initTestCase() {
        const QString failure = install(root_.path());
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        folder_ = root_.path() + TOLVANE_INSTALL_PREFIX;
    }

    // The program starts the helper from its own folder; the installed copy must
    // work there, without anything from the build.
    void helperListsFromInstalledFolder() {
        QProcess helper;
        helper.setWorkingDirectory(root_.path());
        helper.start(QDir(folder_).filePath("tolvane-services"), {});
        QVERIFY(helper.waitForFinished(kInstallMs));
        QVERIFY(helper.exitStatus() == QProcess::NormalExit && helper.exitCode() == 0);
        const QByteArray listing = helper.readAllStandardOutput();
        QVERIFY2(listing.startsWith(QString("次のサービスが開始されています:\r\n\r\n").toUtf8()),
                 listing.left(200).constData());
    }

    // A resident program: still running after its start-up means it started.
    void programStartsFromInstalledFolder() {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QProcess program;
        program.setWorkingDirectory(root_.path());
        program.start(QDir(folder_).filePath("tolvane"), {});
        QVERIFY(program.waitForStarted());
        const bool ended = program.waitForFinished(kStartMs);
        program.kill();
        program.waitForFinished();
        QVERIFY2(!ended, program.readAllStandardError().constData());
    }

    void autostartEntry_data() {
        QTest::addColumn<QString>("prefix");
        QTest::newRow("default folder") << QString();
        QTest::newRow("folder given at install, with a blank")
            << QDir::tempPath() + "/tolvane install/opt";
    }

    void autostartEntry() {
        QFETCH(QString, prefix);
        QTemporaryDir root;
        const QString failure = install(root.path(), prefix);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QFile file(root.path() + TOLVANE_AUTOSTART_DIR "/tolvane.desktop");
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
        const QByteArray entry = file.readAll();
        QVERIFY(entry.startsWith("[Desktop Entry]\n"));
        // Quoted, so that a folder with a blank stays one word.
        const QString program = (prefix.isEmpty() ? TOLVANE_INSTALL_PREFIX : prefix) + "/tolvane";
        QCOMPARE(entryValue(entry, "Exec"), '"' + program + '"');
        QVERIFY(QFileInfo(root.path() + program).isExecutable());
        QVERIFY(QFileInfo(root.path() + entryValue(entry, "Icon")).size() > 0);
    }
};

QTEST_GUILESS_MAIN(tst_Install)
#include "tst_Install.moc"
