#include "formats/AudioFLAC.h"

#include "tags/ID3v2Layout.h"
#include "tags/TagID3v1.h"
#include "tags/TagID3v2.h"
#include "tags/TagVorbis.h"
#include "tags/VorbisLayout.h"

#include <cmath>

namespace audiolens {

bool ReadFLAC(const TFileView& file, TAudioFile& r) {
    r.Reset();
    uint64_t start = 0;
    if (!SkipID3v2Tags(file, start)) return false;
    std::string scratch;
    if (!file.Bytes(start, 4, scratch).Matches(0, "fLaC")) return false;
    r.FileSize = static_cast<int64_t>(file.Size());
    for (TTagKind kind : {tkID3v1, tkID3v2, tkVorbis})
        if (TTagBase* tag = r.GetTag(kind)) tag->Read(file);

    TFlacMetadata meta;
    ReadFlacMetadata(file, start, meta);
    // STREAMINFO comes first and is whole; a shorter block would make the next block's bytes
    // look like values.
    TFlacStreamInfo info;
    if (meta.Blocks.empty() || meta.Blocks[0].Type != FlacStreamInfo ||
        meta.Blocks[0].Length < FlacStreamInfoSize ||
        !ParseFlacStreamInfo(file.Bytes(meta.Blocks[0].DataOffset(), FlacStreamInfoSize, scratch),
                             info))
        return true;

    int64_t trailing = 0;
    if (auto* id3v1 = r.Tag<TTagID3v1>(tkID3v1))
        trailing = id3v1->Size + (id3v1->LyricsTag() ? id3v1->LyricsTag()->Size : 0);
    const int64_t audioSize =
        std::max<int64_t>(0, r.FileSize - static_cast<int64_t>(meta.End) - trailing);
    r.Channels = info.Channels;
    r.SampleRate = static_cast<int32_t>(info.SampleRate);
    r.BitsPerSample = info.BitsPerSample;
    r.Samples = static_cast<int64_t>(info.Samples);
    if (info.SampleRate == 0) return true; // not a valid rate: no values to derive
    r.Valid = true;
    // A total of 0 means the encoder did not know it (a stream written to a pipe).
    if (info.Samples == 0) return true;
    r.Duration = static_cast<double>(info.Samples) / info.SampleRate;
    r.BitRate = static_cast<int32_t>(std::nearbyint(audioSize / 1000.0 * 8 / r.Duration));
    const uint64_t pcmBits = info.Samples * info.Channels * info.BitsPerSample;
    r.Ratio = static_cast<double>(audioSize) / (static_cast<double>(pcmBits) / 8) * 100;
    return true;
}

TAudioFile* CreateFLAC() {
    TAudioFile* r = NewAudioFile(afFLAC, ReadFLAC);
    r->AddTag(tkID3v1, CreateTagID3v1());
    r->AddTag(tkID3v2, CreateTagID3v2());
    r->AddTag(tkVorbis, CreateTagVorbis());
    return r;
}

} // namespace audiolens
