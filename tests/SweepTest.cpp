// Mutilated files through every reader and tag kind: real encoder output (and byte-built tag
// layouts) cut at a grid of lengths and hit by seeded bit flips and overwritten size fields. No
// input may crash, hang, take long or allocate without bound. Also replays every input kept
// under tests/fuzz-regressions/.
#include "TestSupport.h"
#include "fuzz/FuzzBodies.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <future>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <unistd.h>

using namespace audiolens;
using namespace testsupport;
namespace fs = std::filesystem;

namespace {

constexpr double SlowInputSeconds = 2.0;
constexpr double HangSeconds = 20.0;
constexpr long MemoryGrowthLimitKiB = 400L * 1024;
constexpr int FlipsInAll = 3000;

struct TSample {
    std::string Name;
    std::string Bytes;
};

class TSweepTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (!HaveTool("ffmpeg") || !HaveTool("/usr/bin/python3")) return;
        const TTempDir seeds;
        testsupport::Run("bash " + Quote(std::string(AUDIOLENS_SOURCE_DIR) + "/fuzz/seeds.sh") +
                         " " + Quote(seeds.Root()) + " >/dev/null 2>&1");
        for (const char* part : {"audio", "midi"}) {
            std::error_code ec;
            for (const auto& entry : fs::directory_iterator(seeds.Path(part), ec))
                Samples.push_back({std::string(part) + "/" + entry.path().filename().string(),
                                   ReadFile(entry.path().string())});
        }
        std::sort(Samples.begin(), Samples.end(),
                  [](const TSample& a, const TSample& b) { return a.Name < b.Name; });
    }

    // Every reader and every tag kind on one input. An input that runs far too long ends the
    // process with its description, instead of stalling the suite until its timeout.
    void Sweep(const std::string& what, const std::string& bytes) {
        const auto started = std::chrono::steady_clock::now();
        auto run = std::async(std::launch::async, [&] {
            return std::pair(fuzzbody::ReadWithEveryFormat(bytes, Work.Path("input")),
                             fuzzbody::ReadWithEveryTagKind(bytes, Work.Path("input")));
        });
        if (run.wait_for(std::chrono::duration<double>(HangSeconds)) != std::future_status::ready) {
            std::fprintf(stderr, "hang: %s still running after %.0f s\n", what.c_str(),
                         HangSeconds);
            std::fflush(stderr);
            ::_exit(3);
        }
        const auto [formats, tags] = run.get();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
        ++Inputs;
        EXPECT_EQ(formats, "") << what;
        EXPECT_EQ(tags, "") << what;
        EXPECT_LT(took.count(), SlowInputSeconds) << what << " is slow";
    }

    static inline std::vector<TSample> Samples;
    TTempDir Work;
    int Inputs = 0;
};

// Lengths near the start (signatures, headers), evenly over the file, and near the end, where
// the trailing tags sit (a cut inside ID3v1, Lyrics3 or an APE footer).
std::vector<size_t> TruncationGrid(size_t size) {
    std::set<size_t> lengths;
    for (size_t n = 0; n <= 16 && n < size; ++n)
        lengths.insert(n);
    for (size_t step = 1; step < 48; ++step)
        lengths.insert(size * step / 48);
    for (size_t back : {1, 2, 3, 4, 8, 9, 10, 15, 16, 32, 33, 127, 128, 129, 143, 160, 200})
        if (back < size) lengths.insert(size - back);
    return {lengths.begin(), lengths.end()};
}

} // namespace

TEST_F(TSweepTest, TruncatedFilesAtEveryGridLength) {
    if (Samples.size() < 10) GTEST_SKIP() << "the sample generators are not installed";
    long rssBefore = PeakMemoryKiB();
    for (const TSample& sample : Samples)
        for (size_t length : TruncationGrid(sample.Bytes.size()))
            Sweep(sample.Name + " cut to " + std::to_string(length),
                  sample.Bytes.substr(0, length));
    EXPECT_LT(PeakMemoryKiB() - rssBefore, MemoryGrowthLimitKiB);
    std::printf("%d truncated inputs from %zu samples\n", Inputs, Samples.size());
}

TEST_F(TSweepTest, SeededBitFlipsAndOverwrittenSizes) {
    if (Samples.size() < 10) GTEST_SKIP() << "the sample generators are not installed";
    long rssBefore = PeakMemoryKiB();
    std::mt19937 random(20240611);
    const int perSample = FlipsInAll / static_cast<int>(Samples.size()) + 1;
    const uint32_t extremes[] = {0, 0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u, 0x0FFFFFFFu, 1};
    for (const TSample& sample : Samples) {
        if (sample.Bytes.empty()) continue;
        const size_t size = sample.Bytes.size();
        for (int round = 0; round < perSample; ++round) {
            std::string bytes = sample.Bytes;
            // Headers sit at the start and tags at the end, so most hits go there.
            auto position = [&]() -> size_t {
                switch (random() % 4) {
                case 0:
                case 1:
                    return random() % std::min<size_t>(size, 256);
                case 2:
                    return size - 1 - random() % std::min<size_t>(size, 256);
                default:
                    return random() % size;
                }
            };
            std::string what = sample.Name + " round " + std::to_string(round) + ":";
            if (random() % 3 == 0) {
                // A size or count field forced to an extreme value.
                size_t at = position();
                uint32_t value = extremes[random() % std::size(extremes)];
                for (size_t i = 0; i < 4 && at + i < size; ++i)
                    bytes[at + i] = static_cast<char>(value >> (8 * (random() % 2 ? i : 3 - i)));
                what += " word at " + std::to_string(at);
            } else {
                for (int flips = 1 + static_cast<int>(random() % 3); flips > 0; --flips) {
                    size_t at = position();
                    int bit = static_cast<int>(random() % 8);
                    bytes[at] = static_cast<char>(bytes[at] ^ (1 << bit));
                    what += " bit " + std::to_string(at) + "." + std::to_string(bit);
                }
            }
            Sweep(what, bytes);
        }
    }
    EXPECT_LT(PeakMemoryKiB() - rssBefore, MemoryGrowthLimitKiB);
    std::printf("%d mutated inputs\n", Inputs);
}

// Every input that once broke a fuzz target, through every reader and tag kind; the writer's
// inputs also through the writer, as its target ran them.
TEST_F(TSweepTest, KeptFuzzFindingsStayFixed) {
    const fs::path kept = fs::path(AUDIOLENS_SOURCE_DIR) / "tests" / "fuzz-regressions";
    std::error_code ec;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(kept, ec))
        if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        std::string bytes = ReadFile(file.string());
        std::string name = file.filename().string();
        Sweep(name, bytes);
        if (name.rfind("FuzzTagWrite-", 0) == 0) {
            TTempDir writeDir;
            EXPECT_EQ(fuzzbody::SaveThenRead(bytes, writeDir.Root()), "") << name;
        }
    }
    std::printf("%zu kept inputs replayed\n", files.size());
}
