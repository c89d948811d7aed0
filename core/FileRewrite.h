// Safe file changes for tag writers. A rebuild writes "<name>~" completely, syncs it, and then
// replaces the original with one rename, keeping the original's permission bits; on any failure
// the original is untouched and the "~" file removed.
#pragma once

#include "core/FileStream.h"

#include <functional>
#include <string>

namespace audiolens {

// writeNew fills the new file from the original (both streams open); it returns false to abandon.
bool RebuildFile(const std::string& fileName,
                 const std::function<bool(TFileStream& original, TFileStream& rebuilt)>& writeNew);

// True when the file exists and may be changed (a read-only file is never touched).
bool CanModifyFile(const std::string& fileName);

// Writes bytes at offset and makes sure every byte went out.
bool WriteAllAt(TFileStream& stream, uint32_t offset, const void* data, uint32_t count);
bool WriteAll(TFileStream& stream, const void* data, uint32_t count);
bool WriteAll(TFileStream& stream, const std::string& data);

} // namespace audiolens
