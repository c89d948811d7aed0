#include "cli/Commands.h"

#include "cli/Json.h"
#include "core/Convert.h"
#include "core/FileRewrite.h"
#include "core/FileStream.h"
#include "core/Text.h"
#include "framework/Registry.h"
#include "framework/Reports.h"

#include <cmath>
#include <ostream>

namespace audiolens::cli {

std::string TerminalText(const std::string& report) {
    std::string text = DisplayText(report), out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
    return out;
}

namespace {

std::string TagJson(const TTagBase& tag) {
    TJsonObject fields;
    for (int id = 0; id < TagFieldCount; ++id)
        if ((tag.SupportedFields >> id) & 1) fields.Text(TagFieldName(id), tag.GetField(id));
    return TJsonObject()
        .Text("kind", TagKindName(tag.Kind))
        .Number("size", tag.Size)
        .Raw("fields", fields.Str())
        .Str();
}

std::string AudioJson(const TAudioFile& r, const std::string& fileName) {
    TJsonObject info;
    for (int i = 0; i < r.Info->Count(); ++i) {
        std::string line = r.Info->Get(i);
        std::string key = FetchToken(line, "=");
        info.Text(key, line);
    }
    std::string tags = "[";
    for (int kind = 0; kind < TagSlotCount; ++kind) {
        TTagBase* tag = r.GetTag(kind);
        if (r.HasTag(kind) && tag && tag->Valid)
            tags += (tags.size() > 1 ? "," : "") + TagJson(*tag);
    }
    tags += "]";
    return TJsonObject()
        .Text("file", fileName)
        .Text("format", FormatName(r.Format))
        .Number("fileSize", r.FileSize)
        .Number("bitsPerSample", r.BitsPerSample)
        .Number("sampleRate", r.SampleRate)
        .Number("samples", r.Samples)
        .Number("bitRate", r.BitRate)
        .Text("bitRateType", BitRateTypeText(r.BitRateType))
        .Real("duration", r.Duration < 0 ? NAN : r.Duration)
        .Real("ratio", r.Ratio < 0 ? NAN : r.Ratio)
        .Text("channelMode", r.GetChannelMode())
        .Number("channels", r.Channels)
        .Raw("info", info.Str())
        .Raw("tags", tags)
        .Str();
}

// Why a file gave no report, for the error line.
std::string Reason(const std::string& fileName, const std::string& otherwise) {
    TStreamRef probe = OpenFileRead(fileName);
    if (!probe->IsOpen()) return "cannot open (missing, unreadable or not a regular file)";
    if (probe->GetSize() == 0) return "empty file";
    return otherwise;
}

// Why a tag write failed, as far as can be told from outside: a file that may not be changed
// (read-only, or on Windows held open by another program that does not let others write) or
// the writer's own reasons.
std::string WriteFailure(const std::string& fileName, const std::string& otherwise) {
    if (!CanModifyFile(fileName))
        return "read-only file, or in use by another program that does not allow writing";
    return otherwise;
}

bool AudioCommand(const TOptions& o, const std::string& fileName, std::ostream& out,
                  std::ostream& err) {
    TRef<TAudioVerify> verify(new TAudioVerify);
    TAudioRef record;
    if (o.Verify) {
        if (!verify->Verify(fileName)) {
            err << "audiolens: " << fileName << ": "
                << Reason(fileName, "not recognised by any reader") << "\n";
            return false;
        }
        record = TAudioRef(verify->Audio());
        record->AddRef();
    } else {
        TAudioFormat format = FormatByExtension(ExtractFileExt(fileName));
        record = CreateAudioFile(format);
        if (!record) {
            err << "audiolens: " << fileName << ": "
                << (format == afUnknown ? "unknown extension (try --verify)"
                                        : FormatName(format) + " files are not supported yet")
                << "\n";
            return false;
        }
        if (!(record->Read(fileName) && record->Valid)) {
            err << "audiolens: " << fileName << ": "
                << Reason(fileName, "not a valid " + FormatName(format) + " file") << "\n";
            return false;
        }
    }
    if (o.Json) {
        out << AudioJson(*record, fileName) << "\n";
        return true;
    }
    TStringOutput text;
    ShowAudioReport(text, *record, fileName, false);
    if (o.Verify)
        for (int kind = 0; kind < TagSlotCount; ++kind) {
            TTagBase* tag = record->GetTag(kind);
            if (record->HasTag(kind) && tag && tag->Valid)
                ShowTagReport(text, *tag, fileName, false);
        }
    out << TerminalText(text.Text);
    return true;
}

bool TagCommand(const TOptions& o, const std::string& fileName, std::ostream& out,
                std::ostream& err) {
    TRef<TTagBase> tag = CreateTag(o.TagKind);
    const std::string kind = TagKindName(o.TagKind);
    if (!tag) {
        err << "audiolens: " << kind << " tags are not supported yet\n";
        return false;
    }
    bool found = tag->Read(fileName) && tag->Valid;
    if (o.Remove) {
        if (!found) {
            err << "audiolens: " << fileName << ": " << Reason(fileName, "has no " + kind + " tag")
                << "\n";
            return false;
        }
        if (!tag->Remove(fileName)) {
            err << "audiolens: " << fileName << ": could not remove the " << kind << " tag ("
                << WriteFailure(fileName, "write error") << "); the file is unchanged\n";
            return false;
        }
        return true;
    }
    if (!o.SetFields.empty()) {
        for (const auto& [field, value] : o.SetFields) {
            if (!((tag->SupportedFields >> field) & 1)) {
                err << "audiolens: " << kind << " tags have no " << TagFieldName(field)
                    << " field\n";
                return false;
            }
            tag->SetField(field, value);
        }
        if (!tag->Save(fileName)) {
            err << "audiolens: " << fileName << ": could not write the " << kind << " tag ("
                << WriteFailure(fileName, "unsupported file or write error")
                << "); the file is unchanged\n";
            return false;
        }
        return true;
    }
    if (!found) {
        err << "audiolens: " << fileName << ": " << Reason(fileName, "has no " + kind + " tag")
            << "\n";
        return false;
    }
    if (o.Json) {
        out << TJsonObject().Text("file", fileName).Raw("tag", TagJson(*tag)).Str() << "\n";
        return true;
    }
    TStringOutput text;
    ShowTagReport(text, *tag, fileName, false);
    out << TerminalText(text.Text);
    return true;
}

} // namespace

bool RunFile(const TOptions& o, const std::string& fileName, std::ostream& out, std::ostream& err) {
    return o.TagKind >= 0 ? TagCommand(o, fileName, out, err) : AudioCommand(o, fileName, out, err);
}

} // namespace audiolens::cli
