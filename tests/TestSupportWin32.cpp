// Temporary directories and runs of external programs on Windows. The reference encoders and
// ffprobe are programs of the Linux host: tests that need them are skipped here.
#include "TestSupport.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <psapi.h>

#include <cstdio>
#include <filesystem>

namespace testsupport {

TTempDir::TTempDir() {
    static unsigned counter = 0;
    char base[MAX_PATH + 1] = {};
    DWORD n = GetTempPathA(MAX_PATH, base);
    std::string root = n > 0 && n <= MAX_PATH ? std::string(base, n) : std::string(".\\");
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::string candidate = root + "audiolens-test-" + std::to_string(GetCurrentProcessId()) +
                                "-" + std::to_string(++counter);
        if (CreateDirectoryA(candidate.c_str(), nullptr)) {
            Dir = candidate;
            return;
        }
    }
    Dir = root;
}

TTempDir::~TTempDir() {
    std::error_code ec;
    if (Dir.find("audiolens-test-") != std::string::npos) std::filesystem::remove_all(Dir, ec);
}

int Run(const std::string& command, std::string* output) {
    FILE* pipe = ::_popen(command.c_str(), "rb");
    if (!pipe) return -1;
    const std::string out = ReadToEnd(pipe);
    int status = ::_pclose(pipe);
    if (output) *output = out;
    return status;
}

// A file is sparse on Windows only on request, and a 4 GiB file of zeros is no test input.
bool WriteSparse(const std::string&, uint64_t, const std::string&) {
    return false;
}

long PeakMemoryKiB() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters))) return 0;
    return static_cast<long>(counters.PeakWorkingSetSize / 1024);
}

bool HaveTool(const std::string&) {
    return false;
}

} // namespace testsupport
