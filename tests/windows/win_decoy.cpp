// Put where a search for a bare "cmd.exe" looks first: leaves a mark in its
// working folder if it is ever run instead of the system's interpreter.
#include <cstdio>

int main() {
    if (std::FILE* mark = std::fopen("decoy-ran.txt", "w"))
        std::fclose(mark);
    return 0;
}
