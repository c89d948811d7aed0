#include "TestSupport.h"

#include <array>
#include <fstream>
#include <sstream>

namespace testsupport {

std::string ReadToEnd(std::FILE* pipe) {
    std::array<char, 4096> buf{};
    std::string out;
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0)
        out.append(buf.data(), n);
    return out;
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

static std::string Bytes(uint32_t v, int n, bool big) {
    std::string s;
    for (int i = 0; i < n; ++i) {
        int shift = big ? 8 * (n - 1 - i) : 8 * i;
        s += static_cast<char>((v >> shift) & 0xFF);
    }
    return s;
}

std::string LE16(uint32_t v) {
    return Bytes(v, 2, false);
}
std::string LE32(uint32_t v) {
    return Bytes(v, 4, false);
}
std::string BE16(uint32_t v) {
    return Bytes(v, 2, true);
}
std::string BE24(uint32_t v) {
    return Bytes(v, 3, true);
}
std::string BE32(uint32_t v) {
    return Bytes(v, 4, true);
}
std::string Zeros(size_t n) {
    return std::string(n, '\0');
}

std::string Noise(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 7 + 3) % 251);
    return s;
}

TBitWriter& TBitWriter::Put(uint64_t value, unsigned count) {
    for (unsigned i = count; i-- > 0; ++Count) {
        if (Count % 8 == 0) Out += '\0';
        if ((value >> i) & 1) Out.back() = static_cast<char>(Out.back() | (0x80 >> (Count % 8)));
    }
    return *this;
}

std::string TBitWriter::Bytes() const {
    return Out;
}

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string Probe(const std::string& file, const std::string& section, const std::string& key,
                  const std::string& options) {
    std::string out;
    // The first audio stream: a video stream may come first.
    const std::string select = section == "stream" ? "-select_streams a:0 " : "";
    Run("ffprobe -v error " + select + options + " -show_entries " + section + "=" + key +
            " -of default=noprint_wrappers=1:nokey=1 " + Quote(file) + " 2>/dev/null | head -n1",
        &out);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out;
}

std::string PcmWav(uint16_t channels, uint32_t rate, uint16_t bits, uint32_t frames) {
    uint32_t align = channels * bits / 8, dataSize = frames * align;
    return "RIFF" + LE32(36 + dataSize) + "WAVE" + "fmt " + LE32(16) + LE16(1) + LE16(channels) +
           LE32(rate) + LE32(rate * align) + LE16(align) + LE16(bits) + "data" + LE32(dataSize) +
           Zeros(dataSize);
}

std::string Python(const std::string& script, const std::string& file) {
    std::string out;
    Run("PYTHONIOENCODING=utf-8 /usr/bin/python3 -c " + Quote("import sys\n" + script) + " " +
            Quote(file) + " 2>&1",
        &out);
    return out;
}

std::map<std::string, std::string> MutagenTags(const std::string& file) {
    static const char* const script =
        "import sys, mutagen\n"
        "m = mutagen.File(sys.argv[1])\n"
        "for k, v in (m.tags or {}).items():\n"
        "    x = v[0]\n"
        "    if isinstance(x, tuple): x = '%d/%d' % x if x[1] else '%d' % x[0]\n"
        "    print('%s\\t%s' % (k, x))\n"
        "print('length\\t%r' % m.info.length)\n";
    std::string out;
    std::map<std::string, std::string> tags;
    if (Run("PYTHONIOENCODING=utf-8 /usr/bin/python3 -c " + Quote(script) + " " + Quote(file) +
                " 2>/dev/null",
            &out) != 0)
        return tags;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const size_t tab = line.find('\t');
        if (tab != std::string::npos) tags.emplace(line.substr(0, tab), line.substr(tab + 1));
    }
    return tags;
}

} // namespace testsupport
