// The 128-byte ID3v1 tag that ends a file, in its first layout (1.0) and the one with a track
// number (1.1). It owns the Lyrics3 block object that sits before it and reads, writes and
// removes that block together with itself.
#pragma once

#include "framework/AudioFile.h"
#include "tags/ID3v1Genres.h"
#include "tags/TagID3v1Lyrics.h"

#include <cstdint>
#include <string>
#include <vector>

namespace audiolens {

class TTagID3v1 : public TTagBase {
  public:
    TTagID3v1();

    // Genre goes through GenreIndex and the genre table; every other field through Items.
    std::string GetField(int id) const override;
    void SetField(int id, const std::string& value) override;
    void Reset() override;

    TTagLyrics3* LyricsTag() const { return Lyrics.Get(); }

    // The 128 bytes the current fields make.
    std::string BuildTag() const;
    // Fills the fields from the 128 bytes of a tag.
    void ParseTag(const std::string& tag);

  protected:
    ~TTagID3v1() override = default;
    bool DoRead(const TFileView& file) override;
    bool DoSave(const std::string& fileName) override;
    bool DoRemove(const std::string& fileName) override;

  private:
    TRef<TTagLyrics3> Lyrics;
    // What the last read found, so that a save over a file changed since then is refused.
    bool WasRead = false;
    std::string ReadTag;
};

// A stand-alone object, for reading this tag kind alone.
TTagBase* CreateTagID3v1();

// What writing the tag's current fields loses: one line per field that must be shortened or
// whose characters ISO-8859-1 cannot hold. Empty when every value is stored whole.
std::vector<std::string> ID3v1WriteLosses(const TTagID3v1& tag);

// Bytes the ID3v1 tag and the Lyrics3 block take at the end of the file (0 when it cannot be read).
int32_t GetID3v1Size(const std::string& fileName);

} // namespace audiolens
