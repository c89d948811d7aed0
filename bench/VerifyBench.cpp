// Time of one --verify pass over WAV files (the per-file cost of the header read).
#include "framework/Registry.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

using namespace audiolens;

namespace {

std::string MakeWav(const std::string& dir, int index) {
    std::string name = dir + "/tone" + std::to_string(index) + ".wav";
    std::ofstream f(name, std::ios::binary);
    auto le32 = [&](uint32_t v) { f.write(reinterpret_cast<const char*>(&v), 4); };
    auto le16 = [&](uint16_t v) { f.write(reinterpret_cast<const char*>(&v), 2); };
    uint32_t data = 4000;
    f.write("RIFF", 4);
    le32(36 + data);
    f.write("WAVEfmt ", 8);
    le32(16);
    le16(1);
    le16(2);
    le32(44100);
    le32(176400);
    le16(4);
    le16(16);
    f.write("data", 4);
    le32(data);
    std::string zeros(data, '\0');
    f.write(zeros.data(), data);
    return name;
}

void BM_VerifyWav(benchmark::State& state) {
    auto dir = std::filesystem::temp_directory_path() / "audiolens-bench-wav";
    std::filesystem::create_directories(dir);
    std::vector<std::string> files;
    for (int i = 0; i < 256; ++i)
        files.push_back(MakeWav(dir.string(), i));
    TRef<TAudioVerify> verify(new TAudioVerify);
    size_t i = 0;
    for (auto _ : state) {
        bool ok = verify->Verify(files[i++ % files.size()]);
        benchmark::DoNotOptimize(ok);
    }
    state.SetItemsProcessed(state.iterations());
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_VerifyWav);

} // namespace
