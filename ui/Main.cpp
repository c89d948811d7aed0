#include "ui/Main.h"

#include "core/Convert.h"
#include "framework/Reports.h"

namespace audiolens::ui {

namespace {

const char* const AudioFilter = "Audio files|";
const char* const MidiFilter = "Midi files|*.mid;*.rmi;*.riff";

struct TRadioPlace {
    const char* Caption;
    TTagKind Kind;
    int32_t X, Y, Width;
};

// Width 0 keeps the toolkit's default size.
const TRadioPlace RadioPlaces[] = {
    {"ID3v1", tkID3v1, 8, 16, 0},    {"ID3Lyrics", tkID3v1Lyrics, 8, 36, 81},
    {"ID3v2", tkID3v2, 8, 56, 0},    {"APE", tkAPE, 92, 16, 0},
    {"Vorbis", tkVorbis, 92, 36, 0}, {"TwinVQ", tkTwinVQ, 92, 55, 0},
    {"WMA", tkWMA, 176, 16, 0},      {"ExWMA", tkExWMA, 176, 36, 0},
    {"Mp4", tkMp4, 176, 55, 0},
};

const TTagKind TagCreationOrder[] = {tkMp4, tkTwinVQ, tkVorbis,      tkExWMA, tkWMA,
                                     tkAPE, tkID3v2,  tkID3v1Lyrics, tkID3v1};

const TAudioFormat RecordCreationOrder[] = {
    afMP4,    afMPEGplus, afMPEG, afCDATrack, afTwinVQ, afFLAC, afWav, afWAVPack,
    afMonkey, afOGG,      afAC3,  afAAC,      afDTS,    afTTA,  afWMA, afOptimFrog};

TWindow* PlacedButton(TWindow* parent, const char* caption, int32_t x, int32_t y, int32_t w,
                      int32_t h) {
    TWindow* button = CreateButton(parent, caption);
    button->MoveTo(x, y);
    button->Resize(w, h);
    return button;
}

TWindow* PlacedGroup(TWindow* parent, const char* caption, int32_t x, int32_t y, int32_t w,
                     int32_t h) {
    TWindow* group = CreateGroupBox(parent, caption);
    group->MoveTo(x, y);
    group->Resize(w, h);
    return group;
}

void Connect(TMainForm& form, TWindow* button, void (*command)(TMainForm&)) {
    TMainForm* target = &form;
    button->OnClick = [target, command](TWindow&) { command(*target); };
}

// Shows the shared dialog with the filter; false when the user cancelled.
bool ChooseFile(TMainForm& form, const std::string& filter, std::string& fileName) {
    form.Dialog->Filter = filter;
    if (!form.Dialog->Execute()) return false;
    fileName = form.Dialog->FileName;
    return true;
}

void CreateObjects(TMainForm& f) {
    f.Verifier = new TAudioVerify;
    RegisterOwned(f.Window, f.Verifier);
    if (!f.Midi) f.Midi = CreatePlayerCommands();
    RegisterOwned(f.Window, f.Midi);
    // With nothing loaded this does nothing; a loaded song starts at once.
    f.Midi->Play();
    for (TTagKind kind : TagCreationOrder) {
        f.TagObjects[kind] = CreateTag(kind).Detach();
        RegisterOwned(f.Window, f.TagObjects[kind]);
    }
    f.Dialog = CreateFileDialog("", "");
    f.Dialog->Owner = f.Window;
    RegisterOwned(f.Window, f.Dialog);
    for (TAudioFormat format : RecordCreationOrder) {
        f.Records[format] = CreateAudioFile(format).Detach();
        RegisterOwned(f.Window, f.Records[format]);
    }
}

void CreateControls(TMainForm& f) {
    f.OpenAudioButton = PlacedButton(f.Window, "Open Audio", 544, 340, 85, 29);
    f.VerifyAudioButton = PlacedButton(f.Window, "Verify Audio", 544, 380, 85, 29);
    f.TagsGroup = PlacedGroup(f.Window, "Tags", 132, 332, 401, 85);
    f.OpenTagButton = PlacedButton(f.TagsGroup, "Open Tag", 260, 16, 129, 29);
    for (const TRadioPlace& place : RadioPlaces) {
        TWindow* radio = CreateRadioButton(f.TagsGroup, place.Caption);
        radio->MoveTo(place.X, place.Y);
        radio->Resize(place.Width, 0);
        radio->UserValue = place.Kind;
    }
    f.OutputBox = CreateMemo(f.Window, moMultiLine);
    f.OutputBox->Resize(0, 323);
    f.OutputBox->SetAlign(alTop);
    f.MidiGroup = PlacedGroup(f.Window, " MIDI ", 4, 332, 121, 85);
    f.LoadButton = PlacedButton(f.MidiGroup, "Load", 8, 19, 49, 29);
    f.PauseButton = PlacedButton(f.MidiGroup, "Pause", 60, 19, 49, 29);
    f.StopButton = PlacedButton(f.MidiGroup, "Stop", 8, 48, 49, 29);
    f.PlayButton = PlacedButton(f.MidiGroup, "Play", 60, 48, 49, 29);

    Connect(f, f.OpenAudioButton, OpenAudio);
    Connect(f, f.VerifyAudioButton, VerifyAudio);
    Connect(f, f.OpenTagButton, OpenTag);
    Connect(f, f.LoadButton, MidiLoad);
    Connect(f, f.PauseButton, MidiPause);
    Connect(f, f.StopButton, MidiStop);
    Connect(f, f.PlayButton, MidiPlay);
    f.OutputBox->SetColor(clWindow);
}

} // namespace

TMainForm* CreateMainForm(TMidiCommands* midi) {
    auto* form = new TMainForm;
    form->Window = CreateForm("MainForm");
    // Registered first, so it is released last, after everything it points to.
    RegisterOwned(form->Window, form);
    form->Window->MoveTo(326, 107);
    form->Window->SetClientSize(673, 422);
    form->Midi = midi;
    CreateObjects(*form);
    CreateControls(*form);
    return form;
}

void OpenAudio(TMainForm& form) {
    std::string fileName;
    if (!ChooseFile(form, AudioFilter + AllFormatsFilter(), fileName)) return;
    form.OutputBox->SetCaption("");
    TAudioFormat kind = FormatByExtension(ExtractFileExt(fileName));
    if (kind >= FormatCount || !form.Records[kind]) return;
    ShowAudioReport(*form.OutputBox, *form.Records[kind], fileName, true);
}

void VerifyAudio(TMainForm& form) {
    std::string fileName;
    if (!ChooseFile(form, AudioFilter + AllFormatsFilter(), fileName)) return;
    form.OutputBox->SetCaption("");
    if (!form.Verifier->Verify(fileName)) return;
    TAudioFile& audio = *form.Verifier->Audio();
    ShowAudioReport(*form.OutputBox, audio, fileName, false);
    // The tags were read by the reader that accepted the file.
    for (int kind = 0; kind < TagSlotCount; ++kind) {
        TTagBase* tag = audio.GetTag(kind);
        if (audio.HasTag(kind) && tag && tag->Valid)
            ShowTagReport(*form.OutputBox, *tag, fileName, false);
    }
}

void OpenTag(TMainForm& form) {
    int kind = 0;
    for (int i = 0; i < form.TagsGroup->ChildCount() && kind == 0; ++i) {
        TWindow* child = form.TagsGroup->Child(i);
        if (child->UserValue > 0 && child->IsChecked()) kind = child->UserValue;
    }
    if (kind <= 0 || kind >= TagSlotCount) return;
    std::string fileName;
    if (!ChooseFile(form, AudioFilter + BuildFilter(FormatsWithTag(kind)), fileName)) return;
    form.OutputBox->SetCaption("");
    // The tag object reads the file directly, whatever its format.
    if (TTagBase* tag = form.TagObjects[kind]) ShowTagReport(*form.OutputBox, *tag, fileName, true);
}

void MidiLoad(TMainForm& form) {
    form.Midi->Stop();
    form.Midi->Rewind();
    std::string fileName;
    if (!ChooseFile(form, MidiFilter, fileName)) return;
    if (form.Midi->Load(fileName)) form.Midi->Play();
}

void MidiPause(TMainForm& form) {
    form.Midi->Pause();
}
void MidiStop(TMainForm& form) {
    form.Midi->Stop();
}
void MidiPlay(TMainForm& form) {
    form.Midi->Play();
}

} // namespace audiolens::ui
