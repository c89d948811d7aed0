// Temporary directories and runs of programs on Windows. The reference encoders and ffprobe are
// programs of the Linux host: tests that need them are skipped here.
#include "TestSupport.h"

#include <windows.h>

#include <psapi.h> // after windows.h, whose types it uses

#include <filesystem>

namespace testsupport {

TTempDir::TTempDir() {
    static unsigned counter = 0;
    char base[MAX_PATH + 1] = {};
    const DWORD n = GetTempPathA(MAX_PATH, base);
    const std::string root = n > 0 && n <= MAX_PATH ? std::string(base, n) : ".\\";
    for (int attempt = 0; attempt < 1000 && Dir.empty(); ++attempt) {
        const std::string name = root + "audiolens-test-" + std::to_string(GetCurrentProcessId()) +
                                 "-" + std::to_string(++counter);
        if (CreateDirectoryA(name.c_str(), nullptr)) Dir = name;
    }
    if (Dir.empty()) Dir = root;
}

TTempDir::~TTempDir() {
    std::error_code ec;
    if (Dir.find("audiolens-test-") != std::string::npos) std::filesystem::remove_all(Dir, ec);
}

int Run(const std::string& command, std::string* output) {
    FILE* pipe = ::_popen(command.c_str(), "rb");
    if (!pipe) return -1;
    const std::string out = ReadToEnd(pipe);
    if (output) *output = out;
    return ::_pclose(pipe);
}

// A file is sparse on Windows only on request, and a 4 GiB file of zeros is no test input.
bool WriteSparse(const std::string&, uint64_t, const std::string&) {
    return false;
}

long PeakMemoryKiB() {
    PROCESS_MEMORY_COUNTERS counters{sizeof(counters)};
    const bool known = GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return known ? static_cast<long>(counters.PeakWorkingSetSize / 1024) : 0;
}

bool HaveTool(const std::string&) {
    return false;
}

} // namespace testsupport
