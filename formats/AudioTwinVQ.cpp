// The stream parameters stand at fixed places of the first chunk ("COMM", from byte 16); the
// audio is everything between the end of the header and the APE tag, timed by the bitrate.
#include "formats/AudioTwinVQ.h"

#include "formats/AudioBytes.h"
#include "tags/TagAPE.h"
#include "tags/TagTwinVQ.h"

#include <algorithm>
#include <cstdint>

namespace audiolens {

namespace {

constexpr uint32_t FileHeadSize = 40;
constexpr int32_t MinBitRate = 8, MaxBitRate = 192;
constexpr int32_t MinSampleRate = 8000, MaxSampleRate = 44100;
constexpr double MinDuration = 0.1, MaxDuration = 10000;

// The rate field is in kHz; three codes stand for the CD family of rates.
int32_t SampleRateOf(uint32_t code) {
    switch (code) {
    case 11:
        return 11025;
    case 22:
        return 22050;
    case 44:
        return 44100;
    default:
        return code <= INT32_MAX / 1000 ? static_cast<int32_t>(code * 1000) : 0;
    }
}

} // namespace

bool ReadTwinVQ(const TFileView& file, TAudioFile& r) {
    r.Reset();
    const TByteView head = file.Head();
    if (!head.Has(0, FileHeadSize) || !head.Matches(0, "TWIN")) return false;
    for (TTagKind kind : {tkTwinVQ, tkAPE})
        if (TTagBase* tag = r.GetTag(kind)) tag->Read(file);

    r.FileSize = static_cast<int64_t>(file.Size());
    const uint32_t channelMode = head.U32BE(24), bitRate = head.U32BE(28);
    r.Channels = channelMode < UINT16_MAX ? static_cast<uint16_t>(channelMode + 1) : 0;
    r.BitRate = static_cast<int32_t>(std::min<uint32_t>(bitRate, INT32_MAX));
    r.SampleRate = SampleRateOf(head.U32BE(32));
    r.BitsPerSample = 16;

    const uint64_t headerEnd = TwinVQHeadSize + uint64_t{head.U32BE(12)};
    const uint64_t tagStart = file.Size() - static_cast<uint64_t>(TrailingTagBytes(file, r));
    const double audioBytes = tagStart > headerEnd ? static_cast<double>(tagStart - headerEnd) : 0;
    if (r.BitRate > 0) {
        r.Duration = audioBytes * 8 / 1000.0 / r.BitRate;
        const double pcmBytes = r.SampleRate * r.Duration * r.Channels * r.BitsPerSample / 8;
        r.Ratio = audioBytes / (pcmBytes + 44) * 100;
    }
    r.Valid = r.Channels > 0 && r.BitRate >= MinBitRate && r.BitRate <= MaxBitRate &&
              r.SampleRate >= MinSampleRate && r.SampleRate <= MaxSampleRate &&
              r.Duration >= MinDuration && r.Duration <= MaxDuration;
    return true;
}

TAudioFile* CreateTwinVQ() {
    TAudioFile* r = NewAudioFile(afTwinVQ, ReadTwinVQ);
    r->AddTag(tkTwinVQ, CreateTagTwinVQ());
    r->AddTag(tkAPE, CreateTagAPE());
    return r;
}

} // namespace audiolens
