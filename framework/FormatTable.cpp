// The constructor tables: one line per reader and per tag kind. A format or kind not built in
// is nullptr and is skipped by the verifier and the front ends.
#include "framework/Registry.h"

#include "formats/AudioCDAtrack.h"
#include "formats/AudioMP4.h"
#include "formats/AudioMPEG.h"
#include "formats/AudioMPEGplus.h"
#include "formats/AudioWAV.h"
#include "formats/AudioWMA.h"
#include "tags/TagAPE.h"
#include "tags/TagID3v1.h"
#include "tags/TagID3v1Lyrics.h"
#include "tags/TagID3v2.h"
#include "tags/TagMp4.h"
#include "tags/TagWMA.h"

namespace audiolens {

extern const TAudioConstructor AudioConstructors[FormatCount];
const TAudioConstructor AudioConstructors[FormatCount] = {
    CreateWAV,      // afWav
    nullptr,        // afWAVPack
    nullptr,        // afMonkey
    nullptr,        // afOGG
    nullptr,        // afAC3
    nullptr,        // afAAC
    nullptr,        // afDTS
    nullptr,        // afTTA
    CreateWMA,      // afWMA
    nullptr,        // afOptimFrog
    nullptr,        // afFLAC
    nullptr,        // afTwinVQ
    CreateCDAtrack, // afCDATrack
    CreateMPEG,     // afMPEG
    CreateMPEGplus, // afMPEGplus
    CreateMP4,      // afMP4
};

extern const TTagConstructor TagConstructors[TagSlotCount];
const TTagConstructor TagConstructors[TagSlotCount] = {
    nullptr,          // tkUnknown
    CreateTagID3v1,   // tkID3v1
    CreateTagLyrics3, // tkID3v1Lyrics
    CreateTagID3v2,   // tkID3v2
    CreateTagAPE,     // tkAPE
    nullptr,          // tkVorbis
    nullptr,          // tkTwinVQ
    CreateTagWMA,     // tkWMA
    CreateTagExWMA,   // tkExWMA
    CreateTagMp4,     // tkMp4
};

} // namespace audiolens
