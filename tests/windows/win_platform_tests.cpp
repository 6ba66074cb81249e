// The Windows implementations of the platform services, run for real.

#include "platform/CommandStart.h"
#include "platform/DriveSpace.h"
#include "platform/MemoryStatus.h"
#include "platform/Service.h"
#include "win_check.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

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
struct TempFolder {
    static inline int made = 0;
    const fs::path path = fs::temp_directory_path() /
                          (L"tolvane-\u76e3\u8996-" + std::to_wstring(GetCurrentProcessId()) +
                           L"-" + std::to_wstring(made++));
    TempFolder() {
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

// Waits, boundedly, for a started listing to end.
bool waitForEnd(platform::RunningCommand& command) {
    const ULONGLONG deadline = GetTickCount64() + listingBoundMs;
    while (!command.hasEnded() && GetTickCount64() < deadline)
        ::Sleep(20);
    return command.hasEnded();
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
    WIN_REQUIRE(figures.has_value() && GlobalMemoryStatusEx(&direct));
    std::printf("  load %u%%, free %llu MB of %llu, page file %llu MB free\n", figures->loadPercent,
                figures->freePhysical >> 20, direct.ullTotalPhys >> 20, figures->freeSwap >> 20);
    WIN_CHECK(figures->loadPercent <= 100);
    WIN_CHECK(figures->freePhysical > 0 && figures->freePhysical <= direct.ullTotalPhys);
    WIN_CHECK(figures->freeSwap <= direct.ullTotalPageFile);
    // The right fields, whole: a count cut to 32 bits or taken from the wrong
    // field lands far from the system's own figure.
    WIN_CHECK(distance(figures->freePhysical, direct.ullAvailPhys) < memoryDrift);
    WIN_CHECK(distance(figures->freeSwap, direct.ullAvailPageFile) < memoryDrift);
    WIN_CHECK(figures->totalPhysical == direct.ullTotalPhys &&
              figures->totalSwap == direct.ullTotalPageFile);
}

WIN_TEST(system_drive_has_free_space) {
    const auto free = platform::use<platform::DriveSpace>().freeBytes('C');
    ULARGE_INTEGER available{}, total{}, totalFree{};
    WIN_REQUIRE(free.has_value() && GetDiskFreeSpaceExW(L"C:\\", &available, &total, &totalFree));
    std::printf("  C: %llu MB free of %llu\n", *free >> 20, total.QuadPart >> 20);
    WIN_CHECK(*free > 0 && *free >= available.QuadPart && *free <= total.QuadPart);
    const auto volume = platform::use<platform::DriveSpace>().volume('C');
    WIN_CHECK(volume && volume->total == total.QuadPart);
}

// No drive, a drive not ready (see prepare-prefix.sh), and no capital letter at all.
WIN_TEST(letter_without_drive_fails) {
    const char* unready = std::getenv("TOLVANE_UNREADY_DRIVE");
    WIN_REQUIRE(unready != nullptr && letterWithoutDrive() != 0);
    const DWORD modeBefore = GetThreadErrorMode();
    for (char letter : {letterWithoutDrive(), *unready, '@', '[', 'c', '1'})
        WIN_CHECK(!platform::use<platform::DriveSpace>().freeBytes(letter).has_value());
    // The error mode that keeps an unready drive from raising a system box is
    // the checking thread's own only while it asks.
    WIN_CHECK(GetThreadErrorMode() == modeBefore);
}

WIN_TEST(listing_starts_unawaited_and_writes_in_working_folder) {
    TempFolder folder;
    TempFolder elsewhere;
    // The program's current folder is not the listing's: the file must follow
    // the folder given, not the caller's.
    fs::current_path(elsewhere.path);
    auto command =
        platform::use<platform::CommandStart>().startServiceListing(folder.path, "runnings.dat");
    WIN_REQUIRE(command != nullptr);
    // Not awaited: starting a process and the service query takes far longer
    // than returning from the start.
    WIN_CHECK(!command->hasEnded());
    WIN_REQUIRE(waitForEnd(*command));
    // The system's interpreter ran, not the decoy "cmd.exe" beside this program.
    WIN_CHECK(!fs::exists(folder.path / "decoy-ran.txt"));
    WIN_CHECK(fs::file_size(folder.path / "runnings.dat") > 0);
    WIN_CHECK(!fs::exists(elsewhere.path / "runnings.dat"));
    fs::current_path(fs::temp_directory_path());
}

// The name goes into the interpreter's command line: nothing it could read as
// more than a file name is taken, nor a folder that does not exist.
WIN_TEST(listing_refuses_unsafe_names_and_missing_folders) {
    TempFolder folder;
    auto& start = platform::use<platform::CommandStart>();
    for (const char* name : {"", "a&b.dat", "x.dat|y", "..\\up.dat", "%TEMP%.dat"})
        WIN_CHECK(start.startServiceListing(folder.path, name) == nullptr);
    WIN_CHECK(start.startServiceListing(folder.path / "missing", "runnings.dat") == nullptr);
}

// How many handles this process holds, counted by asking after every handle
// value up to a bound far above what these checks open.
int openHandles() {
    int count = 0;
    for (std::uintptr_t value = 4; value < 65536; value += 4) {
        DWORD flags = 0;
        count += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) ? 1 : 0;
    }
    return count;
}

// A resident program starts a listing for every report: the handle of an
// ended one must go with it. The first start opens what the process then keeps.
WIN_TEST(finished_listings_leave_no_handles) {
    TempFolder folder;
    int before = 0;
    for (int i = 0; i < 4; ++i) {
        before = i == 1 ? openHandles() : before;
        auto command = platform::use<platform::CommandStart>().startServiceListing(folder.path,
                                                                                   "runnings.dat");
        WIN_REQUIRE(command != nullptr && waitForEnd(*command));
    }
    std::printf("  open handles: %d before, %d after\n", before, openHandles());
    WIN_CHECK(before > 0 && openHandles() <= before);
}

int main(int argc, char** argv) {
    return wincheck::run(argc, argv);
}
