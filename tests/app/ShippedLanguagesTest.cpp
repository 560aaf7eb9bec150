// The shipped language files against the source: every key the program looks
// up must be in every file, so no user ever sees a raw key.
#include "app/CGlimraDlg.h"
#include "app/LanguageTable.h"
#include "platform/TextCodec.h"
#include "xml/CXmlDocument.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

namespace {

namespace fs = std::filesystem;

const fs::path kSource = ZENTARI_SOURCE_DIR;

struct Keys {
    std::set<std::u16string> texts;
    std::set<std::u16string> lists;
};

// Every literal key handed to the language table's text() or list() anywhere
// in the program, and the keys of the menu bar's table.
Keys keysInSource() {
    Keys keys;
    const std::regex text(R"(\.text\(\s*u"([^"\\]*)\"\s*\))");
    const std::regex list(R"(\.list\(\s*u"([^"\\]*)\"\s*\))");
    for (const char* dir : {"app", "project", "content", "device", "preview", "batch", "assets", "update",
                            "controls", "cli"}) {
        if (!fs::is_directory(kSource / dir)) continue;
        for (const auto& entry : fs::recursive_directory_iterator(kSource / dir)) {
            const auto ext = entry.path().extension();
            if (ext != ".cpp" && ext != ".h") continue;
            const std::string code = testing_support::readFile(entry.path());
            for (std::sregex_iterator it(code.begin(), code.end(), text), end; it != end; ++it)
                keys.texts.insert(platform::utf8ToUtf16((*it)[1].str()));
            for (std::sregex_iterator it(code.begin(), code.end(), list), end; it != end; ++it)
                keys.lists.insert(platform::utf8ToUtf16((*it)[1].str()));
        }
    }
    std::function<void(const std::vector<CGlimraDlg::MenuItem>&)> menus = [&](const auto& items) {
        for (const auto& item : items) {
            keys.texts.insert(std::u16string(item.key));
            menus(item.children);
        }
    };
    menus(CGlimraDlg::menuBar());
    return keys;
}

std::string narrow(const std::u16string& s) { return platform::utf16ToUtf8(s); }

TEST(ShippedLanguages, EveryFileIsWellFormedAndNamed) {
    LanguageTable table;
    table.findLanguages(kSource / "data");
    std::set<std::u16string> names;
    for (const auto& l : table.languages()) {
        CXmlDocument doc;
        EXPECT_TRUE(doc.LoadFile(l.path)) << l.path;
        names.insert(l.name);
    }
    for (const std::u16string required : {u"English", u"\u7B80\u4F53\u4E2D\u6587", u"\u7E41\u9AD4\u4E2D\u6587"})
        EXPECT_TRUE(names.count(required)) << narrow(required);
    EXPECT_EQ(names.size(), table.languages().size());  // no name twice
}

TEST(ShippedLanguages, EveryKeyOfTheSourceIsInEveryFile) {
    const Keys keys = keysInSource();
    ASSERT_GT(keys.texts.size(), 30u);  // the scan found the program's lookups
    LanguageTable table;
    table.findLanguages(kSource / "data");
    ASSERT_FALSE(table.languages().empty());
    for (const auto& l : table.languages()) {
        SCOPED_TRACE(l.path.filename().string());
        ASSERT_FALSE(table.loadByMenuId(l.menuId).empty());
        for (const auto& key : keys.texts) EXPECT_TRUE(table.hasText(key)) << "missing text " << narrow(key);
        for (const auto& key : keys.lists) EXPECT_FALSE(table.list(key).empty()) << "missing list " << narrow(key);
        // The editor's lists are only taken when they are complete.
        size_t effects = 0, borders = 0;
        for (const auto& e : table.list(u"effects")) effects += e.value.empty() ? 0 : 1;
        for (const auto& e : table.list(u"Borders")) borders += e.value.empty() ? 0 : 1;
        EXPECT_EQ(effects, 12u);
        EXPECT_EQ(borders, 15u);
    }
}

}  // namespace
