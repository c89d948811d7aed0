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

TEST(Cli, ReportsWithTerminalLineEnds) {
    TTempDir dir;
    std::string file = dir.Path("a.wav");
    WriteFile(file, PcmWav(2, 44100, 16, 44100));
    TCli r = RunCli(Quote(file), dir);
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Out, Expected(file));
    r = RunCli("--verify " + Quote(file), dir);
    EXPECT_EQ(r.Out, Expected(file));
}

TEST(Cli, BadFilesGiveOneLineEachAndExitOne) {
    TTempDir dir;
    WriteFile(dir.Path("good.wav"), PcmWav(2, 44100, 16, 44100));
    WriteFile(dir.Path("bad.wav"), "garbage");
    WriteFile(dir.Path("empty.wav"), "");
    TCli r = RunCli(Quote(dir.Path("good.wav")) + " " + Quote(dir.Path("bad.wav")) + " " +
                        Quote(dir.Path("missing.wav")) + " " + Quote(dir.Path("empty.wav")),
                    dir);
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Out, Expected(dir.Path("good.wav")));
    EXPECT_NE(r.Err.find(dir.Path("bad.wav") + ": not a valid Wav file"), std::string::npos);
    EXPECT_NE(r.Err.find(dir.Path("missing.wav") + ": cannot open"), std::string::npos);
    EXPECT_NE(r.Err.find(dir.Path("empty.wav") + ": empty file"), std::string::npos);
    r = RunCli("--verify " + Quote(dir.Path("bad.wav")), dir);
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("not recognised by any reader"), std::string::npos);
}

TEST(Cli, UsageErrorsExitTwo) {
    TTempDir dir;
    EXPECT_EQ(RunCli("", dir).Status, 2);
    EXPECT_EQ(RunCli("--bogus x", dir).Status, 2);
    EXPECT_EQ(RunCli("--tag NoSuchKind x", dir).Status, 2);
    EXPECT_EQ(RunCli("--set Title=x f", dir).Status, 2); // needs --tag
    TCli help = RunCli("--help", dir);
    EXPECT_EQ(help.Status, 0);
    EXPECT_NE(help.Out.find("--verify"), std::string::npos);
    EXPECT_EQ(RunCli("--version", dir).Status, 0);
}

TEST(Cli, DirectoriesAreWalkedInOrder) {
    TTempDir dir;
    ASSERT_EQ(testsupport::Run("mkdir -p " + Quote(dir.Path("music/sub"))), 0);
    WriteFile(dir.Path("music/b.wav"), PcmWav(2, 44100, 16, 44100));
    WriteFile(dir.Path("music/sub/a.wav"), PcmWav(2, 44100, 16, 44100));
    TCli r = RunCli(Quote(dir.Path("music")), dir);
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Out, Expected(dir.Path("music/b.wav")) + Expected(dir.Path("music/sub/a.wav")));
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

TEST(Cli, AWriteToAFileThatMayNotChangeSaysWhyAndChangesNothing) {
    TTempDir dir;
    std::string file = dir.Path("kept.mp3");
    WriteFile(file, std::string(1000, 'a'));
    ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
    TCli r = RunCli("--tag ID3v1 --set Title=x " + Quote(file), dir);
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("(read-only file, or in use by another program that does not allow "
                         "writing); the file is unchanged"),
              std::string::npos)
        << r.Err;
    EXPECT_EQ(ReadFile(file), std::string(1000, 'a'));
}
