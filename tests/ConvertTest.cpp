// Conversions whose rules show in reports and Info lines.
#include "core/Convert.h"
#include "core/StrList.h"
#include "core/Text.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace audiolens;

TEST(Convert, Integers) {
    EXPECT_EQ(IntToStr(INT32_MIN), "-2147483648");
    EXPECT_EQ(StrToInt("12ab"), 12);
    EXPECT_EQ(StrToInt(""), 0);
    EXPECT_EQ(StrToInt("abc"), 0);
    EXPECT_EQ(StrToInt("-17"), -17);
    EXPECT_EQ(StrToInt(" 5"), 0);
    EXPECT_EQ(StrToIntDef(" 42", -1), 42);
    EXPECT_EQ(StrToIntDef("42 ", -1), -1);
    EXPECT_EQ(StrToIntDef("$1F", -1), 31);
    EXPECT_EQ(StrToIntDef("0x10", -1), 16);
    EXPECT_EQ(StrToIntDef("", 7), 7);
    EXPECT_EQ(StrToIntDef("99999999999", 7), 7);
    EXPECT_EQ(StrToIntDef("-2147483648", 7), INT32_MIN);
}

TEST(Convert, FloatToStrFifteenDigits) {
    EXPECT_EQ(FloatToStr(0), "0");
    EXPECT_EQ(FloatToStr(1.5), "1.5");
    EXPECT_EQ(FloatToStr(100), "100");
    EXPECT_EQ(FloatToStr(1.0 / 3), "0.333333333333333");
    EXPECT_EQ(FloatToStr(0.001), "0.001");
    EXPECT_EQ(FloatToStr(2.5e15), "2500000000000000");
    EXPECT_EQ(FloatToStr(-0.25), "-0.25");
    EXPECT_EQ(FloatToStr(2.0 / 3), "0.666666666666667");
    // Rounding up to 10^15 must rescale, not give sixteen digits.
    EXPECT_EQ(FloatToStr(0.9999999999999999), "1");
    EXPECT_EQ(FloatToStr(99.99999999999999), "100");
}

TEST(Convert, FloatToStrNonFiniteDoesNotLoop) {
    EXPECT_EQ(FloatToStr(std::numeric_limits<double>::infinity()), "INF");
    EXPECT_EQ(FloatToStr(-std::numeric_limits<double>::infinity()), "-INF");
    EXPECT_EQ(FloatToStr(std::nan("")), "NAN");
    EXPECT_EQ(FloatToStr(5e-324).substr(0, 2), "0.");
}

TEST(Convert, FormatStr) {
    EXPECT_EQ(FormatStr("%u.%.2u Beta", {3u, 7u}), "3.07 Beta");
    EXPECT_EQ(FormatStr("[%s]", {std::string()}), "[]");
    EXPECT_EQ(FormatStr("%s=%d", {"a", -5}), "a=-5");
    EXPECT_EQ(FormatStr("100%%", {}), "100%");
    std::string big(5000, 'x');
    EXPECT_EQ(FormatStr("%s", {big}).size(), 1023u);
    EXPECT_EQ(FormatStr("%s%s", {}), ""); // missing arguments write nothing
}

TEST(Convert, StringHelpers) {
    std::string t = "a=b=c";
    EXPECT_EQ(FetchToken(t, "="), "a");
    EXPECT_EQ(t, "b=c");
    std::string none = "abc";
    EXPECT_EQ(FetchToken(none, "="), "abc");
    EXPECT_EQ(none, "");
    EXPECT_EQ(ExtractFileExt("/music/dir.old/file"), ".old/file");
    EXPECT_EQ(ExtractFileExt("name."), ".");
    EXPECT_EQ(ExtractFileExt("name"), "");
    EXPECT_EQ(Trim("\t a b \r\n"), "a b");
    EXPECT_EQ(UpperCase("abc\xC3\xA9"), "ABC\xC3\xA9");
    EXPECT_EQ(AnsiUpperCase("abc\xC3\xA9"), "ABC\xC3\x89");
    EXPECT_EQ(CopyFrom("hello", 0), "hello");
    EXPECT_EQ(CopyFrom("hello", 4), "lo");
    EXPECT_EQ(CharPos("hello", 'l'), 3);
    EXPECT_EQ(CharPos("hello", 'z'), -1);
    EXPECT_EQ(RepeatString("ab", 3), "ababab");
    std::string r = "one two two";
    EXPECT_TRUE(ReplaceFirst(r, "two", "2"));
    EXPECT_EQ(r, "one 2 two");
    EXPECT_FALSE(ReplaceFirst(r, "zzz", "2"));
}

TEST(Text, Utf16BothOrdersSurrogatesAndDamage) {
    EXPECT_EQ(Utf16ToSystem(std::string("\xFF\xFE"
                                        "A\0\xE9\0",
                                        6)),
              "A\xC3\xA9");
    EXPECT_EQ(Utf16ToSystem(std::string("\xFE\xFF\0A\0\xE9", 6)), "A\xC3\xA9");
    EXPECT_EQ(Utf16ToSystem(std::string("\0A", 2), true), "A");
    // U+1F600 as a surrogate pair, then an unpaired high surrogate, then an odd byte.
    EXPECT_EQ(Utf16ToSystem(std::string("\x3D\xD8\x00\xDE\x3D\xD8Z", 7)),
              "\xF0\x9F\x98\x80\xEF\xBF\xBD");
    EXPECT_EQ(Utf8ToSystem("ok\xFF\xC3"), "ok\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(DisplayText("caf\xE9 \x80"), "caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(DisplayText("caf\xC3\xA9"), "caf\xC3\xA9");
    bool lossless = false;
    EXPECT_EQ(SystemToLatin1("caf\xC3\xA9", lossless), "caf\xE9");
    EXPECT_TRUE(lossless);
    EXPECT_EQ(Utf16ToSystem(SystemToUtf16LE("\xF0\x9F\x98\x80x", true)), "\xF0\x9F\x98\x80x");
}

TEST(StrList, CStringRulesAndText) {
    TRef<TStrObjList> list(new TStrObjList);
    EXPECT_EQ(list->Get(-1), "");
    list->Add("a");
    list->Add(std::string("b\0hidden", 8));
    EXPECT_EQ(list->Get(1), "b");
    EXPECT_EQ(list->GetText(), "a\r\nb\r\n");
    EXPECT_EQ(list->Get(list->Count()), "");
    for (int i = 2; i < 19; ++i)
        list->Add(std::to_string(i));
    list->Put(3, "three");
    EXPECT_EQ(list->Count(), 19);
    EXPECT_EQ(list->Get(3), "three");
    EXPECT_EQ(list->Get(4), "4");
    TRef<TStrList> other(new TStrList);
    list->InsertObject(0, "x", other.Get());
    EXPECT_EQ(list->IndexOfObject(other.Get()), 0);
    EXPECT_EQ(list->GetObject(1), nullptr);
    list->Delete(0);
    EXPECT_EQ(list->IndexOfObject(other.Get()), -1);
    list->Clear();
    EXPECT_EQ(list->Count(), 0);
    EXPECT_EQ(list->GetText(), "");
}
