#include "framework/Registry.h"

#include "core/Convert.h"

#include <cmath>
#include <string_view>

namespace audiolens {

namespace {

struct TFormatInfo {
    const char* Name;
    const char* Extensions;
};

const TFormatInfo Formats[FormatCount] = {
    {"Wav", ".wav"},
    {"WAVPack", ".wv"},
    {"Monkey", ".ape;.mac;.apl"},
    {"OGG", ".ogg;.spx"},
    {"AC3", ".ac3"},
    {"AAC", ".aac"},
    {"DTS", ".dts"},
    {"TTA", ".tta"},
    {"WMA", ".wma"},
    {"OptimFrog", ".ofr;.ofs"},
    {"FLAC", ".flac;.fla"},
    {"TwinVQ", ".vqf"},
    {"CDATrack", ".cda"},
    {"MPEG", ".mp3"},
    {"MPEGplus", ".mpc;.mpp;.mp+"},
    {"MP4", ".mp4;.m4a;.m4b"},
};

const char* const TagNames[TagSlotCount] = {"Unknown", "ID3v1",  "ID3v1 Lyrics", "ID3v2", "APE",
                                            "Vorbis",  "TwinVQ", "WMA",          "ExWMA", "Mp4"};

constexpr TFormatSet Id3v1Formats = FormatBit(afMonkey) | FormatBit(afAAC) | FormatBit(afTTA) |
                                    FormatBit(afOptimFrog) | FormatBit(afFLAC) | FormatBit(afMPEG) |
                                    FormatBit(afMPEGplus);

const TFormatSet TagFormats[TagSlotCount] = {
    0,
    Id3v1Formats,
    Id3v1Formats,
    static_cast<TFormatSet>(Id3v1Formats | FormatBit(afOGG)),
    static_cast<TFormatSet>(FormatBit(afWAVPack) | FormatBit(afMonkey) | FormatBit(afAAC) |
                            FormatBit(afTTA) | FormatBit(afOptimFrog) | FormatBit(afTwinVQ) |
                            FormatBit(afMPEG) | FormatBit(afMPEGplus)),
    static_cast<TFormatSet>(FormatBit(afOGG) | FormatBit(afFLAC)),
    FormatBit(afTwinVQ),
    FormatBit(afWMA),
    FormatBit(afWMA),
    FormatBit(afMP4),
};

} // namespace

// Defined in FormatTable.cpp, one entry per built reader and tag kind.
extern const TAudioConstructor AudioConstructors[FormatCount];
extern const TTagConstructor TagConstructors[TagSlotCount];

std::string FormatName(int format) {
    return (format < 0 || format >= FormatCount) ? "Unknown" : Formats[format].Name;
}

std::string TagKindName(int kind) {
    return (kind < 0 || kind >= TagSlotCount) ? "Unknown" : TagNames[kind];
}

namespace {
const char* const FieldNames[TagFieldCount] = {
    "Track",          "Title",   "Artist",       "Album",  "Year",         "Comment",  "Genre",
    "Composer",       "Encoder", "Copyright",    "Url",    "ContentGroup", "Language", "Lyrics",
    "OriginalArtist", "Image",   "OriginalFile", "Rating", "Version"};
}

std::string TagFieldName(int field) {
    return (field < 0 || field >= TagFieldCount) ? "" : FieldNames[field];
}

int TagFieldByName(const std::string& name) {
    for (int i = 0; i < TagFieldCount; ++i)
        if (UpperCase(name) == UpperCase(FieldNames[i])) return i;
    return -1;
}

int TagKindByName(const std::string& name) {
    std::string wanted = UpperCase(name);
    for (int i = 1; i < TagSlotCount; ++i)
        if (wanted == UpperCase(TagNames[i])) return i;
    // The window's caption of the Lyrics3 kind, and spellings without the space.
    if (wanted == "ID3LYRICS" || wanted == "ID3V1LYRICS" || wanted == "LYRICS3")
        return tkID3v1Lyrics;
    return -1;
}

std::string FormatExtensions(int format) {
    return (format < 0 || format >= FormatCount) ? "" : Formats[format].Extensions;
}

TAudioFormat FormatByExtension(const std::string& extension) {
    if (extension.empty()) return afUnknown;
    // A substring test on the whole list, as the dialog filters are built: ".mp" finds MPEG.
    for (int f = 0; f < FormatCount; ++f)
        if (std::string_view(Formats[f].Extensions).find(extension) != std::string_view::npos)
            return static_cast<TAudioFormat>(f);
    return afUnknown;
}

TFormatSet FormatsWithTag(int kind) {
    return (kind < 0 || kind >= TagSlotCount) ? 0 : TagFormats[kind];
}

std::string BuildFilter(TFormatSet formats) {
    std::string list;
    for (int f = 0; f < FormatCount; ++f)
        if ((formats >> f) & 1) list += std::string(Formats[f].Extensions) + ";";
    std::string filter;
    for (char c : list)
        filter += c == '.' ? std::string("*.") : std::string(1, c);
    return filter;
}

std::string AllFormatsFilter() {
    return BuildFilter(0xFFFF);
}

TAudioConstructor FormatConstructor(int format) {
    return (format < 0 || format >= FormatCount) ? nullptr : AudioConstructors[format];
}

TTagConstructor TagConstructor(int kind) {
    return (kind < 0 || kind >= TagSlotCount) ? nullptr : TagConstructors[kind];
}

TAudioRef CreateAudioFile(int format) {
    TAudioConstructor make = FormatConstructor(format);
    return make ? TAudioRef(make()) : TAudioRef();
}

TRef<TTagBase> CreateTag(int kind) {
    TTagConstructor make = TagConstructor(kind);
    return make ? TRef<TTagBase>(make()) : TRef<TTagBase>();
}

bool TAudioVerify::TryFormat(TAudioConstructor constructor, const std::string& fileName) {
    return TryFormat(constructor, *TFileView::Open(fileName));
}

bool TAudioVerify::TryFormat(TAudioConstructor constructor, const TFileView& file) {
    Record.Reset();
    if (!constructor) return false;
    Record.Reset(constructor());
    bool ok = Record->Read(file) && Record->Valid;
    if (!ok) Record.Reset();
    return ok;
}

bool TAudioVerify::Verify(const std::string& fileName) {
    return Verify(*TFileView::Open(fileName));
}

bool TAudioVerify::Verify(const TFileView& file) {
    return Verify(file, afUnknown);
}

bool TAudioVerify::Verify(const TFileView& file, TAudioFormat first) {
    if (!file.IsOpen()) return false;
    if (first == afUnknown) first = FormatByExtension(ExtractFileExt(file.Name()));
    if (first != afUnknown && TryFormat(FormatConstructor(first), file)) return true;
    for (int f = 0; f < FormatCount; ++f)
        if (f != first && TryFormat(FormatConstructor(f), file)) return true;
    return false;
}

std::string FormatDuration(double d) {
    if (!std::isfinite(d) || d < 0) return "unknown";
    // Milliseconds are rounded first, halves to even, so 59.9996 carries into the next second.
    long double whole = std::trunc(static_cast<long double>(d));
    long double ms = std::nearbyint((static_cast<long double>(d) - whole) * 1000);
    auto s = static_cast<uint64_t>(whole);
    if (ms >= 1000) {
        ms -= 1000;
        ++s;
    }
    std::string result;
    uint64_t h = s / 3600;
    if (h > 0) {
        result = std::to_string(h) + ":";
        s %= 3600;
    }
    std::string minutes = std::to_string(s / 60) + ":";
    if (minutes.size() == 2 && !result.empty()) minutes = "0" + minutes;
    result += minutes;
    std::string sec = std::to_string(s % 60);
    if (sec.size() == 1) sec = "0" + sec;
    std::string millis = std::to_string(static_cast<unsigned>(ms));
    millis.insert(0, 3 - millis.size(), '0');
    return result + sec + "." + millis;
}

} // namespace audiolens
