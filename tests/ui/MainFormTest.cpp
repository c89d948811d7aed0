// The main window without a display: its controls as laid out, its objects, and every command
// driven through a scripted file dialog, with the output box compared to hand-worked reports.
#include "ui/Main.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

using namespace audiolens;
using namespace audiolens::ui;

namespace {

std::string LE16(uint32_t v) {
    return {char(v & 0xFF), char((v >> 8) & 0xFF)};
}
std::string LE32(uint32_t v) {
    return LE16(v & 0xFFFF) + LE16(v >> 16);
}

// A PCM WAV file: RIFF header, 16-byte fmt chunk, data chunk of silence.
std::string PcmWav(uint16_t channels, uint32_t rate, uint16_t bits, uint32_t frames) {
    uint32_t block = channels * bits / 8, data = frames * block;
    return "RIFF" + LE32(36 + data) + "WAVE" + "fmt " + LE32(16) + LE16(1) + LE16(channels) +
           LE32(rate) + LE32(rate * block) + LE16(block) + LE16(bits) + "data" + LE32(data) +
           std::string(data, bits == 8 ? '\x80' : '\0');
}

std::string Padded(const std::string& text, size_t size) {
    return text + std::string(size - text.size(), '\0');
}

// An ID3v1.1 tag: title, artist, album, year, 28-byte comment, zero, track, genre.
std::string Id3v1Tag() {
    return "TAG" + Padded("Song", 30) + Padded("Band", 30) + Padded("Record", 30) + "2001" +
           Padded("Fine", 28) + '\0' + '\x07' + '\x11';
}

class TTempDir {
  public:
    TTempDir() {
        std::random_device seed;
        Dir = std::filesystem::temp_directory_path() /
              ("audiolens-ui-" + std::to_string(seed()) + std::to_string(seed()));
        std::filesystem::create_directories(Dir);
    }
    ~TTempDir() { std::filesystem::remove_all(Dir); }
    std::string Write(const std::string& name, const std::string& bytes) const {
        std::string path = (Dir / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

  private:
    std::filesystem::path Dir;
};

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

const char* const AllAudioFilter =
    "Audio files|*.wav;*.wv;*.ape;*.mac;*.apl;*.ogg;*.spx;*.ac3;*.aac;*.dts;*.tta;*.wma;*.ofr;"
    "*.ofs;*.flac;*.fla;*.vqf;*.cda;*.mp3;*.mpc;*.mpp;*.mp+;*.mp4;*.m4a;*.m4b;";
const char* const Id3v1Filter =
    "Audio files|*.ape;*.mac;*.apl;*.aac;*.tta;*.ofr;*.ofs;*.flac;*.fla;*.mp3;*.mpc;*.mpp;*.mp+;";

// One second of 8-bit mono at 8000 Hz: 8000 data bytes after the 44-byte header.
std::string MonoReport(const std::string& file) {
    return "File: " + file +
           "\r\nFile type: Wav\r\nFile size: 8044\r\nBits: 8\r\nSampleRate: 8000\r\n"
           "Samples: 8000\r\nBitrate: 64\r\nBitrateType: \r\nDuration: 0:01.000\r\nRatio: 100\r\n"
           "ChannelMode: Mono\r\nChannels: 1\r\nFormat=Windows PCM\r\n";
}

// Half a second of 16-bit stereo at 22050 Hz: 705.6 kbit/s rounds to 706.
std::string StereoReport(const std::string& file) {
    return "File: " + file +
           "\r\nFile type: Wav\r\nFile size: 44144\r\nBits: 16\r\nSampleRate: 22050\r\n"
           "Samples: 11025\r\nBitrate: 706\r\nBitrateType: \r\nDuration: 0:00.500\r\n"
           "Ratio: 100\r\nChannelMode: Stereo\r\nChannels: 2\r\nFormat=Windows PCM\r\n";
}

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

    TTempDir Dir;
    TMainForm* Form = nullptr;
    TRef<TWindow> Holder;
    std::vector<std::string> Calls;
    std::vector<std::string> Filters;
    bool MidiReleased = false;
    int DialogShown = 0;
};

struct TPlace {
    const char* Caption;
    int X, Y, W, H;
};

} // namespace

TEST_F(TMainFormFixture, WindowAndControlsAsLaidOut) {
    TWindow* w = Form->Window;
    EXPECT_EQ(w->GetCaption(), "MainForm");
    EXPECT_EQ(w->Bounds().Left, 326);
    EXPECT_EQ(w->Bounds().Top, 107);
    EXPECT_EQ(w->ClientRect().Width(), 673);
    EXPECT_EQ(w->ClientRect().Height(), 422);
    EXPECT_FALSE(w->HandleAllocated());

    // In creation order, which is also the order of the control ids.
    const std::vector<std::pair<TWindow*, TPlace>> controls = {
        {w, {"Open Audio", 544, 340, 85, 29}},
        {w, {"Verify Audio", 544, 380, 85, 29}},
        {w, {"Tags", 132, 332, 401, 85}},
        {Form->TagsGroup, {"Open Tag", 260, 16, 129, 29}},
        {Form->TagsGroup, {"ID3v1", 8, 16, 72, 22}},
        {Form->TagsGroup, {"ID3Lyrics", 8, 36, 81, 22}},
        {Form->TagsGroup, {"ID3v2", 8, 56, 72, 22}},
        {Form->TagsGroup, {"APE", 92, 16, 72, 22}},
        {Form->TagsGroup, {"Vorbis", 92, 36, 72, 22}},
        {Form->TagsGroup, {"TwinVQ", 92, 55, 72, 22}},
        {Form->TagsGroup, {"WMA", 176, 16, 72, 22}},
        {Form->TagsGroup, {"ExWMA", 176, 36, 72, 22}},
        {Form->TagsGroup, {"Mp4", 176, 55, 72, 22}},
        {w, {"", 0, 0, 673, 323}},
        {w, {" MIDI ", 4, 332, 121, 85}},
        {Form->MidiGroup, {"Load", 8, 19, 49, 29}},
        {Form->MidiGroup, {"Pause", 60, 19, 49, 29}},
        {Form->MidiGroup, {"Stop", 8, 48, 49, 29}},
        {Form->MidiGroup, {"Play", 60, 48, 49, 29}},
    };
    std::vector<TWindow*> found;
    for (int i = 0; i < w->ChildCount(); ++i) {
        found.push_back(w->Child(i));
        for (int k = 0; k < w->Child(i)->ChildCount(); ++k)
            found.push_back(w->Child(i)->Child(k));
    }
    ASSERT_EQ(found.size(), controls.size());
    std::sort(found.begin(), found.end(), [](TWindow* a, TWindow* b) { return a->Id() < b->Id(); });
    for (size_t i = 0; i < controls.size(); ++i) {
        const TPlace& p = controls[i].second;
        SCOPED_TRACE(p.Caption);
        TWindow* c = found[i];
        EXPECT_EQ(c->Parent(), controls[i].first);
        EXPECT_EQ(c->GetCaption(), p.Caption);
        EXPECT_EQ(c->Bounds().Left, p.X);
        EXPECT_EQ(c->Bounds().Top, p.Y);
        EXPECT_EQ(c->Bounds().Width(), p.W);
        EXPECT_EQ(c->Bounds().Height(), p.H);
        if (i > 0) {
            EXPECT_EQ(c->Id(), found[i - 1]->Id() + 1);
        }
    }
    EXPECT_EQ(found[13], Form->OutputBox);
    EXPECT_EQ(Form->OutputBox->Kind(), TWindowKind::Memo);
    EXPECT_EQ(Form->OutputBox->MemoOptions(), moMultiLine);
    EXPECT_EQ(Form->OutputBox->Align(), alTop);
    EXPECT_EQ(Form->OutputBox->Color(), clWindow);
}

TEST_F(TMainFormFixture, RadioButtonsCarryTheirTagKindAndNoneIsChecked) {
    const char* captions[] = {"ID3v1",  "ID3Lyrics", "ID3v2", "APE", "Vorbis",
                              "TwinVQ", "WMA",       "ExWMA", "Mp4"};
    for (int kind = 1; kind <= 9; ++kind) {
        TWindow* radio = Radio(captions[kind - 1]);
        ASSERT_NE(radio, nullptr);
        EXPECT_EQ(radio->Kind(), TWindowKind::RadioButton);
        EXPECT_EQ(radio->UserValue, kind);
        EXPECT_FALSE(radio->IsChecked());
    }
    EXPECT_EQ(Form->OpenTagButton->UserValue, 0);
    EXPECT_EQ(Form->TagsGroup->FirstRadioId, Radio("ID3v1")->Id());
    EXPECT_EQ(Form->TagsGroup->LastRadioId, Radio("Mp4")->Id());
}

TEST_F(TMainFormFixture, OneObjectPerBuiltFormatAndTagKind) {
    for (int f = 0; f < FormatCount; ++f) {
        EXPECT_EQ(Form->Records[f] != nullptr, FormatConstructor(f) != nullptr) << f;
        if (Form->Records[f]) {
            EXPECT_EQ(Form->Records[f]->Format, f);
        }
    }
    EXPECT_NE(Form->Records[afWav], nullptr);
    EXPECT_EQ(Form->TagObjects[tkUnknown], nullptr);
    for (int k = 1; k < TagSlotCount; ++k) {
        EXPECT_EQ(Form->TagObjects[k] != nullptr, TagConstructor(k) != nullptr) << k;
        if (Form->TagObjects[k]) {
            EXPECT_EQ(Form->TagObjects[k]->Kind, k);
        }
    }
    EXPECT_NE(Form->Verifier, nullptr);
    EXPECT_NE(Form->Dialog, nullptr);
    // The player is told to play once at start, with nothing loaded.
    EXPECT_EQ(Calls, std::vector<std::string>{"Play"});
}

TEST_F(TMainFormFixture, EverythingIsReleasedWithTheWindow) {
    EXPECT_FALSE(MidiReleased);
    Holder.Reset();
    EXPECT_TRUE(MidiReleased);
}

TEST_F(TMainFormFixture, OpenAudioShowsTheAudioReport) {
    std::string mono = Dir.Write("mono.wav", PcmWav(1, 8000, 8, 8000));
    std::string stereo = Dir.Write("stereo.wav", PcmWav(2, 22050, 16, 11025));
    Answer(mono);
    Form->OpenAudioButton->Click();
    EXPECT_EQ(Filters, std::vector<std::string>{AllAudioFilter});
    EXPECT_EQ(Box(), MonoReport(mono));
    // The next command starts from an empty box.
    Answer(stereo);
    Form->OpenAudioButton->Click();
    EXPECT_EQ(Box(), StereoReport(stereo));
}

TEST_F(TMainFormFixture, OpenAudioCancelLeavesTheBoxUnchanged) {
    Form->OutputBox->SetCaption("kept\r\n");
    Answer("");
    Form->OpenAudioButton->Click();
    EXPECT_EQ(DialogShown, 1);
    EXPECT_EQ(Box(), "kept\r\n");
    Form->VerifyAudioButton->Click();
    EXPECT_EQ(Box(), "kept\r\n");
}

TEST_F(TMainFormFixture, OpenAudioUsesOnlyTheExtensionsReader) {
    Form->OutputBox->SetCaption("old");
    // Capital extensions are no known extension.
    Answer(Dir.Write("upper.WAV", PcmWav(1, 8000, 8, 8000)));
    Form->OpenAudioButton->Click();
    EXPECT_EQ(Box(), "");
    Form->OutputBox->SetCaption("old");
    Answer(Dir.Write("unknown.xyz", PcmWav(1, 8000, 8, 8000)));
    Form->OpenAudioButton->Click();
    EXPECT_EQ(Box(), "");
    // A WAV file named .mp3 goes to the MPEG reader alone, which does not accept it.
    Form->OutputBox->SetCaption("old");
    Answer(Dir.Write("wave.mp3", PcmWav(1, 8000, 8, 8000)));
    Form->OpenAudioButton->Click();
    EXPECT_EQ(Box(), "");
}

TEST_F(TMainFormFixture, VerifyAudioFindsTheReaderWhateverTheExtension) {
    std::string misnamed = Dir.Write("wave.mp3", PcmWav(1, 8000, 8, 8000));
    Answer(misnamed);
    Form->VerifyAudioButton->Click();
    EXPECT_EQ(Filters, std::vector<std::string>{AllAudioFilter});
    EXPECT_EQ(Box(), MonoReport(misnamed));
    std::string upper = Dir.Write("upper.WAV", PcmWav(2, 22050, 16, 11025));
    Answer(upper);
    Form->VerifyAudioButton->Click();
    EXPECT_EQ(Box(), StereoReport(upper));
    Answer(Dir.Write("noise.wav", std::string(3000, 'x')));
    Form->VerifyAudioButton->Click();
    EXPECT_EQ(Box(), "");
}

TEST_F(TMainFormFixture, OpenTagWithoutACheckedKindOpensNoDialog) {
    Form->OutputBox->SetCaption("kept");
    Answer(Dir.Write("a.mp3", std::string(1000, '\0') + Id3v1Tag()));
    Form->OpenTagButton->Click();
    EXPECT_EQ(DialogShown, 0);
    EXPECT_EQ(Box(), "kept");
}

TEST_F(TMainFormFixture, OpenTagReadsTheCheckedKindAlone) {
    std::string file = Dir.Write("a.mp3", std::string(1000, '\0') + Id3v1Tag());
    Radio("ID3v1")->Click();
    Answer(file);
    Form->OpenTagButton->Click();
    ASSERT_EQ(Filters.size(), 1u);
    EXPECT_EQ(Filters[0], Id3v1Filter);
    EXPECT_EQ(Box(), Id3v1Report(file));

    // The kind is read directly, whatever the file's extension.
    std::string renamed = Dir.Write("a.wav", std::string(1000, '\0') + Id3v1Tag());
    Answer(renamed);
    Form->OpenTagButton->Click();
    EXPECT_EQ(Box(), Id3v1Report(renamed));

    // Another kind that the file does not carry: the box is emptied and stays empty.
    Radio("APE")->Click();
    EXPECT_FALSE(Radio("ID3v1")->IsChecked());
    Answer(file);
    Form->OpenTagButton->Click();
    EXPECT_EQ(Filters.back(), "Audio files|*.wv;*.ape;*.mac;*.apl;*.aac;*.tta;*.ofr;*.ofs;*.vqf;"
                              "*.mp3;*.mpc;*.mpp;*.mp+;");
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
}

TEST_F(TMainFormFixture, MidiLoadOfANonMidiFileDoesNotPlay) {
    Build(false);
    Calls.clear();
    Form->OutputBox->SetCaption("kept");
    Answer("/songs/not.mid");
    Form->LoadButton->Click();
    EXPECT_EQ(Calls, (std::vector<std::string>{"Stop", "Rewind", "Load /songs/not.mid"}));
    EXPECT_EQ(Box(), "kept"); // the MIDI commands write nothing
}

TEST(MainFormPlayer, TheRealPlayerIsWiredAndStaysStoppedOnABadFile) {
    TMainForm* form = CreateMainForm();
    TRef<TWindow> holder(form->Window);
    TTempDir dir;
    std::string bad = dir.Write("bad.mid", "not a midi file");
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
