// Prints what the system tells of drive C: and of memory, in the units of the
// report (whole MB, load in %), for the end-to-end tests to check the report's
// figures against: drive_c_mb N / load_percent N / free_physical_mb N / free_swap_mb N
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>

int main() {
    ULARGE_INTEGER available{}, total{}, totalFree{};
    MEMORYSTATUSEX memory{};
    memory.dwLength = sizeof memory;
    if (!GetDiskFreeSpaceExW(L"C:\\", &available, &total, &totalFree) ||
        !GlobalMemoryStatusEx(&memory))
        return 1;
    std::printf("drive_c_mb %llu\nload_percent %lu\nfree_physical_mb %llu\nfree_swap_mb %llu\n",
                totalFree.QuadPart >> 20, memory.dwMemoryLoad, memory.ullAvailPhys >> 20,
                memory.ullAvailPageFile >> 20);
    return 0;
}
