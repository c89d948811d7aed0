// Raw AAC, AC-3/E-AC-3 and DTS streams built bit by bit from the layouts of their standards
// (ISO 14496-3 ADTS and ADIF, ATSC A/52 with its annex E, ETSI TS 102 114), each expected value
// worked out from the standard's tables. Real encoder output is in the conformance table.
#include "TestSupport.h"
#include "framework/Registry.h"

#include <gtest/gtest.h>

using namespace audiolens;
using namespace testsupport;

namespace {

struct TRead {
    bool Accepted;
    TAudioRef Record;
};

TRead ReadAs(TAudioFormat format, const std::string& bytes) {
    TAudioRef record = CreateAudioFile(format);
    const bool accepted = record->Read(*TFileView::FromBytes(bytes, "stream"));
    return {accepted, record};
}

std::string InfoLines(const TAudioFile& r) {
    std::string lines;
    for (int32_t i = 0; i < r.Info->Count(); ++i)
        lines += (i ? "|" : "") + r.Info->Get(i);
    return lines;
}

template <class T> std::string CaseName(const ::testing::TestParamInfo<T>& param) {
    return param.param.Name;
}

std::string Repeat(const std::string& unit, int count) {
    std::string s;
    for (int i = 0; i < count; ++i)
        s += unit;
    return s;
}

// ---- AAC

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

struct TAdtsCase {
    const char* Name;
    TAdts Header;
    uint32_t Length;
    int Frames;
    int32_t Rate;
    uint16_t Channels;
    int64_t Samples;
    int32_t BitRate;
    const char* Info;
};

// 372-byte frames of 1024 samples at 44.1 kHz: 372 * 8 * 44100 / 1024 = 128.2 kbit/s.
const TAdtsCase AdtsCases[] = {
    {"Mpeg2Stereo44k",
     {},
     372,
     1000,
     44100,
     2,
     1024000,
     128,
     "ProfileACC=AAC_LC|VersionMPEG=MPEG-2|TypeAAC=ADTS"},
    {"Mpeg4TwoBlocks48k",
     {0, 1, 3, 6, 0x7FF, 1},
     1500,
     40,
     48000,
     6,
     81920,
     281,
     "ProfileACC=AAC_LC|VersionMPEG=MPEG-4|TypeAAC=ADTS"},
    {"OlderLayoutMono8k",
     {0, 0, 11, 1, 0x100, 0, true},
     100,
     80,
     8000,
     1,
     81920,
     6,
     "ProfileACC=AAC Main|VersionMPEG=MPEG-4|TypeAAC=ADTS"},
    {"SevenPointOne",
     {1, 3, 3, 7, 0x7FF},
     900,
     10,
     48000,
     8,
     10240,
     338,
     "ProfileACC=AAC_LTP|VersionMPEG=MPEG-2|TypeAAC=ADTS"},
};

class TAdtsTest : public ::testing::TestWithParam<TAdtsCase> {};

TEST_P(TAdtsTest, FramesGiveSamplesBitrateAndDuration) {
    const TAdtsCase& c = GetParam();
    const std::string stream = Repeat(AdtsFrame(c.Header, c.Length), c.Frames);
    // Junk behind the frames (cut frames, a tag this reader does not know) adds no frame.
    for (const std::string& tail : {std::string(), std::string(10, '\0')}) {
        const TRead read = ReadAs(afAAC, stream + tail);
        ASSERT_TRUE(read.Accepted && read.Record->Valid) << c.Name;
        const TAudioFile& r = *read.Record;
        EXPECT_EQ(r.SampleRate, c.Rate);
        EXPECT_EQ(r.Channels, c.Channels);
        EXPECT_EQ(r.Samples, c.Samples);
        EXPECT_EQ(r.BitRate, c.BitRate);
        EXPECT_DOUBLE_EQ(r.Duration, static_cast<double>(c.Samples) / c.Rate);
        EXPECT_EQ(r.BitRateType, c.Header.Fullness == 0x7FF ? brVBR : brCBR);
        EXPECT_EQ(InfoLines(r), c.Info);
    }
}

INSTANTIATE_TEST_SUITE_P(Aac, TAdtsTest, ::testing::ValuesIn(AdtsCases), CaseName<TAdtsCase>);

TEST(AacStream, NoMpegAudioIsTakenForAac) {
    // MPEG-1 Layer III, 128 kbit/s, 44.1 kHz: the same 12 sync bits, layer bits 01.
    const std::string mp3 = Repeat(BE32(0xFFFB9064) + std::string(413, '\x55'), 20);
    EXPECT_FALSE(ReadAs(afAAC, mp3).Accepted);
    EXPECT_FALSE(ReadAs(afAAC, mp3.substr(0, 1000)).Accepted);
    {
        TTempDir dir;
        WriteFile(dir.Path("song.aac"), mp3);
        TRef<TAudioVerify> verify(new TAudioVerify);
        ASSERT_TRUE(verify->Verify(dir.Path("song.aac")));
        EXPECT_EQ(verify->Audio()->Format, afMPEG);
    }
    // Headers an AAC stream cannot have: a reserved rate, a length shorter than the header, a
    // first frame not followed by a second.
    TAdts reserved;
    reserved.RateIndex = 12;
    EXPECT_FALSE(ReadAs(afAAC, Repeat(AdtsFrame(reserved, 200), 5)).Accepted);
    std::string tiny = AdtsFrame(TAdts{}, 7);
    tiny[3] = static_cast<char>(tiny[3] & 0xFC); // the 13 length bits cleared
    tiny[4] = 0;
    tiny[5] = static_cast<char>(tiny[5] & 0x1F);
    EXPECT_FALSE(ReadAs(afAAC, tiny + AdtsFrame(TAdts{}, 200)).Accepted);
    EXPECT_FALSE(ReadAs(afAAC, AdtsFrame(TAdts{}, 200) + std::string(300, '\x55')).Accepted);
}

// An ADIF header of a 128 kbit/s, 44.1 kHz LC program: fronts and backs list their is_cpe bits.
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
    return w.Bytes() + std::string(64, '\0');
}

TEST(AacStream, AdifCountsAChannelPairAsTwoChannels) {
    struct {
        std::string Header;
        uint16_t Channels;
        TBitRateType Type;
    } const cases[] = {
        {Adif(false, false, {1}, {}, 0), 2, brCBR},   // one pair
        {Adif(true, true, {0, 1}, {1}, 1), 6, brVBR}, // 5.1
        {Adif(false, true, {0}, {}, 0), 1, brVBR},    // mono
    };
    for (const auto& c : cases) {
        const std::string file = c.Header + std::string(16000 - c.Header.size(), '\x55');
        const TRead read = ReadAs(afAAC, file);
        ASSERT_TRUE(read.Accepted && read.Record->Valid);
        const TAudioFile& r = *read.Record;
        EXPECT_EQ(r.Channels, c.Channels);
        EXPECT_EQ(r.SampleRate, 44100);
        EXPECT_EQ(r.BitRate, 128);
        EXPECT_EQ(r.BitRateType, c.Type);
        EXPECT_EQ(r.Samples, 0);
        EXPECT_DOUBLE_EQ(r.Duration, 16000 * 8 / 128000.0); // 1 s
        EXPECT_EQ(InfoLines(r), "ProfileACC=AAC_LC|VersionMPEG=MPEG-4|TypeAAC=ADIF");
    }
}

// ---- AC-3 and E-AC-3

std::string Ac3(uint32_t fscod, uint32_t frmsizecod, uint32_t acmod, uint32_t lfeon,
                uint32_t bsid = 8) {
    TBitWriter w;
    w.Put(0x0B77, 16).Put(0, 16).Put(fscod, 2).Put(frmsizecod, 6).Put(bsid, 5).Put(0, 3);
    w.Put(acmod, 3);
    if ((acmod & 1) && acmod != 1) w.Put(1, 2);
    if (acmod & 4) w.Put(1, 2);
    if (acmod == 2) w.Put(0, 2);
    return w.Put(lfeon, 1).Bytes();
}

std::string Eac3(uint32_t frmsiz, uint32_t fscod, uint32_t code, uint32_t acmod, uint32_t lfeon) {
    TBitWriter w;
    w.Put(0x0B77, 16).Put(0, 2).Put(0, 3).Put(frmsiz, 11).Put(fscod, 2).Put(code, 2);
    return w.Put(acmod, 3).Put(lfeon, 1).Put(16, 5).Bytes();
}

struct TAc3Case {
    const char* Name;
    std::string Header;
    size_t FileSize;
    bool Accepted;
    int32_t Rate = 0;
    uint16_t Channels = 0;
    int32_t BitRate = 0;
    double Duration = 0;
    const char* Info = "";
};

const TAc3Case Ac3Cases[] = {
    // 1,536,000 bytes behind the 7-byte header at 192 kbit/s: 64 s.
    {"Stereo48k192", Ac3(0, 20, 2, 0), 1536007, true, 48000, 2, 192, 64.0, "Version=8"},
    {"FivePointOne44k448", Ac3(1, 31, 7, 1), 448007, true, 44100, 6, 448, 8.0, "Version=8"},
    {"MonoWithLfe32k", Ac3(2, 0, 1, 1), 4007, true, 32000, 2, 32, 1.0, "Version=8"},
    {"HalfRate", Ac3(0, 20, 2, 0, 9), 96007, true, 24000, 2, 96, 8.0, "Version=9"},
    {"ReservedRate", Ac3(3, 20, 2, 0), 4000, false},
    {"FrameSizeCodeOutsideTable", Ac3(0, 38, 2, 0), 4000, false},
    // 1536-byte frames of 6 blocks (1536 samples, 32 ms): 384 kbit/s, 100 frames.
    {"Eac3FivePointOne48k", Eac3(767, 0, 3, 7, 1), 153600, true, 48000, 6, 384, 3.2,
     "Version=16|Format=E-AC-3"},
    // 768 bytes per 1536 samples at 22.05 kHz: 88.2 kbit/s, 50 frames.
    {"Eac3ReducedRate", Eac3(383, 3, 1, 2, 0), 38400, true, 22050, 2, 88, 50 * 1536 / 22050.0,
     "Version=16|Format=E-AC-3"},
    // One block per 256-byte frame: 256 samples each, 384 kbit/s, 300 frames.
    {"Eac3OneBlockFrames", Eac3(127, 0, 0, 1, 0), 76800, true, 48000, 1, 384, 1.6,
     "Version=16|Format=E-AC-3"},
    {"Eac3ReservedReducedRate", Eac3(383, 3, 3, 2, 0), 38400, false},
};

class TAc3Test : public ::testing::TestWithParam<TAc3Case> {};

TEST_P(TAc3Test, FirstHeaderGivesTheStream) {
    const TAc3Case& c = GetParam();
    const std::string file = c.Header + std::string(c.FileSize - c.Header.size(), '\0');
    const TRead read = ReadAs(afAC3, file);
    ASSERT_EQ(read.Accepted && read.Record->Valid, c.Accepted);
    if (!c.Accepted) return;
    const TAudioFile& r = *read.Record;
    EXPECT_EQ(r.SampleRate, c.Rate);
    EXPECT_EQ(r.Channels, c.Channels);
    EXPECT_EQ(r.BitRate, c.BitRate);
    EXPECT_EQ(r.BitsPerSample, 16);
    EXPECT_NEAR(r.Duration, c.Duration, 1e-9);
    EXPECT_EQ(InfoLines(r), c.Info);
}

INSTANTIATE_TEST_SUITE_P(Ac3, TAc3Test, ::testing::ValuesIn(Ac3Cases), CaseName<TAc3Case>);

// ---- DTS

struct TDtsCore {
    uint32_t Ftype = 1, Short = 31, Cpf = 0;
    uint32_t Nblks = 15;   // 16 blocks of 32 samples
    uint32_t Fsize = 2047; // 2048 bytes
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

struct TDtsCase {
    const char* Name;
    TDtsCore Core;
    int Frames;
    bool Accepted;
    int32_t Rate = 0;
    uint16_t Channels = 0;
    int32_t BitRate = 0;
    uint16_t Bits = 0;
};

const TDtsCase DtsCases[] = {
    // 2048-byte frames of 512 samples at 48 kHz are the 1536 kbit/s of the RATE code.
    {"FivePointOne48k1536", {}, 960, true, 48000, 6, 1536, 16},
    {"CdRateStereo", {1, 31, 0, 15, 2047, 2, 8, 22, 0, 0}, 10, true, 44100, 2, 1411, 16},
    {"TwentyBitWithoutCrc", {1, 31, 0, 15, 2047, 2, 13, 24, 0, 2}, 10, true, 48000, 2, 1536, 20},
    {"TwentyFourBitBehindCrc", {1, 31, 1, 15, 2047, 2, 13, 24, 0, 5}, 10, true, 48000, 2, 1536, 24},
    // An open rate has no table value: the stream's own 2048 bytes per 512 samples stand in.
    {"OpenRate", {1, 31, 0, 15, 2047, 9, 13, 29, 2, 0}, 10, true, 48000, 6, 1536, 16},
    {"ReservedSampleRate", {1, 31, 0, 15, 2047, 9, 4, 24, 0, 0}, 10, false},
    {"UserDefinedChannels", {1, 31, 0, 15, 2047, 16, 13, 24, 0, 0}, 10, false},
    {"NormalFrameWithDeficit", {1, 30, 0, 15, 2047, 9, 13, 24, 0, 0}, 10, false},
};

class TDtsTest : public ::testing::TestWithParam<TDtsCase> {};

TEST_P(TDtsTest, CoreFramesGiveTheStream) {
    const TDtsCase& c = GetParam();
    const TRead read = ReadAs(afDTS, Repeat(DtsFrame(c.Core), c.Frames));
    ASSERT_EQ(read.Accepted && read.Record->Valid, c.Accepted);
    if (!c.Accepted) return;
    const TAudioFile& r = *read.Record;
    EXPECT_EQ(r.SampleRate, c.Rate);
    EXPECT_EQ(r.Channels, c.Channels);
    EXPECT_EQ(r.BitRate, c.BitRate);
    EXPECT_EQ(r.BitsPerSample, c.Bits);
    EXPECT_EQ(r.Samples, 512 * c.Frames);
    EXPECT_DOUBLE_EQ(r.Duration, 512.0 * c.Frames / c.Rate);
}

INSTANTIATE_TEST_SUITE_P(Dts, TDtsTest, ::testing::ValuesIn(DtsCases), CaseName<TDtsCase>);

TEST(DtsStream, EveryStoredFormAndExtensionSubstreams) {
    TDtsCore core;
    core.Fsize = 2015; // 2016 bytes: a whole number of 14-bit words
    const std::string frame = DtsFrame(core);
    // A DTS-HD extension substream of 1000 bytes behind each core frame.
    TBitWriter exss;
    exss.Put(0x64582025, 32).Put(0, 8).Put(0, 2).Put(0, 1).Put(15, 8).Put(999, 16);
    const std::string extension = exss.Bytes() + std::string(1000 - exss.Bytes().size(), '\0');
    const std::pair<const char*, std::string> forms[] = {
        {"16-bit big-endian", Repeat(frame, 30)},
        {"16-bit little-endian", SwapPairs(Repeat(frame, 30))},
        {"14-bit big-endian", Repeat(To14Bit(frame), 30)},
        {"14-bit little-endian", SwapPairs(Repeat(To14Bit(frame), 30))},
        {"core with extension substreams", Repeat(frame + extension, 30)},
    };
    for (const auto& [name, stream] : forms) {
        const TRead read = ReadAs(afDTS, stream);
        ASSERT_TRUE(read.Accepted && read.Record->Valid) << name;
        EXPECT_EQ(read.Record->SampleRate, 48000) << name;
        EXPECT_EQ(read.Record->Channels, 6) << name;
        EXPECT_EQ(read.Record->Samples, 30 * 512) << name;
        EXPECT_DOUBLE_EQ(read.Record->Duration, 0.32) << name;
    }
}

} // namespace
