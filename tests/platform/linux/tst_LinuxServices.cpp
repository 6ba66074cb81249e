// The Linux implementations of drive space and command start against this
// machine, and the parsing of memory status and listings on recorded outputs.
// The live memory figures are those of the report that the Debian package's
// test has the unpacked program mail.

#include "platform/linux/MemInfo.h"
#include "platform/linux/ServiceListing.h"
#include "support/Fakes.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <sys/statvfs.h>

namespace {

// Free space moves while the test runs (other builds write the disk); this
// bounds how far apart two readings may lie.
constexpr std::uint64_t kDiskDrift = 512 << 20;
// The listing helper asks systemd or the init scripts; both answer well within this.
constexpr int kHelperTimeoutMs = 10000;

bool near(std::uint64_t a, std::uint64_t b, std::uint64_t drift) {
    return (a > b ? a - b : b - a) < drift;
}

platform::VolumeBytes statvfsBytes(const char* path) {
    struct statvfs volume {};
    if (::statvfs(path, &volume) != 0)
        qFatal("statvfs %s failed", path);
    return {static_cast<std::uint64_t>(volume.f_bfree) * volume.f_frsize,
            static_cast<std::uint64_t>(volume.f_blocks) * volume.f_frsize};
}
std::uint64_t statvfsFree(const char* path) {
    return statvfsBytes(path).free;
}

// Whether the free space and size of the drive `letter` are those of the file
// system holding `path`.
bool measures(char letter, const char* path) {
    const auto volume = platform::DriveSpace::system().volume(letter);
    return volume && near(volume->free, statvfsFree(path), kDiskDrift) &&
           volume->total == statvfsBytes(path).total;
}

// The helper's listing around the names, each line "   name".
const QString kHead = "次のサービスが開始されています:\r\n\r\n";
const QString kTail = "\r\nコマンドは正常に終了しました。\r\n";

using Figures = QList<qulonglong>;

} // namespace

class tst_LinuxServices : public QObject {
    Q_OBJECT
private slots:
    void meminfoParsing_data() {
        QTest::addColumn<QByteArray>("text");
        // load, free physical, free swap, total physical, total swap; none for failure
        QTest::addColumn<Figures>("figures");
        QTest::newRow("recorded") << QByteArray("MemTotal:       24683748 kB\n"
                                                "MemFree:        24079072 kB\n"
                                                "MemAvailable:   24294564 kB\n"
                                                "SwapTotal:       2097148 kB\n"
                                                "SwapFree:        1048576 kB\n")
                                  << Figures{1, 24877633536, 1073741824, 25276157952, 2147479552};
        // 999 of 1000 in use is 99 %, never rounded up to 100.
        QTest::newRow("load rounds down")
            << QByteArray("MemTotal: 1000 kB\nMemAvailable: 1 kB\nSwapFree: 0 kB\n")
            << Figures{99, 1024, 0, 1024000, 0};
        QTest::newRow("MemFree only") << QByteArray("MemTotal: 4 kB\nMemFree: 4 kB\n") << Figures{};
        QTest::newRow("total 0") << QByteArray("MemTotal: 0 kB\nMemAvailable: 0 kB\n") << Figures{};
    }

    void meminfoParsing() {
        QFETCH(QByteArray, text);
        const auto m = platform::memoryFromMeminfo(text.toStdString());
        QTEST((m ? Figures{m->loadPercent, m->freePhysical, m->freeSwap, m->totalPhysical,
                           m->totalSwap}
                 : Figures{}),
              "figures");
    }

    void drives() {
        fakes::AppFolder folder;
        platform::ScopedOverride<platform::AppFolder> inPlace(folder);
        QVERIFY(measures('C', "/"));
        // A memory file system, when there is one, differs from the root's, so the
        // figure shows which one was measured.
        const char* target = QFile::exists("/dev/shm") ? "/dev/shm" : "/tmp";
        QVERIFY(QDir(folder.path()).mkdir("dosdevices"));
        QVERIFY(QFile::link(target, folder.file("dosdevices/d:")));
        QVERIFY(measures('D', target));
        if (!near(statvfsFree("/"), statvfsFree(target), kDiskDrift))
            QVERIFY(!measures('D', "/"));
        // A link for C: takes the place of the root directory.
        QVERIFY(QFile::link(target, folder.file("dosdevices/c:")));
        QVERIFY(measures('C', target));

        QVERIFY(QFile::link("/nonexistent/tolvane-drive", folder.file("dosdevices/f:")));
        for (const char letter : {'E', 'F', '[', 'c'}) // letters without a drive
            QCOMPARE(platform::DriveSpace::system().freeBytes(letter) ? letter : '-', '-');
    }

    void listingParsing_data() {
        QTest::addColumn<bool>("systemctl"); // else `service --status-all`
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<QString>("names");
        const auto row = [](const char* name, bool systemctl, const QByteArray& output,
                            const QString& names) {
            QTest::newRow(name) << systemctl << output << names;
        };
        row("systemctl recorded", true,
            "cron.service                          loaded active running Regular background "
            "program processing daemon\n"
            "getty@tty1.service                    loaded active running Getty on tty1\n"
            "systemd-fsck@dev-disk-by\\x2duuid-0C1F.service loaded active running File System "
            "Check\n",
            "cron getty@tty1 systemd-fsck@dev-disk-by\\x2duuid-0C1F");
        row("systemctl: order kept; bullets; not running; line ends", true,
            "zz.service loaded active running Runs\n"
            "oneshot.service loaded active exited Ran once\n"
            "sock.socket loaded active running Not a service\n"
            ".service loaded active running Nameless\n"
            "short.service loaded active\n"
            "aa.service loaded active running Runs\n"
            "● bad.service loaded active running B\n* old.service loaded active running O\r\n"
            "\n  a.service loaded active running A\r\n\nb.service loaded active running",
            "zz aa bad old a b");
        row("service recorded", false,
            " [ - ]  dbus\n [ ? ]  hwclock.sh\n [ + ]  cron\n [ - ]  postgresql\n"
            " [ + ]  ssh\n [ - ]  x11-common\n",
            "cron ssh");
        row("service: spacing varies", false, "[+] a\n\t[  +  ]\tb\r\n [ + ]  c", "a b c");
        row("service: not a status line", false,
            "Usage: service < option >\n [ + ]\n [ + ]  two words\n [ ++ ]  x\n + ]  y\n [ +  z\n",
            "");
    }

    void listingParsing() {
        QFETCH(bool, systemctl);
        QFETCH(QByteArray, output);
        const auto names = systemctl
                               ? platform::runningUnitsFromSystemctl(output.toStdString())
                               : platform::runningScriptsFromServiceStatus(output.toStdString());
        QStringList list;
        for (const std::string& name : names)
            list.append(QString::fromStdString(name));
        QTEST(list.join(' '), "names");
    }

    void helperListingHasLayout() {
        fakes::AppFolder folder;
        auto running = platform::CommandStart::system().startServiceListing(
            folder.path().toStdString(), "runnings.dat");
        QVERIFY2(running, "the helper tolvane-listing is not beside the test");
        QTRY_VERIFY_WITH_TIMEOUT(running->hasEnded(), kHelperTimeoutMs);
        // Names indented by three blanks, without ".service"; CR LF after every line.
        const QString text = QString::fromUtf8(folder.read("runnings.dat"));
        const QRegularExpression layout(QRegularExpression::anchoredPattern(
            QRegularExpression::escape(kHead) + "(   [^ \r\n][^\r\n]*(?<!\\.service)\r\n)*" +
            QRegularExpression::escape(kTail)));
        QVERIFY2(layout.match(text).hasMatch(), qPrintable(text));
    }
};

QTEST_GUILESS_MAIN(tst_LinuxServices)
#include "tst_LinuxServices.moc"
