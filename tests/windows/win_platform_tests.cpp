// The Windows implementations of the platform services, run for real.

#include "platform/CommandStart.h"
#include "platform/DriveSpace.h"
#include "platform/MemoryStatus.h"
#include "platform/Service.h"
#include "platform/Sleep.h"
#include "win_check.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Figures of a live system move between two queries; this much is plenty for
// the few microseconds between them and far below the 4 GB that a 32-bit count
// would lose.
constexpr std::uint64_t memoryDrift = 256ull << 20;

// Bound on one listing under Wine, whose first start of a service query is slow.
constexpr ULONGLONG listingBoundMs = 30000;

constexpr std::uint64_t distance(std::uint64_t a, std::uint64_t b) {
    return a > b ? a - b : b - a;
}

// A fresh folder under the temporary folder, with non-ASCII characters in its
// name as an operator's folder may have; removed with what it holds.
class TempFolder {
public:
    TempFolder() {
        path_ = fs::temp_directory_path() /
                (L"tolvane-\u76e3\u8996-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                 std::to_wstring(counter_++));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

private:
    static inline int counter_ = 0;
    fs::path path_;
};

// Waits, boundedly, for a started listing to end.
bool waitForEnd(platform::RunningCommand& command) {
    const ULONGLONG deadline = GetTickCount64() + listingBoundMs;
    while (!command.hasEnded()) {
        if (GetTickCount64() > deadline)
            return false;
        ::Sleep(20);
    }
    return true;
}

char letterWithoutDrive() {
    const DWORD drives = GetLogicalDrives();
    for (char letter = 'Z'; letter >= 'D'; --letter)
        if (!(drives & (1u << (letter - 'A'))))
            return letter;
    return 0;
}

} // namespace

WIN_TEST(memory_figures_are_sane_and_64_bit) {
    static_assert(sizeof(platform::MemoryFigures::freePhysical) == 8);
    static_assert(sizeof(platform::MemoryFigures::freeSwap) == 8);

    const auto figures = platform::use<platform::MemoryStatus>().query();
    MEMORYSTATUSEX direct{};
    direct.dwLength = sizeof direct;
    WIN_REQUIRE(figures.has_value());
    WIN_REQUIRE(GlobalMemoryStatusEx(&direct));

    WIN_CHECK_OP(figures->loadPercent, <=, 100u);
    WIN_CHECK_OP(figures->freePhysical, >, 0u);
    WIN_CHECK_OP(figures->freePhysical, <=, direct.ullTotalPhys);
    WIN_CHECK_OP(figures->freeSwap, <=, direct.ullTotalPageFile);
    // The right fields, whole: a count cut to 32 bits or taken from the wrong
    // field lands far from the system's own figure.
    WIN_CHECK_OP(distance(figures->freePhysical, direct.ullAvailPhys), <, memoryDrift);
    WIN_CHECK_OP(distance(figures->freeSwap, direct.ullAvailPageFile), <, memoryDrift);
    std::printf("  load %u%%, free physical %llu MB of %llu, free page file %llu MB of %llu\n",
                figures->loadPercent, figures->freePhysical >> 20, direct.ullTotalPhys >> 20,
                figures->freeSwap >> 20, direct.ullTotalPageFile >> 20);
}

WIN_TEST(system_drive_has_free_space) {
    const auto free = platform::use<platform::DriveSpace>().freeBytes('C');
    ULARGE_INTEGER available{}, total{}, totalFree{};
    WIN_REQUIRE(free.has_value());
    WIN_REQUIRE(GetDiskFreeSpaceExW(L"C:\\", &available, &total, &totalFree));
    WIN_CHECK_OP(*free, >, 0u);
    WIN_CHECK_OP(*free, <=, total.QuadPart);
    WIN_CHECK_OP(*free, >=, available.QuadPart);
    std::printf("  C: %llu MB free of %llu\n", *free >> 20, total.QuadPart >> 20);
}

WIN_TEST(letter_without_drive_fails) {
    const char letter = letterWithoutDrive();
    WIN_REQUIRE(letter != 0);
    std::printf("  drives %#lx, no drive at %c:\n", GetLogicalDrives(), letter);
    WIN_CHECK(!platform::use<platform::DriveSpace>().freeBytes(letter).has_value());
    // Names that are no drive letter at all, lower case included.
    for (char notALetter : {'\0', '@', '[', 'c', '1', '\\'})
        WIN_CHECK(!platform::use<platform::DriveSpace>().freeBytes(notALetter).has_value());
}

WIN_TEST(unready_drive_fails_and_keeps_error_mode) {
    const char* unready = std::getenv("TOLVANE_UNREADY_DRIVE");
    WIN_REQUIRE(unready != nullptr && *unready >= 'A' && *unready <= 'Z');
    const DWORD modeBefore = GetThreadErrorMode();
    WIN_CHECK(!platform::use<platform::DriveSpace>().freeBytes(*unready).has_value());
    WIN_CHECK_OP(GetThreadErrorMode(), ==, modeBefore);
    WIN_CHECK(platform::use<platform::DriveSpace>().freeBytes('C').has_value());
    WIN_CHECK_OP(GetThreadErrorMode(), ==, modeBefore);
}

WIN_TEST(listing_starts_unawaited_and_writes_in_working_folder) {
    TempFolder folder;
    TempFolder elsewhere;
    // The program's current folder is not the listing's: the file must follow
    // the folder given, not the caller's.
    fs::current_path(elsewhere.path());

    const ULONGLONG before = GetTickCount64();
    auto command =
        platform::use<platform::CommandStart>().startServiceListing(folder.path(), "runnings.dat");
    const ULONGLONG startMs = GetTickCount64() - before;
    WIN_REQUIRE(command != nullptr);
    // Not awaited: starting a process and the service query takes far longer
    // than returning from the start.
    WIN_CHECK(!command->hasEnded());
    std::printf("  start returned after %llu ms\n", startMs);

    WIN_REQUIRE(waitForEnd(*command));
    std::printf("  listing ended after %llu ms\n", GetTickCount64() - before);
    WIN_CHECK(command->hasEnded());
    WIN_REQUIRE(fs::is_regular_file(folder.path() / "runnings.dat"));
    WIN_CHECK(fs::file_size(folder.path() / "runnings.dat") > 0);
    WIN_CHECK(!fs::exists(elsewhere.path() / "runnings.dat"));
    // The system's interpreter ran, not the decoy beside this program.
    WIN_CHECK(!fs::exists(folder.path() / "decoy-ran.txt"));
    WIN_CHECK(!fs::exists(elsewhere.path() / "decoy-ran.txt"));
    fs::current_path(fs::temp_directory_path());
}

WIN_TEST(listing_refuses_unsafe_names_and_missing_folders) {
    TempFolder folder;
    auto& start = platform::use<platform::CommandStart>();
    // Names the interpreter would read as more than a file name.
    for (const char* name : {"", "a&b.dat", "a b.dat", "x.dat|y", "..\\up.dat", "run>x.dat",
                             "\"q\".dat", "%TEMP%.dat", "..", "sub\\x.dat"})
        WIN_CHECK(start.startServiceListing(folder.path(), name) == nullptr);
    WIN_CHECK(start.startServiceListing(folder.path() / "missing", "runnings.dat") == nullptr);
    ::Sleep(200);
    WIN_CHECK(fs::is_empty(folder.path()));
}

// How many handles this process holds, counted by asking after every handle
// value up to a bound far above what these checks open.
int openHandles() {
    int count = 0;
    for (std::uintptr_t value = 4; value < 65536; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags))
            ++count;
    }
    return count;
}

WIN_TEST(finished_listings_leave_no_handles) {
    TempFolder folder;
    const int before = openHandles();
    WIN_REQUIRE(before > 0);
    for (int i = 0; i < 3; ++i) {
        auto command = platform::use<platform::CommandStart>().startServiceListing(folder.path(),
                                                                                   "runnings.dat");
        WIN_REQUIRE(command != nullptr);
        WIN_REQUIRE(waitForEnd(*command));
    }
    const int after = openHandles();
    std::printf("  open handles: %d before, %d after\n", before, after);
    WIN_CHECK_OP(after, <=, before);
}

WIN_TEST(sleep_blocks_for_the_time_asked) {
    const ULONGLONG before = GetTickCount64();
    platform::use<platform::Sleep>().sleep(300);
    const ULONGLONG slept = GetTickCount64() - before;
    // The tick count advances in steps of up to about 16 ms.
    WIN_CHECK_OP(slept, >=, 280u);
    WIN_CHECK_OP(slept, <, 3000u);
}
