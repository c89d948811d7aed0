// The one record every format reader fills, and the common shape of every tag object.
#pragma once

#include "core/BaseObject.h"
#include "core/FileView.h"
#include "core/StrList.h"

#include <array>
#include <cstdint>
#include <string>

namespace audiolens {

enum TAudioFormat : uint8_t {
    afWav = 0,
    afWAVPack,
    afMonkey,
    afOGG,
    afAC3,
    afAAC,
    afDTS,
    afTTA,
    afWMA,
    afOptimFrog,
    afFLAC,
    afTwinVQ,
    afCDATrack,
    afMPEG,
    afMPEGplus,
    afMP4,
    afUnknown
};
constexpr int FormatCount = 16;

enum TTagKind : uint8_t {
    tkUnknown = 0,
    tkID3v1,
    tkID3v1Lyrics,
    tkID3v2,
    tkAPE,
    tkVorbis,
    tkTwinVQ,
    tkWMA,
    tkExWMA,
    tkMp4
};
constexpr int TagSlotCount = 10;

enum TTagField : uint8_t {
    tfTrack = 0,
    tfTitle,
    tfArtist,
    tfAlbum,
    tfYear,
    tfComment,
    tfGenre,
    tfComposer,
    tfEncoder,
    tfCopyright,
    tfUrl,
    tfContentGroup,
    tfLanguage,
    tfLyrics,
    tfOriginalArtist,
    tfImage,
    tfOriginalFile,
    tfRating,
    tfVersion
};
constexpr int TagFieldCount = 19;

enum TBitRateType : uint8_t { brUnknown = 0, brCBR = 1, brVBR = 2 };

using TTagFieldSet = uint32_t;
constexpr TTagFieldSet FieldBit(TTagField f) {
    return 1u << f;
}
constexpr TTagFieldSet FieldRange(int first, int last) {
    TTagFieldSet set = 0;
    for (int i = first; i <= last; ++i)
        set |= 1u << i;
    return set;
}

// Runs fn, turning any exception (bad_alloc, a failed bound) into false.
template <class Fn> bool Guarded(Fn&& fn) noexcept {
    try {
        return fn();
    } catch (...) {
        return false;
    }
}

class TTagBase : public TObject {
  public:
    TTagBase(TTagKind kind, TTagFieldSet supported);

    virtual std::string GetField(int id) const;
    virtual void SetField(int id, const std::string& value);
    virtual void Reset();

    // Each runs the kind's operation under a guard: a fault ends it with false. Read takes a
    // file name (the file is opened for this read) or a view a reader already has open.
    bool Read(const std::string& fileName);
    bool Read(const TFileView& file) {
        return Guarded([&] { return DoRead(file); });
    }
    bool Save(const std::string& fileName) {
        return Guarded([&] { return DoSave(fileName); });
    }
    bool Remove(const std::string& fileName) {
        return Guarded([&] { return DoRemove(fileName); });
    }

    TTagKind Kind;
    TRef<TStrObjList> Items;
    bool Valid = false;
    TTagFieldSet SupportedFields;
    uint8_t GenreIndex = 255;
    int32_t Size = 0;

  protected:
    ~TTagBase() override = default;
    virtual bool DoRead(const TFileView& file) = 0;
    virtual bool DoSave(const std::string&) { return false; }
    virtual bool DoRemove(const std::string&) { return false; }
};

class TAudioFile;
// A format's read operation over the open file; tag objects read from the same view.
using TReadProc = bool (*)(const TFileView& file, TAudioFile& record);

class TAudioFile : public TObject {
  public:
    TAudioFile();

    // Stores the tag in its slot (the record becomes its owner).
    void AddTag(TTagKind kind, TTagBase* tag);
    TTagBase* GetTag(int kind) const;
    template <class T> T* Tag(TTagKind kind) const { return static_cast<T*>(GetTag(kind)); }
    // The format's read operation under a guard; false without one.
    bool Read(const std::string& fileName);
    bool Read(const TFileView& file);
    void Reset();
    std::string GetChannelMode() const;
    bool HasTag(int kind) const { return kind >= 0 && kind < 16 && (SupportedTags >> kind) & 1; }

    std::array<TTagBase*, TagSlotCount> Tags{};
    TReadProc ReadProc = nullptr;
    uint16_t SupportedTags = 0;
    TAudioFormat Format = afUnknown;
    bool Valid = false;
    uint16_t BitsPerSample = 0;
    uint16_t Channels = 0;
    int64_t Samples = 0;
    int64_t FileSize = 0;
    int32_t BitRate = 0;
    int32_t SampleRate = 0;
    double Duration = -1.0;
    double Ratio = -1.0;
    TBitRateType BitRateType = brUnknown;
    std::string ChannelMode;
    TRef<TStrList> Info;

  protected:
    ~TAudioFile() override;
};

using TAudioRef = TRef<TAudioFile>;

// A new record of one format, read by read; the caller attaches the format's tag slots.
TAudioFile* NewAudioFile(TAudioFormat format, TReadProc read);

} // namespace audiolens
