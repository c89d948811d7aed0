// The stream is timed by walking every frame, so a variable bit rate needs no table of contents
// and a cut file gives the length of what is really there.
#include "formats/AudioMPEG.h"

#include "core/Convert.h"
#include "formats/AudioBytes.h"
#include "formats/MPEGEncoder.h"
#include "formats/MPEGFrameWalk.h"
#include "tags/ID3v2Layout.h"

#include <cmath>

namespace audiolens {

namespace {

constexpr int32_t MinBitRate = 8, MaxBitRate = 448;

void AddInfo(const TMPEGWalk& walk, const std::string& encoder, TAudioFile& r) {
    const TMPEGHeader& h = walk.Last;
    r.Info->Add("Version=MPEG " + MPEGVersionName(h.Version));
    r.Info->Add("Layer=Layer " + MPEGLayerName(h.Layer));
    r.Info->Add("Encoder=" + encoder);
    r.Info->Add("Emphasis=" + MPEGEmphasisName(h.Emphasis));
    r.Info->Add("Frames=" + IntToStr(walk.FrameCount));
    const std::string join = MPEGJoinModeText(h.Layer, h.ModeExtension);
    if (h.ChannelMode == MPEGJointStereo && !join.empty()) r.Info->Add("Join Mode=" + join);
}

} // namespace

bool ReadMPEG(const TFileView& file, TAudioFile& r) {
    r.Reset();
    r.FileSize = static_cast<int64_t>(file.Size());
    // A tag whose size reaches past the end hides the audio; searching from offset 0 instead
    // would take the tag's bytes for frames.
    uint64_t start = 0;
    if (!SkipID3v2Tags(file, start)) return false;
    TMPEGWalk walk;
    if (!WalkMPEGFrames(file, start, walk)) return false;
    // The frames are there: only now are the tags worth reading.
    ReadStreamTags(file, r);

    r.BitsPerSample = 16;
    r.BitRateType = brCBR;

    const TMPEGHeader& last = walk.Last;
    r.SampleRate = static_cast<int32_t>(last.SampleRate);
    r.ChannelMode = MPEGChannelModeName(last.ChannelMode);
    r.Channels = last.ChannelMode == MPEGMono ? 1 : 2;
    r.Samples = walk.Samples;
    if (walk.First.VBRHeader != MPEGNoVBRHeader) r.BitRateType = brVBR;
    // A successful walk has at least one frame, and every frame a rate and samples; the tests
    // keep a damaged state from dividing by zero all the same.
    if (walk.FrameCount > 0)
        r.BitRate = static_cast<int32_t>(
            std::nearbyint(static_cast<double>(walk.BitRateSum) / walk.FrameCount));
    if (r.SampleRate > 0) r.Duration = static_cast<double>(r.Samples) / r.SampleRate;
    const double pcmBytes = static_cast<double>(r.Samples) * r.Channels * r.BitsPerSample / 8;
    if (pcmBytes > 0) r.Ratio = static_cast<double>(walk.LengthSum) / pcmBytes * 100;

    std::string encoder = walk.First.EncoderText;
    if (encoder.empty())
        encoder = GuessMPEGEncoder({last, walk.First, r.BitRate, r.BitRateType == brVBR});
    AddInfo(walk, encoder, r);

    r.Valid =
        walk.FrameCount > 1 && r.BitRate >= MinBitRate && r.BitRate <= MaxBitRate && r.Duration > 0;
    return true;
}

TAudioFile* CreateMPEG() {
    return NewTaggedStream(afMPEG, ReadMPEG);
}

} // namespace audiolens
