#include "platform/Folders.h"
#include "platform/Format.h"
#include "platform/StringUtil.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>

namespace {

using platform::format;

TEST(Format, TheFormatsTheProgramUses) {
    struct Case {
        std::u16string got, want;
    };
    const Case cases[] = {
        {format(u"%s_%u", {u"Screen", 1u}), u"Screen_1"},
        {format(u"% 2u %s", {1u, u"/a.vqd"}), u" 1 /a.vqd"},
        {format(u"% 2u %s", {20u, u"/b"}), u"20 /b"},
        {format(u"% 3u", {10u}), u" 10"},
        {format(u"% 3u", {1234u}), u"1234"},
        {format(u"%02X", {10}), u"0A"},
        {format(u"%02X", {0x31}), u"31"},
        {format(u"%02x", {255}), u"ff"},
        {format(u"USB[%u]", {3}), u"USB[3]"},
        {format(u"+%d", {7}), u"+7"},
        {format(u"%d", {-7}), u"-7"},
        {format(u"%+d|% d|%-4d|%04d", {5, 5, 5, -5}), u"+5| 5|5   |-005"},
        {format(u"%d", {INT_MIN}), u"-2147483648"},
        {format(u"%u", {-1}), u"4294967295"},  // as 32 bits
        {format(u"%5s|%-5s|", {u"ab", u"ab"}), u"   ab|ab   |"},
        {format(u"100%%", {}), u"100%"},
        {format(u"%c%c", {0x4E2D, 65}), u"\u4E2DA"},
        {format(u"%ld %lu", {1L, 2UL}), u"1 2"},
        {format(u"IMG%.2d", {5}), u"IMG05"},
        {format(u"IMG%.2d", {50}), u"IMG50"},
        {format(u"IMG%.2d", {123}), u"IMG123"},
        {format(u"%.3d|%5.3d|%-5.2d|%.2d", {-4, 7, 7, -3}), u"-004|  007|07   |-03"},
        {format(u"%.0d|%.0d", {0, 1}), u"|1"},
        {format(u"%05.2d", {3}), u"   03"},
        {format(u"%.2s|%.10s", {u"abc", u"xy"}), u"ab|xy"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.got, c.want);
}

TEST(Format, OddFormatsAndArgumentsDoNotBreak) {
    EXPECT_EQ(format(u"%s and %s", {u"one"}), u"one and ");  // missing argument
    EXPECT_EQ(format(u"%d", {u"text"}), u"0");               // wrong kind
    EXPECT_EQ(format(u"%s", {5}), u"");
    EXPECT_EQ(format(u"%q%d", {3}), u"%q3");  // unknown conversion
    EXPECT_EQ(format(u"trailing %", {1}), u"trailing %");
    EXPECT_EQ(format(u"%-", {1}), u"");
    EXPECT_EQ(format(u"", {1, 2}), u"");
}

TEST(StringUtil, CaseFoldingAndNumbers) {
    using platform::equalsNoCase;
    EXPECT_TRUE(equalsNoCase(u"Program_1", u"PROGRAM_1"));
    EXPECT_TRUE(equalsNoCase(u"\u00C9t\u00C9", u"\u00E9t\u00E9"));              // Latin-1
    EXPECT_TRUE(equalsNoCase(u"\u0141\u00F3d\u017A", u"\u0142\u00D3D\u0179"));  // Latin Extended-A
    EXPECT_TRUE(equalsNoCase(u"\u0391\u03A9", u"\u03B1\u03C9"));                // Greek
    EXPECT_TRUE(equalsNoCase(u"\u0416\u0401", u"\u0436\u0451"));                // Cyrillic
    EXPECT_FALSE(equalsNoCase(u"\u00D7", u"\u00F7"));  // × and ÷ are no pair
    EXPECT_FALSE(equalsNoCase(u"ab", u"abc"));
    EXPECT_TRUE(equalsNoCase(u"\u7B80\u4F53\u4E2D\u6587", u"\u7B80\u4F53\u4E2D\u6587"));
    EXPECT_EQ(platform::toUpperAscii(u"show.vqd\u00E9"), u"SHOW.VQD\u00E9");

    using platform::parseDecimal;
    EXPECT_EQ(parseDecimal(u"48"), 48);
    EXPECT_EQ(parseDecimal(u"  -7"), -7);
    EXPECT_EQ(parseDecimal(u"+3x"), 3);
    EXPECT_EQ(parseDecimal(u"12abc"), 12);
    EXPECT_EQ(parseDecimal(u"abc"), 0);
    EXPECT_EQ(parseDecimal(u""), 0);
    EXPECT_EQ(parseDecimal(u"-"), 0);
    EXPECT_EQ(parseDecimal(u"99999999999999999999"), INT32_MAX);
    EXPECT_EQ(parseDecimal(u"-99999999999999999999"), INT32_MIN);
    EXPECT_EQ(parseDecimal(u"-2147483648"), INT32_MIN);
}

TEST(Folders, EnvironmentAndRelativePaths) {
    const char* home = std::getenv("HOME");
    const std::string savedHome = home ? home : "";
    ::setenv("XDG_DATA_HOME", "/x/data", 1);
    EXPECT_EQ(platform::userDataFolder(), std::filesystem::path("/x/data/Zentari"));
    ::setenv("XDG_DATA_HOME", "relative", 1);  // not absolute: ignored, as the standard says
    ::setenv("HOME", "/home/u", 1);
    EXPECT_EQ(platform::userDataFolder(), std::filesystem::path("/home/u/.local/share/Zentari"));
    ::unsetenv("XDG_DATA_HOME");
    ::unsetenv("HOME");
    EXPECT_TRUE(platform::userDataFolder().empty());
    if (home) ::setenv("HOME", savedHome.c_str(), 1);

    // The recent list's folder is the user's own, never the shared /tmp, whatever TMPDIR says.
    const char* run = std::getenv("XDG_RUNTIME_DIR");
    const char* cache = std::getenv("XDG_CACHE_HOME");
    const std::string savedRun = run ? run : "", savedCache = cache ? cache : "";
    ::setenv("TMPDIR", "/tmp", 1);
    ::setenv("XDG_RUNTIME_DIR", "/run/user/1000", 1);
    ::setenv("XDG_CACHE_HOME", "/c", 1);
    EXPECT_EQ(platform::userTempFolder(), std::filesystem::path("/run/user/1000/Zentari"));
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(platform::userTempFolder(), std::filesystem::path("/c/Zentari"));
    ::setenv("XDG_CACHE_HOME", "rel", 1);
    ::setenv("HOME", "/home/u", 1);
    EXPECT_EQ(platform::userTempFolder(), std::filesystem::path("/home/u/.cache/Zentari"));
    ::unsetenv("XDG_CACHE_HOME");
    ::unsetenv("HOME");
    EXPECT_TRUE(platform::userTempFolder().empty());
    ::unsetenv("TMPDIR");
    if (home) ::setenv("HOME", savedHome.c_str(), 1);
    if (run) ::setenv("XDG_RUNTIME_DIR", savedRun.c_str(), 1);
    if (cache) ::setenv("XDG_CACHE_HOME", savedCache.c_str(), 1);

    ::setenv("ZENTARI_PROGRAM_DIR", "/opt/z", 1);
    EXPECT_EQ(platform::programFolder("/usr/bin"), std::filesystem::path("/opt/z"));
    ::unsetenv("ZENTARI_PROGRAM_DIR");
    EXPECT_EQ(platform::programFolder("/usr/bin"), std::filesystem::path("/usr/share/zentari"));

    const std::filesystem::path prog("/opt/z");
    EXPECT_EQ(platform::resolveProgramRelative(prog, u".\\img\\a.gif"),
              std::filesystem::path("/opt/z/img/a.gif"));
    EXPECT_EQ(platform::resolveProgramRelative(prog, u"./b.png"),
              std::filesystem::path("/opt/z/b.png"));
    EXPECT_EQ(platform::resolveProgramRelative(prog, u"/abs/c.bmp"),
              std::filesystem::path("/abs/c.bmp"));
    EXPECT_EQ(platform::resolveProgramRelative(prog, u"..\\d.bmp"),
              std::filesystem::path("..\\d.bmp"));
}

}  // namespace
