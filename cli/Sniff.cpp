#include "cli/Sniff.h"

#include "core/Text.h"

#include <cctype>
#include <string_view>

namespace audiolens::cli {

namespace {

struct TSignature {
    size_t Offset;
    std::string_view Magic;
    const char* Name;
};

const TSignature Signatures[] = {
    {0, "\x89PNG", "PNG image"},
    {0, "\xFF\xD8\xFF", "JPEG image"},
    {0, "GIF8", "GIF image"},
    {8, "WEBP", "WebP image"},
    {0, "%PDF", "PDF document"},
    {0, "PK\x03\x04", "ZIP archive"},
    {0, "\x1F\x8B", "gzip archive"},
    {0, "7z\xBC\xAF", "7-Zip archive"},
    {0, "Rar!", "RAR archive"},
    {0,
     "\x7F"
     "ELF",
     "program"},
    {0, "MThd", "MIDI file (play it with --play)"},
    {8, "RMID", "MIDI file (play it with --play)"},
    {8, "AVI ", "AVI video"},
    {0, "\x1A\x45\xDF\xA3", "Matroska/WebM file"},
    {0, "FORM", "IFF/AIFF file (not read by audiolens)"},
    {4, "ftyp", "MP4 file without a sound track"},
};

bool LooksLikeText(const TByteView& head) {
    if (head.Size() == 0) return false;
    const std::string_view bytes(reinterpret_cast<const char*>(head.Bytes()),
                                 std::min<size_t>(head.Size(), 4096));
    for (char c : bytes) {
        auto b = static_cast<unsigned char>(c);
        if (b < 0x20 && b != '\n' && b != '\r' && b != '\t' && b != '\f') return false;
    }
    // A multi-byte character may be cut at the end of the sample.
    return IsValidUtf8(bytes.substr(0, bytes.size() > 4 ? bytes.size() - 4 : bytes.size())) ||
           IsValidUtf8(bytes);
}

struct TAlias {
    const char* Extension;
    TAudioFormat Format;
};

const TAlias Aliases[] = {
    {".wav", afWav},      {".wave", afWav},      {".bwf", afWav},       {".rf64", afWav},
    {".wv", afWAVPack},   {".ape", afMonkey},    {".mac", afMonkey},    {".apl", afMonkey},
    {".ogg", afOGG},      {".oga", afOGG},       {".spx", afOGG},       {".opus", afOGG},
    {".ac3", afAC3},      {".eac3", afAC3},      {".ec3", afAC3},       {".aac", afAAC},
    {".adts", afAAC},     {".dts", afDTS},       {".tta", afTTA},       {".wma", afWMA},
    {".asf", afWMA},      {".ofr", afOptimFrog}, {".ofs", afOptimFrog}, {".flac", afFLAC},
    {".fla", afFLAC},     {".vqf", afTwinVQ},    {".cda", afCDATrack},  {".mp3", afMPEG},
    {".mp2", afMPEG},     {".mp1", afMPEG},      {".mpa", afMPEG},      {".mpga", afMPEG},
    {".mpc", afMPEGplus}, {".mpp", afMPEGplus},  {".mp+", afMPEGplus},  {".mp4", afMP4},
    {".m4a", afMP4},      {".m4b", afMP4},       {".m4p", afMP4},       {".m4r", afMP4},
};

} // namespace

std::string LooksLike(const TFileView& file) {
    const TByteView head = file.Head();
    for (const TSignature& s : Signatures)
        if (head.Matches(s.Offset, s.Magic)) return s.Name;
    return LooksLikeText(head) ? "text" : "";
}

TAudioFormat FormatOfExtension(const std::string& extension) {
    std::string lower;
    for (char c : extension)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const TAlias& a : Aliases)
        if (lower == a.Extension) return a.Format;
    return afUnknown;
}

} // namespace audiolens::cli
