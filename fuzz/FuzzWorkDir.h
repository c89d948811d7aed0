// One private directory per fuzzing process: the readers work on files, so each input is
// written there first. It is removed when the process ends normally.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace audiolens::fuzzbody {

inline const std::string& WorkDir() {
    // Never destroyed: the exit handler below runs after the destructors of static objects.
    static const std::string* dir = [] {
        auto path = std::filesystem::temp_directory_path() /
                    ("audiolens-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        auto* made = new std::string(path.string());
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(*dir, ec);
        });
        return made;
    }();
    return *dir;
}

// A broken property is a finding: print it and abort so that libFuzzer keeps the input.
inline void Check(const std::string& problem) {
    if (problem.empty()) return;
    std::fprintf(stderr, "property broken: %s\n", problem.c_str());
    std::abort();
}

} // namespace audiolens::fuzzbody
