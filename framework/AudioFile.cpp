#include "framework/AudioFile.h"

namespace audiolens {

TTagBase::TTagBase(TTagKind kind, TTagFieldSet supported)
    : Kind(kind), Items(new TStrObjList), SupportedFields(supported) {
    TTagBase::Reset();
}

std::string TTagBase::GetField(int id) const {
    return (id < 0 || id >= TagFieldCount) ? std::string() : Items->Get(id);
}

void TTagBase::SetField(int id, const std::string& value) {
    if (id >= 0 && id < Items->Count()) Items->Put(id, value);
}

void TTagBase::Reset() {
    Valid = false;
    GenreIndex = 255;
    Size = 0;
    // The 19 field slots are emptied in place; a kind may keep more items behind them.
    if (Items->Count() != TagFieldCount) {
        Items->Clear();
        for (int i = 0; i < TagFieldCount; ++i)
            Items->Add("");
    } else {
        for (int i = 0; i < TagFieldCount; ++i)
            Items->Put(i, std::string());
    }
}

bool TTagBase::Read(const std::string& fileName) {
    return Guarded([&] { return Read(*TFileView::Open(fileName)); });
}

TAudioFile::TAudioFile() : Info(new TStrList) {
    Reset();
}

TAudioFile::~TAudioFile() {
    for (TTagBase* tag : Tags)
        if (tag) tag->Release();
}

void TAudioFile::AddTag(TTagKind kind, TTagBase* tag) {
    if (kind >= TagSlotCount || !tag) return;
    Tags[kind] = tag;
    SupportedTags |= static_cast<uint16_t>(1u << kind);
}

TTagBase* TAudioFile::GetTag(int kind) const {
    return (kind < 0 || kind >= TagSlotCount) ? nullptr : Tags[static_cast<size_t>(kind)];
}

bool TAudioFile::Read(const std::string& fileName) {
    return Guarded([&] { return ReadProc && Read(*TFileView::Open(fileName)); });
}

bool TAudioFile::Read(const TFileView& file) {
    if (!ReadProc) return false;
    return Guarded([&] { return ReadProc(file, *this); });
}

void TAudioFile::Reset() {
    Info->Clear();
    for (TTagBase* tag : Tags)
        if (tag) tag->Reset();
    Valid = false;
    BitsPerSample = Channels = 0;
    Samples = FileSize = 0;
    BitRate = SampleRate = 0;
    Duration = Ratio = -1.0;
    BitRateType = brUnknown;
    ChannelMode.clear();
}

std::string TAudioFile::GetChannelMode() const {
    if (!ChannelMode.empty()) return ChannelMode;
    if (Channels > 2) return "Multichannel";
    static const char* const names[] = {"Unknown", "Mono", "Stereo"};
    return names[Channels];
}

TAudioFile* NewAudioFile(TAudioFormat format, TReadProc read) {
    auto* record = new TAudioFile;
    record->Format = format;
    record->ReadProc = read;
    return record;
}

} // namespace audiolens
