// Both layouts end in the same record fields and the same five Info lines; the "MPCK" stream
// carries its own sample count and channel count, where the older header has frames of 1152
// samples and always two channels.
#include "formats/AudioMPEGplus.h"

#include "core/Convert.h"
#include "formats/AudioBytes.h"
#include "formats/MPEGplusHeader.h"
#include "formats/MPEGplusPackets.h"
#include "tags/ID3v2Layout.h"

#include <algorithm>
#include <cmath>

namespace audiolens {

namespace {

constexpr int32_t MinBitRate = 3;
constexpr int32_t MaxStereoBitRate = 480;
constexpr double WavHeaderSize = 44;

void AddInfo(TAudioFile& r, int version, const std::string& encoder, int encoderNumber,
             int profileNumber) {
    r.Info->Add("Version=" + IntToStr(version));
    r.Info->Add("Encoder=" + encoder);
    r.Info->Add("EncoderID=" + IntToStr(encoderNumber));
    r.Info->Add("Profile=" + MPEGplusProfileName(profileNumber));
    r.Info->Add("ProfileID=" + IntToStr(profileNumber));
}

const char* StereoModeName(int mode) {
    return mode == MPEGplusStereo        ? "Stereo"
           : mode == MPEGplusJointStereo ? "Joint Stereo"
                                         : "Unknown";
}

bool ReadHeaderLayout(const TByteView& head, int64_t audioBytes, TAudioFile& r) {
    TMPEGplusHeader h;
    if (!ParseMPEGplusHeader(head, h)) return false;
    r.BitRate = h.BitRate;
    r.SampleRate = h.SampleRate;
    r.BitsPerSample = 16;
    r.Samples = int64_t{h.FrameCount} * MPEGplusFrameSamples;
    if (r.BitRate == 0 && h.FrameCount > 0)
        r.BitRate = static_cast<int32_t>(std::nearbyint(static_cast<double>(audioBytes) * 8 *
                                                        (r.SampleRate / 1000.0) / h.FrameCount /
                                                        MPEGplusFrameSamples));
    r.Valid = r.BitRate >= MinBitRate && r.BitRate <= MaxStereoBitRate && h.FrameCount > 0 &&
              r.SampleRate > 0;
    if (r.Valid) {
        r.Duration = static_cast<double>(r.Samples) / r.SampleRate;
        r.Ratio = static_cast<double>(audioBytes) /
                  (static_cast<double>(r.Samples) * (r.BitsPerSample * 2 / 8) + WavHeaderSize) *
                  100;
    }
    AddInfo(r, h.Version, MPEGplusEncoderText(h.EncoderNumber), h.EncoderNumber, h.ProfileNumber);
    r.ChannelMode = StereoModeName(h.StereoMode);
    r.Channels = 2;
    return true;
}

// Encoder releases from 1.17 on are numbered major.minor.build; an odd minor marks a test build.
std::string PacketEncoderText(const TMPCKStream& s) {
    return FormatStr("%u.%u.%u %s",
                     {uint32_t{s.EncoderMajor}, uint32_t{s.EncoderMinor}, uint32_t{s.EncoderBuild},
                      s.EncoderMinor % 2 == 0 ? "--Stable--" : "--Unstable--"});
}

bool ReadPacketLayout(const TMPCKStream& s, int64_t audioBytes, TAudioFile& r) {
    r.SampleRate = s.SampleRate;
    r.Channels = s.Channels;
    r.BitsPerSample = 16;
    // The decoder drops the encoder's leading silence, so it is not part of the length.
    r.Samples =
        s.SampleCount >= s.BeginSilence ? static_cast<int64_t>(s.SampleCount - s.BeginSilence) : 0;
    if (r.Samples > 0 && r.SampleRate > 0) {
        const double seconds = static_cast<double>(r.Samples) / r.SampleRate;
        r.BitRate = static_cast<int32_t>(std::clamp(
            std::nearbyint(static_cast<double>(audioBytes) * 8 / seconds / 1000), -1.0, 1e9));
    }
    // Up to sixteen channels: the upper bound grows with the channel count.
    const int32_t maxBitRate = std::max<int32_t>(MaxStereoBitRate, 240 * r.Channels);
    r.Valid = s.Version == 8 && r.BitRate >= MinBitRate && r.BitRate <= maxBitRate &&
              r.Samples > 0 && r.SampleRate > 0;
    if (r.Valid) {
        r.Duration = static_cast<double>(r.Samples) / r.SampleRate;
        r.Ratio =
            static_cast<double>(audioBytes) /
            (static_cast<double>(r.Samples) * r.Channels * (r.BitsPerSample / 8) + WavHeaderSize) *
            100;
    }
    // The quality is stored in eighths; its whole part counts like the version 7 profile field.
    const int profile = s.HasEncoderInfo ? MPEGplusProfileFromField(s.Quality >> 3) : 0;
    const int encoderNumber = s.HasEncoderInfo ? s.EncoderMajor * 100 + s.EncoderMinor : 0;
    AddInfo(r, s.Version, s.HasEncoderInfo ? PacketEncoderText(s) : std::string(), encoderNumber,
            profile);
    if (r.Channels == 1) r.ChannelMode = "Mono";
    if (r.Channels == 2) r.ChannelMode = s.MidSide ? "Joint Stereo" : "Stereo";
    return true;
}

} // namespace

bool ReadMPEGplus(const TFileView& file, TAudioFile& r) {
    r.Reset();
    uint64_t start = 0;
    if (!SkipID3v2Tags(file, start)) return false;
    std::string headBytes;
    const TByteView head = file.Bytes(start, MPEGplusHeaderSize, headBytes);
    // The stream is recognised before any trailing tag is read: the packet layout by its walk,
    // the header layout (which has no signature before version 7) by a trial parse.
    TMPCKStream packets;
    const bool packetLayout = head.Matches(0, "MPCK");
    if (packetLayout && !ReadMPCKStream(file, start, packets)) return false;
    if (!packetLayout && !(head.Size() == MPEGplusHeaderSize && ReadHeaderLayout(head, 0, r)))
        return false;
    r.Reset();
    r.FileSize = static_cast<int64_t>(file.Size());
    ReadStreamTags(file, r);
    const TTagBase* id3v2 = r.GetTag(tkID3v2);
    const int64_t audioBytes =
        r.FileSize - TrailingTagBytes(file, r) - (id3v2 ? std::max(id3v2->Size, 0) : 0);
    return packetLayout ? ReadPacketLayout(packets, audioBytes, r)
                        : ReadHeaderLayout(head, audioBytes, r);
}

TAudioFile* CreateMPEGplus() {
    return NewTaggedStream(afMPEGplus, ReadMPEGplus);
}

} // namespace audiolens
