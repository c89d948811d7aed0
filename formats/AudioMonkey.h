// Monkey's Audio reader: the "MAC " header in its layout before version 3.98 and in the
// descriptor layout from 3.98 on.
#pragma once

#include "framework/AudioFile.h"

namespace audiolens {

TAudioFile* CreateMonkey();
bool ReadMonkey(const TFileView& file, TAudioFile& record);

} // namespace audiolens
