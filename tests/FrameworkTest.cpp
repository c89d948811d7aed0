// The record, the registry's extension and filter rules, the verifier and the report texts.
#include "TestSupport.h"
#include "framework/Registry.h"
#include "framework/Reports.h"

#include <gtest/gtest.h>

using namespace audiolens;

namespace {

class TCountedTag : public TTagBase {
  public:
    explicit TCountedTag(int* released) : TTagBase(tkID3v1, FieldRange(0, 6)), Released(released) {}
    bool DoRead(const TFileView&) override { throw std::runtime_error("damaged"); }

  protected:
    ~TCountedTag() override { ++*Released; }

  private:
    int* Released;
};

} // namespace

TEST(AudioFile, ChannelModesAndTheTagsItOwns) {
    TAudioRef r(new TAudioFile);
    EXPECT_FALSE(r->Read("x")); // no read operation
    EXPECT_EQ(r->GetChannelMode(), "Unknown");
    r->Channels = 6;
    EXPECT_EQ(r->GetChannelMode(), "Multichannel");
    r->ChannelMode = "Joint Stereo";
    EXPECT_EQ(r->GetChannelMode(), "Joint Stereo");
    r->Reset();
    EXPECT_EQ(r->GetChannelMode(), "Unknown");
    int released = 0;
    auto* tag = new TCountedTag(&released);
    r->AddTag(tkID3v1, tag);
    EXPECT_EQ(r->GetTag(tkID3v1), tag);
    EXPECT_EQ(r->GetTag(10), nullptr);
    EXPECT_FALSE(tag->Read("any")); // the exception stays inside the guard
    tag->SetField(tfTitle, "t");
    tag->GenreIndex = 3;
    r->Reset();
    for (int id = 0; id <= TagFieldCount; ++id)
        EXPECT_EQ(tag->GetField(id), "");
    EXPECT_EQ(tag->GenreIndex, 255);
    r.Reset();
    EXPECT_EQ(released, 1);
}

TEST(Registry, ExtensionsNamesAndFilters) {
    const std::pair<const char*, TAudioFormat> extensions[] = {
        {".mp3", afMPEG},    {".mp", afMPEG}, {".a", afMonkey}, {".", afWav},
        {".MP3", afUnknown}, {"", afUnknown}, {".m4b", afMP4}}; // a substring of the list
    for (const auto& [extension, format] : extensions)
        EXPECT_EQ(FormatByExtension(extension), format) << extension;
    EXPECT_EQ(FormatName(16) + FormatName(17) + TagKindName(0) + TagKindName(10),
              "UnknownUnknownUnknownUnknown");
    EXPECT_EQ(TagKindName(2), "ID3v1 Lyrics");
    EXPECT_EQ(BuildFilter(0), "");
    EXPECT_EQ(BuildFilter(FormatBit(afOGG) | FormatBit(afFLAC)), "*.ogg;*.spx;*.flac;*.fla;");
    EXPECT_EQ(FormatsWithTag(tkID3v1Lyrics), FormatsWithTag(tkID3v1));
    EXPECT_EQ(FormatsWithTag(10), 0);
}

TEST(Reports, DurationsRatiosAndTheAudioTemplate) {
    const std::pair<double, const char*> durations[] = {
        {65.5, "1:05.500"},    {3725.25, "1:02:05.250"},   {0.0, "0:00.000"}, {5.05, "0:05.050"},
        {59.9996, "1:00.000"}, {3599.9999, "1:00:00.000"}, {-1.0, "unknown"}};
    for (const auto& [seconds, text] : durations)
        EXPECT_EQ(FormatDuration(seconds), text);
    EXPECT_EQ(RatioText(100.5) + RatioText(101.5) + RatioText(-1.0), "100102-1"); // halves to even
    TAudioRef r(new TAudioFile);
    r->Format = afWav;
    r->FileSize = 3000000000LL; // must not come out as -1294967296
    r->Channels = 2;
    r->Info->Add("A=1");
    r->Info->Add("B=2");
    EXPECT_EQ(AudioReportText(*r, "f.wav"),
              "File: f.wav\r\nFile type: Wav\r\nFile size: 3000000000\r\nBits: 0\r\nSampleRate: "
              "0\r\nSamples: 0\r\nBitrate: 0\r\nBitrateType: \r\nDuration: unknown\r\nRatio: "
              "-1\r\nChannelMode: Stereo\r\nChannels: 2\r\nA=1\r\nB=2\r\n");
    // A failing read writes nothing and keeps the box.
    TStringOutput box;
    box.Text = "kept";
    EXPECT_FALSE(ShowAudioReport(box, *r, "f.wav", true));
    EXPECT_EQ(box.Text, "kept");
    EXPECT_TRUE(ShowAudioReport(box, *r, "f.wav", false));
    EXPECT_EQ(box.Text.substr(0, 9), "keptFile:");
}

TEST(Reports, LongReportsAreNeverCut) {
    TAudioRef r(new TAudioFile);
    for (int i = 0; i < 100; ++i)
        r->Info->Add("Key=" + std::string(20, 'v'));
    const std::string text = AudioReportText(*r, "x");
    EXPECT_EQ(text.size(), AudioReportText(*TAudioRef(new TAudioFile), "x").size() + 100 * 26);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}

TEST(Verify, ExtensionFirstThenTableOrder) {
    testsupport::TTempDir dir;
    std::string wav = testsupport::PcmWav(2, 44100, 16, 100);
    testsupport::WriteFile(dir.Path("right.wav"), wav);
    testsupport::WriteFile(dir.Path("wrong.mp3"), wav);
    testsupport::WriteFile(dir.Path("noext"), wav);
    testsupport::WriteFile(dir.Path("junk.wav"), "not audio at all");
    TRef<TAudioVerify> v(new TAudioVerify);
    for (const char* name : {"right.wav", "wrong.mp3", "noext"}) {
        ASSERT_TRUE(v->Verify(dir.Path(name))) << name;
        EXPECT_EQ(v->Audio()->Format, afWav);
    }
    EXPECT_FALSE(v->Verify(dir.Path("junk.wav")));
    EXPECT_EQ(v->Audio(), nullptr);
}
