// The ID3v2 tag at the start of a file: versions 2.2 to 2.4 are read; a 2.3 or 2.4 tag is written
// back in its own version, every frame not changed byte for byte in its place (duplicates
// included), and a new tag (or a 2.2 one) is written as 2.3. The report fields come from a fixed
// table of fifteen frame ids, each from the first frame of its id whose text is not empty.
#pragma once

#include "framework/AudioFile.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace audiolens {

// One frame: its id as stored (2.2 ids translated to four characters), the flags it was read
// with (0 for 2.2 frames and frames set by the program) and its data, encoding byte first.
class TID3v2Frame : public TObject {
  public:
    int32_t Size() const { return static_cast<int32_t>(Data.size()); }

    std::string Id;
    uint16_t Flags = 0;
    std::string Data;
    bool Opaque = false; // compressed, encrypted or not read: kept, but its text cannot be read
    // As found in the file (not set by the program); its stored bytes lie at StoredOffset.
    bool Original = false;
    bool DataIsStored = true; // Data is byte for byte the stored data
    bool Held = true;         // Data was read (large frames no report needs are not)
    uint64_t StoredOffset = 0;
    uint32_t StoredSize = 0;

  protected:
    ~TID3v2Frame() override = default;
};

class TTagID3v2 : public TTagBase {
  public:
    TTagID3v2();

    std::string GetField(int id) const override;
    void SetField(int id, const std::string& value) override;
    void Reset() override;

    // The first 10 bytes of the file and the tag size they give (0 without a tag or when the tag
    // claims more than the file holds); false when 10 bytes cannot be read.
    static bool ReadHeader(const std::string& fileName, int32_t& tagSize, std::string& header);
    // The year as stored: TYER, or the whole recording time (TDRC) of a 2.4 tag, where GetField
    // gives its first four characters.
    std::string YearText() const;
    // The first frame whose id equals id, both folded to upper case.
    TID3v2Frame* FindFrame(std::string_view id) const;
    // Appends an empty frame; returns its index.
    int32_t AddFrame(std::string_view id, uint16_t flags);
    void DeleteFrame(int32_t index);
    int32_t FrameCount() const { return Items->Count(); }
    TID3v2Frame* Frame(int32_t index) const;
    // The text the frame shows; empty for none.
    static std::string FrameText(const TID3v2Frame* frame);

    uint8_t MajorVersion = 0;
    // Frames of one id kept on reading: 0 the first only, 1 the first with text, 2 all (the
    // default, so that a save loses none).
    uint8_t DuplicateMode = 2;
    // False after reading a tag transformed as a whole (unsynchronised, or a compressed 2.2
    // tag); Save then refuses to write.
    bool Rewritable = true;

  protected:
    ~TTagID3v2() override;
    bool DoRead(const TFileView& file) override;
    bool DoSave(const std::string& fileName) override;
    bool DoRemove(const std::string& fileName) override;

  private:
    // The header the last read found ("" for no tag), so that a save over a file changed since
    // then is refused.
    bool WasRead = false;
    std::string ReadHeaderBytes;
    uint64_t ReadFingerprint = 0; // of the frames found
    int32_t FindFrameIndex(std::string_view id) const;
    // The frame a field reads from: the first of its id with text, else the first of its id.
    int32_t FieldFrameIndex(std::string_view id) const;
    std::string_view FieldFrameId(int field) const;
};

TTagBase* CreateTagID3v2();

// Bytes the ID3v2 tag takes at the start of the file, header and footer included; 0 without one.
int32_t GetID3v2Size(const std::string& fileName);

} // namespace audiolens
