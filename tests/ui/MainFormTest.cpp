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

// Records the calls; it loads every file but not.mid.
class TFakeMidi : public TMidiCommands {
  public:
    explicit TFakeMidi(TCalls& calls) : Calls(calls) {}
    bool Load(const std::string& f) override { return Call("Load " + f) && f != "not.mid"; }
    void Play() override { Call("Play"); }
    void Pause() override { Call("Pause"); }
    void Stop() override { Call("Stop"); }
    void Rewind() override { Call("Rewind"); }
    bool Call(const std::string& name) { return Calls.push_back(name), true; }
    TCalls& Calls;

  protected:
    ~TFakeMidi() override { Call("Released"); }
};

const auto Padded = [](std::string s, size_t n) { return s.append(n - s.size(), '\0'); };
// An ID3v1.1 tag after 1000 bytes: title, artist, album, year, comment, zero, track, genre.
const std::string Tagged = std::string(1000, '\0') + "TAG" + Padded("Song", 30) +
                           Padded("Band", 30) + Padded("Record", 30) + "2001" + Padded("Fine", 28) +
                           '\0' + '\x07' + '\x11';
// One second of 8-bit mono at 8000 Hz: 8000 data bytes after the 44-byte header.
const std::string Mono = testsupport::PcmWav(1, 8000, 8, 8000);
// The reports after their first line, "File: " and the name.
const std::string Id3v1Report =
    "\r\nTag type: ID3v1\r\nTag size: 128\r\nVersion: 2\r\nTrack: 7\r\nTitle: Song\r\n"
    "Artist: Band\r\nAlbum: Record\r\nYear: 2001\r\nComment: Fine\r\nGenre: Rock\r\n";
const std::string MonoReport =
    "\r\nFile type: Wav\r\nFile size: 8044\r\nBits: 8\r\nSampleRate: 8000\r\nSamples: 8000\r\n"
    "Bitrate: 64\r\nBitrateType: \r\nDuration: 0:01.000\r\nRatio: 100\r\nChannelMode: Mono\r\n"
    "Channels: 1\r\nFormat=Windows PCM\r\n";

class TMainFormFixture : public ::testing::Test {
  protected:
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
    TMainForm* Form = CreateMainForm(new TFakeMidi(Calls));
    TRef<TWindow> Holder{Form->Window};
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

TEST_F(TMainFormFixture, EveryCommandWithItsDialogFilterAndReport) {
    const std::string mono = Write("mono.wav", Mono), misnamed = Write("wave.mp3", Mono),
                      tagged = Write("a.mp3", Tagged), renamed = Write("a.wav", Tagged);
    TWindow *open = Form->OpenAudioButton, *verify = Form->VerifyAudioButton,
            *tag = Form->OpenTagButton, *id3v1 = Form->TagsGroup->Child(1),
            *ape = Form->TagsGroup->Child(4), *load = Form->LoadButton;
    ASSERT_EQ(id3v1->GetCaption() + ape->GetCaption(), "ID3v1APE");
    const std::string all = "Audio files|" + AllFormatsFilter(),
                      id3 = "Audio files|" + BuildFilter(FormatsWithTag(tkID3v1)),
                      apes = "Audio files|" + BuildFilter(FormatsWithTag(tkAPE)),
                      midi = "Midi files|*.mid;*.rmi;*.riff";
    // Capital extensions are no known extension; a WAV file named .mp3 goes to the MPEG reader
    // alone, which does not accept it. Cancelled dialogs, radio buttons and the MIDI commands
    // leave the box as it was. Open Tag shows no dialog with no kind checked, and reads the
    // checked kind alone (not the ID3v1 unchecked by APE), whatever the file's extension.
    const std::tuple<TWindow*, std::string, std::string, std::string> rows[] = {
        {open, mono, "File: " + mono + MonoReport, all},
        {open, Write("upper.WAV", Mono), "", all},
        {open, Write("unknown.xyz", Mono), "", all},
        {open, misnamed, "", all},
        {verify, misnamed, "File: " + misnamed + MonoReport, all},
        {verify, Write("noise.wav", std::string(3000, 'x')), "", all},
        {open, "", "old", all},
        {verify, "", "old", all},
        {tag, tagged, "old", ""},
        {id3v1, "", "old", ""},
        {tag, tagged, "File: " + tagged + Id3v1Report, id3},
        {tag, renamed, "File: " + renamed + Id3v1Report, id3},
        {ape, "", "old", ""},
        {tag, tagged, "", apes},
        {tag, "", "old", apes},
        {load, "a.mid", "old", midi},
        {load, "not.mid", "old", midi},
        {load, "", "old", midi},
        {Form->PauseButton, "", "old", ""},
        {Form->StopButton, "", "old", ""},
        {Form->PlayButton, "", "old", ""}};
    for (const auto& [button, file, box, filter] : rows) {
        SCOPED_TRACE(button->GetCaption() + " " + file);
        Filters.clear();
        EXPECT_EQ(Click(button, file), box);
        EXPECT_EQ(Filters, TCalls(!filter.empty(), filter));
    }
    // Load stops and rewinds, then plays what the player loaded.
    EXPECT_EQ(Calls, (TCalls{"Play", "Stop", "Rewind", "Load a.mid", "Play", "Stop", "Rewind",
                             "Load not.mid", "Stop", "Rewind", "Pause", "Stop", "Play"}));
}
