// The Win32 file service and code page: device names, a file another program holds open, file
// names outside ASCII through the UTF-8 code page, the system's upper-casing, and the calls the
// safe replacement of a file is made of.
#include "TestSupport.h"
#include "core/Convert.h"
#include "core/FileRewrite.h"
#include "core/FileStream.h"
#include "core/Text.h"
#include "platform/CodePage.h"
#include "platform/FileService.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <windows.h>

using namespace audiolens;
using namespace testsupport;

TEST(Win32Files, TheConsoleIsNoFile) {
    // (NUL is a character device on Windows, which the open refuses; Wine makes it a disk file
    // of its own, so it is not tested here.)
    EXPECT_FALSE(OpenFileRead("CON")->IsOpen());
}

TEST(Win32Files, TheManifestMakesTheCodePageUtf8AndNamesStayLossless) {
    ASSERT_TRUE(platform::SystemCodePageIsUtf8());
    TTempDir dir;
    const std::string name = dir.Path("Gr\xC3\xBC\xC3\x9F"
                                      "e \xE2\x98\x83.bin");
    ASSERT_TRUE(SaveStringToFile(name, "abc"));
    EXPECT_TRUE(FileExists(name));
    // The name the system stored is the UTF-8 text read as UTF-8, not as a legacy code page.
    const std::wstring wide =
        std::wstring(dir.Root().begin(), dir.Root().end()) + L"/Gr\u00FC\u00DFe \u2603.bin";
    EXPECT_NE(GetFileAttributesW(wide.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(ReadFile(name), "abc");
}

TEST(Win32Files, AFileHeldOpenByAnotherProgramIsRefusedAndKept) {
    TTempDir dir;
    const std::string name = dir.Path("held.mp3");
    WriteFile(name, "original bytes");
    // A player holding the file lets others read, not write.
    HANDLE held = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(CanModifyFile(name));
    EXPECT_FALSE(OpenFileReadWrite(name)->IsOpen());
    EXPECT_FALSE(RebuildFile(
        name, [](TFileStream&, TFileStream& rebuilt) { return rebuilt.Write("new", 3) == 3; }));
    CloseHandle(held);
    EXPECT_EQ(ReadFile(name), "original bytes");
    EXPECT_FALSE(FileExists(name + "~"));
}

TEST(Win32Files, RebuildReplacesTheFileAndKeepsItsAttributes) {
    TTempDir dir;
    const std::string name = dir.Path("song.mp3");
    WriteFile(name, "old");
    ASSERT_TRUE(SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_HIDDEN));
    EXPECT_TRUE(RebuildFile(name, [](TFileStream& original, TFileStream& rebuilt) {
        return original.GetSize() == 3 && rebuilt.Write("newer", 5) == 5;
    }));
    EXPECT_EQ(ReadFile(name), "newer");
    EXPECT_TRUE(GetFileAttributesA(name.c_str()) & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_FALSE(FileExists(name + "~"));
}

TEST(Win32Files, ReadOnlyAttributeRefusesWrites) {
    TTempDir dir;
    const std::string name = dir.Path("locked.mp3");
    WriteFile(name, "keep");
    ASSERT_TRUE(SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(CanModifyFile(name));
    EXPECT_FALSE(OpenFileReadWrite(name)->IsOpen());
    SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(ReadFile(name), "keep");
}

TEST(Win32Text, UpperCaseFollowsTheSystemAndKeepsLengths) {
    EXPECT_EQ(AnsiUpperCase("abc\xC3\xA9"), "ABC\xC3\x89");
    // Greek small letters have capitals of the same length; the system knows them.
    EXPECT_EQ(AnsiUpperCase("\xCE\xB1\xCE\xB2"), "\xCE\x91\xCE\x92");
    // Malformed bytes stay as they are.
    EXPECT_EQ(AnsiUpperCase("a\xFF"
                            "b"),
              "A\xFF"
              "B");
}

TEST(Win32Text, ConversionsThroughTheSystemCodePage) {
    // With the UTF-8 code page the system's conversions are plain UTF-8.
    const std::u16string wide = u"Gr\u00FC\u00DFe \u2603 \U0001F3B5";
    const std::string utf8 = "Gr\xC3\xBC\xC3\x9F"
                             "e \xE2\x98\x83 \xF0\x9F\x8E\xB5";
    EXPECT_EQ(platform::WideToSystem(wide), utf8);
    EXPECT_EQ(platform::SystemToWide(utf8), wide);
    // UTF-16 tag text reaches the library as the same bytes as on Linux.
    const std::string snowman("\xFF\xFE"
                              "G\0\x03\x26",
                              6);
    EXPECT_EQ(Utf16ToSystem(snowman, false), "G\xE2\x98\x83");
}

// ---- The calls of the safe replacement.

namespace {

namespace pf = platform;

pf::FileHandle OpenRead(const std::string& name) {
    return pf::Files().Open(name, pf::Access::Read, pf::Disposition::OpenExisting);
}

} // namespace

TEST(Win32Files, DeviceNamesAreNoFilesInAnyFolderOrWithAnyExtension) {
    // Checked by name only: nothing here opens, renames or removes a device.
    for (const char* name : {"NUL", "nul.mp3", "C:\\music\\Com1.wav", "dir/aux", "\\\\.\\CON"}) {
        EXPECT_FALSE(pf::Files().IsRegularFile(name)) << name;
        EXPECT_FALSE(CanModifyFile(name)) << name;
    }
    TTempDir dir;
    const std::string plain = dir.Path("nullify.mp3");
    WriteFile(plain, "x");
    EXPECT_TRUE(CanModifyFile(plain));
}

TEST(Win32Files, CreateNewNeverTakesAnExistingNameAndShutsOthersOut) {
    TTempDir dir;
    const std::string name = dir.Path("new.bin");
    WriteFile(name, "there");
    EXPECT_EQ(pf::Files().CreateNew(name), pf::InvalidFile);
    EXPECT_EQ(ReadFile(name), "there");
    const std::string fresh = dir.Path("fresh.bin");
    const pf::FileHandle made = pf::Files().CreateNew(fresh);
    ASSERT_NE(made, pf::InvalidFile);
    EXPECT_EQ(OpenRead(fresh), pf::InvalidFile); // no one else reads it while it is written
    pf::Files().Close(made);
    EXPECT_TRUE(FileExists(fresh));
}

TEST(Win32Files, TheLockKeepsOutOtherWritersButNotReaders) {
    TTempDir dir;
    const std::string name = dir.Path("song.mp3");
    WriteFile(name, "audio bytes");
    const pf::FileHandle first = OpenRead(name), second = OpenRead(name);
    ASSERT_TRUE(first != pf::InvalidFile && second != pf::InvalidFile);
    ASSERT_TRUE(pf::Files().Lock(first, 0));
    const DWORD start = GetTickCount();
    EXPECT_FALSE(pf::Files().Lock(second, 200));
    EXPECT_GE(GetTickCount() - start, 150u);
    char bytes[5] = {};
    EXPECT_EQ(pf::Files().ReadAt(second, bytes, 5, 0), 5u);
    EXPECT_EQ(std::string(bytes, 5), "audio");
    pf::Files().Close(first);
    EXPECT_TRUE(pf::Files().Lock(second, 1000));
    pf::Files().Close(second);
}

TEST(Win32Files, InfoSameFileAndResolvedNames) {
    TTempDir dir;
    const std::string name = dir.Path("a.mp3"), other = dir.Path("b.mp3");
    WriteFile(name, "12345");
    WriteFile(other, "x");
    const pf::FileHandle handle = OpenRead(name);
    ASSERT_NE(handle, pf::InvalidFile);
    pf::TFileInfo info;
    ASSERT_TRUE(pf::Files().Info(handle, info));
    EXPECT_EQ(info.Size, 5u);
    EXPECT_EQ(info.Links, 1u);
    EXPECT_TRUE(pf::Files().SameFile(handle, name));
    EXPECT_FALSE(pf::Files().SameFile(handle, other));
    ASSERT_TRUE(CreateHardLinkA(dir.Path("c.mp3").c_str(), name.c_str(), nullptr));
    EXPECT_TRUE(pf::Files().SameFile(handle, dir.Path("c.mp3")));
    ASSERT_TRUE(pf::Files().Info(handle, info));
    EXPECT_EQ(info.Links, 2u);
    pf::Files().Close(handle);
    EXPECT_EQ(pf::Files().ResolveName(name), name);
    EXPECT_EQ(pf::Files().ResolveName(dir.Path("missing.mp3")), "");
}

TEST(Win32Files, CopyRangeCopiesAtPositionsAndLeavesBothPositions) {
    TTempDir dir;
    const std::string from = dir.Path("from.bin"), to = dir.Path("to.bin");
    std::string data(3 << 20, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7 + i / 4096);
    WriteFile(from, data);
    WriteFile(to, "0123456789");
    const pf::FileHandle in = OpenRead(from);
    const pf::FileHandle out =
        pf::Files().Open(to, pf::Access::ReadWrite, pf::Disposition::OpenExisting);
    ASSERT_TRUE(in != pf::InvalidFile && out != pf::InvalidFile);
    ASSERT_TRUE(pf::Files().SeekTo(in, 11) && pf::Files().SeekTo(out, 3));
    EXPECT_EQ(pf::Files().CopyRange(in, 100, out, 4, data.size() - 200), data.size() - 200);
    EXPECT_EQ(pf::Files().Tell(in), 11u);
    EXPECT_EQ(pf::Files().Tell(out), 3u);
    // Fewer bytes only where the source ends.
    EXPECT_EQ(pf::Files().CopyRange(in, data.size() - 10, out, 0, 50), 10u);
    pf::Files().Close(in);
    pf::Files().Close(out);
    const std::string copied = ReadFile(to);
    ASSERT_EQ(copied.size(), 4 + data.size() - 200);
    EXPECT_TRUE(copied.substr(0, 10) == data.substr(data.size() - 10));
    EXPECT_TRUE(copied.substr(10) == data.substr(106, data.size() - 206));
}

TEST(Win32Files, RebuildWithTheFileOpenElsewhere) {
    TTempDir dir;
    const std::string name = dir.Path("song.mp3");
    auto rebuild = [&] {
        return RebuildFile(
            name, [](TFileStream&, TFileStream& rebuilt) { return rebuilt.Write("new", 3) == 3; });
    };
    // A reader that shares everything (as this library's own reads do) keeps the old file.
    WriteFile(name, "old");
    HANDLE sharing = CreateFileA(name.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(sharing, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(rebuild()) << LastRewrite().Message;
    char bytes[3] = {};
    DWORD n = 0;
    EXPECT_TRUE(::ReadFile(sharing, bytes, 3, &n, nullptr) && n == 3 &&
                std::string(bytes, 3) == "old");
    CloseHandle(sharing);
    EXPECT_EQ(ReadFile(name), "new");
    // One that lets others write but not delete: refused, the original whole.
    WriteFile(name, "old");
    HANDLE holding = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holding, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(rebuild());
    EXPECT_EQ(LastRewrite().Outcome, TRewriteOutcome::Unchanged);
    CloseHandle(holding);
    EXPECT_EQ(ReadFile(name), "old");
    // Nothing is left beside the file either way.
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Root()))
        ++entries;
    EXPECT_EQ(entries, 1);
}
