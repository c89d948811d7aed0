// The command line's own process on Windows. Windows cannot replace a running program with
// another, so the companion program is started beside this one and waited for, and this process
// then ends with its exit code, as if it had been replaced.
#include "platform/Process.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace audiolens::platform {
namespace {

// One argument as the C runtime splits a command line again: quoted when it is empty or holds
// blanks or quotes; a quote inside is escaped, and backslashes are doubled where they come
// before a quote (an inner one or the closing one).
void AppendQuoted(std::string& line, const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) {
        line += arg;
        return;
    }
    line += '"';
    size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"')
            line.append(backslashes * 2 + 1, '\\');
        else
            line.append(backslashes, '\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, '\\');
    line += '"';
}

// While the companion runs, Ctrl-C and Ctrl-Break reach it too (both share the console); this
// process outlives them to report its exit code. A handler rather than ignoring the keys
// outright, because that setting would be inherited by the companion.
BOOL WINAPI WaitThroughInterrupts(DWORD event) {
    return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
}

std::string SystemError(DWORD code) {
    char text[512] = {};
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0, text, sizeof text, nullptr);
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' '))
        --n;
    return n > 0 ? std::string(text, n) : "error " + std::to_string(code);
}

} // namespace

bool StderrIsTerminal() {
    HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

std::string ExecBeside(const std::string& program, const std::vector<std::string>& args) {
    std::string self(MAX_PATH, '\0');
    for (;;) {
        const DWORD n = GetModuleFileNameA(nullptr, self.data(), static_cast<DWORD>(self.size()));
        if (n == 0) return "cannot find this program's directory";
        if (n < self.size()) {
            self.resize(n);
            break;
        }
        if (self.size() >= 32768) return "cannot find this program's directory";
        self.resize(self.size() * 2);
    }
    std::string path = self.substr(0, self.find_last_of("\\/") + 1) + program;
    if (path.size() < 4 || _stricmp(path.c_str() + path.size() - 4, ".exe") != 0) path += ".exe";
    std::string line;
    AppendQuoted(line, path);
    for (const std::string& arg : args) {
        line += ' ';
        AppendQuoted(line, arg);
    }
    // Whatever this process printed comes before the companion's output.
    std::fflush(nullptr);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    // The companion writes where this process writes, redirections included.
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION child{};
    if (!CreateProcessA(path.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &child))
        return path + ": " + SystemError(GetLastError());
    CloseHandle(child.hThread);
    SetConsoleCtrlHandler(WaitThroughInterrupts, TRUE);
    DWORD code = 1;
    if (WaitForSingleObject(child.hProcess, INFINITE) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(child.hProcess, &code))
        code = 1;
    CloseHandle(child.hProcess);
    ExitProcess(code);
}

} // namespace audiolens::platform
