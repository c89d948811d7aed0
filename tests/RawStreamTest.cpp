// Raw AAC (ISO 14496-3 ADTS and ADIF), AC-3/E-AC-3 (ATSC A/52) and DTS (ETSI TS 102 114)
// streams built bit by bit, each expected value worked out from the standard's tables.
#include "ReaderSupport.h"

using namespace audiolens;
using namespace testsupport;

namespace {

std::string Pad(const std::string& head, size_t size, char fill = '\0') {
    return head + std::string(size - head.size(), fill);
}

std::string Repeat(const std::string& unit, int count) {
    std::string s;
    for (int i = 0; i < count; ++i)
        s += unit;
    return s;
}

// An ADTS frame (by default MPEG-2 LC, 44.1 kHz, stereo, one raw data block).
struct TAdts {
    uint32_t Id = 1, Profile = 1, RateIndex = 4, Config = 2, Fullness = 0x7FF, Blocks = 0;
    bool Emphasis = false; // the first MPEG-4 layout: two more bits in front of the length
};

std::string AdtsFrame(const TAdts& a, uint32_t length) {
    TBitWriter w;
    w.Put(0xFFF, 12).Put(a.Id, 1).Put(0, 2).Put(1, 1).Put(a.Profile, 2).Put(a.RateIndex, 4);
    w.Put(0, 1).Put(a.Config, 3).Put(0, 2);
    if (a.Emphasis) w.Put(0, 2);
    w.Put(0, 2).Put(length, 13).Put(a.Fullness, 11).Put(a.Blocks, 2);
    return Pad(w.Bytes(), std::max<size_t>(length, w.Bytes().size()), '\x55');
}

// An ADIF header of a 128 kbit/s, 44.1 kHz LC program (fronts and backs list their is_cpe
// bits), then audio up to 16000 bytes: 1 s.
std::string Adif(bool copyright, bool variable, const std::vector<int>& fronts,
                 const std::vector<int>& backs, uint32_t lfe) {
    TBitWriter w;
    w.Put(0x41444946, 32).Put(copyright, 1);
    if (copyright) w.Put(0, 64).Put(0, 8);
    w.Put(0, 2).Put(variable, 1).Put(128000, 23).Put(0, 4);
    if (!variable) w.Put(0, 20);
    w.Put(0, 4).Put(1, 2).Put(4, 4).Put(fronts.size(), 4).Put(0, 4).Put(backs.size(), 4);
    w.Put(lfe, 2).Put(0, 3).Put(0, 4).Put(0, 3);
    for (const auto* elements : {&fronts, &backs})
        for (int cpe : *elements)
            w.Put(static_cast<uint32_t>(cpe), 1).Put(0, 4);
    for (uint32_t i = 0; i < lfe; ++i)
        w.Put(i, 4);
    return Pad(w.Bytes(), 16000, '\x55');
}

std::string Ac3(uint32_t fscod, uint32_t frmsizecod, uint32_t acmod, uint32_t lfeon, size_t size,
                uint32_t bsid = 8) {
    TBitWriter w;
    w.Put(0x0B77, 16).Put(0, 16).Put(fscod, 2).Put(frmsizecod, 6).Put(bsid, 5).Put(0, 3);
    w.Put(acmod, 3);
    if ((acmod & 1) && acmod != 1) w.Put(1, 2);
    if (acmod & 4) w.Put(1, 2);
    if (acmod == 2) w.Put(0, 2);
    return Pad(w.Put(lfeon, 1).Bytes(), size);
}

std::string Eac3(uint32_t frmsiz, uint32_t fscod, uint32_t code, uint32_t acmod, uint32_t lfeon,
                 size_t size) {
    TBitWriter w;
    w.Put(0x0B77, 16).Put(0, 2).Put(0, 3).Put(frmsiz, 11).Put(fscod, 2).Put(code, 2);
    return Pad(w.Put(acmod, 3).Put(lfeon, 1).Put(16, 5).Bytes(), size);
}

// A DTS core frame (by default 5.1 at 48 kHz, 16 blocks of 32 samples in 2048 bytes).
struct TDtsCore {
    uint32_t Ftype = 1, Short = 31, Cpf = 0, Nblks = 15, Fsize = 2047;
    uint32_t Amode = 9, Sfreq = 13, Rate = 24, Lff = 1, Pcmr = 0;
};

std::string DtsFrame(const TDtsCore& c) {
    TBitWriter w;
    w.Put(0x7FFE8001, 32).Put(c.Ftype, 1).Put(c.Short, 5).Put(c.Cpf, 1).Put(c.Nblks, 7);
    w.Put(c.Fsize, 14).Put(c.Amode, 6).Put(c.Sfreq, 4).Put(c.Rate, 5);
    w.Put(0, 10).Put(c.Lff, 2).Put(0, 1);           // flags and extension fields, LFF, HFLAG
    if (c.Cpf) w.Put(0xFFFF, 16);                   // header CRC
    w.Put(0, 1).Put(7, 4).Put(0, 2).Put(c.Pcmr, 3); // FILTS, VERNUM, CHIST, PCMR
    return Pad(w.Bytes(), c.Fsize + 1);
}

// The same stream in the other stored forms: bytes swapped in pairs, and 14 bits of it in
// every 16-bit word (the top two bits repeat bit 13).
std::string SwapPairs(std::string s) {
    for (size_t i = 0; i + 1 < s.size(); i += 2)
        std::swap(s[i], s[i + 1]);
    return s;
}

std::string To14Bit(const std::string& s) {
    std::string out;
    for (size_t from = 0; from + 14 <= s.size() * 8; from += 14) {
        uint32_t word = 0;
        for (size_t i = from; i < from + 14; ++i)
            word = word << 1 | (static_cast<uint8_t>(s[i / 8]) >> (7 - i % 8) & 1);
        out += BE16(word & 0x2000 ? word | 0xC000 : word);
    }
    return out;
}

} // namespace

TEST(RawStreams, HeadersGiveTheStream) {
    // MPEG-1 Layer III, 128 kbit/s, 44.1 kHz: the same 12 sync bits, layer bits 01.
    const std::string older = Repeat(AdtsFrame({0, 0, 11, 1, 0x100, 0, true}, 100), 80);
    const std::string mp3 = Repeat(BE32(0xFFFB9064) + std::string(413, '\x55'), 20);
    const std::string dts = DtsFrame({.Fsize = 2015}); // a whole number of 14-bit words
    // A DTS-HD extension substream of 1000 bytes behind each core frame.
    TBitWriter exss;
    exss.Put(0x64582025, 32).Put(0, 8).Put(0, 2).Put(0, 1).Put(15, 8).Put(999, 16);
    const std::string extension = Pad(exss.Bytes(), 1000);
    const char* const dtsForms = "Valid=1|Rate=48000|Channels=6|Samples=15360|Duration=0.32|";

    const std::tuple<TAudioFormat, std::string, const char*> rows[] = {
        // 372-byte frames of 1024 samples at 44.1 kHz: 372 * 8 * 44100 / 1024 = 128.2 kbit/s.
        // Junk behind the frames (cut frames, a tag this reader does not know) adds no frame.
        {afAAC, Repeat(AdtsFrame(TAdts{}, 372), 1000) + Zeros(10),
         "Valid=1|Samples=1024000|Rate=44100|Channels=2|BitRate=128|Duration=23.22|Type=VBR|"
         "ProfileACC=AAC_LC|VersionMPEG=MPEG-2|TypeAAC=ADTS|"},
        {afAAC, Repeat(AdtsFrame({0, 1, 3, 6, 0x7FF, 1}, 1500), 40),
         "Valid=1|Samples=81920|Rate=48000|Channels=6|BitRate=281|VersionMPEG=MPEG-4|"},
        // The first MPEG-4 layout: the length two bits later.
        {afAAC, older,
         "Valid=1|Samples=81920|Rate=8000|Channels=1|BitRate=6|Type=CBR|ProfileACC=AAC Main|"},
        {afAAC, older + Zeros(10), "Valid=1|Samples=81920"},
        {afAAC, Repeat(AdtsFrame({1, 3, 3, 7, 0x7FF}, 900), 10),
         "Samples=10240|Channels=8|BitRate=338|ProfileACC=AAC_LTP|"},
        // Headers an AAC stream cannot have: MPEG audio, a reserved rate, a length shorter than
        // the header, a first frame not followed by a second.
        {afAAC, mp3, "Read=0"},
        {afAAC, Repeat(AdtsFrame({1, 1, 12}, 200), 5), "Read=0"},
        {afAAC, AdtsFrame(TAdts{}, 0) + AdtsFrame(TAdts{}, 200), "Read=0"},
        {afAAC, AdtsFrame(TAdts{}, 200) + std::string(300, '\x55'), "Read=0"},
        // ADIF: a channel pair counts as two channels.
        {afAAC, Adif(false, false, {1}, {}, 0),
         "Valid=1|Samples=0|Rate=44100|Channels=2|BitRate=128|Duration=1|Type=CBR|"
         "ProfileACC=AAC_LC|VersionMPEG=MPEG-4|TypeAAC=ADIF|"},
        {afAAC, Adif(true, true, {0, 1}, {1}, 1), "Valid=1|Channels=6|BitRate=128|Type=VBR"},
        {afAAC, Adif(false, true, {0}, {}, 0), "Valid=1|Channels=1|Duration=1|Type=VBR"},

        // 1,536,000 bytes behind the 7-byte header at 192 kbit/s: 64 s.
        {afAC3, Ac3(0, 20, 2, 0, 1536007),
         "Valid=1|Rate=48000|Channels=2|Bits=16|BitRate=192|Duration=64|Version=8|"},
        {afAC3, Ac3(1, 31, 7, 1, 448007), "Rate=44100|Channels=6|BitRate=448|Duration=8|"},
        {afAC3, Ac3(2, 0, 1, 1, 4007), "Valid=1|Rate=32000|Channels=2|BitRate=32|Duration=1"},
        {afAC3, Ac3(0, 20, 2, 0, 96007, 9), "Valid=1|Rate=24000|BitRate=96|Duration=8|Version=9|"},
        {afAC3, Ac3(3, 20, 2, 0, 4000), "Valid=0"}, // a reserved rate
        {afAC3, Ac3(0, 38, 2, 0, 4000), "Valid=0"}, // a frame size code outside the table
        // 1536-byte frames of 6 blocks (1536 samples, 32 ms): 384 kbit/s, 100 frames.
        {afAC3, Eac3(767, 0, 3, 7, 1, 153600),
         "Valid=1|Rate=48000|Channels=6|BitRate=384|Duration=3.2|Version=16|Format=E-AC-3|"},
        // 768 bytes per 1536 samples at 22.05 kHz: 88.2 kbit/s, 50 frames.
        {afAC3, Eac3(383, 3, 1, 2, 0, 38400), "Rate=22050|Channels=2|BitRate=88|Duration=3.48299|"},
        // One block per 256-byte frame: 256 samples each, 384 kbit/s, 300 frames.
        {afAC3, Eac3(127, 0, 0, 1, 0, 76800), "Channels=1|BitRate=384|Duration=1.6|"},
        {afAC3, Eac3(383, 3, 3, 2, 0, 38400), "Valid=0"}, // a reserved reduced rate

        // 2048-byte frames of 512 samples at 48 kHz are the 1536 kbit/s of the RATE code.
        {afDTS, Repeat(DtsFrame({}), 960),
         "Valid=1|Samples=491520|Rate=48000|Channels=6|Bits=16|BitRate=1536|Duration=10.24|"},
        {afDTS, Repeat(DtsFrame({1, 31, 0, 15, 2047, 2, 8, 22, 0, 2}), 10),
         "Rate=44100|Channels=2|Bits=20|BitRate=1411|Duration=0.1161|"},
        {afDTS, Repeat(DtsFrame({1, 31, 1, 15, 2047, 2, 13, 24, 0, 5}), 10), "Bits=24"},
        // An open rate has no table value: the stream's own 2048 bytes per 512 samples stand in.
        {afDTS, Repeat(DtsFrame({1, 31, 0, 15, 2047, 9, 13, 29, 2, 0}), 10), "BitRate=1536|"},
        {afDTS, Repeat(DtsFrame({.Sfreq = 4}), 10), "Valid=0"},  // a reserved rate
        {afDTS, Repeat(DtsFrame({.Amode = 16}), 10), "Valid=0"}, // user channels
        {afDTS, Repeat(DtsFrame({.Short = 30}), 10), "Valid=0"}, // a deficit
        {afDTS, Repeat(dts, 30), dtsForms},
        {afDTS, Repeat(To14Bit(dts), 30), dtsForms},
        {afDTS, SwapPairs(Repeat(To14Bit(dts), 30)), dtsForms},
        {afDTS, Repeat(dts + extension, 30), dtsForms},
    };
    for (const auto& [format, bytes, want] : rows)
        ExpectFields(ReadSummary(FormatConstructor(format), bytes), want);
}
