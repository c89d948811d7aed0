// The Lyrics3 v2.00 block: text fields that sit directly before an ID3v1 tag (or end a file
// without one). An ID3v1 tag object owns one and drives it; "Open Tag" can use one alone.
#pragma once

#include "framework/AudioFile.h"

#include <array>
#include <string>
#include <string_view>

namespace audiolens {

class TTagLyrics3 : public TTagBase {
  public:
    TTagLyrics3();

    // The block for the current fields, empty when no field has text. False when a value is
    // longer than the five size digits of a field can count.
    bool BuildBlock(std::string& block) const;
    // Fills the fields from a block's bytes, "LYRICSBEGIN" through the last field.
    void ParseFields(std::string_view block);
    // True when a field differs from what the last read (or save) found.
    bool Changed() const;
    // Takes the file's new block (as BuildBlock made it, or empty) as the one last read.
    void MarkSaved(const std::string& block);
    void Reset() override;

  protected:
    ~TTagLyrics3() override = default;
    bool DoRead(const TFileView& file) override;
    bool DoSave(const std::string& fileName) override;
    bool DoRemove(const std::string& fileName) override;

  private:
    std::array<std::string, TagFieldCount> ReadFields;
    // The block the last read found, so that a save over a file changed since then is refused.
    bool WasRead = false;
    std::string ReadBlock;
};

// A stand-alone object, for reading this tag kind alone.
TTagBase* CreateTagLyrics3();

// Every carriage return, alone or followed by line feeds, becomes one carriage return and line
// feed.
std::string NormaliseLyricsLineBreaks(std::string_view text);

} // namespace audiolens
