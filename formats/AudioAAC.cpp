// ADIF puts one header in front of the whole stream; ADTS puts a 7-byte header (9 with a CRC) in
// front of every frame, so an ADTS stream is timed by walking its frames: 1024 samples for each
// raw data block. The ADTS sync word shares its first 12 bits with MPEG audio frames; only the
// layer bits (always 0 here, never 0 in MPEG audio) tell the two apart.
#include "formats/AudioAAC.h"

#include "core/BitView.h"
#include "core/ReadWindow.h"
#include "formats/AudioBytes.h"
#include "tags/ID3v2Layout.h"

#include <cmath>

namespace audiolens {

namespace {

enum THeaderType { htUnknown = 0, htADIF, htADTS };
const char* const HeaderTypeNames[] = {"Unknown type", "ADIF", "ADTS"};
const char* const VersionNames[] = {"Unknown", "MPEG-2", "MPEG-4"};
const char* const ProfileNames[] = {"Unknown Profile", "AAC Main", "AAC_LC", "AAC_SSR", "AAC_LTP"};
constexpr int VersionMPEG2 = 1, VersionMPEG4 = 2;

// By sampling-frequency index; 12 to 15 are reserved.
constexpr int32_t SampleRates[16] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050,
                                     16000, 12000, 11025, 8000,  0,     0,     0,     0};
constexpr uint32_t ReservedRateIndex = 12;
constexpr uint32_t SamplesPerBlock = 1024;
constexpr uint32_t ADTSHeaderBytes = 7, ADTSCrcBytes = 2;
constexpr uint32_t ADTSHeaderRead = 8; // the older layout's fields end in the eighth byte
constexpr uint32_t FullnessVBR = 0x7FF;
// Enough for the ADIF header up to the first program's element lists (72 bits of copyright id,
// then at most 3 x 15 elements of 5 bits).
constexpr uint32_t ADIFHeaderRead = 64;

// Channels by ADTS channel configuration; 0 means the layout is given inside the stream.
constexpr uint16_t ConfigChannels[8] = {0, 1, 2, 3, 4, 5, 6, 8};

struct TADTSHeader {
    uint32_t Id = 0; // 1 MPEG-2, 0 MPEG-4
    uint32_t Profile = 0;
    uint32_t RateIndex = 0;
    uint32_t ChannelConfig = 0;
    uint32_t MinLength = ADTSHeaderBytes;
    // The frame length, buffer fullness and block count where ISO 14496-3 and the corrected
    // 13818-7 put them (the length at bit 30), and where the first MPEG-4 layout put them, two
    // bits later behind an emphasis field.
    uint32_t Length = 0, Fullness = 0, Blocks = 0;
    uint32_t OldLength = 0, OldFullness = 0, OldBlocks = 0;
};

// The fixed part must be an AAC header: sync, layer 0 and a sampling rate of the table.
bool ParseADTS(const TByteView& bytes, TADTSHeader& h) {
    if (!bytes.Has(0, ADTSHeaderBytes)) return false;
    TBitView bits(bytes);
    if (bits.Bits(12) != 0xFFF) return false;
    h.Id = bits.Bits(1);
    if (bits.Bits(2) != 0) return false; // layer
    const bool protectionAbsent = bits.Flag();
    h.MinLength = ADTSHeaderBytes + (protectionAbsent ? 0 : ADTSCrcBytes);
    h.Profile = bits.Bits(2);
    h.RateIndex = bits.Bits(4);
    if (h.RateIndex >= ReservedRateIndex) return false;
    bits.Skip(1); // private bit
    h.ChannelConfig = bits.Bits(3);
    h.Length = bits.BitsAt(30, 13);
    h.Fullness = bits.BitsAt(43, 11);
    h.Blocks = bits.BitsAt(54, 2);
    h.OldLength = bits.BitsAt(32, 13);
    h.OldFullness = bits.BitsAt(45, 11);
    h.OldBlocks = bits.BitsAt(56, 2);
    return true;
}

// Frame walks stop where the next frame's first two bytes are not an AAC sync.
bool SyncAt(TReadWindow& window, uint64_t pos) {
    const TByteView bytes = window.At(pos, 2);
    return bytes.Has(0, 2) && bytes.U8(0) == 0xFF && (bytes.U8(1) & 0xF6) == 0xF0;
}

// The length of the frame at pos, 0 when it has none. The length at bit 30 is the one every
// current writer uses; the older position is taken where it alone leads to the next sync (or
// exactly to the end), and for a frame followed by neither when the frames before used it.
uint32_t FrameLength(TReadWindow& window, uint64_t pos, uint64_t end, TADTSHeader& h, bool& older) {
    const bool current =
        h.Length >= h.MinLength && (pos + h.Length >= end || SyncAt(window, pos + h.Length));
    const bool old = h.Id == 0 && h.OldLength >= h.MinLength &&
                     (pos + h.OldLength == end || SyncAt(window, pos + h.OldLength));
    if (current || old)
        older = old && (older || !current);
    else if (older && !(h.Id == 0 && h.OldLength >= h.MinLength))
        older = false;
    if (older) {
        h.Length = h.OldLength;
        h.Fullness = h.OldFullness;
        h.Blocks = h.OldBlocks;
    }
    return h.Length >= h.MinLength ? h.Length : 0;
}

// A frame at start whose length leads to the next frame (or to the end of the file): two
// comparisons for a file that is no ADTS stream.
bool StartsADTS(const TFileView& file, uint64_t start) {
    std::string scratch;
    TADTSHeader h;
    if (!ParseADTS(file.Bytes(start, ADTSHeaderRead, scratch), h)) return false;
    TReadWindow window(file);
    bool older = false;
    const uint32_t length = FrameLength(window, start, file.Size(), h, older);
    return length > 0 && (start + length == file.Size() || SyncAt(window, start + length));
}

struct TADTSWalk {
    TADTSHeader Last;
    uint64_t Frames = 0;
    uint64_t Blocks = 0;
    uint64_t Bytes = 0;
};

// Every frame from start to end; each counted frame advances by at least 7 bytes.
void WalkADTS(const TFileView& file, uint64_t start, uint64_t end, TADTSWalk& walk) {
    TReadWindow window(file);
    TADTSHeader h;
    bool older = false;
    for (uint64_t pos = start; pos + ADTSHeaderBytes <= end;) {
        if (!ParseADTS(window.At(pos, ADTSHeaderRead), h)) break;
        const uint32_t length = FrameLength(window, pos, end, h, older);
        if (length == 0) break;
        walk.Last = h;
        ++walk.Frames;
        walk.Blocks += h.Blocks + 1;
        walk.Bytes += pos + length <= end ? length : end - pos; // a cut last frame
        pos += length;
    }
}

void ReadADTS(const TFileView& file, uint64_t start, uint64_t end, TAudioFile& r, int& profile,
              int& version) {
    TADTSWalk walk;
    WalkADTS(file, start, end, walk);
    if (walk.Frames == 0) return;
    const TADTSHeader& h = walk.Last;
    profile = static_cast<int>(h.Profile) + 1;
    version = h.Id == 0 ? VersionMPEG4 : VersionMPEG2;
    r.SampleRate = SampleRates[h.RateIndex];
    r.Channels = ConfigChannels[h.ChannelConfig];
    r.BitRateType = h.Fullness == FullnessVBR ? brVBR : brCBR;
    r.Samples = static_cast<int64_t>(walk.Blocks * SamplesPerBlock);
    if (r.SampleRate > 0 && r.Samples > 0) {
        const double seconds = static_cast<double>(r.Samples) / r.SampleRate;
        r.BitRate = static_cast<int32_t>(
            std::nearbyint(static_cast<double>(walk.Bytes) * 8 / seconds / 1000));
    }
}

// The header of an ADIF stream and its first program configuration element. Returns the
// bitrate in bit/s.
uint32_t ReadADIF(const TByteView& bytes, TAudioFile& r, int& profile) {
    TBitView bits(bytes, 32);
    if (bits.Flag()) bits.Skip(72); // copyright id
    bits.Skip(2);                   // original_copy, home
    const bool variable = bits.Flag();
    const uint32_t bitRate = bits.Bits(23);
    bits.Skip(4);                 // number of program configuration elements - 1
    if (!variable) bits.Skip(20); // buffer fullness
    bits.Skip(4);                 // element instance tag
    profile = static_cast<int>(bits.Bits(2)) + 1;
    const uint32_t rateIndex = bits.Bits(4);
    const uint32_t front = bits.Bits(4), side = bits.Bits(4), back = bits.Bits(4);
    const uint32_t lfe = bits.Bits(2);
    bits.Skip(3 + 4); // associated data and coupling channel element counts
    for (unsigned mixdown : {4u, 4u, 3u})
        if (bits.Flag()) bits.Skip(mixdown);
    // Each front, side and back element is a single channel or, with its is_cpe bit, a pair.
    uint32_t channels = front + side + back + lfe;
    for (uint32_t i = 0; i < front + side + back; ++i) {
        channels += bits.Bits(1);
        bits.Skip(4);
    }
    if (bits.Short()) return 0;
    r.BitRateType = variable ? brVBR : brCBR;
    r.SampleRate = SampleRates[rateIndex];
    r.Channels = static_cast<uint16_t>(channels);
    r.BitRate = static_cast<int32_t>(std::nearbyint(bitRate / 1000.0));
    return bitRate;
}

} // namespace

bool ReadAAC(const TFileView& file, TAudioFile& r) {
    r.Reset();
    uint64_t start = 0;
    if (!SkipID3v2Tags(file, start)) return false;
    std::string scratch;
    const TByteView head = file.Bytes(start, ADIFHeaderRead, scratch);
    const int type = head.Matches(0, "ADIF")   ? htADIF
                     : StartsADTS(file, start) ? htADTS
                                               : htUnknown;
    if (type == htUnknown) return false;

    r.FileSize = static_cast<int64_t>(file.Size());
    ReadStreamTags(file, r);
    const auto trailing = static_cast<uint64_t>(TrailingTagBytes(file, r));
    const uint64_t end = file.Size() - trailing > start ? file.Size() - trailing : start;
    const auto audioBytes = static_cast<double>(end - start);

    int profile = 0, version = 0;
    double bitsPerSecond = 0;
    if (type == htADIF) {
        version = VersionMPEG4;
        bitsPerSecond = ReadADIF(head, r, profile);
    } else {
        ReadADTS(file, start, end, r, profile, version);
        bitsPerSecond = r.BitRate * 1000.0;
    }
    r.Info->Add(std::string("ProfileACC=") + ProfileNames[profile]);
    r.Info->Add(std::string("VersionMPEG=") + VersionNames[version]);

    r.Valid = r.Channels > 0 && r.SampleRate > 0 && r.BitRate > 0;
    if (!r.Valid) return true;
    r.BitsPerSample = 16;
    r.Duration = type == htADTS ? static_cast<double>(r.Samples) / r.SampleRate
                                : audioBytes * 8 / bitsPerSecond;
    const double pcmBytes = r.Duration * r.SampleRate * r.Channels * r.BitsPerSample / 8;
    r.Ratio = audioBytes / (pcmBytes + 44) * 100;
    r.Info->Add(std::string("TypeAAC=") + HeaderTypeNames[type]);
    return true;
}

TAudioFile* CreateAAC() {
    return NewTaggedStream(afAAC, ReadAAC);
}

} // namespace audiolens
