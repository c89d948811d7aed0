// The constructor tables: one line per reader and per tag kind. A format or kind not built in
// is nullptr and is skipped by the verifier and the front ends.
#include "framework/Registry.h"

#include "formats/AudioAAC.h"
#include "formats/AudioAC3.h"
#include "formats/AudioCDAtrack.h"
#include "formats/AudioDTS.h"
#include "formats/AudioFLAC.h"
#include "formats/AudioMP4.h"
#include "formats/AudioMPEG.h"
#include "formats/AudioMPEGplus.h"
#include "formats/AudioMonkey.h"
#include "formats/AudioOgg.h"
#include "formats/AudioOptimFrog.h"
#include "formats/AudioTTA.h"
#include "formats/AudioTwinVQ.h"
#include "formats/AudioWAV.h"
#include "formats/AudioWAVPack.h"
#include "formats/AudioWMA.h"
#include "tags/TagAPE.h"
#include "tags/TagID3v1.h"
#include "tags/TagID3v1Lyrics.h"
#include "tags/TagID3v2.h"
#include "tags/TagMp4.h"
#include "tags/TagTwinVQ.h"
#include "tags/TagVorbis.h"
#include "tags/TagWMA.h"

namespace audiolens {

extern const TAudioConstructor AudioConstructors[FormatCount];
const TAudioConstructor AudioConstructors[FormatCount] = {
    CreateWAV,       // afWav
    CreateWAVPack,   // afWAVPack
    CreateMonkey,    // afMonkey
    CreateOgg,       // afOGG
    CreateAC3,       // afAC3
    CreateAAC,       // afAAC
    CreateDTS,       // afDTS
    CreateTTA,       // afTTA
    CreateWMA,       // afWMA
    CreateOptimFrog, // afOptimFrog
    CreateFLAC,      // afFLAC
    CreateTwinVQ,    // afTwinVQ
    CreateCDAtrack,  // afCDATrack
    CreateMPEG,      // afMPEG
    CreateMPEGplus,  // afMPEGplus
    CreateMP4,       // afMP4
};

extern const TTagConstructor TagConstructors[TagSlotCount];
const TTagConstructor TagConstructors[TagSlotCount] = {
    nullptr,          // tkUnknown
    CreateTagID3v1,   // tkID3v1
    CreateTagLyrics3, // tkID3v1Lyrics
    CreateTagID3v2,   // tkID3v2
    CreateTagAPE,     // tkAPE
    CreateTagVorbis,  // tkVorbis
    CreateTagTwinVQ,  // tkTwinVQ
    CreateTagWMA,     // tkWMA
    CreateTagExWMA,   // tkExWMA
    CreateTagMp4,     // tkMp4
};

} // namespace audiolens
