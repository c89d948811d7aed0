// Shared by the readers' tests: a read's outcome as one line of "Key=Value|" fields (the
// record's values, then its Info lines), so that a table row names only the fields it is about
// and all of them are compared at once.
#pragma once

#include "TestSupport.h"
#include "framework/Registry.h"
#include "framework/Reports.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <string>

namespace testsupport {

inline std::string Summary(bool read, const audiolens::TAudioFile& r) {
    char numbers[256];
    std::snprintf(numbers, sizeof numbers,
                  "Read=%d|Valid=%d|Samples=%lld|Rate=%d|Channels=%d|Bits=%d|BitRate=%d|"
                  "Duration=%.6g|Ratio=%.6g|Size=%lld|",
                  read, r.Valid, static_cast<long long>(r.Samples), r.SampleRate, r.Channels,
                  r.BitsPerSample, r.BitRate, r.Duration, r.Ratio,
                  static_cast<long long>(r.FileSize));
    std::string info = r.Info->GetText();
    for (size_t at; (at = info.find("\r\n")) != std::string::npos;)
        info.replace(at, 2, "|");
    return numbers + ("Type=" + audiolens::BitRateTypeText(r.BitRateType)) +
           "|Mode=" + r.GetChannelMode() + "|" + info;
}

// Reads the bytes as a file of the format (the record kept when asked) and sums it up.
inline std::string ReadSummary(audiolens::TAudioConstructor make, const std::string& bytes,
                               audiolens::TAudioRef* record = nullptr) {
    static const TTempDir dir;
    WriteFile(dir.Path("read.bin"), bytes);
    audiolens::TAudioRef r(make());
    const bool read = r->Read(dir.Path("read.bin"));
    if (record) *record = r;
    return Summary(read, *r);
}

// Every '|'-separated field of want is among the summary's fields.
inline void ExpectFields(const std::string& summary, const std::string& want) {
    for (size_t from = 0; from < want.size();) {
        size_t end = want.find('|', from);
        if (end == std::string::npos) end = want.size();
        const std::string field = want.substr(from, end - from);
        EXPECT_NE(("|" + summary).find("|" + field + "|"), std::string::npos)
            << field << " not in " << summary;
        from = end + 1;
    }
}

} // namespace testsupport
