#include "xml/XmlEncodings.h"

#include "platform/TextCodec.h"

#include <gtest/gtest.h>

#include <ostream>
#include <set>
#include <string>
#include <string_view>

using namespace std::literals;

namespace {

std::u16string widen(std::string_view s) {
    return std::u16string(s.begin(), s.end());
}

TEST(EncodingNames, SortedLowerCaseUnique) {
    const auto names = xml::encodingNames();
    EXPECT_GE(names.size(), 360u);
    for (size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i].name);
        EXPECT_FALSE(names[i].name.empty());
        EXPECT_NE(names[i].codePage, 0u);
        for (char c : names[i].name) {
            EXPECT_FALSE(c >= 'A' && c <= 'Z');
            EXPECT_TRUE(c >= 0x20 && static_cast<unsigned char>(c) < 0x7F);
        }
        // Strictly increasing, so binary search works and no name is there twice.
        if (i > 0) {
            EXPECT_LT(names[i - 1].name, names[i].name);
        }
    }
}

TEST(EncodingNames, EveryEntryIsFoundByItsName) {
    for (const xml::EncodingName& e : xml::encodingNames())
        EXPECT_EQ(xml::codePageOfEncoding(widen(e.name)), e.codePage) << e.name;
}

struct NameCase {
    std::string_view name;
    uint32_t codePage;
};

void PrintTo(const NameCase& c, std::ostream* os) {
    *os << c.name;
}

class KnownName : public testing::TestWithParam<NameCase> {};

TEST_P(KnownName, HasItsCodePage) {
    EXPECT_EQ(xml::codePageOfEncoding(widen(GetParam().name)), GetParam().codePage)
        << GetParam().name;
}

// Windows' numbers for the names files use.
INSTANTIATE_TEST_SUITE_P(
    Unicode, KnownName,
    testing::Values(NameCase{"utf-8", 65001}, NameCase{"utf8", 65001},
                    NameCase{"unicode-1-1-utf-8", 65001}, NameCase{"unicode-2-0-utf-8", 65001},
                    NameCase{"x-unicode20utf8", 65001}, NameCase{"utf-16", 1200},
                    NameCase{"utf-16le", 1200}, NameCase{"ucs-2", 1200}, NameCase{"unicode", 1200},
                    NameCase{"iso-10646-ucs-2", 1200}, NameCase{"utf-16be", 1201},
                    NameCase{"unicodefffe", 1201}, NameCase{"utf-32", 12000},
                    NameCase{"utf-32be", 12001}, NameCase{"utf-7", 65000}));

INSTANTIATE_TEST_SUITE_P(
    EastAsian, KnownName,
    testing::Values(
        NameCase{"gb2312", 936}, NameCase{"gbk", 936}, NameCase{"cp936", 936},
        NameCase{"chinese", 936}, NameCase{"cn-gb", 936}, NameCase{"csgb2312", 936},
        NameCase{"csgb231280", 936}, NameCase{"csiso58gb231280", 936}, NameCase{"gb_2312-80", 936},
        NameCase{"gb231280", 936}, NameCase{"iso-ir-58", 936}, NameCase{"x-cp20936", 20936},
        NameCase{"gb18030", 54936}, NameCase{"hz-gb-2312", 52936}, NameCase{"big5", 950},
        NameCase{"cn-big5", 950}, NameCase{"csbig5", 950}, NameCase{"x-x-big5", 950},
        NameCase{"big5-hkscs", 950}, NameCase{"x-chinese-cns", 20000},
        NameCase{"x-chinese-eten", 20002}, NameCase{"shift_jis", 932}, NameCase{"shift-jis", 932},
        NameCase{"sjis", 932}, NameCase{"csshiftjis", 932}, NameCase{"cswindows31j", 932},
        NameCase{"ms_kanji", 932}, NameCase{"x-ms-cp932", 932}, NameCase{"x-sjis", 932},
        NameCase{"euc-jp", 51932}, NameCase{"x-euc-jp", 51932},
        NameCase{"cseucpkdfmtjapanese", 51932},
        NameCase{"extended_unix_code_packed_format_for_japanese", 51932},
        NameCase{"iso-2022-jpeuc", 51932}, NameCase{"x-euc", 51932}, NameCase{"iso-2022-jp", 50220},
        NameCase{"csiso2022jp", 50221}, NameCase{"euc-kr", 51949}, NameCase{"cseuckr", 51949},
        NameCase{"iso-2022-kr-8", 51949}, NameCase{"iso-2022-kr-8bit", 51949},
        NameCase{"ks_c_5601-1987", 949}, NameCase{"korean", 949}, NameCase{"ksc5601", 949},
        NameCase{"ks_c_5601", 949}, NameCase{"csksc56011987", 949}, NameCase{"iso-ir-149", 949},
        NameCase{"ks-c-5601", 949}, NameCase{"iso-2022-kr", 50225}, NameCase{"johab", 1361},
        NameCase{"_autodetect", 50932}, NameCase{"_autodetect_all", 50001},
        NameCase{"_autodetect_kr", 50949}));

INSTANTIATE_TEST_SUITE_P(
    Iso8859, KnownName,
    testing::Values(
        NameCase{"iso-8859-1", 28591}, NameCase{"latin1", 28591}, NameCase{"l1", 28591},
        NameCase{"iso_8859-1", 28591}, NameCase{"iso_8859-1:1987", 28591},
        NameCase{"iso-ir-100", 28591}, NameCase{"ibm819", 28591}, NameCase{"cp819", 28591},
        NameCase{"csisolatin1", 28591}, NameCase{"iso8859-1", 28591}, NameCase{"iso-8859-2", 28592},
        NameCase{"latin2", 28592}, NameCase{"l2", 28592}, NameCase{"iso-ir-101", 28592},
        NameCase{"csisolatin2", 28592}, NameCase{"iso-8859-3", 28593}, NameCase{"latin3", 28593},
        NameCase{"iso-ir-109", 28593}, NameCase{"iso-8859-4", 28594}, NameCase{"l4", 28594},
        NameCase{"iso-ir-110", 28594}, NameCase{"iso-8859-5", 28595}, NameCase{"cyrillic", 28595},
        NameCase{"iso-ir-144", 28595}, NameCase{"csisolatincyrillic", 28595},
        NameCase{"iso-8859-6", 28596}, NameCase{"arabic", 28596}, NameCase{"ecma-114", 28596},
        NameCase{"iso-ir-127", 28596}, NameCase{"iso-8859-7", 28597}, NameCase{"greek", 28597},
        NameCase{"greek8", 28597}, NameCase{"elot_928", 28597}, NameCase{"ecma-118", 28597},
        NameCase{"iso-ir-126", 28597}, NameCase{"iso-8859-8", 28598}, NameCase{"hebrew", 28598},
        NameCase{"visual", 28598}, NameCase{"iso-8859-8 visual", 28598},
        NameCase{"iso-ir-138", 28598}, NameCase{"iso-8859-8-i", 38598}, NameCase{"logical", 28598},
        NameCase{"iso-8859-9", 28599}, NameCase{"latin5", 28599}, NameCase{"l5", 28599},
        NameCase{"iso-ir-148", 28599}, NameCase{"csisolatin5", 28599},
        NameCase{"iso-8859-13", 28603}, NameCase{"iso-8859-15", 28605}, NameCase{"latin9", 28605},
        NameCase{"l9", 28605}, NameCase{"iso-8859-11", 874}));

INSTANTIATE_TEST_SUITE_P(
    SingleByte, KnownName,
    testing::Values(
        NameCase{"windows-1250", 1250}, NameCase{"windows-1251", 1251},
        NameCase{"windows-1252", 1252}, NameCase{"windows-1253", 1253},
        NameCase{"windows-1254", 1254}, NameCase{"windows-1255", 1255},
        NameCase{"windows-1256", 1256}, NameCase{"windows-1257", 1257},
        NameCase{"windows-1258", 1258}, NameCase{"x-cp1250", 1250}, NameCase{"x-cp1251", 1251},
        NameCase{"cp1256", 1256}, NameCase{"windows-874", 874}, NameCase{"tis-620", 874},
        NameCase{"dos-874", 874}, NameCase{"us-ascii", 20127}, NameCase{"ascii", 20127},
        NameCase{"us", 20127}, NameCase{"iso646-us", 20127}, NameCase{"ansi_x3.4-1968", 20127},
        NameCase{"ansi_x3.4-1986", 20127}, NameCase{"cp367", 20127}, NameCase{"csascii", 20127},
        NameCase{"ibm367", 20127}, NameCase{"iso-ir-6", 20127}, NameCase{"iso_646.irv:1991", 20127},
        NameCase{"koi8-r", 20866}, NameCase{"koi", 20866}, NameCase{"koi8", 20866},
        NameCase{"koi8r", 20866}, NameCase{"cskoi8r", 20866}, NameCase{"koi8-u", 21866},
        NameCase{"koi8-ru", 21866}, NameCase{"asmo-708", 708}, NameCase{"x-user-defined", 50000},
        NameCase{"x-europa", 29001}, NameCase{"x-ia5", 20105}, NameCase{"irv", 20105},
        NameCase{"german", 20106}, NameCase{"x-ia5-german", 20106}, NameCase{"swedish", 20107},
        NameCase{"x-ia5-swedish", 20107}, NameCase{"norwegian", 20108},
        NameCase{"x-ia5-norwegian", 20108}, NameCase{"macintosh", 10000},
        NameCase{"x-mac-ce", 10029}, NameCase{"x-mac-cyrillic", 10007},
        NameCase{"x-mac-japanese", 10001}, NameCase{"x-iscii-de", 57002},
        NameCase{"x-iscii-pa", 57011}));

INSTANTIATE_TEST_SUITE_P(
    DosAndEbcdic, KnownName,
    testing::Values(NameCase{"ibm437", 437}, NameCase{"437", 437}, NameCase{"cp437", 437},
                    NameCase{"cspc8codepage437", 437}, NameCase{"ibm850", 850},
                    NameCase{"cp850", 850}, NameCase{"ibm737", 737}, NameCase{"ibm775", 775},
                    NameCase{"ibm852", 852}, NameCase{"ibm855", 855}, NameCase{"ibm857", 857},
                    NameCase{"ibm00858", 858}, NameCase{"ibm860", 860}, NameCase{"ibm861", 861},
                    NameCase{"ibm863", 863}, NameCase{"ibm864", 864}, NameCase{"ibm865", 865},
                    NameCase{"cp866", 866}, NameCase{"ibm869", 869}, NameCase{"dos-720", 720},
                    NameCase{"dos-862", 862}, NameCase{"ibm037", 37}, NameCase{"cp037", 37},
                    NameCase{"ebcdic-cp-us", 37}, NameCase{"ibm500", 500},
                    NameCase{"ibm1026", 1026}, NameCase{"ibm01140", 1140},
                    NameCase{"ibm01149", 1149}, NameCase{"ibm273", 20273},
                    NameCase{"ibm-thai", 20838}));

struct CaseCase {
    std::u16string name;
    uint32_t codePage;
};

TEST(CodePageOfEncoding, IgnoresAsciiCase) {
    for (const CaseCase& c : {CaseCase{u"UTF-8", 65001}, CaseCase{u"Utf8", 65001},
                              CaseCase{u"GB2312", 936}, CaseCase{u"Shift_JIS", 932},
                              CaseCase{u"ISO-8859-1", 28591}, CaseCase{u"Windows-1252", 1252},
                              CaseCase{u"KS_C_5601-1987", 949}, CaseCase{u"UnicodeFFFE", 1201},
                              CaseCase{u"X-MAC-CE", 10029}, CaseCase{u"_AUTODETECT_KR", 50949}}) {
        SCOPED_TRACE(std::string(c.name.begin(), c.name.end()));
        EXPECT_EQ(xml::codePageOfEncoding(c.name), c.codePage);
    }
}

TEST(CodePageOfEncoding, UnknownNamesGiveZero) {
    const std::u16string unknown[] = {
        u"",
        u"utf-9",
        u"utf",
        u"utf-8x",
        u" utf-8",  // nothing is trimmed
        u"utf-8 ",
        u"utf-8\0"s,
        u"iso-8859-8visual",
        // Non-ASCII never matches, not even when its low byte would.
        u"\u0155tf-8",   // low byte 0x55 is 'U'
        u"utf\u022D8",   // low byte 0x2D is '-'
        u"\uFF35TF-8",   // fullwidth U
        u"\u212Aoi8-r",  // Kelvin sign, which some case folding maps to 'k'
        std::u16string(1000, u'a'),
        u"utf-8" + std::u16string(100, u' '),
    };
    for (const std::u16string& name : unknown) {
        SCOPED_TRACE(std::string(name.begin(), name.begin() + std::min<size_t>(name.size(), 20)));
        EXPECT_EQ(xml::codePageOfEncoding(name), 0u);
    }
}

// The code pages the table can produce all convert, except these, for which
// glibc has no converter; a change either way shows here.
TEST(EncodingNames, CodePagesHaveConverters) {
    const std::set<uint32_t> withoutConverter = {
        720,                                                     // Arabic DOS
        10001, 10002, 10003, 10004, 10005, 10006, 10008, 10010,  // Mac
        10021, 10081, 10082,                                     //
        20000, 20002, 20105, 20833, 20838, 20924, 20949, 29001,  // CNS, Eten, IA5, EBCDIC, Wansung,
                                                                 // Europa
        50000, 50001, 50932, 50949,                              // user-defined, autodetection
        52936,                                                   // HZ
        57002, 57003, 57004, 57005, 57006, 57007, 57008, 57009, 57010, 57011,  // ISCII
    };
    std::set<uint32_t> missing;
    for (const xml::EncodingName& e : xml::encodingNames()) {
        std::u16string text;
        const bool converts = platform::decodeCodePage("A", e.codePage, text);
        if (!converts) missing.insert(e.codePage);
        EXPECT_EQ(converts, platform::iconvNameForCodePage(e.codePage) != nullptr) << e.name;
    }
    EXPECT_EQ(missing, withoutConverter);
}

}  // namespace
