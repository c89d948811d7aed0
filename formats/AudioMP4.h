// ISO base media files (MP4, M4A and their QuickTime and 3GPP relatives), with the MP4 tag.
#pragma once

#include "framework/AudioFile.h"

#include <cstdint>
#include <string_view>

namespace audiolens {

// The fields of an "esds" atom (bytes from its size field on) that the reader uses.
struct TEsdsInfo {
    bool HasDecoderConfig = false;
    uint8_t ObjectType = 0; // object type indication
    uint32_t AverageBitRate = 0;
    bool HasSpecificInfo = false; // a decoder-specific-information descriptor follows
    uint8_t AudioObjectType = 0;  // of the first configuration byte
    uint8_t Channels = 0;         // from the channel configuration; 0 when not given there
};

// True when the decoder-specific information was found.
bool ParseEsds(TByteView esds, TEsdsInfo& info);

TAudioFile* CreateMP4();
bool ReadMP4(const TFileView& file, TAudioFile& record);

} // namespace audiolens
