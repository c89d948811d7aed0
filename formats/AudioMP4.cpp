// MP4 reader. The values come from the first sound track, whatever tracks come before it, and
// are timed by that track's own clock (its "mdhd" time scale): the sample entry's rate is a
// 16.16 number that reads 0 above 65535 Hz, and the "stsz" count is a count of packets, not of
// samples. A fragmented file keeps its timing in the fragments ("trun") instead.
#include "formats/AudioMP4.h"

#include "core/Convert.h"
#include "tags/TagMp4.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace audiolens {

namespace {

struct TBrand {
    std::string_view Code, Description;
};
constexpr TBrand Brands[] = {
    {"isom", "ISO 14496-1 Base Media"},
    {"iso2", "ISO 14496-12 Base Media"},
    {"mp41", "ISO 14496-1 v.1"},
    {"mp42", "ISO 14496-1 v.2"},
    {"qt  ", "Quicktime Movie"},
    {"avc1", "JVT AVC"},
    {"3gp4", "3G MP4 profile"},
    {"mmp4", "3G Mobile MP4"},
    {"M4A ", "Apple AAC audio"},
    {"M4P ", "AES encrypted audio"},
    {"M4B ", "Apple audio"},
    {"mp71", "ISO 14496-12 MPEG-7"},
};

struct TObjectType {
    uint8_t Code;
    const char* Name;
};
constexpr TObjectType ObjectTypes[] = {
    {0x40, "MPEG-4 audio"},
    {0xC0, "private audio"},
    {0xE0, "16-bit PCM Little Endian audio"},
    {0xE1, "vorbis audio"},
    {0xE2, "Dolby v3 (AC3) audio"},
    {0xE3, "aLaw audio"},
    {0xE4, "uLaw audio"},
    {0xE5, "G723 ADPCM audio"},
    {0xE6, "16-bit PCM Big Endian audio"},
    {0x66, "MPEG-4 ADTS main"},
    {0x67, "MPEG-4 ADTS Low Complexity"},
    {0x68, "MPEG-4 ADTS Scalable Sampling Rate"},
    {0x69, "MPEG-2 ADTS"},
    {0x6B, "MPEG-1 ADTS"},
    {0x20, "MPEG-4 video"},
    {0x60, "MPEG-2 simple video"},
    {0x61, "MPEG-2 main video"},
    {0x62, "MPEG-2 SNR video"},
    {0x63, "MPEG-2 spatial video"},
    {0x64, "MPEG-2 high video"},
    {0x65, "MPEG-2 4:2:2 video"},
    {0x6A, "MPEG-1 video"},
    {0x6C, "JPEG video"},
    {0xD0, "private video"},
    {0xF0, "Y''CbCr 4:2:0 (YV12) video"},
    {0xF1, "H264 video"},
    {0xF2, "H263 video"},
    {0xF3, "H261 video"},
    {0x21, "MPEG-4 AVC SPS"},
    {0x22, "MPEG-4 AVC PPS"},
    {0x01, "System v1"},
    {0x02, "System v2"},
};

// MPEG-4 audio object types 1 to 27; 10, 11 and 18 are not assigned.
constexpr const char* AudioObjectTypes[] = {"",
                                            "AAC main",
                                            "AAC LC",
                                            "AAC SSR",
                                            "AAC LTP",
                                            "AAC HE",
                                            "AAC Scalable",
                                            "TwinVQ",
                                            "CELP",
                                            "HVXC",
                                            "",
                                            "",
                                            "TTSI",
                                            "Main Synthetic",
                                            "Wavetable Syn",
                                            "General MIDI",
                                            "Algo Syn and Audio FX",
                                            "ER AAC LC",
                                            "",
                                            "ER AAC LTP",
                                            "ER AAC Scalable",
                                            "ER TwinVQ",
                                            "ER BSAC",
                                            "ER ACC LD",
                                            "ER CELP",
                                            "ER HVXC",
                                            "ER HILN",
                                            "ER Parametric"};

// Channels of each channel configuration of an AudioSpecificConfig (0: given elsewhere).
constexpr uint8_t ConfigChannels[16] = {0, 1, 2, 3, 4, 5, 6, 8, 0, 0, 0, 7, 8, 24, 8, 0};

constexpr uint64_t NoLimit = std::numeric_limits<uint64_t>::max();

uint64_t AddCapped(uint64_t a, uint64_t b) {
    return b > NoLimit - a ? NoLimit : a + b;
}
uint64_t MulCapped(uint64_t a, uint64_t b) {
    return a != 0 && b > NoLimit / a ? NoLimit : a * b;
}

// A descriptor of an "esds": tag, a length of one to four 7-bit bytes, the body. The body is cut
// to the enclosing bytes, so a length can never reach past them.
struct TDescriptor {
    bool Found = false;
    uint8_t Tag = 0;
    uint64_t Body = 0, End = 0;
};

TDescriptor ReadDescriptor(TByteView bytes, uint64_t at, uint64_t limit) {
    TDescriptor d;
    if (at >= limit) return d;
    d.Tag = bytes.U8(at);
    uint64_t length = 0, p = at + 1;
    for (int i = 0; i < 4; ++i) {
        if (p >= limit) return d;
        const uint8_t b = bytes.U8(p++);
        length = length << 7 | (b & 0x7F);
        if (!(b & 0x80)) break;
    }
    d.Found = true;
    d.Body = p;
    d.End = p + std::min(length, limit - p);
    return d;
}

// Bits of an AudioSpecificConfig, most significant first; bits past the end read as 0.
class TConfigBits {
  public:
    TConfigBits(TByteView bytes, uint64_t from, uint64_t to)
        : Bytes(bytes), At(from * 8), End(to) {}
    uint32_t Take(int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i, ++At) {
            const uint64_t byte = At / 8;
            const uint32_t bit = byte < End ? (Bytes.U8(byte) >> (7 - At % 8)) & 1 : 0;
            v = v << 1 | bit;
        }
        return v;
    }

  private:
    TByteView Bytes;
    uint64_t At, End;
};

std::string CText(std::string text) {
    return text.substr(0, text.find('\0'));
}

std::string VersionText(TByteView ftyp) {
    std::string text = CText(ftyp.Text(0, 4)) + " rev." + IntToStr(ftyp.U32BE(4));
    if (ftyp.Size() > 8) {
        const std::string compatible = CText(ftyp.Text(8, std::min<uint64_t>(4, ftyp.Size() - 8)));
        for (const TBrand& brand : Brands)
            if (compatible.find(brand.Code) != std::string::npos) {
                text += " (" + std::string(brand.Description) + ")";
                break;
            }
    }
    return text;
}

std::string Payload(const TFileView& file, const TMp4AtomList& atoms, int32_t index,
                    size_t limit = SIZE_MAX) {
    if (index < 0) return {};
    const TMp4Atom& atom = atoms[static_cast<size_t>(index)];
    if (atom.PayloadSize() <= 0) return {};
    return file.Read(
        static_cast<uint64_t>(atom.PayloadOffset()),
        static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(atom.PayloadSize()), limit)));
}

int32_t Child(const TMp4AtomList& atoms, int32_t parent, std::string_view name) {
    return parent < 0 ? -1 : FindChildAtom(atoms, parent, name);
}

int32_t FirstSoundTrack(const TFileView& file, const TMp4AtomList& atoms) {
    const int32_t moov = FindChildAtom(atoms, -1, "moov");
    if (moov < 0) return -1;
    for (size_t i = static_cast<size_t>(moov) + 1; i < atoms.size() && atoms[i].Parent >= moov;
         ++i) {
        if (atoms[i].Parent != moov || !atoms[i].Is("trak")) continue;
        const auto trak = static_cast<int32_t>(i);
        const int32_t hdlr = Child(atoms, Child(atoms, trak, "mdia"), "hdlr");
        if (TByteView(Payload(file, atoms, hdlr, 12)).Matches(8, "soun")) return trak;
    }
    return -1;
}

// An atom inside a sample entry (after its 36 fixed bytes) found by its name, as a view of its
// bytes from the size field on.
TByteView EntryChild(TByteView entry, std::string_view name) {
    const size_t at = entry.Find(name, 40);
    if (at == TByteView::npos || at + 8 > entry.Size()) return {};
    return entry.Sub(at - 4, entry.U32BE(at - 4));
}

// The duration and bytes of the sound track's samples in the fragments, from each "trun" and
// the defaults of "tfhd" and "trex".
struct TFragmentSums {
    uint64_t Duration = 0, Bytes = 0;
};

TFragmentSums SumFragments(const TFileView& file, const TMp4AtomList& atoms, int32_t trak) {
    TFragmentSums sums;
    const std::string tkhdBytes = Payload(file, atoms, Child(atoms, trak, "tkhd"), 24);
    const TByteView tkhd(tkhdBytes);
    const uint32_t trackId = tkhd.U8(0) == 1 ? tkhd.U32BE(20) : tkhd.U32BE(12);
    uint32_t trexDuration = 0, trexSize = 0;
    const int32_t mvex = FindAtomPath(atoms, {"moov", "mvex"});
    for (size_t i = mvex < 0 ? atoms.size() : static_cast<size_t>(mvex) + 1;
         i < atoms.size() && atoms[i].Parent >= mvex; ++i)
        if (atoms[i].Parent == mvex && atoms[i].Is("trex")) {
            const std::string trex = Payload(file, atoms, static_cast<int32_t>(i), 24);
            const TByteView t(trex);
            if (t.U32BE(4) != trackId) continue;
            trexDuration = t.U32BE(12);
            trexSize = t.U32BE(16);
            break;
        }
    for (size_t i = 0; i < atoms.size(); ++i) {
        if (!atoms[i].Is("traf")) continue;
        const auto traf = static_cast<int32_t>(i);
        const std::string tfhdBytes = Payload(file, atoms, Child(atoms, traf, "tfhd"), 40);
        const TByteView tfhd(tfhdBytes);
        if (tfhd.Size() < 8 || tfhd.U32BE(4) != trackId) continue;
        const uint32_t flags = tfhd.U32BE(0) & 0xFFFFFF;
        uint64_t p = 8 + ((flags & 0x01) ? 8 : 0) + ((flags & 0x02) ? 4 : 0);
        uint32_t duration = trexDuration, size = trexSize;
        if (flags & 0x08) duration = tfhd.U32BE(p), p += 4;
        if (flags & 0x10) size = tfhd.U32BE(p);
        for (size_t j = i + 1; j < atoms.size() && atoms[j].Parent >= traf; ++j) {
            if (atoms[j].Parent != traf || !atoms[j].Is("trun")) continue;
            const std::string trunBytes = Payload(file, atoms, static_cast<int32_t>(j));
            const TByteView trun(trunBytes);
            const uint32_t runFlags = trun.U32BE(0) & 0xFFFFFF, count = trun.U32BE(4);
            const uint64_t first = 8 + ((runFlags & 0x01) ? 4 : 0) + ((runFlags & 0x04) ? 4 : 0);
            const uint64_t each = 4 * static_cast<uint64_t>(__builtin_popcount(runFlags & 0xF00));
            if (each == 0) {
                sums.Duration = AddCapped(sums.Duration, MulCapped(count, duration));
                sums.Bytes = AddCapped(sums.Bytes, MulCapped(count, size));
                continue;
            }
            // Per-sample values: only as many as the atom really holds.
            const uint64_t present = trun.Size() > first ? (trun.Size() - first) / each : 0;
            const uint64_t n = std::min<uint64_t>(count, present);
            const uint64_t sizeAt = (runFlags & 0x100) ? 4 : 0;
            for (uint64_t k = 0; k < n; ++k) {
                const uint64_t at = first + k * each;
                sums.Duration =
                    AddCapped(sums.Duration, (runFlags & 0x100) ? trun.U32BE(at) : duration);
                sums.Bytes =
                    AddCapped(sums.Bytes, (runFlags & 0x200) ? trun.U32BE(at + sizeAt) : size);
            }
        }
    }
    return sums;
}

// The movie's fragment duration in seconds from "mehd", 0 without one.
double MovieExtendsSeconds(const TFileView& file, const TMp4AtomList& atoms) {
    const std::string mehdBytes =
        Payload(file, atoms, FindAtomPath(atoms, {"moov", "mvex", "mehd"}), 12);
    const std::string mvhdBytes = Payload(file, atoms, FindAtomPath(atoms, {"moov", "mvhd"}), 24);
    const TByteView mehd(mehdBytes), mvhd(mvhdBytes);
    const uint64_t duration = mehd.U8(0) == 1 ? mehd.U64BE(4) : mehd.U32BE(4);
    const uint32_t scale = mvhd.U8(0) == 1 ? mvhd.U32BE(20) : mvhd.U32BE(12);
    return scale != 0 ? static_cast<double>(duration) / scale : 0.0;
}

std::string AudioObjectTypeText(uint8_t type) {
    if (type < std::size(AudioObjectTypes) && AudioObjectTypes[type][0] != '\0')
        return std::string("MPEG-4 ") + AudioObjectTypes[type];
    return "MPEG-4 Unknown Profile";
}

// The sample entry's type text; fills channels and bit rate from the decoder configuration.
std::string ReadSampleEntry(TByteView entry, TAudioFile& r) {
    const std::string code = entry.Text(4, 4);
    if (code == "samr") return "ARM";
    if (code == "sawb") return "AMR-WB";
    if (code == "alac") {
        // ALAC's own configuration knows the real channel count and sample size.
        const TByteView config = EntryChild(entry, "alac");
        if (config.Size() >= 36) {
            if (const uint8_t bits = config.U8(17)) r.BitsPerSample = bits;
            if (const uint8_t channels = config.U8(21)) r.Channels = channels;
        }
        return code;
    }
    if (code != "mp4a") return code;
    const TByteView esds = EntryChild(entry, "esds");
    if (esds.Size() == 0) return code;
    TEsdsInfo info;
    const bool specific = ParseEsds(esds, info);
    if (!info.HasDecoderConfig) return "AAC from .mov";
    r.BitRate = static_cast<int32_t>(std::nearbyint(info.AverageBitRate / 1000.0));
    // The sample entry says 2 channels for any AAC stream, mono or 5.1: the configuration knows.
    if (specific && info.Channels != 0) r.Channels = info.Channels;
    if (info.ObjectType == 0x40)
        return specific ? AudioObjectTypeText(info.AudioObjectType) : "MPEG-4 (no GAConfig)";
    for (const TObjectType& row : ObjectTypes)
        if (row.Code == info.ObjectType) return row.Name;
    return "AAC from .mov";
}

bool ReadSoundTrack(const TFileView& file, const TMp4AtomList& atoms, int32_t trak, TAudioFile& r) {
    const int32_t mdia = Child(atoms, trak, "mdia");
    const int32_t stbl = Child(atoms, Child(atoms, mdia, "minf"), "stbl");
    const int32_t stsd = Child(atoms, stbl, "stsd");
    const std::string description = Payload(file, atoms, stsd);
    const TByteView sd(description);
    if (stsd < 0 || sd.U32BE(4) != 1) {
        r.Valid = false;
        return false;
    }
    const TByteView entry = sd.Sub(8, sd.U32BE(8));
    r.Channels = entry.U16BE(24);
    r.BitsPerSample = entry.U16BE(26);
    uint64_t rate = entry.U32BE(32) >> 16;
    r.Info->Add("Type=" + ReadSampleEntry(entry, r));

    const std::string mdhdBytes = Payload(file, atoms, Child(atoms, mdia, "mdhd"), 32);
    const TByteView mdhd(mdhdBytes);
    const bool longForm = mdhd.U8(0) == 1;
    const uint32_t timescale = longForm ? mdhd.U32BE(20) : mdhd.U32BE(12);
    const uint64_t mdhdDuration = longForm ? mdhd.U64BE(24) : mdhd.U32BE(16);
    // A rate above 65535 Hz does not fit the entry's 16.16 field, which then holds 0.
    if (rate == 0) rate = timescale;
    r.SampleRate = static_cast<int32_t>(std::min<uint64_t>(rate, INT32_MAX));

    const std::string timeBytes = Payload(file, atoms, Child(atoms, stbl, "stts"));
    const TByteView stts(timeBytes);
    uint64_t ticks = 0;
    const uint64_t entries =
        std::min<uint64_t>(stts.U32BE(4), stts.Size() >= 8 ? (stts.Size() - 8) / 8 : 0);
    for (uint64_t k = 0; k < entries; ++k)
        ticks = AddCapped(ticks, MulCapped(stts.U32BE(8 + 8 * k), stts.U32BE(12 + 8 * k)));
    TFragmentSums fragments;
    if (ticks == 0) fragments = SumFragments(file, atoms, trak);
    if (ticks == 0) ticks = fragments.Duration;
    if (ticks == 0) ticks = mdhdDuration;
    if (timescale != 0 && ticks != 0) {
        r.Duration = static_cast<double>(ticks) / timescale;
        const long double samples = static_cast<long double>(ticks) * rate / timescale;
        r.Samples = samples >= static_cast<long double>(INT64_MAX)
                        ? INT64_MAX
                        : static_cast<int64_t>(std::nearbyint(samples));
    } else if (const double seconds = MovieExtendsSeconds(file, atoms); seconds > 0) {
        r.Duration = seconds;
        r.Samples = static_cast<int64_t>(std::nearbyint(seconds * static_cast<double>(rate)));
    }

    uint64_t total = 0;
    const int32_t stsz = Child(atoms, stbl, "stsz");
    if (stsz >= 0) {
        const std::string head = Payload(file, atoms, stsz, 12);
        const uint32_t sampleSize = TByteView(head).U32BE(4), count = TByteView(head).U32BE(8);
        if (sampleSize == 0) {
            r.BitRateType = brVBR;
            if (r.BitRate == 0) {
                const std::string sizeBytes = Payload(file, atoms, stsz);
                const TByteView sizes(sizeBytes);
                const uint64_t n =
                    std::min<uint64_t>(count, sizes.Size() >= 12 ? (sizes.Size() - 12) / 4 : 0);
                for (uint64_t k = 0; k < n; ++k)
                    total += sizes.U32BE(12 + 4 * k);
            }
        } else {
            total = MulCapped(sampleSize, count);
            r.BitRateType = brCBR;
        }
    }
    total = AddCapped(total, fragments.Bytes);
    if (r.BitRate == 0 && r.Duration > 0) {
        const double kbits = std::nearbyint(8.0 * static_cast<double>(total) / r.Duration / 1000.0);
        r.BitRate = static_cast<int32_t>(std::min<double>(kbits, INT32_MAX));
    }
    const int64_t pcmBits = int64_t{r.SampleRate} * r.Channels * r.BitsPerSample;
    if (pcmBits > 0) r.Ratio = r.BitRate * 1000.0 / static_cast<double>(pcmBits) * 100.0;
    return true;
}

} // namespace

bool ParseEsds(TByteView esds, TEsdsInfo& info) {
    info = TEsdsInfo();
    const TDescriptor es = ReadDescriptor(esds, 12, esds.Size());
    if (!es.Found || es.Tag != 0x03) return false;
    uint64_t p = es.Body + 2;
    const uint8_t flags = esds.U8(p++);
    if (flags & 0x80) p += 2;              // depends on another stream
    if (flags & 0x40) p += 1 + esds.U8(p); // URL
    if (flags & 0x20) p += 2;              // OCR stream
    const TDescriptor config = ReadDescriptor(esds, p, es.End);
    if (!config.Found || config.Tag != 0x04 || config.End - config.Body < 13) return false;
    info.HasDecoderConfig = true;
    info.ObjectType = esds.U8(config.Body);
    info.AverageBitRate = esds.U32BE(config.Body + 9);
    const TDescriptor specific = ReadDescriptor(esds, config.Body + 13, config.End);
    if (!specific.Found || specific.Tag != 0x05) return false;
    info.HasSpecificInfo = true;
    if (specific.End - specific.Body >= 2) {
        info.AudioObjectType = (esds.U8(specific.Body) >> 3) & 0x1F;
        TConfigBits bits(esds, specific.Body, specific.End);
        uint32_t type = bits.Take(5);
        if (type == 31) type = 32 + bits.Take(6);
        if (bits.Take(4) == 15) bits.Take(24);
        info.Channels = ConfigChannels[bits.Take(4)];
        // Parametric stereo codes a stereo stream as mono.
        if (type == 29 && info.Channels == 1) info.Channels = 2;
    }
    return true;
}

bool ReadMP4(const TFileView& file, TAudioFile& r) {
    r.Reset();
    r.FileSize = static_cast<int64_t>(file.Size());
    if (!HasMp4Signature(file.Head())) return false;
    TMp4AtomList atoms;
    BuildAtomList(file, atoms, -1, 0, r.FileSize);
    if (auto* tag = r.Tag<TTagMp4>(tkMp4)) tag->ReadAtoms(file, atoms);
    r.Valid = !atoms.empty() && atoms[0].Is("ftyp");
    if (!r.Valid) return false;
    r.Info->Add("Version=" + VersionText(TByteView(Payload(file, atoms, 0, 4096))));
    const int32_t trak = FirstSoundTrack(file, atoms);
    return trak < 0 || ReadSoundTrack(file, atoms, trak, r);
}

TAudioFile* CreateMP4() {
    TAudioFile* r = NewAudioFile(afMP4, ReadMP4);
    r->AddTag(tkMp4, CreateTagMp4());
    return r;
}

} // namespace audiolens
