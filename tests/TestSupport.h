// Helpers shared by the tests: temporary files, byte builders and runs of external encoders.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace testsupport {

// A fresh directory under the build's temporary area, removed at destruction.
class TTempDir {
  public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    std::string Path(const std::string& name) const { return Dir + "/" + name; }
    const std::string& Root() const { return Dir; }

  private:
    std::string Dir;
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);

// Little helpers to spell byte layouts.
std::string LE16(uint32_t v);
std::string LE32(uint32_t v);
std::string BE16(uint32_t v);
std::string BE24(uint32_t v);
std::string BE32(uint32_t v);
std::string Zeros(size_t n);
// Bytes that stand for audio: no run of them looks like a signature or a tag marker.
std::string Noise(size_t n);

// Bit fields written most significant bit first, for the headers of the bit-packed formats.
class TBitWriter {
  public:
    TBitWriter& Put(uint64_t value, unsigned count);
    // The bits so far, the last byte filled up with zero bits.
    std::string Bytes() const;
    size_t BitCount() const { return Count; }

  private:
    std::string Out;
    size_t Count = 0;
};

// Runs a shell command; returns its exit status and fills output with stdout.
int Run(const std::string& command, std::string* output = nullptr);
// Everything a pipe gives until its end (Run's output on either system).
std::string ReadToEnd(std::FILE* pipe);
// Writes bytes at offset into a new sparse file; false where the system makes no sparse files.
bool WriteSparse(const std::string& path, uint64_t offset, const std::string& bytes);
// The most memory the process has held so far, in KiB.
long PeakMemoryKiB();
// True when the program is on PATH.
bool HaveTool(const std::string& program);
// ffprobe's value of one entry of the first audio stream or of the format, e.g. ("stream",
// "sample_rate"); options go to ffprobe as they are (e.g. "-count_packets").
std::string Probe(const std::string& file, const std::string& section, const std::string& key,
                  const std::string& options = "");
// mutagen's tags of a file, each key with its first value as text (an MP4 track pair as "3/12"),
// and "length" with the duration in seconds; empty when mutagen cannot read the file.
std::map<std::string, std::string> MutagenTags(const std::string& file);
// The output (stdout and stderr) of a Debian python script, e.g. one of mutagen's, given the file
// as sys.argv[1].
std::string Python(const std::string& script, const std::string& file);
// Quotes a path for the shell.
std::string Quote(const std::string& s);
// A canonical PCM WAV file image.
std::string PcmWav(uint16_t channels, uint32_t rate, uint16_t bits, uint32_t frames);

} // namespace testsupport

// Skips the test when an external encoder is missing (the setup script installs them all).
#define REQUIRE_TOOL(tool)                                                                         \
    do {                                                                                           \
        if (!testsupport::HaveTool(tool)) GTEST_SKIP() << tool << " not installed";                \
    } while (0)
