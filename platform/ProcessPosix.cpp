#include "platform/Process.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace audiolens::platform {

bool StderrIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

std::string ExecBeside(const std::string& program, const std::vector<std::string>& args) {
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return "cannot find this program's directory";
    std::string path(self, static_cast<size_t>(n));
    path = path.substr(0, path.rfind('/') + 1) + program;
    std::vector<char*> argv;
    argv.push_back(path.data());
    std::vector<std::string> copies(args);
    for (std::string& a : copies)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(path.c_str(), argv.data());
    return path + ": " + std::strerror(errno);
}

} // namespace audiolens::platform
