// The constructor tables: one line per reader and per tag kind. A format or kind not built in
// is nullptr and is skipped by the verifier and the front ends.
#include "framework/Registry.h"

#include "formats/AudioCDAtrack.h"
#include "formats/AudioFLAC.h"
#include "formats/AudioMPEG.h"
#include "formats/AudioMPEGplus.h"
#include "formats/AudioOgg.h"
#include "formats/AudioWAV.h"
#include "tags/TagAPE.h"
#include "tags/TagID3v1.h"
#include "tags/TagID3v1Lyrics.h"
#include "tags/TagID3v2.h"
#include "tags/TagVorbis.h"

namespace audiolens {

extern const TAudioConstructor AudioConstructors[FormatCount];
const TAudioConstructor AudioConstructors[FormatCount] = {
    CreateWAV,      // afWav
    nullptr,        // afWAVPack
    nullptr,        // afMonkey
    CreateOgg,      // afOGG
    nullptr,        // afAC3
    nullptr,        // afAAC
    nullptr,        // afDTS
    nullptr,        // afTTA
    nullptr,        // afWMA
    nullptr,        // afOptimFrog
    CreateFLAC,     // afFLAC
    nullptr,        // afTwinVQ
    CreateCDAtrack, // afCDATrack
    CreateMPEG,     // afMPEG
    CreateMPEGplus, // afMPEGplus
    nullptr,        // afMP4
};

extern const TTagConstructor TagConstructors[TagSlotCount];
const TTagConstructor TagConstructors[TagSlotCount] = {
    nullptr,          // tkUnknown
    CreateTagID3v1,   // tkID3v1
    CreateTagLyrics3, // tkID3v1Lyrics
    CreateTagID3v2,   // tkID3v2
    CreateTagAPE,     // tkAPE
    CreateTagVorbis,  // tkVorbis
    nullptr,          // tkTwinVQ
    nullptr,          // tkWMA
    nullptr,          // tkExWMA
    nullptr,          // tkMp4
};

} // namespace audiolens
