// The bodies of the fuzz targets, shared with the regression test that replays every input kept
// under tests/fuzz-regressions/. Each body works over whatever the registry holds, so a reader or
// tag kind takes part as soon as its constructor is in the table. Each returns an empty text when
// every property held, otherwise a description of what broke.
#pragma once

#include "framework/Registry.h"
#include "framework/Reports.h"

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace audiolens::fuzzbody {

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<int> BuiltTagKinds() {
    std::vector<int> kinds;
    for (int k = 1; k < TagSlotCount; ++k)
        if (TagConstructor(k)) kinds.push_back(k);
    return kinds;
}

// Everything a report shows of a tag, to compare two reads of one file.
inline std::string TagState(const TTagBase& tag) {
    std::string state = std::to_string(tag.Valid) + "/" + std::to_string(tag.Size) + "/" +
                        std::to_string(tag.GenreIndex);
    for (int field = 0; field < TagFieldCount; ++field)
        state += "|" + tag.GetField(field);
    return state;
}

inline std::string RecordState(const TAudioFile& record) {
    std::string state = AudioReportText(record, "f") + "/" + std::to_string(record.Valid);
    for (const TTagBase* tag : record.Tags)
        if (tag) state += "#" + TagState(*tag);
    return state;
}

// Every reader, through the verifier, on the bytes; each read twice to show that nothing of the
// first read leaks into the second.
inline std::string ReadWithEveryFormat(const std::string& bytes, const std::string& path) {
    WriteBytes(path, bytes);
    TRef<TAudioVerify> verify(new TAudioVerify);
    for (int format = 0; format < FormatCount; ++format) {
        if (!FormatConstructor(format) || !verify->TryFormat(FormatConstructor(format), path))
            continue;
        TAudioFile& record = *verify->Audio();
        if (!std::isfinite(record.Duration) || !std::isfinite(record.Ratio))
            return FormatName(format) + ": a valid record with a non-finite duration or ratio";
        std::string state = RecordState(record);
        for (const TTagBase* tag : record.Tags)
            if (tag && tag->Valid) TagReportText(*tag, "f");
        // The same record read again must come to the same values.
        bool second = record.Read(path) && record.Valid;
        if (!second || RecordState(record) != state)
            return FormatName(format) + ": a second read of the same file differs";
    }
    verify->Verify(path);
    return "";
}

// One tag kind's Read, twice over the same file: a second read must give the same fields.
inline std::string ReadWithTagKind(const std::string& bytes, const std::string& path, int kind) {
    WriteBytes(path, bytes);
    TRef<TTagBase> tag = CreateTag(kind);
    if (!tag) return "";
    bool first = tag->Read(path);
    std::string state = TagState(*tag);
    if (tag->Valid) TagReportText(*tag, "f");
    bool second = tag->Read(path);
    if (first != second || TagState(*tag) != state)
        return TagKindName(kind) + ": a second read of the same file differs";
    return "";
}

inline std::string ReadWithEveryTagKind(const std::string& bytes, const std::string& path) {
    for (int kind : BuiltTagKinds()) {
        std::string broken = ReadWithTagKind(bytes, path, kind);
        if (!broken.empty()) return broken;
    }
    return "";
}

inline std::string OnlyFileLeft(const std::string& dir, const std::string& name) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec))
        if (entry.path().filename() != name)
            return "a stray file was left behind: " + entry.path().filename().string();
    return "";
}

// Save and Remove of arbitrary fields over an arbitrary file, then a fresh Read of the result.
// The input: one byte chooses the tag kind among those built, one whether the tag is read first
// and the operation (Save, Remove, Save then Remove, Save twice), one the number of fields; then
// each field as id, length and value; the rest is the file the tag is written into.
inline std::string SaveThenRead(const std::string& bytes, const std::string& dir) {
    const std::vector<int> kinds = BuiltTagKinds();
    if (kinds.empty() || bytes.size() < 3) return "";
    auto at = [&](size_t i) { return static_cast<uint8_t>(bytes[i]); };
    const int kind = kinds[at(0) % kinds.size()], operation = (at(1) >> 1) & 3;
    const std::string name = "input.mp3", path = dir + "/" + name, kindName = TagKindName(kind);
    TRef<TTagBase> tag = CreateTag(kind);
    size_t pos = 3, fieldBytes = 0;
    std::vector<std::pair<int, std::string>> fields;
    for (size_t i = 0; i < at(2) % 8u && pos + 2 <= bytes.size(); ++i) {
        const size_t length = std::min<size_t>(at(pos + 1), bytes.size() - pos - 2);
        fields.emplace_back(at(pos) % TagFieldCount, bytes.substr(pos + 2, length));
        fieldBytes += length;
        pos += 2 + length;
    }
    const std::string file = bytes.substr(std::min(pos, bytes.size()));
    WriteBytes(path, file);
    std::filesystem::remove(path + "~");
    if (at(1) & 1) tag->Read(path);
    for (const auto& [id, value] : fields)
        tag->SetField(id, value);
    bool changed = operation == 1 ? tag->Remove(path) : tag->Save(path);
    if (changed && operation >= 2) changed = operation == 2 ? tag->Remove(path) : tag->Save(path);
    std::string stray = OnlyFileLeft(dir, name);
    if (!stray.empty()) return kindName + ": " + stray;
    std::error_code ec;
    auto newSize = std::filesystem::file_size(path, ec);
    if (ec) return kindName + ": the file is gone after the operation";
    if (newSize > 2 * file.size() + 8 * fieldBytes + 65536)
        return kindName + ": the file grew far beyond its fields";
    // A tag just saved must read back; after a removal the file may be too short for any tag.
    if (changed && operation != 1 && operation != 2) {
        TRef<TTagBase> fresh = CreateTag(kind);
        if (!fresh->Read(path)) return kindName + ": the file written does not read back";
    }
    return "";
}

} // namespace audiolens::fuzzbody
