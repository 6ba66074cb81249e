// The Windows implementations of drive space, memory and command start, run
// for real under Wine.

#include "platform/CommandStart.h"
#include "platform/DriveSpace.h"
#include "platform/MemoryStatus.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <array>
#include <filesystem>
#include <memory>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace fs = std::filesystem;

namespace {

// Under Wine the first start of a service query is slow.
constexpr int kListingMs = 30000;

// A folder with non-ASCII characters in its name, as an operator's may have.
struct Folder {
    QTemporaryDir dir{QDir::tempPath() + QStringLiteral("/tolvane-監視-XXXXXX")};
    fs::path path() const { return fs::path(dir.path().toStdWString()); }
};

std::unique_ptr<platform::RunningCommand> startListing(const fs::path& folder,
                                                       const std::string& name = "runnings.dat") {
    return platform::CommandStart::system().startServiceListing(folder, name);
}

// How many handles this process holds, asked of every handle value up to a
// bound far above what these checks open.
int openHandles() {
    int count = 0;
    for (std::uintptr_t value = 4; value < 65536; value += 4) {
        DWORD flags = 0;
        count += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) ? 1 : 0;
    }
    return count;
}

// The report's free figures: drive C:, physical memory and swap in bytes,
// the memory load in %.
using FreeFigures = std::array<qint64, 4>;

std::optional<FreeFigures> systemFigures() {
    MEMORYSTATUSEX memory{};
    memory.dwLength = sizeof memory;
    ULARGE_INTEGER available, total, free;
    if (!GlobalMemoryStatusEx(&memory) || !GetDiskFreeSpaceExW(L"C:\\", &available, &total, &free))
        return std::nullopt;
    return FreeFigures{qint64(free.QuadPart), qint64(memory.ullAvailPhys),
                       qint64(memory.ullAvailPageFile), qint64(memory.dwMemoryLoad)};
}

std::optional<FreeFigures> programFigures() {
    const auto drive = platform::DriveSpace::system().freeBytes('C');
    const auto memory = platform::MemoryStatus::system().query();
    if (!drive || !memory)
        return std::nullopt;
    return FreeFigures{qint64(*drive), qint64(memory->freePhysical), qint64(memory->freeSwap),
                       qint64(memory->loadPercent)};
}

} // namespace

class tst_WindowsServices : public QObject {
    Q_OBJECT
private slots:
    // The sizes are the system's own, in 64 bits.
    void totals() {
        MEMORYSTATUSEX memory{};
        memory.dwLength = sizeof memory;
        ULARGE_INTEGER available, total, free;
        QVERIFY(GlobalMemoryStatusEx(&memory) &&
                GetDiskFreeSpaceExW(L"C:\\", &available, &total, &free));
        const auto figures = platform::MemoryStatus::system().query();
        QVERIFY(figures && figures->totalPhysical == memory.ullTotalPhys &&
                figures->totalSwap == memory.ullTotalPageFile);
        const auto volume = platform::DriveSpace::system().volume('C');
        QVERIFY(volume && volume->total == total.QuadPart);
    }

    // The free figures of the report are the system's, read just before and
    // after, within what a busy machine moves meanwhile.
    void freeFigures_data() {
        QTest::addColumn<int>("figure");
        QTest::addColumn<qint64>("drift");
        constexpr qint64 mb = 1 << 20;
        QTest::newRow("drive C:") << 0 << 256 * mb;
        QTest::newRow("physical memory") << 1 << 1024 * mb;
        QTest::newRow("swap") << 2 << 1024 * mb;
        QTest::newRow("load") << 3 << qint64(10);
    }
    void freeFigures() {
        QFETCH(int, figure);
        QFETCH(qint64, drift);
        const auto before = systemFigures();
        const auto read = programFigures();
        const auto after = systemFigures();
        QVERIFY(before && read && after);
        const auto [low, high] = std::minmax((*before)[figure], (*after)[figure]);
        QVERIFY2(
            low - drift <= (*read)[figure] && (*read)[figure] <= high + drift,
            qPrintable(
                QStringLiteral("%1, the system %2 to %3").arg((*read)[figure]).arg(low).arg(high)));
    }

    // No drive, a drive not ready (see prepare-prefix.sh), and no capital letter.
    void letterWithoutDrive() {
        const QByteArray unready = qgetenv("TOLVANE_UNREADY_DRIVE");
        QVERIFY(unready.size() == 1);
        char absent = 0;
        for (char letter = 'Z'; letter >= 'D' && !absent; --letter)
            absent = GetLogicalDrives() & (1u << (letter - 'A')) ? 0 : letter;
        QVERIFY(absent);
        const DWORD modeBefore = GetThreadErrorMode();
        for (const char letter : {absent, unready[0], '@', '[', 'c', '1'})
            QCOMPARE(platform::DriveSpace::system().freeBytes(letter) ? letter : '-', '-');
        // The error mode that keeps an unready drive from raising a system box
        // is the checking thread's own only while it asks.
        QCOMPARE(GetThreadErrorMode(), modeBefore);
    }

    // The listing runs unawaited with the folder given as its working folder,
    // whatever the caller's, and by the system's interpreter: not the decoy
    // "cmd.exe" beside this program (win_decoy), which a bare name would find.
    void listingInFolderGiven() {
        Folder folder, elsewhere;
        QVERIFY(QDir::setCurrent(elsewhere.dir.path()));
        auto command = startListing(folder.path());
        QVERIFY(command);
        QVERIFY(!command->hasEnded());
        QTRY_VERIFY_WITH_TIMEOUT(command->hasEnded(), kListingMs);
        QVERIFY(!fs::exists(folder.path() / "decoy-ran.txt"));
        QVERIFY(fs::file_size(folder.path() / "runnings.dat") > 0);
        QVERIFY(!fs::exists(elsewhere.path() / "runnings.dat"));
        QDir::setCurrent(QDir::tempPath());
    }

    // The name goes into the interpreter's command line: nothing it could read
    // as more than a file name is taken, nor a folder that does not exist.
    void listingRefusesUnsafeNames() {
        Folder folder;
        for (const char* name : {"", "a&b.dat", "x.dat|y", "..\\up.dat", "%TEMP%.dat"})
            QVERIFY2(!startListing(folder.path(), name), name);
        QVERIFY(!startListing(folder.path() / "missing"));
    }

    // A resident program starts a listing for every report: the handle of an
    // ended one must go with it. The first start opens what the process keeps.
    void endedListingsLeaveNoHandles() {
        Folder folder;
        int before = 0;
        for (int i = 0; i < 4; ++i) {
            before = i == 1 ? openHandles() : before;
            auto command = startListing(folder.path());
            QVERIFY(command);
            QTRY_VERIFY_WITH_TIMEOUT(command->hasEnded(), kListingMs);
        }
        QVERIFY2(before > 0 && openHandles() <= before,
                 qPrintable(QStringLiteral("%1 before, %2 after").arg(before).arg(openHandles())));
    }
};

QTEST_GUILESS_MAIN(tst_WindowsServices)
#include "tst_WindowsServices.moc"
