// Raw AAC, AC-3/E-AC-3 and DTS streams built bit by bit from the layouts of their standards
// (ISO 14496-3 ADTS and ADIF, ATSC A/52 with its annex E, ETSI TS 102 114), each expected value
// worked out from the standard's tables. Real encoder output is in the conformance table.
#include "ReaderSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace audiolens;
using namespace testsupport;

namespace {

std::string Repeat(const std::string& unit, int count) {
    std::string s;
    for (int i = 0; i < count; ++i)
        s += unit;
    return s;
}

// ---- AAC: ADTS frames and ADIF headers.

struct TAdts {
    uint32_t Id = 1;        // MPEG-2
    uint32_t Profile = 1;   // LC
    uint32_t RateIndex = 4; // 44100
    uint32_t Config = 2;
    uint32_t Fullness = 0x7FF;
    uint32_t Blocks = 0;   // raw data blocks - 1
    bool Emphasis = false; // the first MPEG-4 layout: two more bits in front of the length
};

std::string AdtsFrame(const TAdts& a, uint32_t length) {
    TBitWriter w;
    w.Put(0xFFF, 12).Put(a.Id, 1).Put(0, 2).Put(1, 1).Put(a.Profile, 2).Put(a.RateIndex, 4);
    w.Put(0, 1).Put(a.Config, 3).Put(0, 2);
    if (a.Emphasis) w.Put(0, 2);
    w.Put(0, 2).Put(length, 13).Put(a.Fullness, 11).Put(a.Blocks, 2);
    const std::string header = w.Bytes();
    return header + std::string(length - header.size(), '\x55');
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
    const std::string header = w.Bytes();
    return header + std::string(16000 - header.size(), '\x55');
}

// ---- AC-3 and E-AC-3: one header, then zeros up to the file size.

std::string Ac3(uint32_t fscod, uint32_t frmsizecod, uint32_t acmod, uint32_t lfeon, size_t size,
                uint32_t bsid = 8) {
    TBitWriter w;
    w.Put(0x0B77, 16).Put(0, 16).Put(fscod, 2).Put(frmsizecod, 6).Put(bsid, 5).Put(0, 3);
    w.Put(acmod, 3);
    if ((acmod & 1) && acmod != 1) w.Put(1, 2);
    if (acmod & 4) w.Put(1, 2);
    if (acmod == 2) w.Put(0, 2);
    const std::string header = w.Put(lfeon, 1).Bytes();
    return header + std::string(size - header.size(), '\0');
}

std::string Eac3(uint32_t frmsiz, uint32_t fscod, uint32_t code, uint32_t acmod, uint32_t lfeon,
                 size_t size) {
    TBitWriter w;
    w.Put(0x0B77, 16).Put(0, 2).Put(0, 3).Put(frmsiz, 11).Put(fscod, 2).Put(code, 2);
    const std::string header = w.Put(acmod, 3).Put(lfeon, 1).Put(16, 5).Bytes();
    return header + std::string(size - header.size(), '\0');
}

// ---- DTS core frames (default: 5.1 at 48 kHz, 16 blocks of 32 samples in 2048 bytes).

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
    const std::string header = w.Bytes();
    return header + std::string(c.Fsize + 1 - header.size(), '\0');
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
    uint32_t bits = 0, held = 0;
    for (unsigned char c : s) {
        bits = (bits << 8 | c) & 0xFFFFFF;
        held += 8;
        if (held >= 14) {
            held -= 14;
            uint32_t word = (bits >> held) & 0x3FFF;
            if (word & 0x2000) word |= 0xC000;
            out += BE16(word);
        }
    }
    return out;
}

} // namespace

TEST(RawStreams, HeadersGiveTheStream) {
    const std::string adts = AdtsFrame(TAdts{}, 372);
    std::string tiny = AdtsFrame(TAdts{}, 7);
    tiny[3] = static_cast<char>(tiny[3] & 0xFC); // the 13 length bits cleared
    tiny[4] = 0;
    tiny[5] = static_cast<char>(tiny[5] & 0x1F);
    // MPEG-1 Layer III, 128 kbit/s, 44.1 kHz: the same 12 sync bits, layer bits 01.
    const std::string mp3 = Repeat(BE32(0xFFFB9064) + std::string(413, '\x55'), 20);
    TDtsCore whole;
    whole.Fsize = 2015; // 2016 bytes: a whole number of 14-bit words
    const std::string dts = DtsFrame(whole);
    // A DTS-HD extension substream of 1000 bytes behind each core frame.
    TBitWriter exss;
    exss.Put(0x64582025, 32).Put(0, 8).Put(0, 2).Put(0, 1).Put(15, 8).Put(999, 16);
    const std::string extension = exss.Bytes() + std::string(1000 - exss.Bytes().size(), '\0');
    const char* const dtsForms = "Valid=1|Rate=48000|Channels=6|Samples=15360|Duration=0.32|";

    const struct {
        TAudioFormat Format;
        std::string Bytes;
        const char* Want;
    } rows[] = {
        // 372-byte frames of 1024 samples at 44.1 kHz: 372 * 8 * 44100 / 1024 = 128.2 kbit/s.
        {afAAC, Repeat(adts, 1000),
         "Valid=1|Samples=1024000|Rate=44100|Channels=2|BitRate=128|Duration=23.22|Type=VBR|"
         "ProfileACC=AAC_LC|VersionMPEG=MPEG-2|TypeAAC=ADTS|"},
        // Junk behind the frames (cut frames, a tag this reader does not know) adds no frame.
        {afAAC, Repeat(adts, 1000) + Zeros(10), "Valid=1|Samples=1024000|Duration=23.22"},
        {afAAC, Repeat(AdtsFrame({0, 1, 3, 6, 0x7FF, 1}, 1500), 40),
         "Valid=1|Samples=81920|Rate=48000|Channels=6|BitRate=281|Duration=1.70667|Type=VBR|"
         "ProfileACC=AAC_LC|VersionMPEG=MPEG-4|TypeAAC=ADTS|"},
        {afAAC, Repeat(AdtsFrame({0, 0, 11, 1, 0x100, 0, true}, 100), 80) + Zeros(10),
         "Valid=1|Samples=81920"},
        {afAAC, Repeat(AdtsFrame({0, 1, 3, 6, 0x7FF, 1}, 1500), 40) + Zeros(10),
         "Valid=1|Samples=81920"},
        {afAAC, Repeat(AdtsFrame({0, 0, 11, 1, 0x100, 0, true}, 100), 80),
         "Valid=1|Samples=81920|Rate=8000|Channels=1|BitRate=6|Duration=10.24|Type=CBR|"
         "ProfileACC=AAC Main|VersionMPEG=MPEG-4|"},
        {afAAC, Repeat(AdtsFrame({1, 3, 3, 7, 0x7FF}, 900), 10),
         "Valid=1|Samples=10240|Rate=48000|Channels=8|BitRate=338|Duration=0.213333|"
         "ProfileACC=AAC_LTP|VersionMPEG=MPEG-2|"},
        // Headers an AAC stream cannot have: MPEG audio, a reserved rate, a length shorter than
        // the header, a first frame not followed by a second.
        {afAAC, mp3, "Read=0"},
        {afAAC, mp3.substr(0, 1000), "Read=0"},
        {afAAC, Repeat(AdtsFrame({1, 1, 12}, 200), 5), "Read=0"},
        {afAAC, tiny + AdtsFrame(TAdts{}, 200), "Read=0"},
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
        {afAC3, Ac3(1, 31, 7, 1, 448007),
         "Valid=1|Rate=44100|Channels=6|Bits=16|BitRate=448|Duration=8|Version=8|"},
        {afAC3, Ac3(2, 0, 1, 1, 4007), "Valid=1|Rate=32000|Channels=2|BitRate=32|Duration=1"},
        {afAC3, Ac3(0, 20, 2, 0, 96007, 9), "Valid=1|Rate=24000|BitRate=96|Duration=8|Version=9|"},
        {afAC3, Ac3(3, 20, 2, 0, 4000), "Valid=0"}, // a reserved rate
        {afAC3, Ac3(0, 38, 2, 0, 4000), "Valid=0"}, // a frame size code outside the table
        // 1536-byte frames of 6 blocks (1536 samples, 32 ms): 384 kbit/s, 100 frames.
        {afAC3, Eac3(767, 0, 3, 7, 1, 153600),
         "Valid=1|Rate=48000|Channels=6|Bits=16|BitRate=384|Duration=3.2|Version=16|"
         "Format=E-AC-3|"},
        // 768 bytes per 1536 samples at 22.05 kHz: 88.2 kbit/s, 50 frames.
        {afAC3, Eac3(383, 3, 1, 2, 0, 38400),
         "Valid=1|Rate=22050|Channels=2|BitRate=88|Duration=3.48299|Format=E-AC-3|"},
        // One block per 256-byte frame: 256 samples each, 384 kbit/s, 300 frames.
        {afAC3, Eac3(127, 0, 0, 1, 0, 76800),
         "Valid=1|Rate=48000|Channels=1|BitRate=384|Duration=1.6|Format=E-AC-3|"},
        {afAC3, Eac3(383, 3, 3, 2, 0, 38400), "Valid=0"}, // a reserved reduced rate

        // 2048-byte frames of 512 samples at 48 kHz are the 1536 kbit/s of the RATE code.
        {afDTS, Repeat(DtsFrame({}), 960),
         "Valid=1|Samples=491520|Rate=48000|Channels=6|Bits=16|BitRate=1536|Duration=10.24|"},
        {afDTS, Repeat(DtsFrame({1, 31, 0, 15, 2047, 2, 8, 22, 0, 0}), 10),
         "Valid=1|Samples=5120|Rate=44100|Channels=2|Bits=16|BitRate=1411|Duration=0.1161|"},
        {afDTS, Repeat(DtsFrame({1, 31, 0, 15, 2047, 2, 13, 24, 0, 2}), 10),
         "Valid=1|Samples=5120|Rate=48000|Channels=2|Bits=20|BitRate=1536|Duration=0.106667|"},
        {afDTS, Repeat(DtsFrame({1, 31, 1, 15, 2047, 2, 13, 24, 0, 5}), 10),
         "Valid=1|Samples=5120|Bits=24|BitRate=1536"},
        // An open rate has no table value: the stream's own 2048 bytes per 512 samples stand in.
        {afDTS, Repeat(DtsFrame({1, 31, 0, 15, 2047, 9, 13, 29, 2, 0}), 10),
         "Valid=1|Samples=5120|Rate=48000|Channels=6|Bits=16|BitRate=1536|"},
        {afDTS, Repeat(DtsFrame({1, 31, 0, 15, 2047, 9, 4, 24, 0, 0}), 10),
         "Valid=0"}, // a reserved rate
        {afDTS, Repeat(DtsFrame({1, 31, 0, 15, 2047, 16, 13, 24, 0, 0}), 10),
         "Valid=0"}, // user channels
        {afDTS, Repeat(DtsFrame({1, 30, 0, 15, 2047, 9, 13, 24, 0, 0}), 10),
         "Valid=0"}, // a deficit
        {afDTS, Repeat(dts, 30), dtsForms},
        {afDTS, SwapPairs(Repeat(dts, 30)), dtsForms},
        {afDTS, Repeat(To14Bit(dts), 30), dtsForms},
        {afDTS, SwapPairs(Repeat(To14Bit(dts), 30)), dtsForms},
        {afDTS, Repeat(dts + extension, 30), dtsForms},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        ExpectFields(ReadSummary(FormatConstructor(row.Format), row.Bytes), row.Want);
    }
}

TEST(RawStreams, MpegAudioNamedAacIsReadAsMpeg) {
    TTempDir dir;
    WriteFile(dir.Path("song.aac"), Repeat(BE32(0xFFFB9064) + std::string(413, '\x55'), 20));
    TRef<TAudioVerify> verify(new TAudioVerify);
    ASSERT_TRUE(verify->Verify(dir.Path("song.aac")));
    EXPECT_EQ(verify->Audio()->Format, afMPEG);
}
