#include "content/BracketCodes.h"

#include <gtest/gtest.h>

namespace {

using BracketCodes::Piece;
using Kind = BracketCodes::Piece::Kind;

std::string describe(const std::vector<Piece>& pieces) {
    std::string out;
    for (const Piece& p : pieces) {
        switch (p.kind) {
            case Kind::Text:
                out += "T(" + std::string(p.text.begin(), p.text.end()) + ")";
                break;
            case Kind::Temperature:
                out += p.fahrenheit ? "F" : "C";
                break;
            case Kind::Picture:
                out += "P" + std::to_string(p.picture);
                break;
            case Kind::Animation:
                out += "A" + std::to_string(p.animation);
                break;
        }
        out += " ";
    }
    return out;
}

TEST(BracketCodes, TheFormsOfACode) {
    struct Case {
        std::u16string text;
        std::string pieces;
    };
    const Case cases[] = {
        {u"[FE]", "C "},
        {u"[FF]", "F "},
        {u"[fe]", "A254 "},  // lower case: an animation code 0xFE
        {u"[5A]", "P5 "},    // decimal, stopping at the first non-digit
        {u"[57]", "P57 "},
        {u"[99]", "P99 "},
        {u"[4A]", "A74 "},  // 0x4A
        {u"[G1]", "A1 "},   // G counts as 0
        {u"[FA]", "A250 "},
        {u"[zz]", "A0 "},
        {u"a[5", "T(a[5) "},  // no "]" three places on
        {u"[5]x", "T([5]x) "},
        {u"[[FE]]", "T([) C T(]) "},
        {u"Hi [FE] now [52]!", "T(Hi ) C T( now ) P52 T(!) "},
        {u"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text.begin(), c.text.end()));
        EXPECT_EQ(describe(BracketCodes::split(c.text)), c.pieces);
    }
}

TEST(BracketCodes, TheTwentyFirstAnimationIsDroppedWithItsFourCharacters) {
    // Animations 0x10, 0x11, … 0x1F, 0x10, …: the twentieth is 0x13.
    std::u16string text;
    for (int i = 0; i < 21; ++i)
        text += u"[1" + std::u16string(1, u"0123456789ABCDEF"[i % 16]) + u"]";
    text += u"end[FE]";
    const auto pieces = BracketCodes::split(text);
    ASSERT_EQ(pieces.size(), 22u);  // 20 animations, the text, the temperature
    EXPECT_EQ(pieces[19].kind, Kind::Animation);
    EXPECT_EQ(pieces[19].animation, 0x13);
    EXPECT_EQ(pieces[20].kind, Kind::Text);
    EXPECT_EQ(pieces[20].text, u"end");
    EXPECT_EQ(pieces[21].kind, Kind::Temperature);
    // Pictures and temperatures do not count towards the twenty.
    std::u16string mixed;
    for (int i = 0; i < 25; ++i)
        mixed += u"[55][FF]";
    mixed += u"[01]";
    EXPECT_EQ(BracketCodes::split(mixed).back().kind, Kind::Animation);
}

TEST(BracketCodes, InsertedCodes) {
    EXPECT_EQ(BracketCodes::animationCode(0), u"[00]");
    EXPECT_EQ(BracketCodes::animationCode(26), u"[1A]");
    EXPECT_EQ(BracketCodes::animationCode(49), u"[31]");
    EXPECT_EQ(BracketCodes::pictureCode(52), u"[52]");
    EXPECT_EQ(BracketCodes::pictureCode(7), u"[7]");  // one digit: the code is only three long
    EXPECT_EQ(BracketCodes::pictureCode(123), u"[12]");
}

}  // namespace
