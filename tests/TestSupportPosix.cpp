// Temporary directories and runs of external programs on Linux.
#include "TestSupport.h"

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace testsupport {

TTempDir::TTempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "audiolens-test-XXXXXX").string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    char* made = ::mkdtemp(buf.data());
    Dir = made ? made : "/tmp";
}

TTempDir::~TTempDir() {
    std::error_code ec;
    if (Dir != "/tmp") std::filesystem::remove_all(Dir, ec);
}

int Run(const std::string& command, std::string* output) {
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return -1;
    const std::string out = ReadToEnd(pipe);
    int status = ::pclose(pipe);
    if (output) *output = out;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool WriteSparse(const std::string& path, uint64_t offset, const std::string& bytes) {
    int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
    if (fd < 0) return false;
    bool written = ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)) ==
                   static_cast<ssize_t>(bytes.size());
    ::close(fd);
    return written;
}

long PeakMemoryKiB() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

bool HaveTool(const std::string& program) {
    return Run("command -v " + program + " >/dev/null 2>&1") == 0;
}

} // namespace testsupport
