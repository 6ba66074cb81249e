// Installs the build into a temporary root and checks that the installed folder
// is enough to start the program and to capture the service listing, and that
// the log-in entry starts the installed program.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

// An install copies a few files; this is ample even on a busy machine.
constexpr int kInstallMs = 60000;
// Long enough for the program to load, capture the listing and show its window.
constexpr int kStartMs = 3000;

// Installs the build under `root` (as DESTDIR); with `prefix` set, into it.
// Returns the install's output when it fails, an empty text when it succeeds.
QString install(const QString& root, const QString& prefix = {}) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DESTDIR"), root);
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    QStringList arguments{QStringLiteral("--install"), QStringLiteral(TOLVANE_BUILD_DIR)};
    if (!prefix.isEmpty())
        arguments << QStringLiteral("--prefix") << prefix;
    process.start(QStringLiteral(TOLVANE_CMAKE), arguments);
    if (!process.waitForFinished(kInstallMs))
        return QStringLiteral("install did not finish");
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return QString::fromLocal8Bit(process.readAll());
    return {};
}

// The value of `key` in the desktop entry, without the quotes around it.
QString entryValue(const QByteArray& entry, const QByteArray& key) {
    for (const QByteArray& line : entry.split('\n')) {
        if (!line.startsWith(key + '='))
            continue;
        QByteArray value = line.mid(key.size() + 1).trimmed();
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
            value = value.mid(1, value.size() - 2);
        return QString::fromUtf8(value);
    }
    return {};
}

} // namespace

class tst_Install : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void folderHolds_data();
    void folderHolds();
    void helperListsFromInstalledFolder();
    void programStartsFromInstalledFolder();
    void autostartEntry_data();
    void autostartEntry();

private:
    QTemporaryDir root_;
    QString folder_;
};

void tst_Install::initTestCase() {
    QVERIFY(root_.isValid());
    const QString failure = install(root_.path());
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    folder_ = root_.path() + QStringLiteral(TOLVANE_INSTALL_PREFIX);
}

void tst_Install::folderHolds_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("executable");
    QTest::newRow("program") << "tolvane" << true;
    QTest::newRow("listing helper") << "tolvane-services" << true;
    QTest::newRow("window icon") << "tolvane32.png" << false;
    QTest::newRow("tray icon") << "tolvane16.png" << false;
}

void tst_Install::folderHolds() {
    QFETCH(QString, name);
    QFETCH(bool, executable);
    const QFileInfo file(QDir(folder_).filePath(name));
    QVERIFY2(file.isFile(), qPrintable(file.filePath()));
    QVERIFY(file.size() > 0);
    QCOMPARE(file.isExecutable(), executable);
}

// The program starts the helper from its own folder; the installed copy must
// work there, without anything from the build.
void tst_Install::helperListsFromInstalledFolder() {
    QProcess helper;
    helper.setWorkingDirectory(root_.path());
    helper.start(QDir(folder_).filePath(QStringLiteral("tolvane-services")), {});
    QVERIFY(helper.waitForFinished(kInstallMs));
    QCOMPARE(helper.exitStatus(), QProcess::NormalExit);
    QCOMPARE(helper.exitCode(), 0);
    const QByteArray listing = helper.readAllStandardOutput();
    QVERIFY2(listing.startsWith(QStringLiteral("次のサービスが開始されています:\r\n\r\n").toUtf8()),
             listing.left(200).constData());
}

void tst_Install::programStartsFromInstalledFolder() {
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(environment);
    program.setWorkingDirectory(root_.path());
    program.start(QDir(folder_).filePath(QStringLiteral("tolvane")), {});
    QVERIFY(program.waitForStarted());
    // A resident program: still running after its start-up means it started.
    const bool ended = program.waitForFinished(kStartMs);
    if (!ended) {
        program.kill();
        program.waitForFinished();
    }
    QVERIFY2(!ended, program.readAllStandardError().constData());
    // Its application folder is the installed one: the start-up capture of the
    // service listing ran there and cleaned up after itself.
    QVERIFY(!QFile::exists(QDir(folder_).filePath(QStringLiteral("service.dat"))));
}

void tst_Install::autostartEntry_data() {
    QTest::addColumn<QString>("prefix");
    QTest::newRow("default folder") << QString();
    QTest::newRow("folder given at install, with a blank")
        << QDir::tempPath() + QStringLiteral("/tolvane install/opt");
}

void tst_Install::autostartEntry() {
    QFETCH(QString, prefix);
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString failure = install(root.path(), prefix);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const QString folder = prefix.isEmpty() ? QStringLiteral(TOLVANE_INSTALL_PREFIX) : prefix;

    QFile file(root.path() + QStringLiteral(TOLVANE_AUTOSTART_DIR "/tolvane.desktop"));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    const QByteArray entry = file.readAll();
    QVERIFY(entry.startsWith("[Desktop Entry]\n"));
    QCOMPARE(entryValue(entry, "Type"), QStringLiteral("Application"));
    const QString exec = entryValue(entry, "Exec");
    QCOMPARE(exec, folder + QStringLiteral("/tolvane"));
    QVERIFY(QFileInfo(root.path() + exec).isExecutable());
    QVERIFY(QFileInfo::exists(root.path() + entryValue(entry, "Icon")));
}

QTEST_GUILESS_MAIN(tst_Install)
#include "tst_Install.moc"
