// What a file that no reader accepts seems to be, for the error line, and which extensions the
// command line takes for audio.
#pragma once

#include "core/FileView.h"
#include "framework/AudioFile.h"

#include <string>

namespace audiolens::cli {

// "PNG image", "text", ...; empty when nothing is recognised.
std::string LooksLike(const TFileView& file);

// The format of an extension, compared without regard to case, with the aliases found in
// collections (".mp2", ".opus", ".m4b", ...); afUnknown for anything else.
TAudioFormat FormatOfExtension(const std::string& extension);

} // namespace audiolens::cli
