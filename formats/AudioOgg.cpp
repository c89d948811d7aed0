#include "formats/AudioOgg.h"

#include "core/Convert.h"
#include "tags/ID3v2Layout.h"
#include "tags/TagID3v2.h"
#include "tags/TagVorbis.h"
#include "tags/VorbisLayout.h"

#include <cmath>
#include <string_view>

namespace audiolens {

namespace {

using namespace std::string_view_literals;

constexpr double WavHeaderSize = 44;
// Opus always decodes at 48 kHz; the granule position counts samples at that rate.
constexpr int32_t OpusRate = 48000;
// The identification packets must hold every field read from them.
constexpr size_t VorbisIdFields = 28, SpeexHeaderFields = 64, OpusHeadFields = 19;
constexpr size_t OggFlacStreamInfoAt = 17;

struct TIdentification {
    bool Whole = false;   // the packet holds every field
    uint32_t Nominal = 0; // bit/s; Vorbis only
    int64_t PreSkip = 0;  // Opus only
};

bool ReadVorbisId(const TByteView& id, TAudioFile& r, TIdentification& ident) {
    r.Info->Add("Encoder=Vorbis");
    if (!id.Has(0, VorbisIdFields)) return false;
    r.Channels = id.U8(11);
    r.SampleRate = static_cast<int32_t>(id.U32LE(12));
    const auto maximum = static_cast<int32_t>(id.U32LE(16));
    const auto nominal = static_cast<int32_t>(id.U32LE(20));
    const auto minimum = static_cast<int32_t>(id.U32LE(24));
    ident.Nominal = nominal > 0 ? static_cast<uint32_t>(nominal) : 0;
    // Encoders give only the nominal rate (0, nominal, 0) for the usual variable rate; a fixed
    // rate has all three equal.
    r.BitRateType = nominal > 0 && maximum == nominal && minimum == nominal ? brCBR : brVBR;
    return true;
}

bool ReadSpeexHeader(const TByteView& id, TAudioFile& r) {
    r.Info->Add("Encoder=Speex");
    r.Info->Add("SpeexVersion=" + Trim(id.Text(8, 20)));
    if (!id.Has(0, SpeexHeaderFields)) return false;
    r.SampleRate = static_cast<int32_t>(id.U32LE(36));
    r.Channels = id.U16LE(48);
    r.BitRateType = static_cast<int32_t>(id.U32LE(60)) > 0 ? brVBR : brCBR;
    return true;
}

bool ReadOpusHead(const TByteView& id, TAudioFile& r, TIdentification& ident) {
    r.Info->Add("Encoder=Opus");
    if (!id.Has(0, OpusHeadFields)) return false;
    r.Channels = id.U8(9);
    ident.PreSkip = id.U16LE(10);
    r.SampleRate = OpusRate;
    r.Info->Add("InputSampleRate=" + IntToStr(id.U32LE(12)));
    return true;
}

bool ReadOggFlacHeader(const TByteView& id, TAudioFile& r) {
    r.Info->Add("Encoder=FLAC");
    TFlacStreamInfo info;
    if (!ParseFlacStreamInfo(id.Sub(OggFlacStreamInfoAt, FlacStreamInfoSize), info)) return false;
    r.Channels = info.Channels;
    r.SampleRate = static_cast<int32_t>(info.SampleRate);
    r.BitsPerSample = info.BitsPerSample;
    return true;
}

} // namespace

bool ReadOgg(const TFileView& file, TAudioFile& r) {
    r.Reset();
    uint64_t start = 0;
    if (!SkipID3v2Tags(file, start)) return false;
    TOggPage first;
    if (!ReadOggPage(file, start, first)) return false;
    // The first packet, from the first page's own layout.
    uint64_t idSize = 0;
    for (unsigned char v : first.Lacing) {
        idSize += v;
        if (v < 255) break;
    }
    std::string idBytes;
    const TByteView id = file.Bytes(first.DataOffset(), static_cast<size_t>(idSize), idBytes);
    const bool vorbis = id.Matches(0, "\x01vorbis"sv), speex = id.Matches(0, "Speex   "),
               opus = id.Matches(0, "OpusHead"),
               flac = id.Matches(0, "\x7F"
                                    "FLAC");
    if (!vorbis && !speex && !opus && !flac) return false;

    r.FileSize = static_cast<int64_t>(file.Size());
    for (TTagKind kind : {tkVorbis, tkID3v2})
        if (TTagBase* tag = r.GetTag(kind)) tag->Read(file);
    r.BitsPerSample = 16;
    TIdentification ident;
    ident.Whole = vorbis  ? ReadVorbisId(id, r, ident)
                  : speex ? ReadSpeexHeader(id, r)
                  : opus  ? ReadOpusHead(id, r, ident)
                          : ReadOggFlacHeader(id, r);
    r.Info->Add("StreamVersion=" + IntToStr(0));
    r.Info->Add("Serial=" + IntToStr(static_cast<int32_t>(first.Serial)));
    if (ident.Nominal / 1000 > 0) r.Info->Add("BitRateNominal=" + IntToStr(ident.Nominal / 1000));

    int64_t granule = 0;
    if (FindLastGranule(file, start, first.Serial, granule))
        r.Samples = std::max<int64_t>(0, granule - ident.PreSkip);
    // The comment tag's size is the end offset of the comment packet in the file.
    const TTagBase* comments = r.GetTag(tkVorbis);
    const int64_t headers =
        comments && comments->Size > 0 ? comments->Size : static_cast<int64_t>(start);
    const double audioSize = static_cast<double>(std::max<int64_t>(0, r.FileSize - headers));
    if (r.Samples > 0 && r.SampleRate > 0)
        r.Duration = static_cast<double>(r.Samples) / r.SampleRate;
    else if (ident.Nominal > 0)
        r.Duration = audioSize * 8 / ident.Nominal;
    if (r.Duration > 0)
        r.BitRate = static_cast<int32_t>(std::nearbyint(audioSize * 8 / r.Duration / 1000));
    if (r.Samples > 0) {
        const uint64_t pcmBits = static_cast<uint64_t>(r.Samples) * r.Channels * r.BitsPerSample;
        r.Ratio = audioSize / (static_cast<double>(pcmBits) / 8 + WavHeaderSize) * 100;
    }
    r.Valid =
        ident.Whole && r.Channels > 0 && r.SampleRate > 0 && r.Duration > 0.1 && r.BitRate > 0;
    return true;
}

TAudioFile* CreateOgg() {
    TAudioFile* r = NewAudioFile(afOGG, ReadOgg);
    r->AddTag(tkID3v2, CreateTagID3v2());
    r->AddTag(tkVorbis, CreateTagVorbis());
    return r;
}

} // namespace audiolens
