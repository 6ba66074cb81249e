// Installs the build into a temporary root: the log-in entry, written at
// install time, must name the program where it lands. What the installed
// folder holds, and that the program mails from it with its helper, the
// Debian package's test checks (the package is made from the same install).

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

// An install copies a few files; this is ample even on a busy machine.
constexpr int kInstallMs = 60000;

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
private slots:
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
