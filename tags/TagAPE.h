// The APE tag (versions 1000 and 2000) near the end of a file: items, then a 32-byte footer,
// followed only by the ID3v1 tag and its Lyrics3 block. The footer is the tag's only anchor, so
// every size in it is checked against the file before anything is read or cut.
#pragma once

#include "framework/AudioFile.h"

#include <array>
#include <cstdint>
#include <string>

namespace audiolens {

constexpr uint32_t APEFooterSize = 32;
constexpr uint32_t APEHeaderSize = 32;
constexpr uint32_t APEHeaderFlag = 0x80000000u;
constexpr int APEKeyCount = 8;

// One footer and the values of the eight understood keys, in key-table order.
struct TTagRec {
    std::string TagID;
    int32_t TagVersion = 0;
    int32_t TagSize = 0;
    int32_t ItemCount = 0;
    uint32_t TagFlags = 0;
    uint32_t DataShift = 0;
    std::array<std::string, APEKeyCount> Values;

    bool HasHeaderFlag() const { return (TagFlags & APEHeaderFlag) != 0; }
};

// The footer in front of the ID3v1/Lyrics3 bytes; false when the file cannot be read there.
// Whether TagID is "APETAGEX" is for the caller to check.
bool ReadFooter(const std::string& fileName, TTagRec& rec);
bool ReadFooter(const TFileView& file, TTagRec& rec);

// Stores value under the table entry whose key equals key (case folded); other keys are ignored.
// Version 2000 values are UTF-8 and are validated on the way in.
void SetItem(const std::string& key, const std::string& value, TTagRec& rec);

class TTagAPE : public TTagBase {
  public:
    TTagAPE();
    void Reset() override;

    // The tag read last has a header in front of its items (not counted in Size).
    bool HasHeader = false;

  protected:
    ~TTagAPE() override = default;
    bool DoRead(const TFileView& file) override;
    bool DoSave(const std::string& fileName) override;
    bool DoRemove(const std::string& fileName) override;

  private:
    // The field values the last read found, to tell which fields a save changes: items of the
    // others are written back as they were.
    std::array<std::string, APEKeyCount> ReadValues;
};

TTagBase* CreateTagAPE();

} // namespace audiolens
