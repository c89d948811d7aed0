// The Win32 file service and code page: the console device, a file another program holds open,
// file names outside ASCII through the UTF-8 code page, and the system's upper-casing.
#include "TestSupport.h"
#include "core/Convert.h"
#include "core/FileRewrite.h"
#include "core/FileStream.h"
#include "core/Text.h"
#include "platform/CodePage.h"

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
