// The command line: report text, exit codes, error lines, directory walks and JSON.
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace testsupport;

namespace {

struct TCli {
    int Status;
    std::string Out, Err;
};

TCli RunCli(const std::string& args, const TTempDir& dir) {
    std::string errFile = dir.Path("stderr.txt"), out;
    int status = Run(std::string(AUDIOLENS_CLI) + " " + args + " 2>" + Quote(errFile), &out);
    return {status, out, ReadFile(errFile)};
}

const char* CanonicalReport = "File: %s\nFile type: Wav\nFile size: 176444\nBits: 16\n"
                              "SampleRate: 44100\nSamples: 44100\nBitrate: 1411\nBitrateType: \n"
                              "Duration: 0:01.000\nRatio: 100\nChannelMode: Stereo\nChannels: 2\n"
                              "Format=Windows PCM\n";

std::string Expected(const std::string& file) {
    char buf[1024];
    std::snprintf(buf, sizeof buf, CanonicalReport, file.c_str());
    return buf;
}

} // namespace

TEST(Cli, BadFilesGiveOneLineEachAndExitOne) {
    TTempDir dir;
    WriteFile(dir.Path("good.wav"), PcmWav(2, 44100, 16, 44100));
    WriteFile(dir.Path("bad.wav"), "garbage");
    WriteFile(dir.Path("empty.wav"), "");
    WriteFile(dir.Path("cover.png"), "\x89PNG\r\n\x1a\n" + Zeros(64));
    const std::string names[] = {"good.wav", "bad.wav", "missing.wav", "empty.wav", "cover.png"};
    std::string args;
    for (const std::string& name : names)
        args += Quote(dir.Path(name)) + " ";
    TCli r = RunCli(args, dir);
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Out, Expected(dir.Path("good.wav")));
    EXPECT_NE(r.Err.find(dir.Path("bad.wav") + ": not a valid Wav file: looks like text\n"),
              std::string::npos);
    EXPECT_NE(r.Err.find(dir.Path("missing.wav") + ": no such file\n"), std::string::npos);
    EXPECT_NE(r.Err.find(dir.Path("empty.wav") + ": empty file\n"), std::string::npos);
    EXPECT_NE(r.Err.find(dir.Path("cover.png") + ": not an audio file: looks like PNG image\n"),
              std::string::npos);
    r = RunCli("--verify " + Quote(dir.Path("bad.wav")), dir);
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("looks like text"), std::string::npos);
    EXPECT_EQ(RunCli("--verify " + Quote(dir.Path("good.wav")), dir).Out,
              Expected(dir.Path("good.wav")));
}

// A collection as it is found: mixed case and alias extensions, audio under a name that is not
// an audio one, and files that are not audio at all, which a walk skips and counts. Any number
// of jobs gives the same output in the same order.
TEST(Cli, CollectionWalkIsQuietOnNonAudioAndTheSameForAnyJobs) {
    TTempDir dir;
    ASSERT_EQ(testsupport::Run("mkdir -p " + Quote(dir.Path("c/sub"))), 0);
    const std::string wav = PcmWav(2, 44100, 16, 44100);
    for (const char* name : {"c/A.WAV", "c/b.Wav", "c/sub/clip.bin", "c/sub/d.wave"})
        WriteFile(dir.Path(name), wav);
    WriteFile(dir.Path("c/cover.png"), "\x89PNG\r\n\x1a\n" + Zeros(64));
    WriteFile(dir.Path("c/notes.txt"), "liner notes\n");
    WriteFile(dir.Path("c/sub/\xE9t\xE9.wav"), wav); // a Latin-1 name, not UTF-8
    TCli one = RunCli("--jobs 1 " + Quote(dir.Path("c")), dir);
    EXPECT_EQ(one.Status, 0);
    EXPECT_EQ(one.Out, Expected(dir.Path("c/A.WAV")) + Expected(dir.Path("c/b.Wav")) +
                           Expected(dir.Path("c/sub/clip.bin")) +
                           Expected(dir.Path("c/sub/d.wave")) +
                           Expected(dir.Path("c/sub/\xE9t\xE9.wav")));
    EXPECT_EQ(one.Err, "audiolens: skipped 2 files that no reader accepts\n");
    for (const char* jobs : {"--jobs 2 ", "-j 7 ", ""}) {
        TCli many = RunCli(jobs + Quote(dir.Path("c")), dir);
        EXPECT_EQ(many.Out, one.Out) << jobs;
        EXPECT_EQ(many.Err, one.Err) << jobs;
    }
    TCli json = RunCli("--json " + Quote(dir.Path("c/sub/\xE9t\xE9.wav")), dir);
    EXPECT_NE(json.Out.find("t\\udce9.wav\""), std::string::npos) << json.Out;
}

TEST(Cli, UsageErrorsExitTwo) {
    TTempDir dir;
    EXPECT_EQ(RunCli("", dir).Status, 2);
    EXPECT_EQ(RunCli("--bogus x", dir).Status, 2);
    EXPECT_EQ(RunCli("--tag NoSuchKind x", dir).Status, 2);
    EXPECT_EQ(RunCli("--set Title=x f", dir).Status, 2); // needs --tag
    EXPECT_EQ(RunCli("--jobs 0 f", dir).Status, 2);
    TCli help = RunCli("--help", dir);
    EXPECT_EQ(help.Status, 0);
    EXPECT_NE(help.Out.find("--verify"), std::string::npos);
    EXPECT_EQ(RunCli("--version", dir).Status, 0);
}

TEST(Cli, JsonCarriesTheSameValues) {
    TTempDir dir;
    std::string file = dir.Path("a.wav");
    WriteFile(file, PcmWav(2, 44100, 16, 44100));
    TCli r = RunCli("--json " + Quote(file), dir);
    ASSERT_EQ(r.Status, 0);
    if (!HaveTool("/usr/bin/python3")) GTEST_SKIP() << "python3 missing";
    WriteFile(dir.Path("out.json"), r.Out);
    std::string check;
    ASSERT_EQ(
        testsupport::Run("/usr/bin/python3 -c \"import json,sys; d=json.load(open(sys.argv[1])); "
                         "print(d['format'], d['sampleRate'], d['channels'], d['samples'], "
                         "float(d['duration']), "
                         "d['info']['Format'], d['bitRateType'] == '')\" " +
                             Quote(dir.Path("out.json")),
                         &check),
        0);
    EXPECT_EQ(check, "Wav 44100 2 44100 1.0 Windows PCM True\n");
    // An unknown duration is null, not a huge number.
    std::string noRate = PcmWav(1, 8000, 16, 10);
    noRate[24] = noRate[25] = 0; // sample rate 0
    WriteFile(file, noRate);
    r = RunCli("--json " + Quote(file), dir);
    EXPECT_NE(r.Out.find("\"duration\":null"), std::string::npos);
    r = RunCli(Quote(file), dir);
    EXPECT_NE(r.Out.find("Duration: unknown\n"), std::string::npos);
}
