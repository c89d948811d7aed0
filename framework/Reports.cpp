#include "framework/Reports.h"

#include "core/Convert.h"
#include "framework/Registry.h"

#include <cmath>
#include <initializer_list>
#include <utility>

namespace audiolens {

std::string BitRateTypeText(TBitRateType type) {
    return type == brCBR ? "CBR" : type == brVBR ? "VBR" : "";
}

std::string RatioText(double ratio) {
    if (!std::isfinite(ratio)) return "-1";
    // Halves to even, then the low 32 bits as a signed number.
    long double rounded = std::nearbyint(static_cast<long double>(ratio));
    if (std::fabs(rounded) > 9.2e18L) return "-1";
    return IntToStr(static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(rounded))));
}

namespace {

// Labels and values joined line by line; a report is never cut, however long its values.
std::string Lines(std::initializer_list<std::pair<const char*, std::string>> lines) {
    std::string out;
    for (const auto& [label, value] : lines)
        out.append(label).append(": ").append(value).append("\r\n");
    return out;
}

} // namespace

std::string AudioReportText(const TAudioFile& r, const std::string& fileName) {
    return "File: " + fileName + "\r\n" +
           Lines({{"File type", FormatName(r.Format)},
                  {"File size", IntToStr(r.FileSize)},
                  {"Bits", IntToStr(r.BitsPerSample)},
                  {"SampleRate", IntToStr(r.SampleRate)},
                  {"Samples", IntToStr(r.Samples)},
                  {"Bitrate", IntToStr(r.BitRate)},
                  {"BitrateType", BitRateTypeText(r.BitRateType)},
                  {"Duration", FormatDuration(r.Duration)},
                  {"Ratio", RatioText(r.Ratio)},
                  {"ChannelMode", r.GetChannelMode()},
                  {"Channels", IntToStr(r.Channels)}}) +
           r.Info->GetText();
}

std::string TagReportText(const TTagBase& tag, const std::string& fileName) {
    return Lines({{"File", fileName},
                  {"Tag type", TagKindName(tag.Kind)},
                  {"Tag size", IntToStr(tag.Size)},
                  {"Version", tag.GetField(tfVersion)},
                  {"Track", tag.GetField(tfTrack)},
                  {"Title", tag.GetField(tfTitle)},
                  {"Artist", tag.GetField(tfArtist)},
                  {"Album", tag.GetField(tfAlbum)},
                  {"Year", tag.GetField(tfYear)},
                  {"Comment", tag.GetField(tfComment)},
                  {"Genre", tag.GetField(tfGenre)}});
}

bool ShowAudioReport(TOutputText& out, TAudioFile& record, const std::string& fileName,
                     bool readFirst) {
    if (readFirst && !(record.Read(fileName) && record.Valid)) return false;
    out.SetText(out.GetText() + AudioReportText(record, fileName));
    return true;
}

bool ShowTagReport(TOutputText& out, TTagBase& tag, const std::string& fileName, bool readFirst) {
    if (readFirst && !(tag.Read(fileName) && tag.Valid)) return false;
    out.SetText(out.GetText() + TagReportText(tag, fileName));
    return true;
}

} // namespace audiolens
