// The Win32 file service and code page: device names, files other programs hold open, names
// outside ASCII through the UTF-8 code page, the system's upper-casing, and the calls the safe
// replacement of a file is made of.
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
namespace pf = platform;

static pf::FileHandle OpenRead(const std::string& name) {
    return pf::Files().Open(name, pf::Access::Read, pf::Disposition::OpenExisting);
}

TEST(Win32Files, DeviceNamesAreNoFilesInAnyFolderOrWithAnyExtension) {
    // Checked by name only: nothing here opens, renames or removes a device. (NUL is a
    // character device on Windows; Wine makes it a disk file of its own, so it is not opened.)
    EXPECT_FALSE(OpenFileRead("CON")->IsOpen());
    for (const char* name : {"NUL", "nul.mp3", "C:\\music\\Com1.wav", "dir/aux", "\\\\.\\CON"}) {
        EXPECT_FALSE(pf::Files().IsRegularFile(name)) << name;
        EXPECT_FALSE(CanModifyFile(name)) << name;
    }
    TTempDir dir;
    WriteFile(dir.Path("nullify.mp3"), "x");
    EXPECT_TRUE(CanModifyFile(dir.Path("nullify.mp3")));
}

TEST(Win32Files, TheManifestMakesTheCodePageUtf8AndNamesStayLossless) {
    ASSERT_TRUE(pf::SystemCodePageIsUtf8());
    TTempDir dir;
    const std::string name = dir.Path("Grüße ☃.bin");
    ASSERT_TRUE(SaveStringToFile(name, "abc"));
    EXPECT_TRUE(FileExists(name));
    EXPECT_EQ(ReadFile(name), "abc");
    // The name the system stored is the UTF-8 text read as UTF-8, not as a legacy code page.
    const std::wstring wide = std::wstring(dir.Root().begin(), dir.Root().end()) + L"/Grüße ☃.bin";
    EXPECT_NE(GetFileAttributesW(wide.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(Win32Files, RebuildWithTheFileHeldElsewhereOrReadOnly) {
    TTempDir dir;
    const std::string name = dir.Path("song.mp3");
    // A player lets others read but not write; another program lets them write in place but not
    // delete; 0: the read-only attribute. A reader that shares everything (as this library's own
    // reads do) lets the rebuild through and keeps reading the old file; the new one keeps the
    // hidden attribute.
    const DWORD all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const auto asNew = [](TFileStream& original, TFileStream& rebuilt) {
        return original.GetSize() == 3 && rebuilt.Write("new", 3) == 3;
    };
    for (DWORD share :
         {DWORD(FILE_SHARE_READ), DWORD(FILE_SHARE_READ | FILE_SHARE_WRITE), 0ul, all}) {
        WriteFile(name, "old");
        ASSERT_TRUE(share != all || SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_HIDDEN));
        HANDLE held = share ? CreateFileA(name.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr)
                            : INVALID_HANDLE_VALUE;
        ASSERT_TRUE(share ? held != INVALID_HANDLE_VALUE
                          : SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_READONLY));
        EXPECT_EQ(CanModifyFile(name), (share & FILE_SHARE_WRITE) != 0) << share;
        EXPECT_EQ(OpenFileReadWrite(name)->IsOpen(), (share & FILE_SHARE_WRITE) != 0) << share;
        EXPECT_EQ(RebuildFile(name, asNew), share == all) << share << LastRewrite().Message;
        EXPECT_TRUE(share == all || LastRewrite().Outcome == TRewriteOutcome::Unchanged) << share;
        char bytes[4] = {};
        DWORD n = 0;
        EXPECT_TRUE(!share || (::ReadFile(held, bytes, 4, &n, nullptr) && n == 3)) << share;
        EXPECT_EQ(std::string(bytes, n), share ? "old" : "") << share;
        share ? CloseHandle(held) : SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(ReadFile(name), share == all ? "new" : "old") << share;
    }
    EXPECT_TRUE(GetFileAttributesA(name.c_str()) & FILE_ATTRIBUTE_HIDDEN);
    // Nothing is left beside the file.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Root()), {}), 1);
}

TEST(Win32Text, UpperCaseAndConversionsThroughTheSystemCodePage) {
    // Greek small letters have capitals of the same length; malformed bytes stay as they are.
    EXPECT_EQ(AnsiUpperCase("abcé"), "ABCÉ");
    EXPECT_EQ(AnsiUpperCase("αβ"), "ΑΒ");
    EXPECT_EQ(AnsiUpperCase("a\xFFz"), "A\xFFZ");
    // With the UTF-8 code page the system's conversions are plain UTF-8.
    EXPECT_EQ(pf::WideToSystem(u"Grüße ☃ 🎵"), "Grüße ☃ 🎵");
    EXPECT_EQ(pf::SystemToWide("Grüße ☃ 🎵"), u"Grüße ☃ 🎵");
    // UTF-16 tag text reaches the library as the same bytes as on Linux.
    EXPECT_EQ(Utf16ToSystem(std::string("\xFF\xFEG\0\x03\x26", 6), false), "G☃");
}

TEST(Win32Files, TheCallsOfTheSafeReplacement) {
    TTempDir dir;
    const std::string name = dir.Path("a.mp3"), link = dir.Path("c.mp3"), fresh = dir.Path("d");
    WriteFile(name, "audio");
    WriteFile(dir.Path("b.mp3"), "x");
    // CreateNew never takes an existing name and shuts others out while the file is written.
    EXPECT_EQ(pf::Files().CreateNew(name), pf::InvalidFile);
    const pf::FileHandle made = pf::Files().CreateNew(fresh);
    ASSERT_NE(made, pf::InvalidFile);
    EXPECT_EQ(OpenRead(fresh), pf::InvalidFile);
    pf::Files().Close(made);
    EXPECT_TRUE(FileExists(fresh));
    // The lock keeps out other writers but not readers.
    const pf::FileHandle first = OpenRead(name), second = OpenRead(name);
    ASSERT_TRUE(pf::Files().Lock(first, 0));
    const DWORD start = GetTickCount();
    EXPECT_FALSE(pf::Files().Lock(second, 200));
    EXPECT_GE(GetTickCount() - start, 150u);
    char bytes[5] = {};
    EXPECT_EQ(pf::Files().ReadAt(second, bytes, 5, 0), 5u);
    EXPECT_EQ(std::string(bytes, 5), "audio");
    pf::Files().Close(first);
    EXPECT_TRUE(pf::Files().Lock(second, 1000));
    // Info, SameFile across a hard link, and resolved names.
    pf::TFileInfo info;
    ASSERT_TRUE(pf::Files().Info(second, info));
    EXPECT_EQ(info.Size * 10 + info.Links, 51u);
    EXPECT_TRUE(pf::Files().SameFile(second, name));
    EXPECT_FALSE(pf::Files().SameFile(second, dir.Path("b.mp3")));
    ASSERT_TRUE(CreateHardLinkA(link.c_str(), name.c_str(), nullptr));
    EXPECT_TRUE(pf::Files().SameFile(second, link));
    EXPECT_TRUE(pf::Files().Info(second, info) && info.Links == 2);
    pf::Files().Close(second);
    EXPECT_EQ(ReadFile(name), "audio");
    EXPECT_EQ(pf::Files().ResolveName(name), name);
    EXPECT_EQ(pf::Files().ResolveName(dir.Path("missing.mp3")), "");
    // CopyRange leaves both positions; fewer bytes only where the source ends.
    const std::string from = dir.Path("from.bin"), to = dir.Path("to.bin");
    std::string data(3 << 20, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7 + i / 4096);
    WriteFile(from, data);
    WriteFile(to, "0123456789");
    const pf::FileHandle in = OpenRead(from), out = pf::Files().Open(to, pf::Access::ReadWrite,
                                                                     pf::Disposition::OpenExisting);
    ASSERT_TRUE(pf::Files().SeekTo(in, 11) && pf::Files().SeekTo(out, 3));
    EXPECT_EQ(pf::Files().CopyRange(in, 100, out, 4, data.size() - 200), data.size() - 200);
    EXPECT_EQ(pf::Files().Tell(in) * 10 + pf::Files().Tell(out), 113u);
    EXPECT_EQ(pf::Files().CopyRange(in, data.size() - 10, out, 0, 50), 10u);
    pf::Files().Close(in);
    pf::Files().Close(out);
    EXPECT_TRUE(ReadFile(to) ==
                data.substr(data.size() - 10) + data.substr(106, data.size() - 206));
}
