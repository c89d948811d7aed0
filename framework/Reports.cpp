#include "framework/Reports.h"

#include "core/Convert.h"
#include "framework/Registry.h"

#include <cmath>

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

std::string AudioReportText(const TAudioFile& r, const std::string& fileName) {
    return FormatStr("File: %s\r\nFile type: %s\r\nFile size: %s\r\nBits: %s\r\nSampleRate: "
                     "%s\r\nSamples: %s\r\nBitrate: %s\r\nBitrateType: %s\r\nDuration: "
                     "%s\r\nRatio: %s\r\nChannelMode: %s\r\nChannels: %s\r\n%s",
                     {fileName, FormatName(r.Format), IntToStr(r.FileSize),
                      IntToStr(r.BitsPerSample), IntToStr(r.SampleRate), IntToStr(r.Samples),
                      IntToStr(r.BitRate), BitRateTypeText(r.BitRateType),
                      FormatDuration(r.Duration), RatioText(r.Ratio), r.GetChannelMode(),
                      IntToStr(r.Channels), r.Info->GetText()});
}

std::string TagReportText(const TTagBase& tag, const std::string& fileName) {
    return FormatStr("File: %s\r\nTag type: %s\r\nTag size: %s\r\nVersion: %s\r\nTrack: "
                     "%s\r\nTitle: %s\r\nArtist: %s\r\nAlbum: %s\r\nYear: %s\r\nComment: "
                     "%s\r\nGenre: %s\r\n",
                     {fileName, TagKindName(tag.Kind), IntToStr(tag.Size), tag.GetField(tfVersion),
                      tag.GetField(tfTrack), tag.GetField(tfTitle), tag.GetField(tfArtist),
                      tag.GetField(tfAlbum), tag.GetField(tfYear), tag.GetField(tfComment),
                      tag.GetField(tfGenre)});
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
