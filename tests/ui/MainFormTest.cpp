// The main window without a display: its objects, and every command driven through a scripted
// file dialog, with the output box compared to hand-worked reports.
#include "TestSupport.h"
#include "ui/Main.h"

#include <gtest/gtest.h>

using namespace audiolens;
using namespace audiolens::ui;

namespace {

// An ID3v1.1 tag: title, artist, album, year, 28-byte comment, zero, track, genre.
std::string Id3v1Tag() {
    auto padded = [](std::string text, size_t size) {
        return text.append(size - text.size(), '\0');
    };
    return "TAG" + padded("Song", 30) + padded("Band", 30) + padded("Record", 30) + "2001" +
           padded("Fine", 28) + '\0' + '\x07' + '\x11';
}

class TFakeMidi : public TMidiCommands {
  public:
    TFakeMidi(std::vector<std::string>& calls, bool& released, bool loads)
        : Calls(calls), Released(released), Loads(loads) {}
    bool Load(const std::string& fileName) override {
        Calls.push_back("Load " + fileName);
        return Loads;
    }
    void Play() override { Calls.push_back("Play"); }
    void Pause() override { Calls.push_back("Pause"); }
    void Stop() override { Calls.push_back("Stop"); }
    void Rewind() override { Calls.push_back("Rewind"); }

  protected:
    ~TFakeMidi() override { Released = true; }

  private:
    std::vector<std::string>& Calls;
    bool& Released;
    bool Loads;
};

const std::string AllAudioFilter = "Audio files|" + AllFormatsFilter();

// One second of 8-bit mono at 8000 Hz: 8000 data bytes after the 44-byte header.
std::string MonoReport(const std::string& file) {
    return "File: " + file +
           "\r\nFile type: Wav\r\nFile size: 8044\r\nBits: 8\r\nSampleRate: 8000\r\n"
           "Samples: 8000\r\nBitrate: 64\r\nBitrateType: \r\nDuration: 0:01.000\r\nRatio: 100\r\n"
           "ChannelMode: Mono\r\nChannels: 1\r\nFormat=Windows PCM\r\n";
}
const std::string Mono = testsupport::PcmWav(1, 8000, 8, 8000);

std::string Id3v1Report(const std::string& file) {
    return "File: " + file +
           "\r\nTag type: ID3v1\r\nTag size: 128\r\nVersion: 2\r\nTrack: 7\r\nTitle: Song\r\n"
           "Artist: Band\r\nAlbum: Record\r\nYear: 2001\r\nComment: Fine\r\nGenre: Rock\r\n";
}

class TMainFormFixture : public ::testing::Test {
  protected:
    void SetUp() override { Build(true); }

    void Build(bool midiLoads) {
        Holder.Reset();
        Calls.clear();
        Form = CreateMainForm(new TFakeMidi(Calls, MidiReleased, midiLoads));
        Holder.Reset(Form->Window);
    }

    // The next dialog answers with this file (or cancels for an empty name).
    void Answer(const std::string& fileName) {
        Form->Dialog->Request = [this, fileName](TFileDialog& dialog) {
            ++DialogShown;
            Filters.push_back(dialog.Filter);
            if (fileName.empty()) return false;
            dialog.FileName = fileName;
            return true;
        };
    }

    TWindow* Radio(const std::string& caption) {
        for (int i = 0; i < Form->TagsGroup->ChildCount(); ++i)
            if (Form->TagsGroup->Child(i)->GetCaption() == caption)
                return Form->TagsGroup->Child(i);
        return nullptr;
    }

    std::string Box() { return Form->OutputBox->GetCaption(); }
    std::string Write(const std::string& name, const std::string& bytes) const {
        testsupport::WriteFile(Dir.Path(name), bytes);
        return Dir.Path(name);
    }

    testsupport::TTempDir Dir;
    TMainForm* Form = nullptr;
    TRef<TWindow> Holder;
    std::vector<std::string> Calls;
    std::vector<std::string> Filters;
    bool MidiReleased = false;
    int DialogShown = 0;
};

} // namespace

TEST_F(TMainFormFixture, OneObjectPerBuiltFormatAndTagKindAllReleasedWithTheWindow) {
    for (int f = 0; f < FormatCount; ++f)
        EXPECT_EQ(Form->Records[f] ? Form->Records[f]->Format : -1, FormatConstructor(f) ? f : -1);
    for (int k = 0; k < TagSlotCount; ++k)
        EXPECT_EQ(Form->TagObjects[k] ? Form->TagObjects[k]->Kind : -1,
                  k > 0 && TagConstructor(k) ? k : -1);
    // The player is told to play once at start, with nothing loaded.
    EXPECT_EQ(Calls, std::vector<std::string>{"Play"});
    EXPECT_FALSE(MidiReleased);
    Holder.Reset();
    EXPECT_TRUE(MidiReleased);
}

TEST_F(TMainFormFixture, OpenAudioUsesTheExtensionsReaderAndVerifyAnyReader) {
    const std::string mono = Write("mono.wav", Mono), misnamed = Write("wave.mp3", Mono);
    for (int twice = 0; twice < 2; ++twice) { // each command starts from an empty box
        Answer(mono);
        Form->OpenAudioButton->Click();
        EXPECT_EQ(Box(), MonoReport(mono));
    }
    // Capital extensions are no known extension; a WAV file named .mp3 goes to the MPEG
    // reader alone, which does not accept it.
    for (const char* name : {"upper.WAV", "unknown.xyz", "wave.mp3"}) {
        Form->OutputBox->SetCaption("old");
        Answer(Write(name, Mono));
        Form->OpenAudioButton->Click();
        EXPECT_EQ(Box(), "") << name;
    }
    Answer(misnamed);
    Form->VerifyAudioButton->Click();
    EXPECT_EQ(Box(), MonoReport(misnamed));
    EXPECT_EQ(Filters, std::vector<std::string>(6, AllAudioFilter));
    Answer(Write("noise.wav", std::string(3000, 'x')));
    Form->VerifyAudioButton->Click();
    EXPECT_EQ(Box(), "");
    // Cancelled dialogs leave the box as it was.
    Form->OutputBox->SetCaption("kept\r\n");
    Answer("");
    Form->OpenAudioButton->Click();
    Form->VerifyAudioButton->Click();
    EXPECT_EQ(Box(), "kept\r\n");
}

TEST_F(TMainFormFixture, OpenTagReadsTheCheckedKindAlone) {
    std::string file = Write("a.mp3", std::string(1000, '\0') + Id3v1Tag());
    Form->OutputBox->SetCaption("kept"); // no kind checked: no dialog
    Answer(file);
    Form->OpenTagButton->Click();
    EXPECT_EQ(DialogShown, 0);
    EXPECT_EQ(Box(), "kept");
    Radio("ID3v1")->Click();
    Answer(file);
    Form->OpenTagButton->Click();
    EXPECT_EQ(Filters,
              std::vector<std::string>{"Audio files|" + BuildFilter(FormatsWithTag(tkID3v1))});
    EXPECT_EQ(Box(), Id3v1Report(file));

    // The kind is read directly, whatever the file's extension.
    std::string renamed = Write("a.wav", std::string(1000, '\0') + Id3v1Tag());
    Answer(renamed);
    Form->OpenTagButton->Click();
    EXPECT_EQ(Box(), Id3v1Report(renamed));

    // Another kind that the file does not carry: the box is emptied and stays empty.
    Radio("APE")->Click();
    EXPECT_FALSE(Radio("ID3v1")->IsChecked());
    Answer(file);
    Form->OpenTagButton->Click();
    EXPECT_EQ(Filters.back(), "Audio files|" + BuildFilter(FormatsWithTag(tkAPE)));
    EXPECT_EQ(Box(), "");

    Form->OutputBox->SetCaption("kept");
    Answer("");
    Form->OpenTagButton->Click();
    EXPECT_EQ(Box(), "kept");
}

TEST_F(TMainFormFixture, MidiLoadStopsRewindsThenLoadsAndPlays) {
    Calls.clear();
    Answer("/songs/a.mid");
    Form->LoadButton->Click();
    EXPECT_EQ(Filters, std::vector<std::string>{"Midi files|*.mid;*.rmi;*.riff"});
    EXPECT_EQ(Calls, (std::vector<std::string>{"Stop", "Rewind", "Load /songs/a.mid", "Play"}));
    Calls.clear();
    Answer("");
    Form->LoadButton->Click();
    EXPECT_EQ(Calls, (std::vector<std::string>{"Stop", "Rewind"}));
    Calls.clear();
    Form->PauseButton->Click();
    Form->StopButton->Click();
    Form->PlayButton->Click();
    EXPECT_EQ(Calls, (std::vector<std::string>{"Pause", "Stop", "Play"}));
    // A file the player does not load is not played; the MIDI commands write nothing.
    Build(false);
    Calls.clear();
    Form->OutputBox->SetCaption("kept");
    Answer("/songs/not.mid");
    Form->LoadButton->Click();
    EXPECT_EQ(Calls, (std::vector<std::string>{"Stop", "Rewind", "Load /songs/not.mid"}));
    EXPECT_EQ(Box(), "kept");
}

TEST(MainFormPlayer, TheRealPlayerIsWiredAndStaysStoppedOnABadFile) {
    TMainForm* form = CreateMainForm();
    TRef<TWindow> holder(form->Window);
    testsupport::TTempDir dir;
    const std::string bad = dir.Path("bad.mid");
    testsupport::WriteFile(bad, "not a midi file");
    form->Dialog->Request = [bad](TFileDialog& d) {
        d.FileName = bad;
        return true;
    };
    form->LoadButton->Click();
    form->PauseButton->Click();
    form->StopButton->Click();
    form->PlayButton->Click();
    EXPECT_EQ(form->OutputBox->GetCaption(), "");
}
