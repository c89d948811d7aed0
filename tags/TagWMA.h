// The two tags of ASF (WMA) files: the content description object (kind WMA: title, author,
// copyright, description, rating) and the extended content description object (kind ExWMA:
// any number of named attributes). Both sit among the children of the header object, whose
// size and object count must be rewritten with them; a save rebuilds the whole file.
#pragma once

#include "framework/AudioFile.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace audiolens {

using TAsfGuid = std::array<uint8_t, 16>;

// Object GUIDs as stored (the first three groups little-endian).
extern const TAsfGuid AsfHeaderGuid, AsfDataGuid, AsfFilePropertiesGuid, AsfStreamPropertiesGuid,
    AsfCodecListGuid, AsfContentDescriptionGuid, AsfExtendedContentDescriptionGuid,
    AsfAudioMediaGuid;

bool IsAsfGuid(TByteView bytes, uint64_t at, const TAsfGuid& guid);

// One child of the header object: its place and its bytes (cut at the end of the header).
struct TAsfObject {
    uint64_t Position = 0;
    uint64_t Size = 0;
    TByteView Bytes;
    bool Is(const TAsfGuid& guid) const { return IsAsfGuid(Bytes, 0, guid); }
};

// The children of the header object in header (its bytes from offset 0). The walk ends at an
// object smaller than its 24-byte head; Complete is true only when every counted object lies
// whole inside the header.
struct TAsfHeader {
    uint64_t Size = 0;
    uint32_t Count = 0;
    std::vector<TAsfObject> Objects;
    bool Complete = false;
};
TAsfHeader WalkAsfHeader(TByteView header);

// A UTF-16LE string of n bytes (its terminator included) at at; at moves n bytes on. At most
// 4095 characters are kept, and the text ends at the first zero character.
std::string ReadWideString(TByteView bytes, uint64_t& at, uint64_t n);
// A little-endian number of n bytes (1, 2, 4 or 8 are read; other widths give 0); at moves on n.
uint64_t ReadNumber(TByteView bytes, uint64_t& at, uint64_t n);

// One extended attribute. Raw holds the descriptor as read; an attribute the program did not
// change is written back from it byte for byte.
class TExTag : public TObject {
  public:
    std::string Name;
    std::string Value; // types 0 (text) and 3 (DWORD) as text
    uint16_t DataType = 0;
    std::string Data; // the raw value of the other types
    std::string Raw;
    bool Changed = true;

  protected:
    ~TExTag() override = default;
};

class TTagWMA : public TTagBase {
  public:
    explicit TTagWMA(bool extended);

    std::string GetField(int id) const override;
    void SetField(int id, const std::string& value) override;
    void Reset() override;

    int32_t AttributeCount() const { return Extended ? Items->Count() : 0; }
    const TExTag* Attribute(int32_t index) const;

    const bool Extended;

  protected:
    ~TTagWMA() override;
    bool DoRead(const TFileView& file) override;
    bool DoSave(const std::string& fileName) override;
    bool DoRemove(const std::string& fileName) override;

  private:
    void ReadDescription(TByteView object);
    void ReadExtendedDescription(TByteView object);
    TExTag* FindAttribute(const std::string& name) const;
    std::string NewObject() const;
    bool Rewrite(const std::string& fileName, bool remove);

    // The content description's five strings as stored, and which of them were set since.
    std::array<std::string, 5> RawText;
    std::array<bool, 5> TextChanged{};
    // The bytes of this kind's objects as the last Read found them: a save over a file whose
    // objects have changed since (another writer, or a read that failed half-way) would drop
    // what this object never saw, so it is refused.
    std::string ReadObjects;
    bool WasRead = false;
};

TTagBase* CreateTagWMA();
TTagBase* CreateTagExWMA();

} // namespace audiolens
