// Helpers shared by the tests: temporary files, byte builders and runs of external encoders.
#pragma once

#include <cstdint>
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

// Runs a shell command; returns its exit status and fills output with stdout.
int Run(const std::string& command, std::string* output = nullptr);
// Writes bytes at offset into a new sparse file; false where the system makes no sparse files.
bool WriteSparse(const std::string& path, uint64_t offset, const std::string& bytes);
// The most memory the process has held so far, in KiB.
long PeakMemoryKiB();
// True when the program is on PATH.
bool HaveTool(const std::string& program);
// ffprobe's value of one stream or format entry, e.g. ("stream", "sample_rate").
std::string Probe(const std::string& file, const std::string& section, const std::string& key);
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
