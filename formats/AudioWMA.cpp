// Only a stream whose type is audio gives channels and rate: an ASF file may hold video streams
// too, in any order. The codec list is walked entry by entry for the first audio codec.
#include "formats/AudioWMA.h"

#include "tags/TagWMA.h"

#include <algorithm>

namespace audiolens {

namespace {

constexpr uint16_t AudioCodec = 2;
constexpr size_t ScanChunk = 1 << 20;

struct TAsfValues {
    bool HaveProperties = false, HaveStream = false;
    uint32_t MaxBitRate = 0;
};

void ReadFileProperties(TByteView object, TAudioFile& r, TAsfValues& v) {
    uint64_t at = 64;
    const uint64_t playDuration = ReadNumber(object, at, 8);
    at = 80;
    const uint64_t preroll = ReadNumber(object, at, 8);
    r.Duration =
        static_cast<double>(playDuration) / 10000000.0 - static_cast<double>(preroll) / 1000.0;
    v.MaxBitRate = object.U32LE(100);
    v.HaveProperties = true;
}

void ReadStreamProperties(TByteView object, TAudioFile& r, TAsfValues& v) {
    if (v.HaveStream || !IsAsfGuid(object, 24, AsfAudioMediaGuid)) return;
    // The type-specific data of an audio stream is a wave format structure.
    r.Channels = object.U16LE(80);
    r.SampleRate = static_cast<int32_t>(std::min<uint32_t>(object.U32LE(82), INT32_MAX));
    r.BitRate =
        static_cast<int32_t>(std::min<uint64_t>(uint64_t{object.U32LE(86)} * 8 / 1000, INT32_MAX));
    v.HaveStream = true;
}

// Entries: type, name (16-bit length in characters), description (the same), then information
// with a 16-bit length in bytes.
void ReadCodecList(TByteView object, TAudioFile& r) {
    const uint32_t count = object.U32LE(40);
    uint64_t at = 44;
    for (uint32_t i = 0; i < count && object.Has(at, 2); ++i) {
        const uint16_t type = object.U16LE(at);
        at += 2;
        const uint64_t nameLength = uint64_t{object.U16LE(at)} * 2;
        at += 2;
        const std::string name = ReadWideString(object, at, nameLength);
        const uint64_t descriptionLength = uint64_t{object.U16LE(at)} * 2;
        at += 2;
        const std::string description = ReadWideString(object, at, descriptionLength);
        at += 2 + object.U16LE(at);
        if (at > object.Size()) return;
        if (type == AudioCodec) {
            r.Info->Add("Version=" + name);
            r.Info->Add("StreamProperty=" + description);
            return;
        }
    }
}

// The data object's offset: right after the header, else the first copy of its GUID anywhere.
uint64_t FindDataObject(const TFileView& file, uint64_t headerSize, bool& found) {
    std::string scratch;
    found = true;
    if (IsAsfGuid(file.Bytes(headerSize, 16, scratch), 0, AsfDataGuid)) return headerSize;
    const std::string_view guid(reinterpret_cast<const char*>(AsfDataGuid.data()), 16);
    for (uint64_t at = 0; at + 16 <= file.Size();) {
        const TByteView chunk = file.Bytes(at, ScanChunk, scratch);
        const size_t hit = chunk.Find(guid);
        if (hit != TByteView::npos) return at + hit;
        if (chunk.Size() < ScanChunk) break;
        at += chunk.Size() - 15; // a GUID across the chunk border is found in the next one
    }
    found = false;
    return 0;
}

} // namespace

bool ReadWMA(const TFileView& file, TAudioFile& r) {
    r.Reset();
    r.FileSize = static_cast<int64_t>(file.Size());
    const TByteView head = file.Head();
    if (!IsAsfGuid(head, 0, AsfHeaderGuid)) return false;
    for (TTagKind kind : {tkWMA, tkExWMA})
        if (TTagBase* tag = r.GetTag(kind)) tag->Read(file);

    const uint64_t headerSize = head.U64LE(16);
    std::string scratch;
    const TByteView header =
        file.Bytes(0, static_cast<size_t>(std::min(headerSize, file.Size())), scratch);
    TAsfValues values;
    for (const TAsfObject& object : WalkAsfHeader(header).Objects) {
        if (object.Is(AsfFilePropertiesGuid))
            ReadFileProperties(object.Bytes, r, values);
        else if (object.Is(AsfStreamPropertiesGuid))
            ReadStreamProperties(object.Bytes, r, values);
        else if (object.Is(AsfCodecListGuid))
            ReadCodecList(object.Bytes, r);
    }
    r.BitsPerSample = 16;
    r.BitRate = static_cast<int32_t>(values.MaxBitRate / 1000);

    bool found = false;
    const uint64_t dataAt = FindDataObject(file, headerSize, found);
    const uint64_t dataSize = found ? file.Size() - dataAt : file.Size();
    const double pcmBytes = r.SampleRate * r.Duration * (r.Channels * r.BitsPerSample) / 8.0 + 44.0;
    if (pcmBytes > 0) r.Ratio = static_cast<double>(dataSize) / pcmBytes * 100.0;
    r.Valid = values.MaxBitRate > 0 && (r.Channels == 1 || r.Channels == 2) &&
              r.SampleRate >= 8000 && r.SampleRate <= 96000 && r.BitRate > 0 && r.BitRate < 400000;
    return true;
}

TAudioFile* CreateWMA() {
    TAudioFile* r = NewAudioFile(afWMA, ReadWMA);
    r->AddTag(tkWMA, CreateTagWMA());
    r->AddTag(tkExWMA, CreateTagExWMA());
    return r;
}

} // namespace audiolens
