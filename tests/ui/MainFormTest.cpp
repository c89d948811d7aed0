// The main window without a display: its objects, and every command driven through a scripted
// file dialog, with the output box compared to hand-worked reports. The real player behind the
// MIDI buttons: virtual_display.sh.
#include "TestSupport.h"
#include "ui/Main.h"

#include <gtest/gtest.h>

using namespace audiolens;
using namespace audiolens::ui;
using TCalls = std::vector<std::string>;

namespace {

class TFakeMidi : public TMidiCommands {
  public:
    TFakeMidi(TCalls& calls, bool loads) : Calls(calls), Loads(loads) {}
    bool Load(const std::string& fileName) override { return Call("Load " + fileName) && Loads; }
    void Play() override { Call("Play"); }
    void Pause() override { Call("Pause"); }
    void Stop() override { Call("Stop"); }
    void Rewind() override { Call("Rewind"); }
    bool Call(const std::string& name) { return Calls.push_back(name), true; }
    TCalls& Calls;
    bool Loads;

  protected:
    ~TFakeMidi() override { Call("Released"); }
};

std::string Padded(std::string text, size_t size) {
    return text.append(size - text.size(), '\0');
}
// An ID3v1.1 tag after 1000 bytes: title, artist, album, year, 28-byte comment, zero, track,
// genre.
const std::string Tagged = std::string(1000, '\0') + "TAG" + Padded("Song", 30) +
                           Padded("Band", 30) + Padded("Record", 30) + "2001" + Padded("Fine", 28) +
                           '\0' + '\x07' + '\x11';
std::string Id3v1Report(const std::string& file) {
    return "File: " + file +
           "\r\nTag type: ID3v1\r\nTag size: 128\r\nVersion: 2\r\nTrack: 7\r\nTitle: Song\r\n"
           "Artist: Band\r\nAlbum: Record\r\nYear: 2001\r\nComment: Fine\r\nGenre: Rock\r\n";
}

// One second of 8-bit mono at 8000 Hz: 8000 data bytes after the 44-byte header.
const std::string Mono = testsupport::PcmWav(1, 8000, 8, 8000);
std::string MonoReport(const std::string& file) {
    return "File: " + file +
           "\r\nFile type: Wav\r\nFile size: 8044\r\nBits: 8\r\nSampleRate: 8000\r\n"
           "Samples: 8000\r\nBitrate: 64\r\nBitrateType: \r\nDuration: 0:01.000\r\nRatio: 100\r\n"
           "ChannelMode: Mono\r\nChannels: 1\r\nFormat=Windows PCM\r\n";
}

class TMainFormFixture : public ::testing::Test {
  protected:
    void SetUp() override { Build(true); }

    void Build(bool midiLoads) {
        Holder.Reset();
        Form = CreateMainForm(new TFakeMidi(Calls, midiLoads));
        Holder.Reset(Form->Window);
    }

    // Clicks the button with "old" in the box, the dialog answering the file (cancelled for
    // ""); the box after.
    std::string Click(TWindow* button, const std::string& fileName) {
        Form->OutputBox->SetCaption("old");
        Form->Dialog->Request = [this, fileName](TFileDialog& dialog) {
            Filters.push_back(dialog.Filter);
            dialog.FileName = fileName;
            return !fileName.empty();
        };
        button->Click();
        return Form->OutputBox->GetCaption();
    }

    std::string Write(const std::string& name, const std::string& bytes) const {
        testsupport::WriteFile(Dir.Path(name), bytes);
        return Dir.Path(name);
    }

    testsupport::TTempDir Dir;
    TCalls Calls, Filters; // outlive the window, which releases the player
    TMainForm* Form = nullptr;
    TRef<TWindow> Holder;
};

} // namespace

TEST_F(TMainFormFixture, OneObjectPerBuiltFormatAndTagKindAllReleasedWithTheWindow) {
    for (int f = 0; f < FormatCount; ++f)
        EXPECT_EQ(Form->Records[f] ? Form->Records[f]->Format : -1, FormatConstructor(f) ? f : -1);
    for (int k = 0; k < TagSlotCount; ++k)
        EXPECT_EQ(Form->TagObjects[k] ? Form->TagObjects[k]->Kind : -1,
                  k > 0 && TagConstructor(k) ? k : -1);
    // The player is told to play once at start, with nothing loaded.
    EXPECT_EQ(Calls, TCalls{"Play"});
    Holder.Reset();
    EXPECT_EQ(Calls, (TCalls{"Play", "Released"}));
}

TEST_F(TMainFormFixture, OpenAudioUsesTheExtensionsReaderAndVerifyAnyReader) {
    const std::string mono = Write("mono.wav", Mono), misnamed = Write("wave.mp3", Mono);
    TWindow *open = Form->OpenAudioButton, *verify = Form->VerifyAudioButton;
    // Capital extensions are no known extension; a WAV file named .mp3 goes to the MPEG reader
    // alone, which does not accept it. Cancelled dialogs leave the box as it was.
    const std::tuple<TWindow*, std::string, std::string> rows[] = {
        {open, mono, MonoReport(mono)},
        {open, Write("upper.WAV", Mono), ""},
        {open, Write("unknown.xyz", Mono), ""},
        {open, misnamed, ""},
        {verify, misnamed, MonoReport(misnamed)},
        {verify, Write("noise.wav", std::string(3000, 'x')), ""},
        {open, "", "old"},
        {verify, "", "old"}};
    for (const auto& [button, file, box] : rows)
        EXPECT_EQ(Click(button, file), box) << file;
    EXPECT_EQ(Filters, TCalls(8, "Audio files|" + AllFormatsFilter()));
}

TEST_F(TMainFormFixture, OpenTagReadsTheCheckedKindAlone) {
    const std::string file = Write("a.mp3", Tagged), renamed = Write("a.wav", Tagged);
    EXPECT_EQ(Click(Form->OpenTagButton, file), "old"); // no kind checked: no dialog
    EXPECT_TRUE(Filters.empty());
    TWindow *id3v1 = Form->TagsGroup->Child(1), *ape = Form->TagsGroup->Child(4);
    ASSERT_EQ(id3v1->GetCaption() + ape->GetCaption(), "ID3v1APE");
    id3v1->Click();
    EXPECT_EQ(Click(Form->OpenTagButton, file), Id3v1Report(file));
    // The kind is read directly, whatever the file's extension.
    EXPECT_EQ(Click(Form->OpenTagButton, renamed), Id3v1Report(renamed));
    // Another kind, which the file does not carry.
    ape->Click();
    EXPECT_FALSE(id3v1->IsChecked());
    EXPECT_EQ(Click(Form->OpenTagButton, file), "");
    EXPECT_EQ(Click(Form->OpenTagButton, ""), "old");
    const std::string id3Filter = "Audio files|" + BuildFilter(FormatsWithTag(tkID3v1)),
                      apeFilter = "Audio files|" + BuildFilter(FormatsWithTag(tkAPE));
    EXPECT_EQ(Filters, (TCalls{id3Filter, id3Filter, apeFilter, apeFilter}));
}

TEST_F(TMainFormFixture, MidiLoadStopsRewindsThenLoadsAndPlays) {
    Calls.clear();
    Click(Form->LoadButton, "/songs/a.mid");
    Click(Form->LoadButton, "");
    Form->PauseButton->Click();
    Form->StopButton->Click();
    Form->PlayButton->Click();
    EXPECT_EQ(Filters, TCalls(2, "Midi files|*.mid;*.rmi;*.riff"));
    EXPECT_EQ(Calls, (TCalls{"Stop", "Rewind", "Load /songs/a.mid", "Play", "Stop", "Rewind",
                             "Pause", "Stop", "Play"}));
    // A file the player does not load is not played; the MIDI commands write nothing.
    Build(false);
    Calls.clear();
    EXPECT_EQ(Click(Form->LoadButton, "/songs/not.mid"), "old");
    EXPECT_EQ(Calls, (TCalls{"Stop", "Rewind", "Load /songs/not.mid"}));
}
