#include "app/CDialogToolbar.h"

#include <gtest/gtest.h>

namespace {

struct Texts : platform::TextLookup {
    std::u16string text(std::u16string_view key) const override {
        return u"<" + std::u16string(key) + u">";
    }
    std::vector<platform::TextListEntry> list(std::u16string_view key) const override {
        if (key != u"MenuItem") return {};
        return {{u"Open project", u"32784"}, {u"Send it", u"32787"}};
    }
};

TEST(ToolbarPanel, TheFixedSetAndWhatItsButtonsPost) {
    const Texts texts;
    const auto buttons = CDialogToolbar::fixedButtons(texts, "/p/icons");
    ASSERT_EQ(buttons.size(), 7u);
    const int commands[] = {32784, 32796, 32798, 32833, 32787, 32840, 32805};
    for (size_t i = 0; i < buttons.size(); ++i)
        EXPECT_EQ(buttons[i].command, commands[i]) << i;
    EXPECT_EQ(buttons[0].caption, u"<Open>");
    EXPECT_EQ(buttons[1].icon, std::filesystem::path("/p/icons/171.png"));
    EXPECT_TRUE(buttons[6].hidden);
    // Send: the button itself sends, its drop-down item sends to every sign.
    EXPECT_EQ(CDialogToolbar::commandOf(buttons[4]), 32787);
    EXPECT_EQ(CDialogToolbar::commandOf(buttons[4], true), 32847);
    EXPECT_EQ(CDialogToolbar::commandOf(buttons[0], true), 32784);
    EXPECT_EQ(CDialogToolbar::kF12Command, 32805);
    EXPECT_EQ(CDialogToolbar::forwarded(17408 + 32784), 32784);
    EXPECT_EQ(CDialogToolbar::forwarded(17408), 0);
    EXPECT_EQ(CDialogToolbar::forwarded(54272), 54272 - 17408);
    EXPECT_FALSE(CDialogToolbar::forwarded(54273));
    EXPECT_FALSE(CDialogToolbar::forwarded(17407));
}

TEST(ToolbarPanel, NarrowPanelsShowIconsAlone) {
    const std::vector<int> widths = {60, 80, 80, 50, 50, 60, 70};
    const std::vector<bool> hidden = {false, false, false, false, false, false, true};
    // 60+3+80+3+80+3+50+3+50+3+60 = 395 for the last shown button's right edge.
    auto wide = CDialogToolbar::layout(widths, hidden, 395);
    EXPECT_TRUE(wide.texts);
    EXPECT_EQ(wide.x, (std::vector<int>{0, 63, 146, 229, 282, 335, 398}));
    EXPECT_FALSE(CDialogToolbar::layout(widths, hidden, 394).texts);
}

TEST(ToolbarPanel, ASavedDescriptionGivesItsButtonsInItsOrder) {
    const Texts texts;
    ToolbarDescription::Description d;
    d.items = {{u"32840", u"Preview", u"/i/p.png"},
               {u"32787", u"Send", u"/i/s.png"},
               {u"junk", u"Not a command", u"/i/x.png"},
               {u"32784", u"Open", u"/i/o.png"}};
    const auto buttons = CDialogToolbar::describedButtons(d, texts);
    ASSERT_EQ(buttons.size(), 3u);
    EXPECT_EQ(buttons[0].command, 32840);
    EXPECT_EQ(buttons[0].caption, u"Preview");  // not in the list: the title
    EXPECT_EQ(buttons[1].caption, u"Send it");
    EXPECT_TRUE(buttons[1].dropDown);
    EXPECT_EQ(buttons[2].command, 32784);
    EXPECT_EQ(buttons[2].icon, std::filesystem::path("/i/o.png"));
}

}  // namespace
