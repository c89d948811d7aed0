#include "cli/Commands.h"

#include "cli/Json.h"
#include "cli/Sniff.h"
#include "core/Convert.h"
#include "core/FileRewrite.h"
#include "core/FileStream.h"
#include "core/Text.h"
#include "framework/Registry.h"
#include "framework/Reports.h"
#include "tags/TagID3v1.h"
#include "tags/TagID3v2.h"

#include <cmath>
#include <filesystem>
#include <optional>
#include <ostream>
#include <sstream>
#include <system_error>

namespace audiolens::cli {

std::string TerminalText(const std::string& report) {
    std::string text = DisplayText(report), out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
    return out;
}

std::string WhyNotOpen(const std::string& fileName) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::status(fileName, ec);
    if (ec) return ec == std::errc::no_such_file_or_directory ? "no such file" : ec.message();
    if (fs::is_directory(status)) return "is a directory";
    if (!fs::is_regular_file(status)) return "not a regular file";
    return "cannot be read (permission denied)";
}

namespace {

// Stands for the file name while a report is converted for the terminal: the name is printed
// as the bytes it is, never re-read as Windows-1252 (which would show another, real-looking name).
constexpr char NameMark = '\x01';

std::string TerminalReport(const std::string& report, const std::string& fileName) {
    std::string text = TerminalText(report), out;
    for (char c : text)
        if (c == NameMark)
            out += fileName;
        else
            out += c;
    return out;
}

} // namespace

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
        .Name("file", fileName)
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
    if (!probe->IsOpen()) return WhyNotOpen(fileName);
    if (probe->GetSize() == 0) return "empty file";
    return otherwise;
}

// The verifier's search, with the extension's reader first. False when no reader accepts it.
bool Recognise(const TFileView& file, TAudioFormat first, TAudioRef& record) {
    TRef<TAudioVerify> verify(new TAudioVerify);
    if (!verify->Verify(file, first)) return false;
    record = TAudioRef(verify->Audio());
    record->AddRef();
    return true;
}

TFileResult AudioCommand(const TOptions& o, const std::string& fileName, bool named) {
    TFileResult result;
    auto fail = [&](const std::string& reason) {
        result.Err = "audiolens: " + fileName + ": " + reason + "\n";
        result.Outcome = TOutcome::Failed;
        return result;
    };
    TFileViewRef file = TFileView::Open(fileName);
    if (!file->IsOpen()) return fail(WhyNotOpen(fileName));
    const TAudioFormat format = FormatOfExtension(ExtractFileExt(fileName));
    TAudioRef record;
    if (o.Verify || format == afUnknown) {
        // An extension that is not audio's is tried by every reader, as --verify does.
        if (!Recognise(*file, format, record)) {
            if (!named && format == afUnknown) {
                result.Outcome = TOutcome::NotAudio;
                return result;
            }
            if (file->Size() == 0) return fail("empty file");
            const std::string looks = LooksLike(*file);
            return fail(looks.empty() ? "no reader accepts it"
                                      : "not an audio file: looks like " + looks);
        }
    } else {
        record = CreateAudioFile(format);
        if (!record) return fail(FormatName(format) + " files are not supported yet");
        if (!(record->Read(*file) && record->Valid)) {
            if (file->Size() == 0) return fail("empty file");
            const std::string looks = LooksLike(*file);
            return fail("not a valid " + FormatName(format) + " file" +
                        (looks.empty() ? std::string() : ": looks like " + looks));
        }
    }
    if (o.Json) {
        result.Out = AudioJson(*record, fileName) + "\n";
        return result;
    }
    TStringOutput text;
    const std::string mark(1, NameMark);
    ShowAudioReport(text, *record, mark, false);
    if (o.Verify)
        for (int kind = 0; kind < TagSlotCount; ++kind) {
            TTagBase* tag = record->GetTag(kind);
            if (record->HasTag(kind) && tag && tag->Valid) ShowTagReport(text, *tag, mark, false);
        }
    result.Out = TerminalReport(text.Text, fileName);
    return result;
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
           (last.Message.empty() ? "read-only file, in use by another program that does not allow "
                                   "writing, or a tag that cannot be rewritten"
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
    if (o.TagKind == tkMp4 && (o.Remove || !o.SetFields.empty())) {
        err << "audiolens: MP4 tags are read-only\n";
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
        out << TJsonObject().Name("file", fileName).Raw("tag", TagJson(*tag)).Str() << "\n";
        return true;
    }
    TStringOutput text;
    ShowTagReport(text, *tag, std::string(1, NameMark), false);
    out << TerminalReport(text.Text, fileName);
    return true;
}

} // namespace

TFileResult RunFile(const TOptions& o, const std::string& fileName, bool named) {
    if (o.TagKind < 0) return AudioCommand(o, fileName, named);
    std::ostringstream out, err;
    TFileResult result;
    result.Outcome = TagCommand(o, fileName, out, err) ? TOutcome::Reported : TOutcome::Failed;
    result.Out = out.str();
    result.Err = err.str();
    return result;
}

} // namespace audiolens::cli
