#include "platform/TextCodec.h"

#include <gtest/gtest.h>

#include <iconv.h>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

using namespace std::literals;
using platform::decodeCodePage;
using platform::encodeCodePage;

namespace {

std::string hex(std::string_view bytes) {
    std::string s;
    char buf[4];
    for (unsigned char b : bytes) {
        std::snprintf(buf, sizeof buf, "%02X ", b);
        s += buf;
    }
    return s;
}

std::string hex(std::u16string_view text) {
    std::string s;
    char buf[6];
    for (char16_t c : text) {
        std::snprintf(buf, sizeof buf, "%04X ", static_cast<unsigned>(c));
        s += buf;
    }
    return s;
}

constexpr char16_t FFFD = 0xFFFD;

// ---------------------------------------------------------------------------
// UTF-8 to UTF-16

struct Utf8Case {
    const char* name;
    std::string_view bytes;
    std::u16string expected;
    bool invalid;
};

void PrintTo(const Utf8Case& c, std::ostream* os) {
    *os << c.name;
}

class Utf8Decode : public testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8Decode, GivesUnitsAndFlag) {
    const Utf8Case& c = GetParam();
    bool invalid = !c.invalid;
    EXPECT_EQ(hex(platform::utf8ToUtf16(c.bytes, &invalid)), hex(c.expected));
    EXPECT_EQ(invalid, c.invalid);
    EXPECT_EQ(platform::isValidUtf8(c.bytes), !c.invalid);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, Utf8Decode,
    testing::Values(
        Utf8Case{"empty", ""sv, u"", false}, Utf8Case{"ascii_with_nul", "a\0b"sv, u"a\0b"s, false},
        Utf8Case{"two_byte_min", "\xC2\x80"sv, u"\u0080", false},
        Utf8Case{"two_byte_max", "\xDF\xBF"sv, u"\u07FF", false},
        Utf8Case{"three_byte_min", "\xE0\xA0\x80"sv, u"\u0800", false},
        Utf8Case{"euro", "\xE2\x82\xAC"sv, u"\u20AC", false},
        Utf8Case{"before_surrogates", "\xED\x9F\xBF"sv, u"\uD7FF", false},
        Utf8Case{"after_surrogates", "\xEE\x80\x80"sv, u"\uE000", false},
        Utf8Case{"bmp_max", "\xEF\xBF\xBF"sv, u"\uFFFF", false},
        Utf8Case{"four_byte_min", "\xF0\x90\x80\x80"sv, u"\U00010000", false},
        Utf8Case{"emoji", "\xF0\x9F\x98\x80"sv, std::u16string{0xD83D, 0xDE00}, false},
        Utf8Case{"max_scalar", "\xF4\x8F\xBF\xBF"sv, std::u16string{0xDBFF, 0xDFFF}, false},
        // Truncated: the maximal subpart is one replacement, the next byte stays.
        Utf8Case{"truncated_then_ascii",
                 "\xE2\x82"
                 "A"sv,
                 std::u16string{FFFD, u'A'}, true},
        Utf8Case{"truncated_at_end", "\xF0\x9F\x98"sv, std::u16string{FFFD}, true},
        Utf8Case{"lead_then_lead", "\xE2\xE2\x82\xAC"sv, std::u16string{FFFD, 0x20AC}, true},
        // Bytes that can never start a sequence are one replacement each.
        Utf8Case{"overlong_slash", "\xC0\xAF"sv, std::u16string{FFFD, FFFD}, true},
        Utf8Case{"overlong_c1", "\xC1\xBF"sv, std::u16string{FFFD, FFFD}, true},
        Utf8Case{"overlong_three", "\xE0\x80\x80"sv, std::u16string{FFFD, FFFD, FFFD}, true},
        Utf8Case{"overlong_four", "\xF0\x8F\xBF\xBF"sv, std::u16string{FFFD, FFFD, FFFD, FFFD},
                 true},
        Utf8Case{"surrogate", "\xED\xA0\x80"sv, std::u16string{FFFD, FFFD, FFFD}, true},
        Utf8Case{"low_surrogate", "\xED\xBF\xBF"sv, std::u16string{FFFD, FFFD, FFFD}, true},
        Utf8Case{"above_max", "\xF4\x90\x80\x80"sv, std::u16string{FFFD, FFFD, FFFD, FFFD}, true},
        Utf8Case{"f5_lead", "\xF5\x80"sv, std::u16string{FFFD, FFFD}, true},
        Utf8Case{"lone_continuation", "\x80"sv, std::u16string{FFFD}, true},
        Utf8Case{"fe_ff", "\xFE\xFF"sv, std::u16string{FFFD, FFFD}, true},
        // The example in the Unicode standard's discussion of U+FFFD substitution.
        Utf8Case{"standard_example", "\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64"sv,
                 std::u16string{u'a', FFFD, FFFD, FFFD, u'b', FFFD, u'c', FFFD, FFFD, u'd'}, true}),
    [](const testing::TestParamInfo<Utf8Case>& p) { return std::string(p.param.name); });

// The eight-bytes-at-a-time path must hand over cleanly wherever the first
// non-ASCII byte falls.
TEST(Utf8Decode, NonAsciiAtEveryOffsetOfABlock) {
    for (size_t at = 0; at <= 20; ++at) {
        SCOPED_TRACE(at);
        const std::string a(at, 'a'), b(21 - at, 'b');
        const std::u16string ua(at, u'a'), ub(21 - at, u'b');

        EXPECT_EQ(platform::utf8ToUtf16(a + "\xC3\xA9" + b), ua + u"\u00E9" + ub);
        EXPECT_EQ(platform::utf8ToUtf16(a + "\xF0\x9F\x98\x80" + b), ua + u"\U0001F600" + ub);
        bool invalid = false;
        EXPECT_EQ(platform::utf8ToUtf16(a + "\xFF" + b, &invalid), ua + FFFD + ub);
        EXPECT_TRUE(invalid);
        EXPECT_FALSE(platform::isValidUtf8(a + "\xFF" + b));
        EXPECT_FALSE(platform::isValidUtf8(a + "\xE2\x82"));
        EXPECT_TRUE(platform::isValidUtf8(a + "\xE2\x82\xAC" + b));
    }
}

// ---------------------------------------------------------------------------
// UTF-16 to UTF-8

struct Utf16Case {
    const char* name;
    std::u16string text;
    std::string_view expected;
};

void PrintTo(const Utf16Case& c, std::ostream* os) {
    *os << c.name;
}

class Utf16Encode : public testing::TestWithParam<Utf16Case> {};

TEST_P(Utf16Encode, GivesBytes) {
    EXPECT_EQ(hex(platform::utf16ToUtf8(GetParam().text)), hex(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, Utf16Encode,
    testing::Values(
        Utf16Case{"empty", u"", ""sv}, Utf16Case{"nul", u"\0"s, "\0"sv},
        Utf16Case{"ascii_max", u"\u007F", "\x7F"sv},
        Utf16Case{"two_byte_min", u"\u0080", "\xC2\x80"sv},
        Utf16Case{"e_acute", u"\u00E9", "\xC3\xA9"sv},
        Utf16Case{"two_byte_max", u"\u07FF", "\xDF\xBF"sv},
        Utf16Case{"three_byte_min", u"\u0800", "\xE0\xA0\x80"sv},
        Utf16Case{"zhong", u"\u4E2D", "\xE4\xB8\xAD"sv},
        Utf16Case{"bmp_max", u"\uFFFF", "\xEF\xBF\xBF"sv},
        Utf16Case{"first_supplementary", {0xD800, 0xDC00}, "\xF0\x90\x80\x80"sv},
        Utf16Case{"emoji", {0xD83D, 0xDE00}, "\xF0\x9F\x98\x80"sv},
        Utf16Case{"max_scalar", {0xDBFF, 0xDFFF}, "\xF4\x8F\xBF\xBF"sv},
        Utf16Case{"lone_high", {0xD800}, "\xEF\xBF\xBD"sv},
        Utf16Case{"lone_low", {0xDC00}, "\xEF\xBF\xBD"sv},
        Utf16Case{"high_then_ascii",
                  {0xD83D, u'A'},
                  "\xEF\xBF\xBD"
                  "A"sv},
        Utf16Case{"reversed_pair", {0xDE00, 0xD83D}, "\xEF\xBF\xBD\xEF\xBF\xBD"sv},
        Utf16Case{"high_high_low", {0xD83D, 0xD83D, 0xDE00}, "\xEF\xBF\xBD\xF0\x9F\x98\x80"sv}),
    [](const testing::TestParamInfo<Utf16Case>& p) { return std::string(p.param.name); });

// Every scalar value of the BMP survives both directions; the byte count is
// 1 for 128 values, 2 for 1920 and 3 for the other 61440 non-surrogates.
TEST(Utf8RoundTrip, WholeBasicPlane) {
    std::u16string all;
    for (char32_t c = 0; c <= 0xFFFF; ++c)
        if (c < 0xD800 || c > 0xDFFF) all.push_back(static_cast<char16_t>(c));
    all += u"\U00010000\U0001F600\U0010FFFF";
    const std::string utf8 = platform::utf16ToUtf8(all);
    EXPECT_EQ(utf8.size(), 128u + 1920u * 2 + 61440u * 3 + 3u * 4);
    EXPECT_TRUE(platform::isValidUtf8(utf8));
    bool invalid = true;
    EXPECT_EQ(platform::utf8ToUtf16(utf8, &invalid), all);
    EXPECT_FALSE(invalid);
}

// ---------------------------------------------------------------------------
// ANSI code page

struct LocaleCase {
    std::string_view locale;
    uint32_t codePage;
};

class AnsiCodePage : public testing::TestWithParam<LocaleCase> {};

TEST_P(AnsiCodePage, FromLocaleName) {
    EXPECT_EQ(platform::ansiCodePageForLocale(GetParam().locale), GetParam().codePage)
        << "locale \"" << GetParam().locale << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Names, AnsiCodePage,
    testing::Values(
        LocaleCase{"zh_CN.UTF-8", 936}, LocaleCase{"zh_CN", 936}, LocaleCase{"zh", 936},
        LocaleCase{"zh.GB18030", 936}, LocaleCase{"zh_SG.GBK", 936}, LocaleCase{"zh_TW.Big5", 950},
        LocaleCase{"zh_TW.UTF-8", 950}, LocaleCase{"zh_HK", 950}, LocaleCase{"zh_MO.UTF-8", 950},
        LocaleCase{"zh-TW", 950}, LocaleCase{"ja_JP", 932}, LocaleCase{"ja_JP.eucJP", 932},
        LocaleCase{"ja", 932}, LocaleCase{"ko_KR.UTF-8", 949}, LocaleCase{"ru_RU", 1251},
        LocaleCase{"ru_RU.KOI8-R@x", 1251}, LocaleCase{"uk_UA.UTF-8", 1251},
        LocaleCase{"bg_BG", 1251}, LocaleCase{"pl_PL.ISO-8859-2", 1250}, LocaleCase{"cs_CZ", 1250},
        LocaleCase{"hu_HU.UTF-8", 1250}, LocaleCase{"tr_TR.UTF-8", 1254}, LocaleCase{"vi_VN", 1258},
        LocaleCase{"en_US.UTF-8", 1252}, LocaleCase{"de_DE@euro", 1252}, LocaleCase{"C", 1252},
        LocaleCase{"C.UTF-8", 1252}, LocaleCase{"POSIX", 1252}, LocaleCase{"", 1252},
        // The territory never turns another language into one of these.
        LocaleCase{"en_CN.UTF-8", 1252}, LocaleCase{"en_TW", 1252}, LocaleCase{"zhx_TW", 1252},
        LocaleCase{"jav_ID", 1252}, LocaleCase{"zh_T", 936}, LocaleCase{"_TW", 1252},
        // An encoding or modifier is not a territory.
        LocaleCase{"zh.TW", 936}, LocaleCase{"zh@TW", 936}));

class EnvironmentGuard {
public:
    EnvironmentGuard() {
        for (const char* name : kNames) {
            const char* v = std::getenv(name);
            m_saved.push_back(v ? std::optional<std::string>(v) : std::nullopt);
        }
    }
    ~EnvironmentGuard() {
        for (size_t i = 0; i < std::size(kNames); ++i) {
            if (m_saved[i])
                setenv(kNames[i], m_saved[i]->c_str(), 1);
            else
                unsetenv(kNames[i]);
        }
    }
    static constexpr const char* kNames[] = {"LC_ALL", "LC_CTYPE", "LANG"};

private:
    std::vector<std::optional<std::string>> m_saved;
};

TEST(AnsiCodePage, EnvironmentPrecedence) {
    EnvironmentGuard guard;
    setenv("LC_ALL", "ru_RU.UTF-8", 1);
    setenv("LC_CTYPE", "ja_JP.UTF-8", 1);
    setenv("LANG", "zh_TW.UTF-8", 1);
    EXPECT_EQ(platform::ansiCodePage(), 1251u);
    setenv("LC_ALL", "", 1);  // empty counts as unset
    EXPECT_EQ(platform::ansiCodePage(), 932u);
    unsetenv("LC_CTYPE");
    EXPECT_EQ(platform::ansiCodePage(), 950u);
    unsetenv("LANG");
    EXPECT_EQ(platform::ansiCodePage(), 1252u);
}

// ---------------------------------------------------------------------------
// Code pages

TEST(IconvNames, EveryNameOpensBothWays) {
    int names = 0;
    for (uint32_t cp = 0; cp < 70000; ++cp) {
        const char* name = platform::iconvNameForCodePage(cp);
        if (!name) continue;
        ++names;
        SCOPED_TRACE(cp);
        for (bool toWide : {true, false}) {
            iconv_t cd = toWide ? iconv_open("UTF-16LE", name) : iconv_open(name, "UTF-16LE");
            EXPECT_NE(cd, reinterpret_cast<iconv_t>(static_cast<intptr_t>(-1))) << name;
            if (cd != reinterpret_cast<iconv_t>(static_cast<intptr_t>(-1))) iconv_close(cd);
        }
    }
    EXPECT_GT(names, 100);
    for (uint32_t cp : {0u, 1u, 720u, 52936u, 57002u, 50000u, 0xFFFFFFFFu})
        EXPECT_EQ(platform::iconvNameForCodePage(cp), nullptr) << cp;
}

struct DecodeCase {
    const char* name;
    uint32_t codePage;
    std::string_view bytes;
    std::u16string expected;
    bool lossy;
};

void PrintTo(const DecodeCase& c, std::ostream* os) {
    *os << c.name;
}

class Decode : public testing::TestWithParam<DecodeCase> {};

TEST_P(Decode, GivesTextAndLossy) {
    const DecodeCase& c = GetParam();
    std::u16string out = u"left over";
    bool lossy = !c.lossy;
    ASSERT_TRUE(decodeCodePage(c.bytes, c.codePage, out, &lossy));
    EXPECT_EQ(hex(out), hex(c.expected));
    EXPECT_EQ(lossy, c.lossy);
}

INSTANTIATE_TEST_SUITE_P(
    CodePages, Decode,
    testing::Values(
        DecodeCase{"gb_zhongwen", 936, "\xD6\xD0\xCE\xC4"sv, u"\u4E2D\u6587", false},
        DecodeCase{"gbk_extension", 936, "\x81\x40"sv, u"\u4E02", false},
        DecodeCase{"cp936_euro", 936, "\x80"sv, u"\u20AC", false},
        DecodeCase{"cp936_bad_lead", 936,
                   "A\xFF"
                   "B"sv,
                   std::u16string{u'A', FFFD, u'B'}, true},
        DecodeCase{"cp936_bad_trail", 936, "\xD6\x20"sv, std::u16string{FFFD, u' '}, true},
        DecodeCase{"cp936_truncated", 936, "\xD6\xD0\xD6"sv, std::u16string{0x4E2D, FFFD}, true},
        DecodeCase{"gb18030_four_byte", 54936, "\x94\x39\xFC\x36"sv, u"\U0001F600", false},
        DecodeCase{"big5", 950, "\xA4\xA4\xA4\xE5"sv, u"\u4E2D\u6587", false},
        DecodeCase{"shift_jis", 932, "\x93\xFA\x96\x7B\xB1\x5C"sv, u"\u65E5\u672C\uFF71\\", false},
        DecodeCase{"euc_jp", 51932, "\xC6\xFC\xCB\xDC"sv, u"\u65E5\u672C", false},
        DecodeCase{"iso2022jp", 50220, "\x1B$B\x46\x7C\x4B\x5C\x1B(BA"sv, u"\u65E5\u672CA", false},
        DecodeCase{"euc_kr", 51949, "\xC7\xD1\xB1\xB9"sv, u"\uD55C\uAD6D", false},
        DecodeCase{"uhc", 949, "\xC7\xD1\xB1\xB9"sv, u"\uD55C\uAD6D", false},
        DecodeCase{"windows1251", 1251, "\xCF\xF0\xE8\xE2\xE5\xF2\xA8\xB8"sv,
                   u"\u041F\u0440\u0438\u0432\u0435\u0442\u0401\u0451", false},
        DecodeCase{"windows1252", 1252, "\x80\x9F\xE9"sv, u"\u20AC\u0178\u00E9", false},
        DecodeCase{"windows1252_undefined", 1252, "\x81"sv, std::u16string{FFFD}, true},
        DecodeCase{"latin1", 28591, "\x80\xFF"sv, u"\u0080\u00FF", false},
        DecodeCase{"latin2", 28592, "\xA1"sv, u"\u0104", false},
        DecodeCase{"greek", 28597, "\xC1"sv, u"\u0391", false},
        DecodeCase{"thai", 874, "\xA1"sv, u"\u0E01", false},
        DecodeCase{"koi8r", 20866, "\xF0\xD2\xC9\xD7\xC5\xD4"sv,
                   u"\u041F\u0440\u0438\u0432\u0435\u0442", false},
        DecodeCase{"ascii_high_byte", 20127, "A\x80"sv, std::u16string{u'A', FFFD}, true},
        DecodeCase{"ebcdic037", 37, "\xC1\x81\xF0\x40"sv, u"Aa0 ", false},
        DecodeCase{"utf7_rfc2152", 65000, "A+ImIDkQ."sv, u"A\u2262\u0391.", false},
        DecodeCase{"utf7_plus", 65000, "+-"sv, u"+", false},
        DecodeCase{"utf8", 65001, "\xE4\xB8\xAD"sv, u"\u4E2D", false},
        DecodeCase{"utf8_invalid", 65001, "\xC0\xAF"sv, std::u16string{FFFD, FFFD}, true},
        DecodeCase{"utf16le", 1200, "A\0\x3D\xD8\x00\xDE"sv, u"A\U0001F600", false},
        DecodeCase{"utf16le_odd", 1200, "A\0B"sv, std::u16string{u'A', FFFD}, true},
        DecodeCase{"utf16le_lone_surrogate_kept", 1200, "\x00\xDC"sv, std::u16string{0xDC00},
                   false},
        DecodeCase{"utf16be", 1201, "\0A\xD8\x3D\xDE\x00"sv, u"A\U0001F600", false},
        DecodeCase{"utf16be_odd", 1201, "\0A\0"sv, std::u16string{u'A', FFFD}, true},
        DecodeCase{"utf16_empty", 1200, ""sv, u"", false},
        DecodeCase{"utf32le", 12000, "A\0\0\0\x00\xF6\x01\x00"sv, u"A\U0001F600", false},
        DecodeCase{"utf32be", 12001, "\0\0\0A\x00\x01\xF6\x00"sv, u"A\U0001F600", false},
        DecodeCase{"utf32_surrogate", 12000, "\x00\xD8\x00\x00"sv, std::u16string{FFFD}, true},
        DecodeCase{"utf32_too_big", 12000, "\x00\x00\x11\x00"sv, std::u16string{FFFD}, true},
        DecodeCase{"utf32_truncated", 12000, "A\0\0\0B"sv, std::u16string{u'A', FFFD}, true},
        DecodeCase{"empty", 936, ""sv, u"", false}),
    [](const testing::TestParamInfo<DecodeCase>& p) { return std::string(p.param.name); });

struct EncodeCase {
    const char* name;
    uint32_t codePage;
    std::u16string text;
    std::string_view expected;
    bool lossy;
};

void PrintTo(const EncodeCase& c, std::ostream* os) {
    *os << c.name;
}

class Encode : public testing::TestWithParam<EncodeCase> {};

TEST_P(Encode, GivesBytesAndLossy) {
    const EncodeCase& c = GetParam();
    std::string out = "left over";
    bool lossy = !c.lossy;
    ASSERT_TRUE(encodeCodePage(c.text, c.codePage, out, &lossy));
    EXPECT_EQ(hex(out), hex(c.expected));
    EXPECT_EQ(lossy, c.lossy);
}

INSTANTIATE_TEST_SUITE_P(
    CodePages, Encode,
    testing::Values(
        EncodeCase{"gb_zhongwen", 936, u"\u4E2D\u6587", "\xD6\xD0\xCE\xC4"sv, false},
        EncodeCase{"cp936_emoji_is_one_char", 936, u"\U0001F600", "?"sv, true},
        EncodeCase{"cp936_emoji_between", 936, u"A\U0001F600B", "A?B"sv, true},
        EncodeCase{"cp936_lone_high", 936, {0xD800}, "?"sv, true},
        EncodeCase{"cp936_lone_high_then_ascii", 936, {0xD800, u'A'}, "?A"sv, true},
        EncodeCase{"cp936_lone_low", 936, {0xDC00, u'A'}, "?A"sv, true},
        EncodeCase{"gb18030_emoji", 54936, u"\U0001F600", "\x94\x39\xFC\x36"sv, false},
        EncodeCase{"big5", 950, u"\u4E2D\u6587", "\xA4\xA4\xA4\xE5"sv, false},
        EncodeCase{"shift_jis", 932, u"\u65E5\u672C\uFF71", "\x93\xFA\x96\x7B\xB1"sv, false},
        EncodeCase{"euc_kr", 51949, u"\uD55C\uAD6D", "\xC7\xD1\xB1\xB9"sv, false},
        EncodeCase{"windows1251", 1251, u"\u041F\u0440\u0438\u0432\u0435\u0442",
                   "\xCF\xF0\xE8\xE2\xE5\xF2"sv, false},
        EncodeCase{"koi8r", 20866, u"\u041F\u0440\u0438\u0432\u0435\u0442",
                   "\xF0\xD2\xC9\xD7\xC5\xD4"sv, false},
        EncodeCase{"windows1252", 1252, u"\u20AC\u00E9", "\x80\xE9"sv, false},
        EncodeCase{"windows1252_chinese", 1252, u"\u4E2D", "?"sv, true},
        EncodeCase{"windows1252_two_emoji", 1252, u"\U0001F600\U0001F600", "??"sv, true},
        EncodeCase{"latin1", 28591, u"\u00FF", "\xFF"sv, false},
        EncodeCase{"latin1_euro", 28591, u"\u20AC", "?"sv, true},
        EncodeCase{"ascii", 20127, u"a\u00E9", "a?"sv, true},
        // EBCDIC has its own question mark (0x6F).
        EncodeCase{"ebcdic037", 37, u"A?\u4E2D", "\xC1\x6F\x6F"sv, true},
        // The shift back to ASCII at the end, and before a replacement.
        EncodeCase{"iso2022jp", 50220, u"\u65E5\u672C", "\x1B$B\x46\x7C\x4B\x5C\x1B(B"sv, false},
        EncodeCase{"iso2022jp_replacement", 50220, u"\u65E5\U0001F600", "\x1B$B\x46\x7C\x1B(B?"sv,
                   true},
        EncodeCase{"utf8", 65001, u"\u4E2D", "\xE4\xB8\xAD"sv, false},
        EncodeCase{"utf8_lone_surrogate", 65001, {u'A', 0xD800}, "A\xEF\xBF\xBD"sv, true},
        EncodeCase{"utf16le", 1200, u"A\U0001F600", "A\0\x3D\xD8\x00\xDE"sv, false},
        EncodeCase{"utf16be", 1201, u"A\U0001F600", "\0A\xD8\x3D\xDE\x00"sv, false},
        EncodeCase{"utf16le_lone_surrogate_kept", 1200, {0xDC00}, "\x00\xDC"sv, false},
        EncodeCase{"utf32le", 12000, u"A\U0001F600", "A\0\0\0\x00\xF6\x01\x00"sv, false},
        EncodeCase{"utf32be", 12001, u"A\U0001F600", "\0\0\0A\x00\x01\xF6\x00"sv, false},
        EncodeCase{"utf32_lone_surrogate", 12000, {0xD800}, "\xFD\xFF\x00\x00"sv, true},
        EncodeCase{"empty", 936, u"", ""sv, false}),
    [](const testing::TestParamInfo<EncodeCase>& p) { return std::string(p.param.name); });

TEST(CodePages, WithoutConverterRefuse) {
    for (uint32_t cp : {0u, 720u, 52936u, 57002u, 50000u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(cp);
        std::u16string text = u"left over";
        std::string bytes = "left over";
        bool lossy = true;
        EXPECT_FALSE(decodeCodePage("abc", cp, text, &lossy));
        EXPECT_TRUE(text.empty());
        EXPECT_FALSE(lossy);
        lossy = true;
        EXPECT_FALSE(encodeCodePage(u"abc", cp, bytes, &lossy));
        EXPECT_TRUE(bytes.empty());
        EXPECT_FALSE(lossy);
    }
}

// Converters are kept between calls; a conversion must not see the shift
// state an earlier one ended in, whichever others ran in between.
TEST(CodePages, NoStateCarriesOver) {
    std::u16string text;
    std::string bytes;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(decodeCodePage("\x1B$B\x46\x7C", 50220, text));  // ends in two-byte mode
        EXPECT_EQ(text, u"\u65E5");
        ASSERT_TRUE(decodeCodePage("\x46\x7C", 50220, text));
        EXPECT_EQ(text, u"F|");
        ASSERT_TRUE(encodeCodePage(u"\u65E5", 50220, bytes));
        ASSERT_TRUE(encodeCodePage(u"A", 50220, bytes));
        EXPECT_EQ(bytes, "A");
        for (uint32_t cp : {936u, 950u, 932u, 1251u, 1252u, 20866u})
            ASSERT_TRUE(decodeCodePage("A", cp, text)) << cp;
    }
}

// Output many times the first guess at its size, with replacements spread through.
TEST(CodePages, LongTextBothWays) {
    std::u16string text;
    std::string expected;
    for (int i = 0; i < 100000; ++i) {
        if (i % 1000 == 999) {
            text += u"\U0001F600";
            expected += '?';
        } else {
            text += u"\u4E2D";
            expected += "\xD6\xD0";
        }
    }
    std::string bytes;
    bool lossy = false;
    ASSERT_TRUE(encodeCodePage(text, 936, bytes, &lossy));
    EXPECT_TRUE(lossy);
    EXPECT_EQ(bytes, expected);

    std::u16string back;
    ASSERT_TRUE(decodeCodePage(bytes, 936, back, &lossy));
    EXPECT_FALSE(lossy);
    ASSERT_EQ(back.size(), 100000u);
    EXPECT_EQ(back[0], u'\u4E2D');
    EXPECT_EQ(back[999], u'?');
    EXPECT_EQ(back[99999], u'?');
}

// Arbitrary bytes in every kind of converter (stateful, multi-byte, the
// direct ones): always a result, never a crash or a hang.
TEST(CodePages, ArbitraryBytes) {
    uint32_t seed = 12345;
    std::string noise(20000, '\0');
    for (char& b : noise) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<char>(seed >> 24);
    }
    for (uint32_t cp : {936u, 54936u, 950u, 932u, 949u, 51932u, 50220u, 50225u, 50227u, 65000u,
                        65001u, 1200u, 1201u, 12000u, 12001u, 37u, 1252u}) {
        SCOPED_TRACE(cp);
        std::u16string text;
        std::string bytes;
        ASSERT_TRUE(decodeCodePage(noise, cp, text));
        EXPECT_FALSE(text.empty());
        ASSERT_TRUE(encodeCodePage(text, cp, bytes));
        EXPECT_FALSE(bytes.empty());
    }
}

}  // namespace
