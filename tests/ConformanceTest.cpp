// Real encoder output of every format the installed encoders make, at several sample rates,
// channel counts and lengths, read through the verifier and compared with ffprobe: sample rate
// and channel count exactly, the duration within two of the format's frames or 0.5 %,
// whichever is more. A format whose reader is not built yet is skipped.
//
// Where this reader and ffprobe differ by a format rule (all inside the tolerance above):
// - MPEG audio (MP3, MP2): the duration is the number of frames times the samples per frame
//   (1152 for layers II and III at 32 to 48 kHz, 576 for layer III at the lower rates) over the
//   rate, from the Xing/Info frame count or from the frame walk; ffprobe counts the same frames
//   (without the Info frame), so both include the encoder delay and padding (a 2.3 s source
//   gives 2.351 s). A reader that counts the Info frame as audio is one frame longer. A CBR
//   stream without an Info frame (ffmpeg's MP2) is timed from its byte count and bit rate by
//   both, which includes any partial last frame.
// - Musepack: frames of 1152 samples. ffprobe (5.1) misreads the length of SV8 streams (it
//   reports 1.67 s for a 2.3 s file, 18.4 s for 20 s), so the length of the encoded source is
//   the reference there, as mediainfo also reports it.
// - FLAC: the total sample count of the STREAMINFO block, exactly as ffprobe (a block of 4096
//   samples is the tolerance all the same).
// - Ogg Vorbis and Speex: the granule position of the last page over the rate; ffprobe takes
//   the same granule but subtracts a Speex stream's encoder look-ahead where it knows it, which
//   stays below one 20 ms frame.
// - Opus: the last granule position less the header's pre-skip over 48 kHz, as mutagen and
//   opusinfo give it; ffprobe's stream duration keeps the pre-skip (312 samples, 6.5 ms, with
//   opusenc) and starts at a negative time instead. Ogg FLAC: the last granule over the rate.
// - WAV: the data chunk's bytes over the byte rate, exactly as ffprobe; the LIST chunk that
//   ffmpeg writes by default is skipped and does not count.
// - WavPack: the total sample count of the first block header.
#include "TestSupport.h"
#include "framework/Registry.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

using namespace audiolens;
using namespace testsupport;

namespace {

struct TConformanceCase {
    const char* Name;
    TAudioFormat Format;
    const char* Tool; // the encoder that must be installed
    const char* Extension;
    int Rate;
    int Channels;
    double Seconds;
    // The encoder's command: %s is the 16-bit PCM source WAV, %o the output file.
    const char* Command;
    int FrameSamples;          // the format's frame (or block) length, for the tolerance
    bool SourceLength = false; // ffprobe's duration is wrong here: the source's is the reference
};

const TConformanceCase Cases[] = {
    {"WavPlainMono8k", afWav, "ffmpeg", ".wav", 8000, 1, 0.5, "cp %s %o", 1},
    {"WavPlainStereo44k", afWav, "ffmpeg", ".wav", 44100, 2, 2.3, "cp %s %o", 1},
    {"WavPlain24bit6ch96k", afWav, "ffmpeg", ".wav", 96000, 6, 1.0,
     "ffmpeg -v error -y -i %s -c:a pcm_s24le -bitexact -map_metadata -1 %o", 1},
    {"WavListStereo22k", afWav, "ffmpeg", ".wav", 22050, 2, 1.7,
     "ffmpeg -v error -y -i %s -c:a pcm_s16le -metadata title=Tone %o", 1},
    {"WavListMono48k", afWav, "ffmpeg", ".wav", 48000, 1, 3.0,
     "ffmpeg -v error -y -i %s -c:a pcm_u8 -metadata artist=Someone %o", 1},
    {"Mp3CbrStereo44k", afMPEG, "lame", ".mp3", 44100, 2, 2.3, "lame --quiet -b 128 %s %o", 1152},
    {"Mp3CbrMono22k", afMPEG, "lame", ".mp3", 22050, 1, 7.0, "lame --quiet -b 64 %s %o", 576},
    {"Mp3CbrMono8k", afMPEG, "lame", ".mp3", 8000, 1, 3.0, "lame --quiet -b 24 %s %o", 576},
    {"Mp3CbrStereo48k320", afMPEG, "lame", ".mp3", 48000, 2, 1.0, "lame --quiet -b 320 %s %o",
     1152},
    {"Mp3VbrStereo44k", afMPEG, "lame", ".mp3", 44100, 2, 3.1, "lame --quiet -V 2 %s %o", 1152},
    {"Mp3VbrMono16k", afMPEG, "lame", ".mp3", 16000, 1, 5.0, "lame --quiet -V 6 %s %o", 576},
    {"Mp3VbrStereo32k", afMPEG, "lame", ".mp3", 32000, 2, 2.0, "lame --quiet -V 4 %s %o", 1152},
    {"Mp2Stereo48k", afMPEG, "ffmpeg", ".mp2", 48000, 2, 2.3,
     "ffmpeg -v error -y -i %s -c:a mp2 -b:a 192k -f mp2 %o", 1152},
    {"Mp2Mono22k", afMPEG, "ffmpeg", ".mp2", 22050, 1, 4.0,
     "ffmpeg -v error -y -i %s -c:a mp2 -b:a 64k -f mp2 %o", 1152},
    {"FlacStereo44k", afFLAC, "flac", ".flac", 44100, 2, 2.3, "flac -s -f %s -o %o", 4096},
    {"FlacMono8k", afFLAC, "flac", ".flac", 8000, 1, 0.6, "flac -s -f %s -o %o", 4096},
    {"FlacStereo96k", afFLAC, "flac", ".flac", 96000, 2, 1.0, "flac -s -f --best %s -o %o", 4096},
    {"Flac6ch48k", afFLAC, "flac", ".flac", 48000, 6, 1.2, "flac -s -f %s -o %o", 4096},
    {"Flac24bitStereo88k", afFLAC, "flac", ".flac", 88200, 2, 1.0,
     "ffmpeg -v error -i %s -c:a pcm_s24le -f wav - | flac -s -f - -o %o", 4096},
    {"FlacFfmpegMono22k", afFLAC, "ffmpeg", ".flac", 22050, 1, 1.5,
     "ffmpeg -v error -y -i %s -c:a flac %o", 4608},
    {"OggFlacStereo44k", afOGG, "flac", ".oga", 44100, 2, 2.3, "flac -s -f --ogg %s -o %o", 4096},
    {"VorbisStereo44k", afOGG, "oggenc", ".ogg", 44100, 2, 2.3, "oggenc -Q %s -o %o", 2048},
    {"VorbisMono22k", afOGG, "oggenc", ".ogg", 22050, 1, 5.0, "oggenc -Q -q 1 %s -o %o", 2048},
    {"Vorbis6ch48k", afOGG, "oggenc", ".ogg", 48000, 6, 1.0, "oggenc -Q %s -o %o", 2048},
    {"VorbisFfmpegStereo32k", afOGG, "ffmpeg", ".ogg", 32000, 2, 2.0,
     "ffmpeg -v error -y -i %s -c:a libvorbis %o", 2048},
    {"OpusStereo48k", afOGG, "opusenc", ".opus", 48000, 2, 2.3, "opusenc --quiet %s %o", 960},
    {"OpusMono16k", afOGG, "opusenc", ".opus", 16000, 1, 3.0, "opusenc --quiet %s %o", 960},
    {"Opus6ch48k", afOGG, "opusenc", ".opus", 48000, 6, 1.0, "opusenc --quiet %s %o", 960},
    {"SpeexMono8k", afOGG, "speexenc", ".spx", 8000, 1, 2.3, "speexenc --quiet %s %o", 160},
    {"SpeexMono16k", afOGG, "speexenc", ".spx", 16000, 1, 3.0, "speexenc --quiet %s %o", 320},
    {"SpeexStereo32k", afOGG, "speexenc", ".spx", 32000, 2, 1.5, "speexenc --quiet %s %o", 640},
    {"WavPackStereo44k", afWAVPack, "wavpack", ".wv", 44100, 2, 2.3, "wavpack -q -y %s -o %o",
     1152},
    {"WavPackMono8k", afWAVPack, "wavpack", ".wv", 8000, 1, 1.0, "wavpack -q -y %s -o %o", 1152},
    {"MusepackStereo44k", afMPEGplus, "mpcenc", ".mpc", 44100, 2, 2.3,
     "mpcenc --silent --overwrite %s %o", 1152, true},
    {"MusepackMono48k", afMPEGplus, "mpcenc", ".mpc", 48000, 1, 3.0,
     "mpcenc --silent --overwrite %s %o", 1152, true},
};

std::string Substitute(std::string command, const std::string& source, const std::string& out) {
    for (auto [key, value] : {std::pair{"%s", Quote(source)}, std::pair{"%o", Quote(out)}}) {
        size_t at = command.find(key);
        if (at != std::string::npos) command.replace(at, 2, value);
    }
    return command;
}

// ffprobe's stream duration, or the container's where the stream has none.
double ProbeDuration(const std::string& file) {
    std::string value = Probe(file, "stream", "duration");
    if (value.empty() || value == "N/A") value = Probe(file, "format", "duration");
    return value.empty() || value == "N/A" ? -1.0 : std::stod(value);
}

class TConformanceTest : public ::testing::TestWithParam<TConformanceCase> {
  protected:
    TTempDir Dir;
};

} // namespace

TEST_P(TConformanceTest, MatchesFfprobe) {
    const TConformanceCase& c = GetParam();
    if (!FormatConstructor(c.Format))
        GTEST_SKIP() << "the " << FormatName(c.Format) << " reader is not built yet";
    REQUIRE_TOOL("ffmpeg");
    REQUIRE_TOOL("ffprobe");
    REQUIRE_TOOL(c.Tool);
    const std::string source = Dir.Path("source.wav"),
                      file = Dir.Path(std::string("coded") + c.Extension);
    char generate[512];
    std::snprintf(generate, sizeof generate,
                  "ffmpeg -v error -y -f lavfi -i sine=frequency=440:sample_rate=%d:duration=%g "
                  "-ac %d -c:a pcm_s16le -bitexact -map_metadata -1 %s",
                  c.Rate, c.Seconds, c.Channels, Quote(source).c_str());
    ASSERT_EQ(testsupport::Run(generate), 0);
    ASSERT_EQ(testsupport::Run(Substitute(c.Command, source, file) + " >/dev/null 2>&1"), 0)
        << c.Command;

    const int probeRate = std::stoi(Probe(file, "stream", "sample_rate"));
    const int probeChannels = std::stoi(Probe(file, "stream", "channels"));
    const double probeDuration = c.SourceLength ? c.Seconds : ProbeDuration(file);
    ASSERT_GT(probeDuration, 0) << "ffprobe gives no duration";

    TRef<TAudioVerify> verify(new TAudioVerify);
    ASSERT_TRUE(verify->Verify(file)) << "no reader accepts " << c.Name;
    const TAudioFile& record = *verify->Audio();
    EXPECT_EQ(record.Format, c.Format) << "accepted by " << FormatName(record.Format);
    EXPECT_EQ(record.SampleRate, probeRate);
    EXPECT_EQ(record.Channels, probeChannels);
    const double frame = static_cast<double>(c.FrameSamples) / probeRate;
    const double tolerance = std::max(2 * frame, 0.005 * probeDuration);
    EXPECT_NEAR(record.Duration, probeDuration, tolerance) << c.Name << ": frame " << frame << " s";
    EXPECT_EQ(record.FileSize, static_cast<int64_t>(ReadFile(file).size()));
}

static std::string CaseName(const ::testing::TestParamInfo<TConformanceCase>& param) {
    return param.param.Name;
}

INSTANTIATE_TEST_SUITE_P(Encoders, TConformanceTest, ::testing::ValuesIn(Cases), CaseName);
