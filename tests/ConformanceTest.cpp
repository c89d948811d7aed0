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
// - WavPack: the total sample count of the first block header; the channel count of more than
//   two channels and a rate outside the rate table (176.4 kHz) from the first block's
//   sub-blocks. The sample count equals ffprobe's exactly.
// - TTA: the sample count of the header, equal to ffprobe's.
// - WavPack: the total sample count of the first block header.
// - ADTS AAC: 1024 samples for every frame walked. ffprobe's ADTS duration is an estimate from
//   the average bitrate, so the reference is its packet count (-count_packets) times 1024 over
//   the rate. The tagged row has an ID3v2 tag in front and an APE and an ID3v1 tag behind,
//   written by mutagen.
// - AC-3 and E-AC-3: the file's bytes over the first frame's bitrate, as ffprobe does.
// - DTS: the core frames walked, each with its own sample count (512 for ffmpeg's encoder);
//   ffprobe estimates from the bitrate, which stays within a frame of it. The little-endian row
//   is the big-endian stream with its bytes swapped in pairs.
// - MP4: the sum of the sound track's sample durations ("stts", or "trun" in a fragmented file)
//   over its own time scale; ffprobe cuts the encoder delay by the edit list (1024 samples of
//   AAC priming), so an AAC file here is up to one frame longer. The sound track is found
//   whatever comes before it (a video track in the MP4 rows).
// - WMA: the play duration less the preroll of the file properties object, as ffprobe.
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
    int FrameSamples; // the format's frame (or block) length, for the tolerance
    // Where the reference duration comes from: ffprobe's duration; the encoded source's length
    // (where ffprobe's is wrong); ffprobe's packet count times FrameSamples (where its duration is
    // an estimate).
    enum { Probe, Source, Packets } Reference = Probe;
    bool ExactSamples = false; // the sample count equals ffprobe's duration in 1/rate units
};

// mutagen writes the APE tag first: its APE writer drops an ID3v1 tag it finds at the end.
#define MUTAGEN_TAGS                                                                               \
    " && /usr/bin/python3 -c \"import sys, mutagen.id3 as i, mutagen.apev2 as a; "                 \
    "e = a.APEv2(); e['Title'] = 'Song'; e.save(sys.argv[1]); "                                    \
    "t = i.ID3(); t.add(i.TIT2(encoding=3, text='Song')); t.save(sys.argv[1], v1=2)\" %o"
#define ADTS "ffmpeg -v error -y -i %s -c:a aac -f adts %o"
#define DCA "ffmpeg -v error -y -i %s -strict -2 -c:a dca -f dts "
// The metadata the tag tests compare with mutagen.
#define TAGS                                                                                       \
    "-metadata title=Tone -metadata artist=Someone -metadata album=Record -metadata date=2021 "    \
    "-metadata genre=Jazz -metadata track=3/12 -metadata comment=Nice"

const TConformanceCase Cases[] = {
    {"WavPlainMono8k", afWav, "ffmpeg", ".wav", 8000, 1, 0.5, "cp %s %o", 1},
    {"WavPlainStereo44k", afWav, "ffmpeg", ".wav", 44100, 2, 2.3, "cp %s %o", 1},
    {"WavPlain24bit6ch96k", afWav, "ffmpeg", ".wav", 96000, 6, 1.0,
     "ffmpeg -v error -y -i %s -c:a pcm_s24le -bitexact -map_metadata -1 %o", 1},
    {"WavListStereo22k", afWav, "ffmpeg", ".wav", 22050, 2, 1.7,
     "ffmpeg -v error -y -i %s -c:a pcm_s16le -metadata title=Tone %o", 1},
    {"WavListMono48k", afWav, "ffmpeg", ".wav", 48000, 1, 3.0,
     "ffmpeg -v error -y -i %s -c:a pcm_u8 -metadata artist=Someone %o", 1},
    {"WavFloatStereo44k", afWav, "ffmpeg", ".wav", 44100, 2, 1.2,
     "ffmpeg -v error -y -i %s -c:a pcm_f32le %o", 1},
    {"WavAdpcmStereo22k", afWav, "ffmpeg", ".wav", 22050, 2, 4.0,
     "ffmpeg -v error -y -i %s -c:a adpcm_ms %o", 2048},
    {"WavImaAdpcmMono8k", afWav, "ffmpeg", ".wav", 8000, 1, 2.5,
     "ffmpeg -v error -y -i %s -c:a adpcm_ima_wav %o", 2048},
    {"WavRf64", afWav, "ffmpeg", ".wav", 48000, 2, 1.5,
     "ffmpeg -v error -y -i %s -c:a pcm_s16le -rf64 always %o", 1},
    {"WavJunkBeforeFmt", afWav, "ffmpeg", ".wav", 16000, 1, 1.1,
     "ffmpeg -v error -y -i %s -c:a pcm_s16le -rf64 auto %o", 1},
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
    {"WavPackStereo44k", afWAVPack, "wavpack", ".wv", 44100, 2, 2.3, "wavpack -q -y %s -o %o", 1152,
     TConformanceCase::Probe, true},
    {"WavPackMono8k", afWAVPack, "wavpack", ".wv", 8000, 1, 1.0, "wavpack -q -y %s -o %o", 1152,
     TConformanceCase::Probe, true},
    {"WavPackFast48k", afWAVPack, "wavpack", ".wv", 48000, 2, 1.5, "wavpack -q -y -f %s -o %o",
     1152, TConformanceCase::Probe, true},
    {"WavPackHigh96k", afWAVPack, "wavpack", ".wv", 96000, 2, 1.0, "wavpack -q -y -h %s -o %o",
     1152, TConformanceCase::Probe, true},
    {"WavPackVeryHighMono88k", afWAVPack, "wavpack", ".wv", 88200, 1, 1.0,
     "wavpack -q -y -hh %s -o %o", 1152, TConformanceCase::Probe, true},
    {"WavPackExtra32k", afWAVPack, "wavpack", ".wv", 32000, 2, 2.0, "wavpack -q -y -x %s -o %o",
     1152, TConformanceCase::Probe, true},
    {"WavPack6ch48k", afWAVPack, "wavpack", ".wv", 48000, 6, 1.0, "wavpack -q -y %s -o %o", 1152,
     TConformanceCase::Probe, true},
    {"WavPack6ch176k", afWAVPack, "wavpack", ".wv", 176400, 6, 0.5, "wavpack -q -y -hx %s -o %o",
     1152, TConformanceCase::Probe, true},
    {"WavPackStereo192k", afWAVPack, "wavpack", ".wv", 192000, 2, 0.5, "wavpack -q -y -h %s -o %o",
     1152, TConformanceCase::Probe, true},
    {"WavPackTagged44k", afWAVPack, "wavpack", ".wv", 44100, 2, 1.2,
     "wavpack -q -y -w Title=Tone -w Artist=Someone %s -o %o", 1152, TConformanceCase::Probe, true},
    {"WavPackFfmpegStereo44k", afWAVPack, "ffmpeg", ".wv", 44100, 2, 2.3,
     "ffmpeg -v error -y -i %s -c:a wavpack %o", 1152, TConformanceCase::Probe, true},
    {"WavPackFfmpeg6ch176k", afWAVPack, "ffmpeg", ".wv", 176400, 6, 0.5,
     "ffmpeg -v error -y -i %s -c:a wavpack %o", 1152, TConformanceCase::Probe, true},
    {"TtaStereo44k", afTTA, "ffmpeg", ".tta", 44100, 2, 2.3, "ffmpeg -v error -y -i %s -c:a tta %o",
     1, TConformanceCase::Probe, true},
    {"TtaMono8k", afTTA, "ffmpeg", ".tta", 8000, 1, 1.0, "ffmpeg -v error -y -i %s -c:a tta %o", 1,
     TConformanceCase::Probe, true},
    {"Tta6ch96k", afTTA, "ffmpeg", ".tta", 96000, 6, 1.0, "ffmpeg -v error -y -i %s -c:a tta %o", 1,
     TConformanceCase::Probe, true},
    {"MusepackStereo44k", afMPEGplus, "mpcenc", ".mpc", 44100, 2, 2.3,
     "mpcenc --silent --overwrite %s %o", 1152, TConformanceCase::Source},
    {"MusepackMono48k", afMPEGplus, "mpcenc", ".mpc", 48000, 1, 3.0,
     "mpcenc --silent --overwrite %s %o", 1152, TConformanceCase::Source},
    {"AdtsStereo44k", afAAC, "ffmpeg", ".aac", 44100, 2, 2.3, ADTS, 1024,
     TConformanceCase::Packets},
    {"AdtsMono22k", afAAC, "ffmpeg", ".aac", 22050, 1, 4.0, ADTS, 1024, TConformanceCase::Packets},
    {"Adts6ch48k", afAAC, "ffmpeg", ".aac", 48000, 6, 2.0, ADTS, 1024, TConformanceCase::Packets},
    {"AdtsMono8k", afAAC, "ffmpeg", ".aac", 8000, 1, 1.5, ADTS, 1024, TConformanceCase::Packets},
    {"AdtsTaggedStereo32k", afAAC, "/usr/bin/python3", ".aac", 32000, 2, 3.0, ADTS MUTAGEN_TAGS,
     1024, TConformanceCase::Packets},
    {"Ac3Stereo48k192", afAC3, "ffmpeg", ".ac3", 48000, 2, 2.3,
     "ffmpeg -v error -y -i %s -c:a ac3 -b:a 192k %o", 1536},
    {"Ac3Stereo44k96", afAC3, "ffmpeg", ".ac3", 44100, 2, 3.0,
     "ffmpeg -v error -y -i %s -c:a ac3 -b:a 96k %o", 1536},
    {"Ac3Mono44k64", afAC3, "ffmpeg", ".ac3", 44100, 1, 1.0,
     "ffmpeg -v error -y -i %s -c:a ac3 -b:a 64k %o", 1536},
    {"Ac3_6ch48k448", afAC3, "ffmpeg", ".ac3", 48000, 6, 2.0,
     "ffmpeg -v error -y -i %s -c:a ac3 -b:a 448k %o", 1536},
    {"Ac3_6ch44k384", afAC3, "ffmpeg", ".ac3", 44100, 6, 1.5,
     "ffmpeg -v error -y -i %s -c:a ac3 -b:a 384k %o", 1536},
    {"Eac3Stereo48k", afAC3, "ffmpeg", ".ac3", 48000, 2, 2.3,
     "ffmpeg -v error -y -i %s -c:a eac3 -f eac3 %o", 1536},
    {"Eac3_6ch44k", afAC3, "ffmpeg", ".ac3", 44100, 6, 1.5,
     "ffmpeg -v error -y -i %s -c:a eac3 -f eac3 %o", 1536},
    {"DtsStereo44k", afDTS, "ffmpeg", ".dts", 44100, 2, 2.3, DCA "%o", 512},
    {"Dts6ch48k", afDTS, "ffmpeg", ".dts", 48000, 6, 2.0, DCA "%o", 512},
    {"DtsLittleEndianStereo48k", afDTS, "dd", ".dts", 48000, 2, 1.0,
     DCA "%o.be && dd if=%o.be of=%o conv=swab status=none", 512},
    {"M4aAacStereo44k", afMP4, "ffmpeg", ".m4a", 44100, 2, 2.3,
     "ffmpeg -v error -y -i %s -c:a aac " TAGS " %o", 1024},
    {"M4aAac6ch48k", afMP4, "ffmpeg", ".m4a", 48000, 6, 2.0,
     "ffmpeg -v error -y -i %s -c:a aac " TAGS " %o", 1024},
    {"M4aAlacStereo44k", afMP4, "ffmpeg", ".m4a", 44100, 2, 1.5,
     "ffmpeg -v error -y -i %s -c:a alac " TAGS " %o", 4096},
    {"M4aAlacStereo96k", afMP4, "ffmpeg", ".m4a", 96000, 2, 1.0,
     "ffmpeg -v error -y -i %s -c:a alac " TAGS " %o", 4096},
    {"Mp4VideoThenAacMono", afMP4, "ffmpeg", ".mp4", 22050, 1, 2.0,
     "ffmpeg -v error -y -f lavfi -i testsrc=size=64x48:rate=10:duration=2 -i %s -map 0:v "
     "-map 1:a -c:v mpeg4 -c:a aac %o",
     1024},
    {"Mp4FragmentedAac", afMP4, "ffmpeg", ".mp4", 44100, 2, 3.0,
     "ffmpeg -v error -y -i %s -c:a aac -movflags +frag_keyframe+empty_moov %o", 1024},
    {"WmaV1Stereo44k", afWMA, "ffmpeg", ".wma", 44100, 2, 2.3,
     "ffmpeg -v error -y -i %s -c:a wmav1 " TAGS " %o", 2048},
    {"WmaV2Mono22k", afWMA, "ffmpeg", ".wma", 22050, 1, 3.0,
     "ffmpeg -v error -y -i %s -c:a wmav2 " TAGS " %o", 2048},
    {"AsfVideoThenWmaV2", afWMA, "ffmpeg", ".asf", 44100, 2, 2.0,
     "ffmpeg -v error -y -f lavfi -i testsrc=size=64x48:rate=10:duration=2 -i %s -map 0:v "
     "-map 1:a -c:v wmv2 -c:a wmav2 %o",
     2048},
};

std::string Substitute(std::string command, const std::string& source, const std::string& out) {
    for (auto [key, value] : {std::pair{"%s", Quote(source)}, std::pair{"%o", Quote(out)}}) {
        for (size_t at = command.find(key); at != std::string::npos; at = command.find(key, at))
            command.replace(at, 2, value);
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
    double probeDuration = ProbeDuration(file);
    if (c.Reference == TConformanceCase::Source) probeDuration = c.Seconds;
    if (c.Reference == TConformanceCase::Packets)
        probeDuration = std::stod(Probe(file, "stream", "nb_read_packets", "-count_packets")) *
                        c.FrameSamples / probeRate;
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
    if (c.ExactSamples) {
        EXPECT_EQ(Probe(file, "stream", "time_base"), "1/" + std::to_string(probeRate));
        EXPECT_EQ(std::to_string(record.Samples), Probe(file, "stream", "duration_ts"));
    }
}

static std::string CaseName(const ::testing::TestParamInfo<TConformanceCase>& param) {
    return param.param.Name;
}

INSTANTIATE_TEST_SUITE_P(Encoders, TConformanceTest, ::testing::ValuesIn(Cases), CaseName);
