// The PE checksum that updpack writes into a stamped exe, checked against
// the real MapFileAndCheckSumA. Prints one line per file and returns the
// number of files whose header sum differs from the one the API computes.
#include <windows.h>
#include <imagehlp.h>

#include <cstdio>

int main(int argc, char** argv) {
    int failures = 0;
    for (int i = 1; i < argc; ++i) {
        DWORD header = 0, computed = 0;
        const DWORD result = ::MapFileAndCheckSumA(argv[i], &header, &computed);
        const bool holds = result == CHECKSUM_SUCCESS && header == computed;
        std::printf("%s %s: header %08lx, computed %08lx\n", holds ? "ok  " : "FAIL", argv[i],
                    static_cast<unsigned long>(header), static_cast<unsigned long>(computed));
        failures += holds ? 0 : 1;
    }
    return failures;
}
