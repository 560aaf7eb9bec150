#include "content/CDlgProgram.h"
#include "content/ProgramOptions.h"
#include "platform/StringUtil.h"
#include "project/Project.h"
#include "project/ProjectFile.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>

namespace {

namespace po = ProgramOptions;
using Instance = CDlgProgram::Instance;

// Language texts as a test gives them.
struct Texts : platform::TextLookup {
    std::map<std::u16string, std::u16string, std::less<>> strings;
    std::map<std::u16string, std::vector<platform::TextListEntry>, std::less<>> lists;
    std::u16string text(std::u16string_view key) const override {
        auto it = strings.find(key);
        return it == strings.end() ? std::u16string(key) : it->second;
    }
    std::vector<platform::TextListEntry> list(std::u16string_view key) const override {
        auto it = lists.find(key);
        return it == lists.end() ? std::vector<platform::TextListEntry>{} : it->second;
    }
};

// Records what the editor asks its window to do.
struct EditorView : CDlgProgram::View {
    explicit EditorView(CDlgProgram& e) : editor(e) { e.setView(this); }
    void refresh() override { ++refreshes; }
    void typeText(std::u16string_view text) override {
        typed += text;
        // As a text box would: each character arrives as a change.
        for (char16_t c : text) {
            std::u16string t = editor.text();
            t.insert(static_cast<size_t>(editor.caret()), 1, c);
            editor.setText(t, editor.caret() + 1);
        }
    }
    void startTimer(int id, int ms) override { timers[id] = ms; }
    void stopTimer(int id) override { timers.erase(id); }
    CDlgProgram& editor;
    std::u16string typed;
    std::map<int, int> timers;
    int refreshes = 0;
};

std::vector<CDlgProgram::FontEntry> fonts(std::initializer_list<const char16_t*> names) {
    std::vector<CDlgProgram::FontEntry> out;
    for (const char16_t* n : names)
        out.push_back({n, 0});
    return out;
}

class Editor : public ::testing::Test {
protected:
    Editor() : editor(Instance::Editor, texts), encoder(Instance::Encoder, texts) {
        for (CDlgProgram* e : {&editor, &encoder}) {
            e->setFontList(fonts({u"DejaVu Sans", u"Arial", u"Noto Sans"}));
            e->setScreenSize(48, 12);
        }
    }
    Texts texts;
    CDlgProgram editor;
    CDlgProgram encoder;
};

// --- defaults and loading ------------------------------------------------------------

TEST_F(Editor, AnEmptySettingsMapLoadsAsTheDefaults) {
    for (int32_t height : {12, 11, 16}) {
        SCOPED_TRACE(height);
        encoder.setScreenSize(48, height);
        encoder.load(ProgramRecord{});
        EXPECT_EQ(encoder.effects().value(), 0);
        EXPECT_EQ(encoder.speeds().value(), 5);
        EXPECT_EQ(encoder.stopTimes().value(), 3);
        EXPECT_EQ(encoder.borders().value(), 0);
        EXPECT_EQ(encoder.borderSpeeds().value(), 5);
        EXPECT_FALSE(encoder.flicker());
        EXPECT_EQ(encoder.textColors().value(), 0x0000FF);
        EXPECT_EQ(encoder.backgroundColors().value(), 0x000000);
        EXPECT_EQ(encoder.fontSizePixels(), height == 11 ? 12 : height);
        EXPECT_EQ(encoder.tempUnits().selection, 0);
        EXPECT_FALSE(encoder.useTemp());
        EXPECT_EQ(encoder.text(), u"");
    }
    // A 48-row screen has no such size: the size stays as it was.
    encoder.setScreenSize(48, 48);
    encoder.load(ProgramRecord{});
    EXPECT_EQ(encoder.fontSizePixels(), 16);
}

TEST_F(Editor, ResetKeepsStylesButNotFlicker) {
    editor.setBold(true);
    editor.setFlicker(true);
    editor.selectTextColor(1);
    editor.resetToDefaults();
    EXPECT_TRUE(editor.bold());
    EXPECT_FALSE(editor.flicker());
    EXPECT_EQ(editor.textColors().selection, 1);  // in range: kept
}

TEST_F(Editor, DefaultFontByLanguage) {
    struct Case {
        std::vector<CDlgProgram::FontEntry> list;
        std::u16string language, face;
    };
    const Case cases[] = {
        {fonts({u"Arial", u"\u5B8B\u4F53"}), u"English", u"\u5B8B\u4F53"},
        {fonts({u"Arial", u"Arial Baltic"}), u"English", u"Arial Baltic"},
        {fonts({u"Arial", u"Arial Baltic"}), u"Deutsch", u"Arial"},
        {fonts({u"\u9ED1\u4F53", u"\u5FAE\u8F6F\u96C5\u9ED1", u"Arial"}),
         u"\u7B80\u4F53\u4E2D\u6587", u"\u5FAE\u8F6F\u96C5\u9ED1"},
        {fonts({u"Arial", u"\u9ED1\u4F53"}), u"\u7E41\u9AD4\u4E2D\u6587", u"\u9ED1\u4F53"},
        {fonts({u"DejaVu Sans", u"arial"}), u"English", u"arial"},
        {fonts({u"DejaVu Sans", u"Noto"}), u"English", u"DejaVu Sans"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.face.begin(), c.face.end()));
        CDlgProgram e(Instance::Encoder, texts);
        e.setFontList(c.list);
        e.setLanguageName(c.language);
        e.resetToDefaults();
        EXPECT_EQ(e.textFormat().face, c.face);
    }
}

TEST_F(Editor, LoadingSettingsByTheirRules) {
    encoder.load(ProgramRecord{});  // defaults first
    SettingsMap s;
    s[u"Color1"] = u"65280";  // green: not in the list, the selection stays
    s[u"Color2"] = u"255";    // red background
    s[u"Effect"] = u"12";     // past the end: no selection
    s[u"Speed"] = u"8";
    s[u"StopTime"] = u"21";
    s[u"Border"] = u"14";
    s[u"BorderSpeed"] = u"x";  // not a number: 0
    s[u"FontSize"] = u"99";    // no entry starts with it: position 0
    s[u"FontBold"] = u"1";
    s[u"FontItatic"] = u"true";  // only "1" is on
    s[u"Font"] = u"noto";        // a prefix, without regard to case
    s[u"Flicker"] = u"1";
    s[u"TextContent"] = u"Hello";
    encoder.loadSettings(s);
    EXPECT_EQ(encoder.textColors().value(), 0x0000FF);
    EXPECT_EQ(encoder.backgroundColors().value(), 0x0000FF);
    EXPECT_EQ(encoder.effects().selection, -1);
    EXPECT_EQ(encoder.effects().value(), -1);
    EXPECT_EQ(encoder.speeds().value(), 9);
    EXPECT_EQ(encoder.stopTimes().value(), 255);
    EXPECT_EQ(encoder.borders().value(), 14);
    EXPECT_EQ(encoder.borderSpeeds().value(), 1);
    EXPECT_EQ(encoder.fontSizes().selection, 0);
    EXPECT_EQ(encoder.fontSizePixels(), 8);
    EXPECT_TRUE(encoder.bold());
    EXPECT_FALSE(encoder.italic());
    EXPECT_EQ(encoder.fontSelection(), 2);
    EXPECT_EQ(encoder.textFormat().face, u"Noto Sans");
    EXPECT_TRUE(encoder.flicker());
    EXPECT_EQ(encoder.text(), u"Hello");

    // "1" matches "10" first; a font no entry starts with leaves no selection and the face as it
    // was.
    s[u"FontSize"] = u"1";
    s[u"Font"] = u"Courier";
    encoder.loadSettings(s);
    EXPECT_EQ(encoder.fontSizePixels(), 10);
    EXPECT_EQ(encoder.fontSelection(), -1);
    EXPECT_EQ(encoder.textFormat().face, u"Noto Sans");
    // A missing key reads as empty text: the first size, the first font.
    encoder.loadSettings({{u"TextContent", u"x"}});
    EXPECT_EQ(encoder.fontSizePixels(), 8);
    EXPECT_EQ(encoder.fontSelection(), 0);
    EXPECT_EQ(encoder.speeds().value(), 1);
}

TEST_F(Editor, AFaceOfAnotherSystemShowsItsStandInAndKeepsItsName) {
    // "宋体" is not installed here; of its stand-ins the list has the Sharp face
    // (its best) and the plain one: the best is shown, whatever the list order.
    const std::u16string song = u"\u5B8B\u4F53";
    const auto list = fonts({u"DejaVu Sans", u"WenQuanYi Zen Hei", u"WenQuanYi Zen Hei Sharp"});
    SettingsMap a{{u"TextContent", u"a"}, {u"Font", u"DejaVu Sans"}};
    SettingsMap b{{u"TextContent", u"b"}, {u"Font", song}};
    encoder.setFontList(list);
    encoder.loadSettings(a);
    EXPECT_EQ(encoder.textFormat().face, u"DejaVu Sans");
    encoder.loadSettings(b);
    EXPECT_EQ(encoder.textFormat().face, song);
    EXPECT_EQ(encoder.fontSelection(), 2);
    EXPECT_EQ(encoder.takeSettings().at(u"Font"), song);

    // B alone encodes the same as B after A.
    CDlgProgram alone(Instance::Encoder, texts);
    alone.setFontList(list);
    alone.setScreenSize(48, 12);
    alone.loadSettings(b);
    EXPECT_EQ(alone.textFormat().face, song);
    EXPECT_EQ(alone.fontSelection(), 2);

    // "黑体" shows its own first stand-in.
    encoder.loadSettings({{u"TextContent", u"c"}, {u"Font", u"\u9ED1\u4F53"}});
    EXPECT_EQ(encoder.textFormat().face, u"\u9ED1\u4F53");
    EXPECT_EQ(encoder.fontSelection(), 1);

    // Picking a font is the user's choice: it replaces the stored face.
    encoder.loadSettings(b);
    encoder.selectFont(0);
    EXPECT_EQ(encoder.textFormat().face, u"DejaVu Sans");
    EXPECT_EQ(encoder.takeSettings().at(u"Font"), u"DejaVu Sans");

    // A face with neither a match nor a stand-in still keeps the face before it.
    encoder.loadSettings(b);
    encoder.loadSettings({{u"TextContent", u"d"}, {u"Font", u"Courier New"}});
    EXPECT_EQ(encoder.fontSelection(), -1);
    EXPECT_EQ(encoder.textFormat().face, song);
    // Without a stand-in in the list, "宋体" is such a face as well.
    encoder.setFontList(fonts({u"DejaVu Sans", u"Noto Sans"}));
    encoder.loadSettings(a);
    encoder.loadSettings(b);
    EXPECT_EQ(encoder.fontSelection(), -1);
    EXPECT_EQ(encoder.textFormat().face, u"DejaVu Sans");
}

TEST_F(Editor, TwipsInTheEditorAreThreeTimesThoseOfTheEncoder) {
    for (int dpi : {96, 120, 144, 72}) {
        SCOPED_TRACE(dpi);
        for (CDlgProgram* e : {&editor, &encoder}) {
            e->setScreenDpi(dpi);
            e->loadSettings({{u"FontSize", u"13"}});
        }
        const int perPixel = 1440 / dpi;
        EXPECT_EQ(encoder.textFormat().heightTwips, 13 * perPixel);
        EXPECT_EQ(editor.textFormat().heightTwips, 3 * 13 * perPixel);
        EXPECT_EQ(editor.fontSizePixels(), 13);
        EXPECT_EQ(editor.takeSettings().at(u"FontSize"), u"13");
        EXPECT_EQ(encoder.takeSettings().at(u"FontSize"), u"13");
    }
    encoder.setScreenDpi(2000);  // more than 1440 dots per inch does not divide by zero
    encoder.loadSettings({{u"FontSize", u"12"}});
    EXPECT_EQ(encoder.fontSizePixels(), 12);
}

// --- every setting through the project file -----------------------------------------------

TEST_F(Editor, EverySettingSurvivesTheProjectFile) {
    texts.strings[u"Red"] = u"Rot";
    encoder.load(ProgramRecord{});
    encoder.setText(u"Line 1\r\nLine 2 [FF] [52] [1A] & <ok>");
    encoder.selectFont(1);
    encoder.selectFontSize(4);
    encoder.setBold(true);
    encoder.setUnderline(true);
    encoder.selectTextColor(1);
    encoder.selectBackgroundColor(0);
    encoder.selectEffect(7);
    encoder.selectSpeed(2);
    encoder.selectStopTime(13);
    encoder.setFlicker(true);
    encoder.selectBorder(9);
    encoder.selectBorderSpeed(8);
    encoder.setOffsetX(-5);
    encoder.setOffsetY(3);
    encoder.setPitchOffset(2);
    encoder.setAutoAdjust(true);
    encoder.setName(u"Menu");
    ProgramRecord record;
    encoder.commit(record);
    ASSERT_EQ(record.settings.size(), 17u);
    for (auto key : po::kAllKeys)
        EXPECT_TRUE(record.settings.count(std::u16string(key)));
    EXPECT_EQ(record.settings.at(u"TextContent"), u"Line 1\r\nLine 2 [FF] [52] [1A] & <ok>");
    EXPECT_EQ(record.settings.at(u"Font"), u"Arial");
    EXPECT_EQ(record.settings.at(u"FontSize"), u"12");
    EXPECT_EQ(record.settings.at(u"FontBold"), u"1");
    EXPECT_EQ(record.settings.at(u"FontItatic"), u"0");
    EXPECT_EQ(record.settings.at(u"Color1"), u"0");
    EXPECT_EQ(record.settings.at(u"Color2"), u"255");
    EXPECT_EQ(record.settings.at(u"Effect"), u"7");
    EXPECT_EQ(record.settings.at(u"Speed"), u"2");
    EXPECT_EQ(record.settings.at(u"StopTime"), u"13");
    EXPECT_EQ(record.settings.at(u"UseTemp"), u"1");
    EXPECT_EQ(record.settings.at(u"TempIndex"), u"1");
    EXPECT_EQ(record.settings.at(u"Select"), u"1");
    EXPECT_EQ(record.OffsetX, -5);
    EXPECT_EQ(record.AutoAdjust, 1);

    Project project;
    ScreenRecord screen;
    screen.width = 48;
    screen.height = 12;
    const ScreenId id = project.addScreen(screen);
    project.addProgram(id, record);
    testing_support::TempDir dir;
    ASSERT_TRUE(ProjectFile::write(project, dir / "p.vqd"));
    std::vector<ProjectFile::LoadedScreen> loaded;
    ASSERT_TRUE(ProjectFile::read(dir / "p.vqd", loaded));
    ASSERT_EQ(loaded.at(0).programs.size(), 1u);
    const ProgramRecord& back = loaded[0].programs[0];
    EXPECT_EQ(back.settings, record.settings);

    CDlgProgram other(Instance::Editor, texts);
    other.setFontList(fonts({u"DejaVu Sans", u"Arial", u"Noto Sans"}));
    other.setScreenSize(48, 12);
    other.load(back);
    ProgramRecord again;
    other.commit(again);
    EXPECT_EQ(again.settings, record.settings);
    EXPECT_EQ(again.OffsetX, -5);
    EXPECT_EQ(again.OffsetY, 3);
    EXPECT_EQ(again.PitchOffSet, 2);
    EXPECT_EQ(again.name, u"Menu");
}

TEST_F(Editor, CommitKeepsTheCheckStateAndTheStretches) {
    ProgramRecord p;
    p.StretchH = 3;
    p.StretchV = -2;
    editor.load(p);
    ProgramRecord target;
    target.checked = 0;
    editor.commit(target);
    EXPECT_EQ(target.checked, 0);
    EXPECT_EQ(target.StretchH, 3);
    EXPECT_EQ(target.StretchV, -2);
    EXPECT_EQ(editor.takeSettings(false).at(u"Select"), u"0");
}

// --- temperature tokens -------------------------------------------------------------------

TEST_F(Editor, TheTextDecidesTheTemperature) {
    editor.load(ProgramRecord{});
    editor.setText(u"Outside [FE] now");
    EXPECT_TRUE(editor.useTemp());
    EXPECT_EQ(editor.tempUnits().selection, 0);
    EXPECT_TRUE(editor.tempUnits().enabled);
    editor.setText(u"Outside [FF] now");
    EXPECT_EQ(editor.tempUnits().selection, 1);
    editor.setText(u"[FF] and [FE]");  // [FE] anywhere means Celsius
    EXPECT_EQ(editor.tempUnits().selection, 0);
    editor.setText(u"Outside [fe] now");  // lower case is an animation code, not a temperature
    EXPECT_FALSE(editor.useTemp());
    EXPECT_FALSE(editor.tempUnits().enabled);
}

TEST_F(Editor, TickingAndUntickingTheTemperature) {
    editor.load(ProgramRecord{});
    editor.setText(u"Temp  now [FF]x[FE]", 5);
    editor.setCaret(5);
    editor.setUseTemp(false);  // every token goes
    EXPECT_EQ(editor.text(), u"Temp  now x");
    EXPECT_FALSE(editor.tempUnits().enabled);
    editor.setCaret(5);
    editor.selectTempUnit(1);
    editor.setUseTemp(true);  // the token of the selected unit at the caret
    EXPECT_EQ(editor.text(), u"Temp [FF] now x");
    EXPECT_EQ(editor.caret(), 9);
    editor.selectTempUnit(0);  // replaced, not added
    EXPECT_EQ(editor.text(), u"Temp [FE] now x");
    EXPECT_EQ(editor.takeSettings().at(u"UseTemp"), u"1");
    // The caret behind a removed token moves back with the text.
    editor.setText(u"a[FE]b", 6);
    editor.setUseTemp(false);
    EXPECT_EQ(editor.text(), u"ab");
    EXPECT_EQ(editor.caret(), 2);
}

// --- codes from the lists ------------------------------------------------------------------

TEST_F(Editor, DoubleClicksTypeTheCodes) {
    EditorView view(editor);
    editor.load(ProgramRecord{});
    editor.setPictures({{52, 10, 10, u"/a.png", 0}, {7, 10, 10, u"/b.png", 0}});
    editor.setAnimations({u"a.gif", u"b.gif", u"c.gif"});
    ASSERT_EQ(editor.pictureList().size(), 2u);
    EXPECT_EQ(editor.pictureList()[0].label, u"IMG52");
    editor.setText(u"ab", 1);
    editor.insertPicture(0);
    EXPECT_EQ(view.typed, u"[52]");
    EXPECT_EQ(editor.text(), u"a[52]b");
    editor.insertAnimation(2);
    EXPECT_EQ(editor.text(), u"a[52][02]b");
    editor.insertAnimation(3);  // no such entry
    editor.insertPicture(-1);
    EXPECT_EQ(editor.text(), u"a[52][02]b");
    // Without a view (the encoder instance) the code goes in directly.
    encoder.setAnimations({u"x.gif"});
    encoder.setText(u"", 0);
    encoder.insertAnimation(0);
    EXPECT_EQ(encoder.text(), u"[00]");
}

// --- limits and enabling ------------------------------------------------------------------

TEST_F(Editor, OffsetsAreClampedAndAutoAdjustDisables) {
    editor.setScreenSize(48, 12);
    editor.setOffsetX(100);
    EXPECT_EQ(editor.offsetX(), 48);
    editor.setOffsetX(-49);
    EXPECT_EQ(editor.offsetX(), -48);
    editor.stepOffsetX(-1);
    EXPECT_EQ(editor.offsetX(), -48);
    editor.setOffsetY(13);
    EXPECT_EQ(editor.offsetY(), 12);
    editor.stepOffsetY(1);
    EXPECT_EQ(editor.offsetY(), 12);
    editor.setPitchOffset(-300);  // spacing has no limit
    EXPECT_EQ(editor.pitchOffset(), -300);
    EXPECT_TRUE(editor.fontListEnabled());
    editor.setAutoAdjust(true);
    EXPECT_FALSE(editor.fontListEnabled());
    EXPECT_FALSE(editor.offsetsEnabled());
}

TEST_F(Editor, LanguageListsReplaceOnlyWhenComplete) {
    std::vector<platform::TextListEntry> effects;
    for (int i = 11; i >= 0; --i)
        effects.push_back({u"E" + std::u16string(1, u'a' + i), platform::toDecimal(i)});
    texts.lists[u"effects"] = effects;                            // twelve, out of order
    texts.lists[u"Borders"] = {{u"only", u"0"}, {u"two", u"1"}};  // not fifteen
    texts.strings[u"Black"] = u"Schwarz";
    editor.selectEffect(3);
    editor.applyTexts();
    EXPECT_EQ(editor.effects().entries[0].label, u"Ea");  // ordered by their numbers
    EXPECT_EQ(editor.effects().entries[11].label, u"El");
    EXPECT_EQ(editor.effects().entries[3].value, 3);
    EXPECT_EQ(editor.effects().selection, 3);
    EXPECT_EQ(editor.borders().entries[0].label, u"0\uFF1A\u65E0\u8FB9\u6846");  // built-in kept
    EXPECT_EQ(editor.textColors().entries[1].label, u"Schwarz");
    EXPECT_EQ(editor.speeds().entries[0].label, u" 1");
    EXPECT_EQ(editor.stopTimes().entries[21].label, u"255");
}

TEST_F(Editor, LanguageListsCountEveryEntryEvenWithoutAValue) {
    // n entries with values 1 .. n-1 in reverse, and one without a value in the middle.
    auto withOneEmpty = [](int n) {
        std::vector<platform::TextListEntry> list;
        for (int i = n - 1; i >= 1; --i)
            list.push_back({u"L" + platform::toDecimal(i), platform::toDecimal(i)});
        list.insert(list.begin() + 3, {u"L-none", u""});
        return list;
    };
    const std::u16string builtInEffect0 = u"0\uFF1A\u7ACB\u5373\u663E\u793A";  // 0：立即显示
    const std::u16string builtInBorder0 = u"0\uFF1A\u65E0\u8FB9\u6846";        // 0：无边框
    struct Case {
        const char16_t* key;
        int entries;
        bool taken;
    };
    for (const Case c :
         {Case{u"effects", 12, true}, Case{u"effects", 13, false}, Case{u"effects", 11, false},
          Case{u"Borders", 15, true}, Case{u"Borders", 16, false}}) {
        SCOPED_TRACE(testing::Message() << c.entries << " entries");
        Texts t;
        t.lists[c.key] = withOneEmpty(c.entries);
        CDlgProgram e(Instance::Editor, t);
        e.applyTexts();
        const CDlgProgram::List& list =
            std::u16string_view(c.key) == u"effects" ? e.effects() : e.borders();
        const std::u16string& builtIn =
            std::u16string_view(c.key) == u"effects" ? builtInEffect0 : builtInBorder0;
        if (c.taken) {
            // The entry without a value reads as 0 and comes first, then 1, 2, ...
            EXPECT_EQ(list.entries[0].label, u"L-none");
            EXPECT_EQ(list.entries[1].label, u"L1");
            EXPECT_EQ(list.entries.back().label, u"L" + platform::toDecimal(c.entries - 1));
        } else {
            EXPECT_EQ(list.entries[0].label, builtIn);
        }
        EXPECT_EQ(list.entries.size(), std::u16string_view(c.key) == u"effects" ? 12u : 15u);
    }
}

TEST_F(Editor, SpacingStepsStopAtTheEndsOfWhatARecordHolds) {
    editor.setPitchOffset(INT32_MAX - 1);
    editor.stepPitchOffset(1);
    EXPECT_EQ(editor.pitchOffset(), INT32_MAX);
    editor.stepPitchOffset(1);
    EXPECT_EQ(editor.pitchOffset(), INT32_MAX);
    editor.stepPitchOffset(-1);
    EXPECT_EQ(editor.pitchOffset(), INT32_MAX - 1);
    editor.setPitchOffset(INT32_MIN + 1);
    editor.stepPitchOffset(-1);
    EXPECT_EQ(editor.pitchOffset(), INT32_MIN);
    editor.stepPitchOffset(-1);
    EXPECT_EQ(editor.pitchOffset(), INT32_MIN);
    editor.stepPitchOffset(1);
    EXPECT_EQ(editor.pitchOffset(), INT32_MIN + 1);
    ProgramRecord record;
    editor.commit(record);
    EXPECT_EQ(record.PitchOffSet, INT32_MIN + 1);
}

// --- preview refresh requests ------------------------------------------------------------

TEST_F(Editor, ChangesAskForAPreviewAfterTheirDelays) {
    EditorView view(editor);
    int requests = 0;
    editor.setPreviewRequest([&] { ++requests; });
    editor.load(ProgramRecord{});
    EXPECT_TRUE(view.timers.empty());
    editor.selectEffect(2);
    EXPECT_EQ(view.timers[CDlgProgram::kRefreshTimer], 10);
    editor.setFlicker(true);
    EXPECT_EQ(view.timers[CDlgProgram::kRefreshTimer], 100);
    editor.setOffsetX(3);
    EXPECT_EQ(view.timers[CDlgProgram::kRefreshTimer], 400);
    editor.onTimer(CDlgProgram::kRefreshTimer);
    EXPECT_EQ(requests, 1);
    EXPECT_FALSE(view.timers.count(CDlgProgram::kRefreshTimer));

    // Typing: 500 ms after the last change, unless a key was pressed since.
    editor.setText(u"a", 1);
    EXPECT_EQ(view.timers[CDlgProgram::kTypingTimer], 500);
    editor.noteKeyPress();  // e.g. an arrow key, no change
    editor.onTimer(CDlgProgram::kTypingTimer);
    EXPECT_EQ(requests, 1);
    // Not lost: the timer runs again, and without a further key the refresh comes.
    EXPECT_EQ(view.timers[CDlgProgram::kTypingTimer], 500);
    editor.onTimer(CDlgProgram::kTypingTimer);
    EXPECT_EQ(requests, 2);
    editor.setText(u"ab", 2);
    editor.onTimer(CDlgProgram::kTypingTimer);
    EXPECT_EQ(requests, 3);

    // Loading cancels what is pending and schedules nothing.
    editor.selectEffect(1);
    editor.load(ProgramRecord{});
    EXPECT_TRUE(view.timers.empty());

    // The encoder instance never asks.
    EditorView encoderView(encoder);
    encoder.selectEffect(4);
    encoder.setText(u"x", 1);
    EXPECT_TRUE(encoderView.timers.empty());
}

}  // namespace
