// The file holds no audio: it names a track by number, the disc by its volume serial, and the
// track's place on the disc in CD frames of 1/75 s; the audio values are those of every CD.
#include "formats/AudioCDAtrack.h"

#include "core/ByteReader.h"
#include "core/Convert.h"
#include "core/FileStream.h"

namespace audiolens {

namespace {

constexpr uint32_t HeaderSize = 44;
constexpr double FramesPerSecond = 75;

} // namespace

bool ReadCDAtrack(const TFileView& file, TAudioFile& r) {
    r.Reset();
    const TByteView head = file.Head();
    if (head.Size() < HeaderSize) return false;
    if (!head.Matches(0, "RIFF") || !head.Matches(8, "CDDAfmt ")) return false;

    const uint16_t track = head.U16LE(22);
    const auto serial = static_cast<int32_t>(head.U32LE(24));
    const auto start = static_cast<int32_t>(head.U32LE(28));
    const auto length = static_cast<int32_t>(head.U32LE(32));

    r.Valid = true;
    r.FileSize = static_cast<int64_t>(file.Size());
    r.Info->Add("Track=" + IntToStr(track));
    r.Info->Add("Serial=" + IntToStr(serial));
    r.Info->Add("Position=" + FloatToStr(start / FramesPerSecond));
    r.Channels = 2;
    r.BitsPerSample = 16;
    r.SampleRate = 44100;
    // A negative length is no track length; the duration then stays unknown.
    if (length >= 0) r.Duration = length / FramesPerSecond;
    return true;
}

TAudioFile* CreateCDAtrack() {
    return NewAudioFile(afCDATrack, ReadCDAtrack);
}

} // namespace audiolens
