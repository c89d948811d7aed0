// The sixteen formats and nine tag kinds: names, extensions, constructors, dialog filters, and
// the verifier that finds the reader which really understands a file.
#pragma once

#include "framework/AudioFile.h"

#include <cstdint>
#include <string>

namespace audiolens {

using TAudioConstructor = TAudioFile* (*)();
using TTagConstructor = TTagBase* (*)();
using TFormatSet = uint16_t;

constexpr TFormatSet FormatBit(TAudioFormat f) {
    return static_cast<TFormatSet>(1u << f);
}

std::string FormatName(int format);
std::string TagKindName(int kind);
std::string FormatExtensions(int format);
TAudioFormat FormatByExtension(const std::string& extension);
TFormatSet FormatsWithTag(int kind);
std::string BuildFilter(TFormatSet formats);
std::string AllFormatsFilter();

// Field and kind names for scripts: "Title", "Artist", ...; lookups ignore case, -1 when unknown.
std::string TagFieldName(int field);
int TagFieldByName(const std::string& name);
int TagKindByName(const std::string& name);

// nullptr where the format's reader (or the tag kind) is not built in.
TAudioConstructor FormatConstructor(int format);
TTagConstructor TagConstructor(int kind);
// A new configured record (one reference, for the caller), or an empty ref.
TAudioRef CreateAudioFile(int format);
TRef<TTagBase> CreateTag(int kind);

class TAudioVerify : public TObject {
  public:
    bool TryFormat(TAudioConstructor constructor, const std::string& fileName);
    bool Verify(const std::string& fileName);
    // The same over a file already open: every reader tried reads the one view.
    bool TryFormat(TAudioConstructor constructor, const TFileView& file);
    bool Verify(const TFileView& file);
    // first: the reader tried first (afUnknown: the one of the file name's extension).
    bool Verify(const TFileView& file, TAudioFormat first);
    TAudioFile* Audio() const { return Record.Get(); }

  protected:
    ~TAudioVerify() override = default;

  private:
    TAudioRef Record;
};

// "m:ss.mmm" or "h:mm:ss.mmm"; "unknown" for a negative or non-finite duration.
std::string FormatDuration(double seconds);

} // namespace audiolens
