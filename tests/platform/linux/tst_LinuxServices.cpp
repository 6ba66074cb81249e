// The Linux implementations of memory status, drive space and command start,
// against this machine.

#include "app/variables.h"
#include "platform/CommandStart.h"
#include "platform/DriveSpace.h"
#include "platform/MemoryStatus.h"
#include "platform/linux/MemInfo.h"
#include "report/MailMod.h"
#include "support/Fakes.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <QThread>
#include <cmath>
#include <sys/stat.h>
#include <sys/statvfs.h>

namespace {

constexpr std::uint64_t kMB = 1024 * 1024;
// Free figures move while the test runs (other builds write the disk, other
// programs take memory); these bound how far apart two readings may lie.
constexpr std::uint64_t kMemoryDrift = 256 * kMB;
constexpr std::uint64_t kDiskDrift = 512 * kMB;
// The listing helper asks systemd or the init scripts; both answer well within this.
constexpr int kHelperTimeoutMs = 10000;

std::uint64_t distance(std::uint64_t a, std::uint64_t b) {
    return a > b ? a - b : b - a;
}

std::uint64_t statvfsFree(const char* path) {
    struct statvfs volume {};
    if (::statvfs(path, &volume) != 0)
        qFatal("statvfs %s failed", path);
    return static_cast<std::uint64_t>(volume.f_bfree) * volume.f_frsize;
}

std::uint64_t meminfoField(const QByteArray& text, const QByteArray& name) {
    for (const QByteArray& line : text.split('\n')) {
        if (line.startsWith(name + ':'))
            return line.mid(name.size() + 1).trimmed().split(' ').front().toULongLong() * 1024;
    }
    qFatal("no %s in /proc/meminfo", name.constData());
}

QByteArray procMeminfo() {
    QFile file(QStringLiteral("/proc/meminfo"));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read /proc/meminfo");
    return file.readAll();
}

} // namespace

class tst_LinuxServices : public QObject {
    Q_OBJECT
private slots:
    void meminfoParsing_data();
    void meminfoParsing();
    void memoryAgreesWithProc();
    void rootIsC();
    void dosdevicesLinkIsFollowed();
    void lettersWithoutDrive_data();
    void lettersWithoutDrive();
    void helperListingHasLayout();
    void helperIntoMissingFolderIsNotStarted();
    void reportOfThisMachine();
};

void tst_LinuxServices::meminfoParsing_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("answers");
    QTest::addColumn<uint>("load");
    QTest::addColumn<qulonglong>("physical");
    QTest::addColumn<qulonglong>("swap");

    QTest::newRow("recorded") << QByteArray("MemTotal:       24683748 kB\n"
                                            "MemFree:        24079072 kB\n"
                                            "MemAvailable:   24294564 kB\n"
                                            "Buffers:            9220 kB\n"
                                            "SwapTotal:       2097148 kB\n"
                                            "SwapFree:        1048576 kB\n")
                              << true << 1u << 24294564ull * 1024 << 1048576ull * 1024;
    // 999 of 1000 in use is 99 %, never rounded up to 100.
    QTest::newRow("load rounds down") << QByteArray("MemTotal: 1000 kB\nMemAvailable: 1 kB\n"
                                                    "SwapFree: 0 kB\n")
                                      << true << 99u << 1024ull << 0ull;
    QTest::newRow("no swap line") << QByteArray("MemTotal: 4 kB\nMemAvailable: 4 kB\n") << true
                                  << 0u << 4096ull << 0ull;
    QTest::newRow("no MemAvailable")
        << QByteArray("MemTotal: 4 kB\nMemFree: 4 kB\n") << false << 0u << 0ull << 0ull;
    QTest::newRow("zero total") << QByteArray("MemTotal: 0 kB\nMemAvailable: 0 kB\n") << false << 0u
                                << 0ull << 0ull;
    QTest::newRow("empty") << QByteArray() << false << 0u << 0ull << 0ull;
}

void tst_LinuxServices::meminfoParsing() {
    QFETCH(QByteArray, text);
    QFETCH(bool, answers);
    const auto figures = platform::memoryFromMeminfo(text.toStdString());
    QCOMPARE(figures.has_value(), answers);
    if (!answers)
        return;
    QTEST(uint(figures->loadPercent), "load");
    QTEST(qulonglong(figures->freePhysical), "physical");
    QTEST(qulonglong(figures->freeSwap), "swap");
}

void tst_LinuxServices::memoryAgreesWithProc() {
    const auto figures = platform::MemoryStatus::system().query();
    const QByteArray text = procMeminfo();
    QVERIFY(figures);
    const std::uint64_t total = meminfoField(text, "MemTotal");
    const std::uint64_t available = meminfoField(text, "MemAvailable");
    QVERIFY2(distance(figures->freePhysical, available) < kMemoryDrift,
             qPrintable(QString::number(figures->freePhysical)));
    QVERIFY(distance(figures->freeSwap, meminfoField(text, "SwapFree")) < kMemoryDrift);
    const double load = double(total - available) * 100 / double(total);
    QVERIFY2(std::abs(double(figures->loadPercent) - load) < 2.0,
             qPrintable(QString::number(figures->loadPercent)));
}

void tst_LinuxServices::rootIsC() {
    fakes::AppFolder folder;
    platform::ScopedOverride<platform::AppFolder> inPlace(folder);
    const auto free = platform::DriveSpace::system().freeBytes('C');
    QVERIFY(free);
    QVERIFY2(distance(*free, statvfsFree("/")) < kDiskDrift, qPrintable(QString::number(*free)));
}

void tst_LinuxServices::dosdevicesLinkIsFollowed() {
    fakes::AppFolder folder;
    platform::ScopedOverride<platform::AppFolder> inPlace(folder);
    // A memory file system, when there is one, differs from the root's, so the
    // figure shows which one was measured.
    const char* target = QFile::exists(QStringLiteral("/dev/shm")) ? "/dev/shm" : "/tmp";
    QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("dosdevices")));
    QVERIFY(QFile::link(QString::fromLatin1(target), folder.file(QStringLiteral("dosdevices/d:"))));

    const auto free = platform::DriveSpace::system().freeBytes('D');
    QVERIFY(free);
    QVERIFY(distance(*free, statvfsFree(target)) < kDiskDrift);
    struct stat root {
    }, linked{};
    QVERIFY(::stat("/", &root) == 0 && ::stat(target, &linked) == 0);
    if (root.st_dev != linked.st_dev &&
        distance(statvfsFree("/"), statvfsFree(target)) > kDiskDrift)
        QVERIFY(distance(*free, statvfsFree("/")) > kDiskDrift);

    // A link for C: takes the place of the root directory.
    QVERIFY(QFile::link(QString::fromLatin1(target), folder.file(QStringLiteral("dosdevices/c:"))));
    QCOMPARE(platform::DriveSpace::system().freeBytes('C').has_value(), true);
    QVERIFY(distance(*platform::DriveSpace::system().freeBytes('C'), statvfsFree(target)) <
            kDiskDrift);
}

void tst_LinuxServices::lettersWithoutDrive_data() {
    QTest::addColumn<char>("letter");
    QTest::addColumn<QString>("link");   // name in dosdevices, empty for none
    QTest::addColumn<QString>("target"); // what it points to

    QTest::newRow("no link") << 'E' << QString() << QString();
    QTest::newRow("A: without a link") << 'A' << QString() << QString();
    QTest::newRow("dangling link")
        << 'F' << QStringLiteral("f:") << QStringLiteral("/nonexistent/tolvane-drive");
    QTest::newRow("link to a file")
        << 'G' << QStringLiteral("g:") << QStringLiteral("/proc/meminfo");
    QTest::newRow("upper-case link name is not read")
        << 'H' << QStringLiteral("H:") << QStringLiteral("/");
    QTest::newRow("not a letter") << '[' << QString() << QString();
    QTest::newRow("lower-case letter") << 'c' << QString() << QString();
}

void tst_LinuxServices::lettersWithoutDrive() {
    QFETCH(char, letter);
    QFETCH(QString, link);
    QFETCH(QString, target);
    fakes::AppFolder folder;
    platform::ScopedOverride<platform::AppFolder> inPlace(folder);
    if (!link.isEmpty()) {
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("dosdevices")));
        QVERIFY(QFile::link(target, folder.file(QStringLiteral("dosdevices/") + link)));
    }
    QVERIFY(!platform::DriveSpace::system().freeBytes(letter));
}

void tst_LinuxServices::helperListingHasLayout() {
    fakes::AppFolder folder;
    auto running = platform::CommandStart::system().startServiceListing(folder.path().toStdString(),
                                                                        "runnings.dat");
    QVERIFY2(running, "the helper tolvane-services is not beside the test");
    QElapsedTimer clock;
    clock.start();
    while (!running->hasEnded() && clock.elapsed() < kHelperTimeoutMs)
        QThread::msleep(10);
    QVERIFY(running->hasEnded());

    const QString text = QString::fromUtf8(folder.read(QStringLiteral("runnings.dat")));
    QVERIFY(text.endsWith(QStringLiteral("\r\n")));
    QVERIFY(!text.contains(QRegularExpression(QStringLiteral("[^\r]\n|\r[^\n]"))));
    const QStringList lines = text.chopped(2).split(QStringLiteral("\r\n"));
    QVERIFY2(lines.size() >= 4, qPrintable(text));
    QCOMPARE(lines[0], QStringLiteral("次のサービスが開始されています:"));
    QCOMPARE(lines[1], QString());
    QCOMPARE(lines[lines.size() - 2], QString());
    QCOMPARE(lines.back(), QStringLiteral("コマンドは正常に終了しました。"));
    for (const QString& line : lines.mid(2, lines.size() - 4)) {
        QVERIFY2(line.startsWith(QStringLiteral("   ")) && line.size() > 3 && line[3] != u' ',
                 qPrintable(line));
        QVERIFY2(!line.endsWith(QStringLiteral(".service")), qPrintable(line));
    }
}

void tst_LinuxServices::helperIntoMissingFolderIsNotStarted() {
    QVERIFY(!platform::CommandStart::system().startServiceListing("/nonexistent/tolvane-folder",
                                                                  "runnings.dat"));
}

// The whole composition over the real services: real helper, real pauses.
void tst_LinuxServices::reportOfThisMachine() {
    fakes::AppFolder folder;
    fakes::MessageBox messageBox;
    platform::ScopedOverride<platform::AppFolder> folderInPlace(folder);
    platform::ScopedOverride<platform::MessageBox> boxInPlace(messageBox);
    Settings = SettingsRecord{};
    Settings.driveCheck1 = 1;
    Settings.driveIndex1 = 2;
    Settings.memoryCheck = 1;
    Settings.showDetails = 1;
    Settings.watchServices[0] = QStringLiteral("   tolvane-no-such-service");

    const std::int16_t result = MailMod::ComposeReport();
    Settings = SettingsRecord{};
    QCOMPARE(result, std::int16_t(0));
    QVERIFY(messageBox.shown.isEmpty());
    QVERIFY(!folder.has(QStringLiteral("runnings.dat")));
    const QRegularExpression freeC(QStringLiteral("\\r\\nC:ドライブ --- (\\d+) MBの空き\\r\\n"));
    const auto match = freeC.match(MailMod::mailText);
    QVERIFY2(match.hasMatch(), qPrintable(MailMod::mailText));
    QVERIFY(distance(match.captured(1).toULongLong() * kMB, statvfsFree("/")) < kDiskDrift);
    QVERIFY(MailMod::mailText.contains(QStringLiteral("\r\nサービス --- NG\r\n")));
    QVERIFY(MailMod::mailText.contains(QStringLiteral("\r\n[動作中のサービス]\r\n")));
}

QTEST_GUILESS_MAIN(tst_LinuxServices)
#include "tst_LinuxServices.moc"
