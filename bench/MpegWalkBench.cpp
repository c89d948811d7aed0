// Throughput of the MPEG frame walk over a ten-minute 128 kbit/s lame file (about 9.6 MB, some
// 23000 frames), read from the page cache: the walk alone on an open stream, and the whole read
// of the record with its three tag reads.
#include "core/FileStream.h"
#include "formats/AudioMPEG.h"
#include "formats/MPEGFrameWalk.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <string>

using namespace audiolens;

namespace {

// Made once and kept in /tmp: encoding ten minutes takes lame several seconds.
const std::string& LongMp3() {
    static const std::string file = [] {
        const std::string mp3 = "/tmp/audiolens-bench-mpeg-600s.mp3";
        if (std::filesystem::exists(mp3)) return mp3;
        const std::string wav = "/tmp/audiolens-bench-mpeg-600s.wav";
        const std::string make =
            "ffmpeg -v error -y -f lavfi -i sine=frequency=440:sample_rate=44100:duration=600 "
            "-ac 2 -c:a pcm_s16le " +
            wav + " && lame --quiet -b 128 " + wav + " " + mp3 + ".part && mv " + mp3 + ".part " +
            mp3;
        const int status = std::system(make.c_str());
        std::filesystem::remove(wav);
        return status == 0 ? mp3 : std::string();
    }();
    return file;
}

void BM_MpegFrameWalk(benchmark::State& state) {
    const std::string& file = LongMp3();
    if (file.empty()) {
        state.SkipWithError("ffmpeg or lame missing");
        return;
    }
    TFileViewRef view = TFileView::Open(file);
    const uint64_t size = view->Size();
    uint32_t frames = 0;
    for (auto _ : state) {
        TMPEGWalk walk;
        benchmark::DoNotOptimize(WalkMPEGFrames(*view, 0, walk));
        frames = walk.FrameCount;
    }
    state.counters["frames"] = frames;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * size);
}
BENCHMARK(BM_MpegFrameWalk)->Unit(benchmark::kMillisecond);

void BM_MpegRead(benchmark::State& state) {
    const std::string& file = LongMp3();
    if (file.empty()) {
        state.SkipWithError("ffmpeg or lame missing");
        return;
    }
    TAudioRef record(CreateMPEG());
    for (auto _ : state)
        benchmark::DoNotOptimize(record->Read(file));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * record->FileSize);
}
BENCHMARK(BM_MpegRead)->Unit(benchmark::kMillisecond);

} // namespace
