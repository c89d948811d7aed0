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
    const std::pair<const char*, int32_t> plain[] = {
        {"12ab", 12}, {"", 0}, {"abc", 0}, {"-17", -17}, {" 5", 0}};
    for (const auto& [text, value] : plain)
        EXPECT_EQ(StrToInt(text), value) << text;
    const std::pair<const char*, int32_t> withDefault[] = {{" 42", 42},
                                                           {"42 ", -1},
                                                           {"$1F", 31},
                                                           {"0x10", 16},
                                                           {"", -1},
                                                           {"99999999999", -1},
                                                           {"-2147483648", INT32_MIN}};
    for (const auto& [text, value] : withDefault)
        EXPECT_EQ(StrToIntDef(text, -1), value) << text;
}

TEST(Convert, FloatToStrFifteenDigitsAndNonFinite) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<double, const char*> rows[] = {
        {0, "0"},
        {1.5, "1.5"},
        {100, "100"},
        {1.0 / 3, "0.333333333333333"},
        {0.001, "0.001"},
        {2.5e15, "2500000000000000"},
        {-0.25, "-0.25"},
        {2.0 / 3, "0.666666666666667"},
        // Rounding up to 10^15 must rescale, not give sixteen digits.
        {0.9999999999999999, "1"},
        {99.99999999999999, "100"},
        // Nothing that is not finite may loop.
        {inf, "INF"},
        {-inf, "-INF"},
        {std::nan(""), "NAN"}};
    for (const auto& [value, text] : rows)
        EXPECT_EQ(FloatToStr(value), text);
    EXPECT_EQ(FloatToStr(5e-324).substr(0, 2), "0.");
}

TEST(Convert, FormatStrAndStringHelpers) {
    EXPECT_EQ(FormatStr("%u.%.2u Beta", {3u, 7u}), "3.07 Beta");
    EXPECT_EQ(FormatStr("[%s]", {std::string()}), "[]");
    EXPECT_EQ(FormatStr("%s=%d", {"a", -5}), "a=-5");
    EXPECT_EQ(FormatStr("100%%", {}), "100%");
    EXPECT_EQ(FormatStr("%s", {std::string(5000, 'x')}).size(), 1023u);
    EXPECT_EQ(FormatStr("%s%s", {}), ""); // missing arguments write nothing
    std::string t = "a=b=c", none = "abc";
    EXPECT_EQ(FetchToken(t, "=") + "|" + t, "a|b=c");
    EXPECT_EQ(FetchToken(none, "=") + "|" + none, "abc|");
    EXPECT_EQ(ExtractFileExt("/music/dir.old/file"), ".old/file");
    EXPECT_EQ(ExtractFileExt("name.") + ExtractFileExt("name"), ".");
    EXPECT_EQ(Trim("\t a b \r\n"), "a b");
    EXPECT_EQ(UpperCase("abc\xC3\xA9"), "ABC\xC3\xA9");
    EXPECT_EQ(AnsiUpperCase("abc\xC3\xA9"), "ABC\xC3\x89");
    EXPECT_EQ(CopyFrom("hello", 0) + CopyFrom("hello", 4), "hellolo");
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
    EXPECT_EQ(list->GetText(), "a\r\nb\r\n");
    EXPECT_EQ(list->Get(list->Count()), "");
    for (int i = 2; i < 19; ++i)
        list->Add(std::to_string(i));
    list->Put(3, "three");
    EXPECT_EQ(list->Count(), 19);
    EXPECT_EQ(list->Get(3) + list->Get(4), "three4");
    TRef<TStrList> other(new TStrList);
    list->InsertObject(0, "x", other.Get());
    EXPECT_EQ(list->IndexOfObject(other.Get()), 0);
    EXPECT_EQ(list->GetObject(1), nullptr);
    list->Delete(0);
    EXPECT_EQ(list->IndexOfObject(other.Get()), -1);
    list->Clear();
    EXPECT_EQ(list->GetText(), "");
}
