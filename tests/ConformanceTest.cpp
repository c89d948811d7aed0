// Real encoder output of every format the installed encoders make, at several rates, channel
// counts and lengths, read through the verifier and compared with ffprobe: rate and channels
// exactly, the duration within two of the format's frames or 0.5 %, whichever is more.
// Where the reference is not ffprobe's duration, or differs from it by a format rule:
// - MPEG audio: frames (from the Xing/Info count or the walk, without the Info frame) times 1152
//   (576 for layer III below 32 kHz); ffprobe counts the same frames, encoder delay included.
// - Musepack: ffprobe (5.1) misreads the length of SV8 streams (1.67 s for 2.3 s), so the
//   source's length is the reference, as mediainfo reports it.
// - ADTS AAC: ffprobe estimates the duration from the bitrate; the reference is its packet count
//   times 1024. The tagged row has ID3v2 in front and APE and ID3v1 behind, written by mutagen.
// - Opus: the last granule less the pre-skip, as mutagen and opusinfo; ffprobe keeps the
//   pre-skip (6.5 ms). Speex: ffprobe subtracts the encoder look-ahead (below one frame).
// - MP4: the sample durations of the sound track over its time scale; ffprobe cuts the AAC
//   priming by the edit list (one frame). The sound track is found behind a video track.
// - WavPack and TTA: the sample count equals ffprobe's exactly.
#include "TestSupport.h"
#include "framework/Registry.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <sstream>

using namespace audiolens;
using namespace testsupport;

namespace {

struct TConformanceCase {
    const char* Name;
    TAudioFormat Format;
    const char* Extension;
    int Rate, Channels;
    double Seconds;
    int FrameSamples; // the format's frame (or block) length, for the tolerance
    // %s is the 16-bit PCM source WAV, %o the output file; every program it starts must exist.
    const char* Command;
};

#define FF "ffmpeg -v error -y -i %s "
#define VIDEO                                                                                      \
    "ffmpeg -v error -y -f lavfi -i testsrc=size=64x48:rate=10:duration=2 -i %s -map 0:v -map "    \
    "1:a "
#define ADTS FF "-c:a aac -f adts %o"
#define DCA FF "-strict -2 -c:a dca -f dts "
#define TAGS                                                                                       \
    "-metadata title=Tone -metadata artist=Someone -metadata album=Record -metadata date=2021 "    \
    "-metadata genre=Jazz -metadata track=3/12 -metadata comment=Nice"
// mutagen writes the APE tag first: its APE writer drops an ID3v1 tag it finds at the end.
#define MUTAGEN_TAGS                                                                               \
    " && /usr/bin/python3 -c \"import sys, mutagen.id3 as i, mutagen.apev2 as a; "                 \
    "e = a.APEv2(); e['Title'] = 'Song'; e.save(sys.argv[1]); "                                    \
    "t = i.ID3(); t.add(i.TIT2(encoding=3, text='Song')); t.save(sys.argv[1], v1=2)\" %o"

const TConformanceCase Cases[] = {
    {"WavPlainMono8k", afWav, ".wav", 8000, 1, 0.5, 1, "cp %s %o"},
    {"WavPlainStereo44k", afWav, ".wav", 44100, 2, 2.3, 1, "cp %s %o"},
    {"WavPlain24bit6ch96k", afWav, ".wav", 96000, 6, 1.0, 1,
     FF "-c:a pcm_s24le -bitexact -map_metadata -1 %o"},
    {"WavListStereo22k", afWav, ".wav", 22050, 2, 1.7, 1,
     FF "-c:a pcm_s16le -metadata title=Tone %o"},
    {"WavListMono48k", afWav, ".wav", 48000, 1, 3.0, 1,
     FF "-c:a pcm_u8 -metadata artist=Someone %o"},
    {"WavFloatStereo44k", afWav, ".wav", 44100, 2, 1.2, 1, FF "-c:a pcm_f32le %o"},
    {"WavAdpcmStereo22k", afWav, ".wav", 22050, 2, 4.0, 2048, FF "-c:a adpcm_ms %o"},
    {"WavImaAdpcmMono8k", afWav, ".wav", 8000, 1, 2.5, 2048, FF "-c:a adpcm_ima_wav %o"},
    {"WavRf64", afWav, ".wav", 48000, 2, 1.5, 1, FF "-c:a pcm_s16le -rf64 always %o"},
    {"WavJunkBeforeFmt", afWav, ".wav", 16000, 1, 1.1, 1, FF "-c:a pcm_s16le -rf64 auto %o"},
    {"Mp3CbrStereo44k", afMPEG, ".mp3", 44100, 2, 2.3, 1152, "lame --quiet -b 128 %s %o"},
    {"Mp3CbrMono22k", afMPEG, ".mp3", 22050, 1, 7.0, 576, "lame --quiet -b 64 %s %o"},
    {"Mp3CbrMono8k", afMPEG, ".mp3", 8000, 1, 3.0, 576, "lame --quiet -b 24 %s %o"},
    {"Mp3CbrStereo48k320", afMPEG, ".mp3", 48000, 2, 1.0, 1152, "lame --quiet -b 320 %s %o"},
    {"Mp3VbrStereo44k", afMPEG, ".mp3", 44100, 2, 3.1, 1152, "lame --quiet -V 2 %s %o"},
    {"Mp3VbrMono16k", afMPEG, ".mp3", 16000, 1, 5.0, 576, "lame --quiet -V 6 %s %o"},
    {"Mp3VbrStereo32k", afMPEG, ".mp3", 32000, 2, 2.0, 1152, "lame --quiet -V 4 %s %o"},
    {"Mp2Stereo48k", afMPEG, ".mp2", 48000, 2, 2.3, 1152, FF "-c:a mp2 -b:a 192k -f mp2 %o"},
    {"Mp2Mono22k", afMPEG, ".mp2", 22050, 1, 4.0, 1152, FF "-c:a mp2 -b:a 64k -f mp2 %o"},
    {"FlacStereo44k", afFLAC, ".flac", 44100, 2, 2.3, 4096, "flac -s -f %s -o %o"},
    {"FlacMono8k", afFLAC, ".flac", 8000, 1, 0.6, 4096, "flac -s -f %s -o %o"},
    {"FlacStereo96k", afFLAC, ".flac", 96000, 2, 1.0, 4096, "flac -s -f --best %s -o %o"},
    {"Flac6ch48k", afFLAC, ".flac", 48000, 6, 1.2, 4096, "flac -s -f %s -o %o"},
    {"Flac24bitStereo88k", afFLAC, ".flac", 88200, 2, 1.0, 4096,
     "ffmpeg -v error -i %s -c:a pcm_s24le -f wav - | flac -s -f - -o %o"},
    {"FlacFfmpegMono22k", afFLAC, ".flac", 22050, 1, 1.5, 4608, FF "-c:a flac %o"},
    {"OggFlacStereo44k", afOGG, ".oga", 44100, 2, 2.3, 4096, "flac -s -f --ogg %s -o %o"},
    {"VorbisStereo44k", afOGG, ".ogg", 44100, 2, 2.3, 2048, "oggenc -Q %s -o %o"},
    {"VorbisMono22k", afOGG, ".ogg", 22050, 1, 5.0, 2048, "oggenc -Q -q 1 %s -o %o"},
    {"Vorbis6ch48k", afOGG, ".ogg", 48000, 6, 1.0, 2048, "oggenc -Q %s -o %o"},
    {"VorbisFfmpegStereo32k", afOGG, ".ogg", 32000, 2, 2.0, 2048, FF "-c:a libvorbis %o"},
    {"OpusStereo48k", afOGG, ".opus", 48000, 2, 2.3, 960, "opusenc --quiet %s %o"},
    {"OpusMono16k", afOGG, ".opus", 16000, 1, 3.0, 960, "opusenc --quiet %s %o"},
    {"Opus6ch48k", afOGG, ".opus", 48000, 6, 1.0, 960, "opusenc --quiet %s %o"},
    {"SpeexMono8k", afOGG, ".spx", 8000, 1, 2.3, 160, "speexenc --quiet %s %o"},
    {"SpeexMono16k", afOGG, ".spx", 16000, 1, 3.0, 320, "speexenc --quiet %s %o"},
    {"SpeexStereo32k", afOGG, ".spx", 32000, 2, 1.5, 640, "speexenc --quiet %s %o"},
    {"WavPackStereo44k", afWAVPack, ".wv", 44100, 2, 2.3, 1152, "wavpack -q -y %s -o %o"},
    {"WavPackMono8k", afWAVPack, ".wv", 8000, 1, 1.0, 1152, "wavpack -q -y %s -o %o"},
    {"WavPackFast48k", afWAVPack, ".wv", 48000, 2, 1.5, 1152, "wavpack -q -y -f %s -o %o"},
    {"WavPackHigh96k", afWAVPack, ".wv", 96000, 2, 1.0, 1152, "wavpack -q -y -h %s -o %o"},
    {"WavPackVeryHighMono88k", afWAVPack, ".wv", 88200, 1, 1.0, 1152, "wavpack -q -y -hh %s -o %o"},
    {"WavPackExtra32k", afWAVPack, ".wv", 32000, 2, 2.0, 1152, "wavpack -q -y -x %s -o %o"},
    {"WavPack6ch48k", afWAVPack, ".wv", 48000, 6, 1.0, 1152, "wavpack -q -y %s -o %o"},
    {"WavPack6ch176k", afWAVPack, ".wv", 176400, 6, 0.5, 1152, "wavpack -q -y -hx %s -o %o"},
    {"WavPackStereo192k", afWAVPack, ".wv", 192000, 2, 0.5, 1152, "wavpack -q -y -h %s -o %o"},
    {"WavPackTagged44k", afWAVPack, ".wv", 44100, 2, 1.2, 1152,
     "wavpack -q -y -w Title=Tone -w Artist=Someone %s -o %o"},
    {"WavPackFfmpegStereo44k", afWAVPack, ".wv", 44100, 2, 2.3, 1152, FF "-c:a wavpack %o"},
    {"WavPackFfmpeg6ch176k", afWAVPack, ".wv", 176400, 6, 0.5, 1152, FF "-c:a wavpack %o"},
    {"TtaStereo44k", afTTA, ".tta", 44100, 2, 2.3, 1, FF "-c:a tta %o"},
    {"TtaMono8k", afTTA, ".tta", 8000, 1, 1.0, 1, FF "-c:a tta %o"},
    {"Tta6ch96k", afTTA, ".tta", 96000, 6, 1.0, 1, FF "-c:a tta %o"},
    {"MusepackStereo44k", afMPEGplus, ".mpc", 44100, 2, 2.3, 1152,
     "mpcenc --silent --overwrite %s %o"},
    {"MusepackMono48k", afMPEGplus, ".mpc", 48000, 1, 3.0, 1152,
     "mpcenc --silent --overwrite %s %o"},
    {"AdtsStereo44k", afAAC, ".aac", 44100, 2, 2.3, 1024, ADTS},
    {"AdtsMono22k", afAAC, ".aac", 22050, 1, 4.0, 1024, ADTS},
    {"Adts6ch48k", afAAC, ".aac", 48000, 6, 2.0, 1024, ADTS},
    {"AdtsMono8k", afAAC, ".aac", 8000, 1, 1.5, 1024, ADTS},
    {"AdtsTaggedStereo32k", afAAC, ".aac", 32000, 2, 3.0, 1024, ADTS MUTAGEN_TAGS},
    {"Ac3Stereo48k192", afAC3, ".ac3", 48000, 2, 2.3, 1536, FF "-c:a ac3 -b:a 192k %o"},
    {"Ac3Stereo44k96", afAC3, ".ac3", 44100, 2, 3.0, 1536, FF "-c:a ac3 -b:a 96k %o"},
    {"Ac3Mono44k64", afAC3, ".ac3", 44100, 1, 1.0, 1536, FF "-c:a ac3 -b:a 64k %o"},
    {"Ac3_6ch48k448", afAC3, ".ac3", 48000, 6, 2.0, 1536, FF "-c:a ac3 -b:a 448k %o"},
    {"Ac3_6ch44k384", afAC3, ".ac3", 44100, 6, 1.5, 1536, FF "-c:a ac3 -b:a 384k %o"},
    {"Eac3Stereo48k", afAC3, ".ac3", 48000, 2, 2.3, 1536, FF "-c:a eac3 -f eac3 %o"},
    {"Eac3_6ch44k", afAC3, ".ac3", 44100, 6, 1.5, 1536, FF "-c:a eac3 -f eac3 %o"},
    {"DtsStereo44k", afDTS, ".dts", 44100, 2, 2.3, 512, DCA "%o"},
    {"Dts6ch48k", afDTS, ".dts", 48000, 6, 2.0, 512, DCA "%o"},
    {"DtsLittleEndianStereo48k", afDTS, ".dts", 48000, 2, 1.0, 512,
     DCA "%o.be && dd if=%o.be of=%o conv=swab status=none"},
    {"M4aAacStereo44k", afMP4, ".m4a", 44100, 2, 2.3, 1024, FF "-c:a aac " TAGS " %o"},
    {"M4aAac6ch48k", afMP4, ".m4a", 48000, 6, 2.0, 1024, FF "-c:a aac " TAGS " %o"},
    {"M4aAlacStereo44k", afMP4, ".m4a", 44100, 2, 1.5, 4096, FF "-c:a alac " TAGS " %o"},
    {"M4aAlacStereo96k", afMP4, ".m4a", 96000, 2, 1.0, 4096, FF "-c:a alac " TAGS " %o"},
    {"Mp4VideoThenAacMono", afMP4, ".mp4", 22050, 1, 2.0, 1024, VIDEO "-c:v mpeg4 -c:a aac %o"},
    {"Mp4FragmentedAac", afMP4, ".mp4", 44100, 2, 3.0, 1024,
     FF "-c:a aac -movflags +frag_keyframe+empty_moov %o"},
    {"WmaV1Stereo44k", afWMA, ".wma", 44100, 2, 2.3, 2048, FF "-c:a wmav1 " TAGS " %o"},
    {"WmaV2Mono22k", afWMA, ".wma", 22050, 1, 3.0, 2048, FF "-c:a wmav2 " TAGS " %o"},
    {"AsfVideoThenWmaV2", afWMA, ".asf", 44100, 2, 2.0, 2048, VIDEO "-c:v wmv2 -c:a wmav2 %o"},
};

std::string Substitute(std::string command, const std::string& source, const std::string& out) {
    for (auto [key, value] : {std::pair{"%s", Quote(source)}, std::pair{"%o", Quote(out)}})
        for (size_t at = command.find(key); at != std::string::npos; at = command.find(key, at))
            command.replace(at, 2, value);
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
    REQUIRE_TOOL("ffprobe");
    std::istringstream words(std::string("ffmpeg | ") + c.Command);
    for (std::string word, last = "|"; words >> word; last = word)
        if (last == "|" || last == "&&") REQUIRE_TOOL(word);
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
    double probeDuration = c.Format == afMPEGplus ? c.Seconds : ProbeDuration(file);
    if (c.Format == afAAC)
        probeDuration = std::stod(Probe(file, "stream", "nb_read_packets", "-count_packets")) *
                        c.FrameSamples / probeRate;
    ASSERT_GT(probeDuration, 0) << "ffprobe gives no duration";

    TRef<TAudioVerify> verify(new TAudioVerify);
    ASSERT_TRUE(verify->Verify(file)) << "no reader accepts " << c.Name;
    const TAudioFile& record = *verify->Audio();
    EXPECT_EQ(record.Format, c.Format) << "accepted by " << FormatName(record.Format);
    EXPECT_EQ(record.SampleRate, probeRate);
    EXPECT_EQ(std::to_string(record.Channels), Probe(file, "stream", "channels"));
    const double frame = static_cast<double>(c.FrameSamples) / probeRate;
    const double tolerance = std::max(2 * frame, 0.005 * probeDuration);
    EXPECT_NEAR(record.Duration, probeDuration, tolerance) << c.Name << ": frame " << frame << " s";
    EXPECT_EQ(record.FileSize, static_cast<int64_t>(ReadFile(file).size()));
    if (c.Format == afWAVPack || c.Format == afTTA) {
        EXPECT_EQ(Probe(file, "stream", "time_base"), "1/" + std::to_string(probeRate));
        EXPECT_EQ(std::to_string(record.Samples), Probe(file, "stream", "duration_ts"));
    }
}

INSTANTIATE_TEST_SUITE_P(Encoders, TConformanceTest, ::testing::ValuesIn(Cases),
                         [](const auto& row) { return std::string(row.param.Name); });
