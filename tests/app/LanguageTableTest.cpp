#include "app/LanguageTable.h"
#include "platform/LocaleIds.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using testing_support::writeFile;

class Languages : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(m_dir / "language"); }
    fs::path lang(const std::string& file, const std::string& xml) {
        return writeFile(m_dir / "language" / file, xml);
    }
    testing_support::TempDir m_dir;
};

TEST_F(Languages, NameFromTheFirstAttributeAtAnyDepth) {
    lang("a.dll", "<L name=\"Alpha\"><s k=\"mFile\">File</s></L>");
    // The first element has no attribute: the name is searched among its children.
    lang("b.dll",
         "<?xml version=\"1.0\"?><root><group><x lang=\"Beta\"/></group><y n=\"No\"/></root>");
    // An empty first attribute does not count; the next element of the level is tried.
    lang("c.dll", "<r><e first=\"\"/><f v=\"Gamma\"/></r>");
    lang("d.DLL", "<r z=\"Delta\"/>");
    lang("none.dll", "<r><e/></r>");  // no name anywhere: skipped
    lang("broken.dll", "not xml at all");
    lang("other.xml", "<r n=\"Ignored\"/>");
    fs::create_directories(m_dir / "language" / "folder.dll");
    LanguageTable table;
    table.findLanguages(m_dir.path());
    ASSERT_EQ(table.languages().size(), 4u);
    EXPECT_EQ(table.languages()[0].name, u"Alpha");
    EXPECT_EQ(table.languages()[0].menuId, 3072);
    EXPECT_EQ(table.languages()[1].name, u"Beta");
    EXPECT_EQ(table.languages()[2].name, u"Gamma");
    EXPECT_EQ(table.languages()[3].name, u"Delta");
    EXPECT_EQ(table.languages()[3].menuId, 3075);
}

// A file nested far deeper than any stack could follow one level per call: the
// name at the bottom is still found, and the file loads.
TEST_F(Languages, NameAtTheBottomOfADeeplyNestedFile) {
    constexpr size_t kDepth = 300000;
    std::string xml = "<L>";
    for (size_t k = 0; k < kDepth; ++k)
        xml += "<a>";
    xml += "<b Name=\"Deep\"/>";
    for (size_t k = 0; k < kDepth; ++k)
        xml += "</a>";
    xml += "<s Key=\"mFile\">File</s></L>";
    lang("deep.dll", xml);
    // The search ends among the children of the first element without a name.
    lang("shallow.dll", "<r><a><b/></a><c Name=\"Never\"/></r>");
    LanguageTable table;
    table.findLanguages(m_dir.path());
    ASSERT_EQ(table.languages().size(), 1u);
    EXPECT_EQ(table.languages()[0].name, u"Deep");
    ASSERT_EQ(table.loadByName(u"Deep"), m_dir / "language" / "deep.dll");
    EXPECT_EQ(table.text(u"mFile"), u"File");
}

TEST_F(Languages, TextsAndLists) {
    lang("en.dll",
         "<Language Name=\"English\">"
         "<String Key=\"mFile\">&amp;File</String>"
         "<String Key=\"mFile\">second, never used</String>"
         "<String Key=\"Empty\"></String>"
         "<Item Key=\"effects\" Value=\"1\">Left</Item>"
         "<Item Key=\"effects\" Value=\"0\">Immediate</Item>"
         "<Item Key=\"odd\" Value=\"\">no entry: the second attribute is empty</Item>"
         "<Nested a=\"Outer\"><String b=\"Inner\">deep</String></Nested>"
         "</Language>");
    LanguageTable table;
    table.findLanguages(m_dir.path());
    EXPECT_EQ(table.text(u"mFile"), u"mFile");  // nothing loaded yet
    ASSERT_EQ(table.loadByName(u"english"), m_dir / "language" / "en.dll");
    EXPECT_EQ(table.name(), u"English");
    EXPECT_EQ(table.text(u"mFile"), u"&File");
    EXPECT_EQ(table.text(u"MFILE"), u"MFILE");  // case matters
    EXPECT_EQ(table.text(u"Empty"), u"Empty");
    EXPECT_EQ(table.text(u"effects"), u"effects");  // list items are no plain strings
    EXPECT_EQ(table.text(u"odd"), u"odd");
    EXPECT_EQ(table.text(u"Inner"), u"deep");
    EXPECT_EQ(table.text(u"Outer"), u"Outer");  // it has a child: no text of its own
    const auto effects = table.list(u"effects");
    ASSERT_EQ(effects.size(), 2u);
    EXPECT_EQ(effects[0].text, u"Left");
    EXPECT_EQ(effects[0].value, u"1");
    EXPECT_EQ(effects[1].text, u"Immediate");
    EXPECT_EQ(table.list(u"mFile").size(), 2u);
    EXPECT_TRUE(table.list(u"none").empty());
}

TEST_F(Languages, LoadingByNameAndByMenuId) {
    lang("a.dll", "<L n=\"English\"><s k=\"Send\">Send</s></L>");
    lang("b.dll", "<L n=\"Deutsch\"><s k=\"Send\">Senden</s></L>");
    LanguageTable table;
    table.findLanguages(m_dir.path());
    EXPECT_FALSE(table.loadByName(u"DEUTSCH").empty());
    EXPECT_EQ(table.text(u"Send"), u"Senden");
    EXPECT_TRUE(table.loadByName(u"Klingon").empty());
    EXPECT_EQ(table.text(u"Send"), u"Send");  // the strings were cleared
    EXPECT_EQ(table.name(), u"Deutsch");      // no other language was chosen
    EXPECT_FALSE(table.loadByMenuId(3072).empty());
    EXPECT_EQ(table.name(), u"English");
    EXPECT_TRUE(table.loadByMenuId(3080).empty());

    // A file that goes away after start-up: choosing it clears all strings, yet
    // its name becomes the current one.
    fs::remove(m_dir / "language" / "b.dll");
    EXPECT_TRUE(table.loadByMenuId(3073).empty());
    EXPECT_EQ(table.name(), u"Deutsch");
    EXPECT_EQ(table.text(u"Send"), u"Send");
}

TEST(SystemLanguage, IdentifiersToNames) {
    struct Case {
        uint16_t id;
        std::u16string name;
    };
    const Case cases[] = {
        {0x0409, u"English"},
        {0x0809, u"English"},
        {0x0C0A, u"Espa\u00F1ol"},
        {0x040A, u"Espa\u00F1ol"},
        {0x540A, u"Espa\u00F1ol"},
        {0x580A, u"English"},
        {0x0804, u"\u7B80\u4F53\u4E2D\u6587"},
        {0x1004, u"\u7B80\u4F53\u4E2D\u6587"},
        {0x0404, u"\u7E41\u9AD4\u4E2D\u6587"},
        {0x0C04, u"\u7E41\u9AD4\u4E2D\u6587"},
        {0x1407, u"Deutsch"},
        {0x180C, u"Fran\u00E7aise"},
        {0x0411, u"\u65E5\u672C\u8A9E"},
        {0x0850, u"\u041C\u043E\u043D\u0433\u043E\u043B"},
        {0x0416, u"English"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LanguageTable::systemLanguageName(c.id), c.name) << std::hex << c.id;
}

TEST(SystemLanguage, LocaleNamesToIdentifiers) {
    struct Case {
        const char* locale;
        uint16_t id;
    };
    const Case cases[] = {
        {"en_US.UTF-8", 0x0409},  {"es_ES", 0x0C0A},      {"es_MX", 0x080A}, {"es", 0x0C0A},
        {"zh_CN.GB2312", 0x0804}, {"zh_TW", 0x0404},      {"zh-HK", 0x0C04}, {"zh_Hant", 0x0404},
        {"zh_Hant_HK", 0x0C04},   {"de_AT@euro", 0x0C07}, {"de_XX", 0x0407}, {"fr_CA", 0x0C0C},
        {"mn_Mong_CN", 0x0850},   {"C", 0x0409},          {"", 0x0409},      {"xx_YY", 0x0409},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::languageIdForLocale(c.locale), c.id) << c.locale;
}

}  // namespace
