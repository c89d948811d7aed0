// Tag writers never damage the audio: after Save and Remove of each tag kind every audio byte is
// where it was, and with a fault injected at each step of the file layer (a failed or short
// write, a full disk, a failed truncate, rename, sync or open) the change is reported false, the
// audio bytes are untouched (a rebuilt file stays byte-identical) and no "~" file stays behind.
// Kinds whose writer is not built yet are skipped. The WMA kinds write into an ASF file, whose
// header they rebuild in front of the untouched data object; Vorbis comments are written into a
// FLAC file.
#include "TestSupport.h"
#include "framework/Registry.h"
#include "platform/FileService.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace audiolens;
using namespace testsupport;
namespace fs = std::filesystem;
namespace pf = audiolens::platform;

namespace {

// ---- A file service that passes every call to the system's, except the one chosen to fail.

enum class TFault {
    None,
    FailWrite,
    ShortWrite,
    DiskFull,
    FailTruncate,
    FailRename,
    FailSync,
    FailCreate,
    FailOpenWrite
};

struct TFaultState {
    TFault Fault = TFault::None;
    int Nth = 0;         // which write fails (1-based) for FailWrite and ShortWrite
    uint64_t Budget = 0; // bytes that still fit for DiskFull
    int Writes = 0, Truncates = 0, Renames = 0, Syncs = 0, Creates = 0, WriteOpens = 0;
    uint64_t BytesWritten = 0;
};
TFaultState State;

pf::FileHandle FaultOpen(const std::string& name, pf::Access access, pf::Disposition disposition) {
    if (disposition == pf::Disposition::CreateAlways) {
        ++State.Creates;
        if (State.Fault == TFault::FailCreate) return pf::InvalidFile;
    }
    if (access != pf::Access::Read) {
        ++State.WriteOpens;
        if (State.Fault == TFault::FailOpenWrite) return pf::InvalidFile;
    }
    return pf::SystemFileService().Open(name, access, disposition);
}

uint32_t FaultWrite(pf::FileHandle file, const void* buffer, uint32_t count) {
    int nth = ++State.Writes;
    uint32_t allowed = count;
    if (State.Fault == TFault::FailWrite && nth == State.Nth) allowed = 0;
    if (State.Fault == TFault::ShortWrite && nth == State.Nth) allowed = count / 2;
    if (State.Fault == TFault::DiskFull) {
        allowed = static_cast<uint32_t>(std::min<uint64_t>(count, State.Budget));
        State.Budget -= allowed;
    }
    uint32_t done = allowed ? pf::SystemFileService().Write(file, buffer, allowed) : 0;
    State.BytesWritten += done;
    return done;
}

bool FaultTruncate(pf::FileHandle file, uint64_t size) {
    ++State.Truncates;
    return State.Fault != TFault::FailTruncate && pf::SystemFileService().Truncate(file, size);
}

bool FaultRename(const std::string& from, const std::string& to) {
    ++State.Renames;
    return State.Fault != TFault::FailRename && pf::SystemFileService().Rename(from, to);
}

bool FaultSync(pf::FileHandle file) {
    ++State.Syncs;
    return State.Fault != TFault::FailSync && pf::SystemFileService().Sync(file);
}

pf::TFileService MakeFaultService() {
    pf::TFileService service = pf::SystemFileService();
    service.Open = FaultOpen;
    service.Write = FaultWrite;
    service.Truncate = FaultTruncate;
    service.Rename = FaultRename;
    service.Sync = FaultSync;
    return service;
}
const pf::TFileService FaultService = MakeFaultService();

// Installs the fault service for one operation and restores the system's afterwards.
bool WithFault(TFault fault, int nth, uint64_t budget, const std::function<bool()>& operation) {
    State = TFaultState{};
    State.Fault = fault;
    State.Nth = nth;
    State.Budget = budget;
    pf::SetFileService(&FaultService);
    bool result = operation();
    pf::SetFileService(nullptr);
    return result;
}

std::string FaultName(TFault fault) {
    switch (fault) {
    case TFault::FailWrite:
        return "failed write";
    case TFault::ShortWrite:
        return "short write";
    case TFault::DiskFull:
        return "disk full";
    case TFault::FailTruncate:
        return "failed truncate";
    case TFault::FailRename:
        return "failed rename";
    case TFault::FailSync:
        return "failed sync";
    case TFault::FailCreate:
        return "failed create";
    case TFault::FailOpenWrite:
        return "failed open for writing";
    default:
        return "none";
    }
}

// ---- The fixture: a real MP3 file without tags is the audio every check looks for. The TwinVQ
// kind lives in the header of a VQF file: there the audio is the DATA chunk (the MP3's bytes
// stand in for it) behind a header with the stream parameters and a data-size chunk.

class TTagSafetyTest : public ::testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        if (!TagConstructor(GetParam()))
            GTEST_SKIP() << TagKindName(GetParam()) << " is not built yet";
        REQUIRE_TOOL("ffmpeg");
        std::string wav = Dir.Path("source.wav");
        ASSERT_EQ(
            testsupport::Run("ffmpeg -v error -y -f lavfi -i sine=frequency=440:sample_rate=22050:"
                             "duration=0.5 -ac 1 -bitexact -map_metadata -1 " +
                             Quote(wav)),
            0);
        if (GetParam() == tkVorbis) {
            MakeFlacAudio(wav);
            return;
        }
        if (IsAsf()) {
            // An ASF file without description objects; its audio is the data object on.
            const std::string wma = Dir.Path("audio.wma");
            ASSERT_EQ(testsupport::Run("ffmpeg -v error -y -i " + Quote(wav) +
                                       " -c:a wmav2 -bitexact -map_metadata -1 " + Quote(wma)),
                      0);
            Bare = ReadFile(wma);
            fs::remove(wma);
            const size_t data = Bare.find("\x36\x26\xB2\x75\x8E\x66\xCF\x11");
            ASSERT_NE(data, std::string::npos);
            Audio = Bare.substr(data);
            ASSERT_EQ(Bare.find("\x33\x26\xB2\x75\x8E\x66\xCF\x11"), std::string::npos);
        } else {
            REQUIRE_TOOL("lame");
            ASSERT_EQ(testsupport::Run("lame --quiet -b 64 " + Quote(wav) + " " +
                                       Quote(Dir.Path("audio.mp3"))),
                      0);
            Audio = Bare = ReadFile(Dir.Path("audio.mp3"));
            fs::remove(Dir.Path("audio.mp3"));
            // lame writes no tag unless asked: the file is audio frames only.
            ASSERT_NE(Audio.substr(0, 3), "ID3");
            ASSERT_NE(Audio.substr(Audio.size() - 128, 3), "TAG");
        }
        fs::remove(wav);
        ASSERT_GT(Audio.size(), 1000u);
        File = Dir.Path(IsAsf() ? "song.wma" : "song.mp3");
        if (IsAsf()) Format = afWMA;
        if (GetParam() == tkTwinVQ) {
            Format = afTwinVQ;
            Audio = "DATA" + Audio;
            const std::string header = "COMM" + BE32(16) + BE32(0) + BE32(64) + BE32(22) + BE32(0) +
                                       "DSIZ" + BE32(4) + BE32(Audio.size() - 4);
            Bare = "TWIN97012000" + BE32(header.size()) + header + Audio;
            File = Dir.Path("song.vqf");
        }
    }

    // Vorbis comments live in FLAC metadata: the bare file is "fLaC" and STREAMINFO alone (the
    // last block), and the audio is the frames after it.
    void MakeFlacAudio(const std::string& wav) {
        REQUIRE_TOOL("flac");
        const std::string flac = Dir.Path("audio.flac");
        ASSERT_EQ(testsupport::Run("flac -s -f --no-padding --no-seektable " + Quote(wav) + " -o " +
                                   Quote(flac)),
                  0);
        const std::string bytes = ReadFile(flac);
        fs::remove(wav);
        fs::remove(flac);
        size_t at = 4;
        bool last = false;
        while (!last && at + 4 <= bytes.size()) {
            last = (bytes[at] & 0x80) != 0;
            at += 4 + ((static_cast<size_t>(static_cast<uint8_t>(bytes[at + 1])) << 16) |
                       (static_cast<size_t>(static_cast<uint8_t>(bytes[at + 2])) << 8) |
                       static_cast<uint8_t>(bytes[at + 3]));
        }
        ASSERT_EQ(bytes.substr(0, 4), "fLaC");
        Audio = bytes.substr(at);
        Bare = bytes.substr(0, 4 + 4 + 34) + Audio;
        Bare[4] = '\x80'; // STREAMINFO, the last block
        ASSERT_GT(Audio.size(), 1000u);
        File = Dir.Path("song.flac");
        Format = afFLAC;
    }

    TRef<TTagBase> TagWithFields(const std::string& title) const {
        TRef<TTagBase> tag = CreateTag(GetParam());
        auto set = [&](TTagField field, const std::string& value) {
            if (tag->SupportedFields & FieldBit(field)) tag->SetField(field, value);
        };
        set(tfTitle, title);
        set(tfArtist, "Artist");
        set(tfAlbum, "Album");
        set(tfYear, "2001");
        set(tfTrack, "3");
        set(tfComment, "A comment");
        set(tfGenre, "Rock");
        set(tfLyrics, "Some lyrics");
        set(tfComposer, "Composer");
        return tag;
    }
    bool Save(const std::string& title) { return TagWithFields(title)->Save(File); }
    bool Remove() { return CreateTag(GetParam())->Remove(File); }
    std::string Title() const {
        TRef<TTagBase> tag = CreateTag(GetParam());
        if (!tag->Read(File) || !tag->Valid) return "<no tag>";
        return tag->GetField(tfTitle);
    }
    bool SupportsTitle() const {
        return CreateTag(GetParam())->SupportedFields & FieldBit(tfTitle);
    }
    // Names in the directory other than the file itself (a "~" file left behind).
    std::string StrayFiles() const {
        std::string stray;
        for (const auto& entry : fs::directory_iterator(Dir.Root()))
            if (entry.path() != File) stray += entry.path().filename().string() + " ";
        return stray;
    }
    // The audio frames sit in one piece in the file: at the start when the tag trails them, at
    // the end when it leads them.
    ::testing::AssertionResult AudioIntact(const std::string& bytes, size_t at) const {
        if (bytes.size() >= at + Audio.size() && bytes.compare(at, Audio.size(), Audio) == 0)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "the audio bytes at " << at << " changed";
    }

    // Runs the operation with every fault the dry run shows a chance for; each must leave the
    // audio intact (a rebuild leaves the whole file identical), no stray file, and report false.
    void InjectEveryFault(const std::string& what, const std::string& original,
                          const std::function<bool()>& operation) {
        size_t audioAt = original.find(Audio);
        ASSERT_NE(audioAt, std::string::npos);
        WriteFile(File, original);
        ASSERT_TRUE(WithFault(TFault::None, 0, 0, operation)) << what << " without a fault";
        const TFaultState dry = State;
        const bool rebuilds = dry.Renames > 0;
        struct TCase {
            TFault Fault;
            int Nth;
            uint64_t Budget;
        };
        std::vector<TCase> cases;
        for (int n = 1; n <= dry.Writes; ++n) {
            cases.push_back({TFault::FailWrite, n, 0});
            cases.push_back({TFault::ShortWrite, n, 0});
        }
        for (uint64_t budget :
             {uint64_t{0}, uint64_t{1}, dry.BytesWritten / 2, dry.BytesWritten - 1})
            if (budget < dry.BytesWritten) cases.push_back({TFault::DiskFull, 0, budget});
        if (dry.Truncates) cases.push_back({TFault::FailTruncate, 0, 0});
        if (dry.Renames) cases.push_back({TFault::FailRename, 0, 0});
        if (dry.Syncs) cases.push_back({TFault::FailSync, 0, 0});
        if (dry.Creates) cases.push_back({TFault::FailCreate, 0, 0});
        if (dry.WriteOpens) cases.push_back({TFault::FailOpenWrite, 0, 0});
        for (const TCase& c : cases) {
            std::string name = what + ", " + FaultName(c.Fault) + " " + std::to_string(c.Nth) +
                               "/" + std::to_string(c.Budget);
            WriteFile(File, original);
            bool result = WithFault(c.Fault, c.Nth, c.Budget, operation);
            std::string after = ReadFile(File);
            EXPECT_FALSE(result) << name << ": the fault was reported as success";
            if (rebuilds) {
                EXPECT_TRUE(after == original) << name << ": the rebuilt file's original changed";
            } else {
                EXPECT_TRUE(AudioIntact(after, audioAt)) << name;
            }
            EXPECT_EQ(StrayFiles(), "") << name;
        }
        std::printf("%s: %zu faults injected (%d writes, %s)\n", what.c_str(), cases.size(),
                    dry.Writes, rebuilds ? "rebuilt" : "in place");
    }

    TTempDir Dir;
    bool IsAsf() const { return GetParam() == tkWMA || GetParam() == tkExWMA; }

    // Bare is the untagged file, Audio the bytes in it no tag writer may change (all of an MP3
    // file; an ASF file's data object, behind a header that holds the tags).
    std::string Bare, Audio, File;
    TAudioFormat Format = afMPEG;
};

std::string ParamName(const ::testing::TestParamInfo<int>& info) {
    std::string name;
    for (char c : TagKindName(info.param))
        if (std::isalnum(static_cast<unsigned char>(c))) name += c;
    return name;
}

} // namespace

TEST_P(TTagSafetyTest, SaveAndRemoveKeepEveryAudioByte) {
    WriteFile(File, Bare);
    ASSERT_TRUE(Save("First title"));
    std::string saved = ReadFile(File);
    EXPECT_GT(saved.size(), Audio.size());
    size_t at = saved.find(Audio);
    ASSERT_NE(at, std::string::npos) << "the audio frames are no longer in one piece";
    // A tag leads the audio or trails it; nothing but tag bytes on the other side.
    EXPECT_TRUE(at == 0 || at + Audio.size() == saved.size()) << "audio at " << at;
    if (SupportsTitle()) {
        EXPECT_EQ(Title(), "First title");
    }

    // A longer tag replaces the first in place of it, audio untouched.
    ASSERT_TRUE(Save("A much longer second title"));
    saved = ReadFile(File);
    at = saved.find(Audio);
    ASSERT_NE(at, std::string::npos);
    EXPECT_TRUE(at == 0 || at + Audio.size() == saved.size());
    EXPECT_EQ(saved.find(Audio, at + 1), std::string::npos) << "the audio was copied twice";
    if (SupportsTitle()) {
        EXPECT_EQ(Title().substr(0, 10), "A much lon");
    }

    ASSERT_TRUE(Remove());
    // A FLAC file keeps the room of the removed block as padding, as metaflac does.
    if (GetParam() == tkVorbis) {
        EXPECT_TRUE(AudioIntact(ReadFile(File), ReadFile(File).size() - Audio.size()));
        EXPECT_EQ(Title(), "<no tag>");
    } else {
        EXPECT_TRUE(ReadFile(File) == Bare) << "Remove did not give back the bare file";
    }
    EXPECT_EQ(StrayFiles(), "");
}

TEST_P(TTagSafetyTest, OtherTagsSurviveSaveAndRemove) {
    // Every built kind the format carries writes its tag first, each with its own title.
    WriteFile(File, Bare);
    std::vector<int> others;
    const std::vector<int> kinds =
        IsAsf() ? std::vector<int>{tkWMA, tkExWMA} : std::vector<int>{tkID3v2, tkAPE, tkID3v1};
    for (int kind : kinds) {
        TRef<TTagBase> tag = CreateTag(kind);
        if (!tag || kind == GetParam() || !(FormatsWithTag(kind) & FormatBit(Format))) continue;
        tag->SetField(tfTitle, "Title of " + TagKindName(kind));
        ASSERT_TRUE(tag->Save(File)) << TagKindName(kind);
        others.push_back(kind);
    }
    auto othersUnchanged = [&](const std::string& when) {
        for (int kind : others) {
            TRef<TTagBase> tag = CreateTag(kind);
            ASSERT_TRUE(tag->Read(File)) << when;
            EXPECT_TRUE(tag->Valid) << TagKindName(kind) << " lost " << when;
            EXPECT_EQ(tag->GetField(tfTitle), "Title of " + TagKindName(kind)) << when;
        }
        EXPECT_NE(ReadFile(File).find(Audio), std::string::npos) << when;
    };
    othersUnchanged("before");
    ASSERT_TRUE(Save("Mine"));
    othersUnchanged("after Save of " + TagKindName(GetParam()));
    if (SupportsTitle()) {
        EXPECT_EQ(Title(), "Mine");
    }
    ASSERT_TRUE(Remove());
    othersUnchanged("after Remove of " + TagKindName(GetParam()));
    EXPECT_EQ(Title(), "<no tag>");
}

TEST_P(TTagSafetyTest, FaultsWhileSavingANewTag) {
    InjectEveryFault(TagKindName(GetParam()) + " new", Bare, [&] { return Save("New title"); });
}

TEST_P(TTagSafetyTest, FaultsWhileReplacingATag) {
    WriteFile(File, Bare);
    ASSERT_TRUE(Save("Old title"));
    std::string tagged = ReadFile(File);
    InjectEveryFault(TagKindName(GetParam()) + " replace", tagged,
                     [&] { return Save("A replacement title that is longer than the old one"); });
}

TEST_P(TTagSafetyTest, FaultsWhileRemovingATag) {
    WriteFile(File, Bare);
    ASSERT_TRUE(Save("Doomed title"));
    std::string tagged = ReadFile(File);
    InjectEveryFault(TagKindName(GetParam()) + " remove", tagged, [&] { return Remove(); });
}

TEST_P(TTagSafetyTest, ReadOnlyFileIsRefusedAndUnchanged) {
    WriteFile(File, Bare);
    ASSERT_TRUE(Save("Kept title"));
    std::string tagged = ReadFile(File);
    ASSERT_EQ(::chmod(File.c_str(), 0444), 0);
    EXPECT_FALSE(Save("Other title"));
    EXPECT_FALSE(Remove());
    EXPECT_TRUE(ReadFile(File) == tagged);
    EXPECT_EQ(StrayFiles(), "");
    ::chmod(File.c_str(), 0644);
}

TEST_P(TTagSafetyTest, RemoveWithoutATagLeavesTheFileAlone) {
    WriteFile(File, Bare);
    Remove(); // true or false by kind: either way nothing may change
    EXPECT_TRUE(ReadFile(File) == Bare);
    EXPECT_EQ(StrayFiles(), "");
}

INSTANTIATE_TEST_SUITE_P(WritableKinds, TTagSafetyTest,
                         ::testing::Values(int{tkID3v1}, int{tkID3v1Lyrics}, int{tkID3v2},
                                           int{tkAPE}, int{tkTwinVQ}, int{tkWMA}, int{tkExWMA},
                                           int{tkVorbis}),
                         ParamName);
