// The audio and tag reports. They append to an output text, which the window's edit box and the
// command line both implement, so reports never depend on a window.
#pragma once

#include "framework/AudioFile.h"

#include <string>

namespace audiolens {

class TOutputText {
  public:
    virtual ~TOutputText() = default;
    virtual std::string GetText() const = 0;
    virtual void SetText(const std::string& text) = 0;
};

// A plain in-memory output text.
class TStringOutput : public TOutputText {
  public:
    std::string GetText() const override { return Text; }
    void SetText(const std::string& text) override { Text = text; }
    std::string Text;
};

// The texts the reports write for the record's numbers.
std::string BitRateTypeText(TBitRateType type);
std::string RatioText(double ratio);
std::string AudioReportText(const TAudioFile& record, const std::string& fileName);
std::string TagReportText(const TTagBase& tag, const std::string& fileName);

// With readFirst, Read runs first and nothing is written unless it succeeds with Valid set.
bool ShowAudioReport(TOutputText& out, TAudioFile& record, const std::string& fileName,
                     bool readFirst);
bool ShowTagReport(TOutputText& out, TTagBase& tag, const std::string& fileName, bool readFirst);

} // namespace audiolens
