// The ID3v2 tag at the start of a file: versions 2.2 to 2.4 are read, 2.3 is written. Frames are
// kept in memory in file order; the report fields come from a fixed table of fifteen frame ids.
#pragma once

#include "framework/AudioFile.h"

#include <cstdint>
#include <string>

namespace audiolens {

class TTagID3v2 : public TTagBase {
  public:
    TTagID3v2();

    std::string GetField(int id) const override;
    void SetField(int id, const std::string& value) override;
    void Reset() override;

    uint8_t MajorVersion = 0;
    uint8_t DuplicateMode = 1;

  protected:
    ~TTagID3v2() override;
    bool DoRead(const std::string& fileName) override;
    bool DoSave(const std::string& fileName) override;
    bool DoRemove(const std::string& fileName) override;
};

TTagBase* CreateTagID3v2();

// Bytes the ID3v2 tag takes at the start of the file, header and footer included; 0 without one.
int32_t GetID3v2Size(const std::string& fileName);

} // namespace audiolens
