#include "cli/Commands.h"

#include "cli/Json.h"
#include "core/Convert.h"
#include "core/FileRewrite.h"
#include "core/FileStream.h"
#include "core/Text.h"
#include "framework/Registry.h"
#include "framework/Reports.h"
#include "tags/TagID3v1.h"
#include "tags/TagID3v2.h"

#include <cmath>
#include <optional>
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
        if ((tag.SupportedFields >> id) & 1)
            fields.Text(TagFieldName(id), id == tfYear && tag.Kind == tkID3v2
                                              ? static_cast<const TTagID3v2&>(tag).YearText()
                                              : tag.GetField(id));
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

// Whether the file's format carries tags of this kind; says why not.
bool FormatCarriesKind(const std::string& fileName, int kind, std::ostream& err) {
    TRef<TAudioVerify> verify(new TAudioVerify);
    const TFormatSet formats = FormatsWithTag(kind);
    if (verify->Verify(fileName) && ((formats >> verify->Audio()->Format) & 1)) return true;
    std::string carriers;
    for (int f = 0; f < FormatCount; ++f)
        if (((formats >> f) & 1) && FormatConstructor(f))
            carriers += (carriers.empty() ? "" : ", ") + FormatName(f);
    const std::string carried = (carriers.empty() ? "no format built in" : carriers + " files");
    err << "audiolens: " << fileName << ": ";
    if (verify->Audio())
        err << FormatName(verify->Audio()->Format) << " files do not carry " << TagKindName(kind)
            << " tags (" << carried << " do)";
    else
        err << Reason(fileName, "not recognised by any reader") << "; " << TagKindName(kind)
            << " tags are written only into " << carried;
    err << "; the file is unchanged\n";
    return false;
}

// The message of a failed change, true to what became of the file.
std::string WriteFailure(const std::string& what) {
    const TRewriteResult& last = LastRewrite();
    if (last.Outcome == TRewriteOutcome::CopyKept)
        return "could not " + what + " (" + last.Message +
               "); the file may be damaged, its complete new content is in " + last.KeptCopy;
    return "could not " + what + " (" +
           (last.Message.empty() ? "read-only file or a tag that cannot be rewritten"
                                 : last.Message) +
           "); the file is unchanged";
}

bool TagCommand(const TOptions& o, const std::string& fileName, std::ostream& out,
                std::ostream& err) {
    TRef<TTagBase> tag = CreateTag(o.TagKind);
    const std::string kind = TagKindName(o.TagKind);
    if (!tag) {
        err << "audiolens: " << kind << " tags are not supported yet\n";
        return false;
    }
    const bool edit = o.Remove || !o.SetFields.empty();
    if (edit && !FormatCarriesKind(fileName, o.TagKind, err)) return false;
    // The read, the change and the save are one step no other writer interleaves with.
    std::optional<TWriteLock> lock;
    if (edit) {
        lock.emplace(fileName);
        if (!lock->Held()) {
            err << "audiolens: " << fileName << ": " << lock->Error()
                << "; the file is unchanged\n";
            return false;
        }
    }
    ClearLastRewrite();
    bool found = tag->Read(fileName) && tag->Valid;
    if (o.Remove) {
        if (!found) {
            err << "audiolens: " << fileName << ": " << Reason(fileName, "has no " + kind + " tag")
                << "; nothing was changed\n";
            return false;
        }
        if (!tag->Remove(fileName)) {
            err << "audiolens: " << fileName << ": " << WriteFailure("remove the " + kind + " tag")
                << "\n";
            return false;
        }
        return true;
    }
    if (!o.SetFields.empty()) {
        for (const auto& [field, value] : o.SetFields) {
            if (!((tag->SupportedFields >> field) & 1)) {
                err << "audiolens: " << kind << " tags have no " << TagFieldName(field)
                    << " field; the file is unchanged\n";
                return false;
            }
            tag->SetField(field, value);
            if (field == tfGenre && !value.empty() && tag->GetField(tfGenre).empty()) {
                err << "audiolens: '" << value << "' is not a genre " << kind
                    << " can store (a name or number of the ID3v1 genre list); the file is "
                       "unchanged\n";
                return false;
            }
        }
        if (o.TagKind == tkID3v1)
            for (const std::string& loss : ID3v1WriteLosses(*static_cast<TTagID3v1*>(tag.Get())))
                err << "audiolens: " << fileName << ": " << loss << "\n";
        if (!tag->Save(fileName)) {
            err << "audiolens: " << fileName << ": " << WriteFailure("write the " + kind + " tag")
                << "\n";
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
