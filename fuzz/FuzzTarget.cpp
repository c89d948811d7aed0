// The one source of every libFuzzer target: the build compiles it once per target with
// FUZZ_BODY set to the body the target runs (fuzz/CMakeLists.txt). The readers work on files, so
// each input is written to a directory private to the process first.
#include "fuzz/FuzzMidiBody.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace {

using namespace audiolens;
using namespace audiolens::fuzzbody;

const std::string& WorkDir() {
    // Never destroyed: the exit handler below runs after the destructors of static objects.
    static const std::string* dir = [] {
        auto path = std::filesystem::temp_directory_path() /
                    ("audiolens-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(*dir, ec);
        });
        return new std::string(path.string());
    }();
    return *dir;
}

// Arbitrary bytes through the Read of the given tag kinds.
[[maybe_unused]] std::string ReadTags(const std::string& bytes, std::initializer_list<int> kinds) {
    for (int kind : kinds) {
        std::string broken = ReadWithTagKind(bytes, WorkDir() + "/input", kind);
        if (!broken.empty()) return broken;
    }
    return "";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    // A broken property is a finding: print it and abort so that libFuzzer keeps the input.
    const std::string problem = FUZZ_BODY;
    if (problem.empty()) return 0;
    std::fprintf(stderr, "property broken: %s\n", problem.c_str());
    std::abort();
}
