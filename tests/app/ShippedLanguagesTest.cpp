// The shipped language files against the source: every key the program looks
// up must be in every file, so no user ever sees a raw key.

// GCC 12 with the sanitizers at -O1 warns about std::function inside its own
// <regex> (a false positive); it has to be off before any standard header.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ < 13
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "app/CDialogTest.h"
#include "app/CDialogToolbar.h"
#include "app/CGlimraDlg.h"
#include "app/LanguageTable.h"
#include "content/ProgramOptions.h"
#include "platform/TextCodec.h"
#include "support/TestFiles.h"
#include "xml/CXmlDocument.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <regex>
#include <set>

namespace {

namespace fs = std::filesystem;

const fs::path kSource = ZENTARI_SOURCE_DIR;

// --- finding the lookups ------------------------------------------------------------------
//
// A key reaches the language table in three ways: as a literal handed to text()
// or list(); as a literal handed to a helper that passes its parameter on to
// one of those (a member like CDlgProgram::caption, or a lambda in the same
// file), at whatever position the helper takes it; or taken from a table. The
// first two are found in the code; the tables are asked directly. A lookup of a
// computed key whose table the scan does not read is reported, so a new table
// cannot slip past.

struct SourceFile {
    std::string path;  // relative to the source folder
    std::string code;
};

struct Lookup {
    std::string name;
    size_t keyArg;
    bool list;         // reaches list() rather than text()
    std::string file;  // empty: callable anywhere; else a lambda of this file
};

struct Scan {
    std::set<std::u16string> texts;
    std::set<std::u16string> lists;
    std::set<std::string> computed;  // "file: call(argument)" of keys the code computes
};

// The code with comments replaced by spaces; literals stay as they are.
std::string withoutComments(const std::string& code) {
    std::string out = code;
    enum { Code, Line, Block, String, Char } state = Code;
    for (size_t i = 0; i < out.size(); ++i) {
        const char c = out[i];
        const char next = i + 1 < out.size() ? out[i + 1] : '\0';
        switch (state) {
            case Code:
                if (c == '/' && next == '/')
                    state = Line, out[i] = ' ';
                else if (c == '/' && next == '*')
                    state = Block, out[i] = ' ', out[++i] = ' ';
                else if (c == '"')
                    state = String;
                else if (c == '\'')
                    state = Char;
                break;
            case Line:
                if (c == '\n')
                    state = Code;
                else
                    out[i] = ' ';
                break;
            case Block:
                if (c == '*' && next == '/')
                    state = Code, out[i] = ' ', out[++i] = ' ';
                else if (c != '\n')
                    out[i] = ' ';
                break;
            case String:
            case Char:
                if (c == '\\')
                    ++i;
                else if ((state == String && c == '"') || (state == Char && c == '\''))
                    state = Code;
                break;
        }
    }
    return out;
}

std::string trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

// The top-level comma-separated pieces between the parenthesis at `open` and
// its partner; `end` gets the partner's position (npos when there is none).
std::vector<std::string> splitArguments(const std::string& code, size_t open, size_t* end) {
    std::vector<std::string> args;
    std::string current;
    int depth = 0;
    for (size_t i = open + 1; i < code.size(); ++i) {
        const char c = code[i];
        if (c == '"' || c == '\'') {
            const size_t start = i;
            for (++i; i < code.size() && code[i] != c; ++i)
                if (code[i] == '\\') ++i;
            current += code.substr(start, i - start + 1);
            continue;
        }
        if (c == '(' || c == '[' || c == '{') ++depth;
        if (c == ')' || c == ']' || c == '}') {
            if (depth == 0 && c == ')') {
                if (!trim(current).empty() || !args.empty()) args.push_back(trim(current));
                *end = i;
                return args;
            }
            --depth;
        }
        if (c == ',' && depth == 0) {
            args.push_back(trim(current));
            current.clear();
            continue;
        }
        current += c;
    }
    *end = std::string::npos;
    return args;
}

// The position after the brace that closes the one at `open`.
size_t blockEnd(const std::string& code, size_t open) {
    int depth = 0;
    for (size_t i = open; i < code.size(); ++i) {
        const char c = code[i];
        if (c == '"' || c == '\'') {
            for (++i; i < code.size() && code[i] != c; ++i)
                if (code[i] == '\\') ++i;
            continue;
        }
        if (c == '{') ++depth;
        if (c == '}' && --depth == 0) return i + 1;
    }
    return code.size();
}

// A function or lambda whose parameter `param` (at `index`) is a text.
struct Definition {
    std::string name;
    bool lambda;
    size_t head;  // where the name stands
    size_t bodyBegin, bodyEnd;
    std::vector<std::pair<size_t, std::string>> textParams;  // index, name
};

std::vector<Definition> definitionsIn(const std::string& code) {
    static const std::regex head(
        R"(\b([A-Za-z_]\w*)\s*(=\s*\[[^\]]*\]\s*)?\(([^()]*)\)\s*(?:const\s*)?(?:noexcept\s*)?(?:->\s*[\w:<>]+\s*)?\{)");
    static const std::set<std::string> keywords{"if", "for", "while", "switch", "catch", "return"};
    std::vector<Definition> out;
    for (std::sregex_iterator it(code.begin(), code.end(), head), end; it != end; ++it) {
        const auto& m = *it;
        if (keywords.count(m[1].str())) continue;
        Definition d{m[1].str(), m[2].matched, static_cast<size_t>(m.position(1)), 0, 0, {}};
        d.bodyBegin = static_cast<size_t>(m.position(0) + m.length(0) - 1);
        d.bodyEnd = blockEnd(code, d.bodyBegin);
        size_t close = 0;
        const std::string params = "(" + m[3].str() + ")";
        const auto pieces = splitArguments(params, 0, &close);
        for (size_t i = 0; i < pieces.size(); ++i) {
            const std::string& p = pieces[i];
            if (p.find("u16string") == std::string::npos && p.find("char16_t") == std::string::npos)
                continue;
            const auto nameStart = p.find_last_of(" &*");
            if (nameStart == std::string::npos) continue;
            d.textParams.emplace_back(i, p.substr(nameStart + 1));
        }
        if (!d.textParams.empty()) out.push_back(std::move(d));
    }
    return out;
}

struct Call {
    size_t at;
    std::vector<std::string> args;
};

std::vector<Call> callsOf(const std::string& code, const std::string& name) {
    std::vector<Call> calls;
    const std::regex call("\\b" + name + "\\s*\\(");
    for (std::sregex_iterator it(code.begin(), code.end(), call), end; it != end; ++it) {
        const size_t open = static_cast<size_t>(it->position(0) + it->length(0) - 1);
        size_t close = 0;
        Call c{static_cast<size_t>(it->position(0)), splitArguments(code, open, &close)};
        if (close != std::string::npos) calls.push_back(std::move(c));
    }
    return calls;
}

bool applies(const Lookup& l, const SourceFile& f) {
    return l.file.empty() || l.file == f.path;
}

// Whether the name at `at` is declared there (`Type name(...)`) rather than called.
bool isDeclaredName(const std::string& code, size_t at) {
    size_t i = at;
    while (i > 0 && std::isspace(static_cast<unsigned char>(code[i - 1])))
        --i;
    if (i == 0) return false;
    const char before = code[i - 1];
    if (before == '>' || before == '&' || before == '*') return i < 2 || code[i - 2] != '-';
    if (!std::isalnum(static_cast<unsigned char>(before)) && before != '_') return false;
    size_t w = i;
    while (w > 0 && (std::isalnum(static_cast<unsigned char>(code[w - 1])) || code[w - 1] == '_'))
        --w;
    static const std::set<std::string> notTypes{"return", "co_return", "throw",
                                                "else",   "case",      "new"};
    return !notTypes.count(code.substr(w, i - w));
}

Scan scanCode(std::vector<SourceFile> files) {
    for (SourceFile& f : files)
        f.code = withoutComments(f.code);
    std::vector<Lookup> lookups{{"text", 0, false, ""}, {"list", 0, true, ""}};
    std::map<std::string, std::vector<Definition>> definitions;
    for (const SourceFile& f : files)
        definitions[f.path] = definitionsIn(f.code);

    // Helpers that pass a text parameter on to a lookup are lookups too, until
    // no new one turns up.
    for (bool grown = true; grown;) {
        grown = false;
        for (const SourceFile& f : files)
            for (const Definition& d : definitions[f.path])
                for (const auto& [index, param] : d.textParams)
                    for (size_t k = 0; k < lookups.size(); ++k) {
                        const Lookup l = lookups[k];
                        if (!applies(l, f)) continue;
                        const std::string body =
                            f.code.substr(d.bodyBegin, d.bodyEnd - d.bodyBegin);
                        bool forwards = false;
                        for (const Call& c : callsOf(body, l.name))
                            forwards |= c.args.size() > l.keyArg && c.args[l.keyArg] == param;
                        if (!forwards) continue;
                        Lookup helper{d.name, index, l.list, d.lambda ? f.path : ""};
                        const bool known =
                            std::any_of(lookups.begin(), lookups.end(), [&](const Lookup& x) {
                                return x.name == helper.name && x.keyArg == helper.keyArg &&
                                       x.file == helper.file;
                            });
                        if (!known) lookups.push_back(helper), grown = true;
                    }
    }

    static const std::regex literal(R"re(^u"([^"\\]*)"$)re");
    static const std::regex number(R"(^[0-9]+$)");
    static const std::regex declaration(R"(^(const\s+)?[\w:<>]+[\s&*]+\w+$)");
    Scan scan;
    for (const SourceFile& f : files)
        for (const Lookup& l : lookups) {
            if (!applies(l, f)) continue;
            for (const Call& c : callsOf(f.code, l.name)) {
                if (c.args.size() <= l.keyArg) continue;  // text(), list(): something else
                if (isDeclaredName(f.code, c.at))
                    continue;  // a variable or a function of that name
                const std::string& arg = c.args[l.keyArg];
                std::smatch m;
                if (std::regex_match(arg, m, literal)) {
                    (l.list ? scan.lists : scan.texts).insert(platform::utf8ToUtf16(m[1].str()));
                    continue;
                }
                if (std::regex_match(arg, number)) continue;       // an item's column, not a key
                if (std::regex_match(arg, declaration)) continue;  // a declaration of the lookup
                // The definition's own head, and a helper handing its parameter on.
                bool passedOn = false;
                for (const Definition& d : definitions[f.path]) {
                    if (d.head == c.at) passedOn = true;
                    if (c.at > d.bodyBegin && c.at < d.bodyEnd)
                        for (const auto& [index, param] : d.textParams)
                            passedOn |= arg == param;
                }
                if (!passedOn) scan.computed.insert(f.path + ": " + l.name + "(" + arg + ")");
            }
        }
    return scan;
}

std::vector<SourceFile> programSources() {
    std::vector<SourceFile> files;
    for (const char* dir : {"app", "project", "content", "device", "preview", "batch", "assets",
                            "update", "controls", "cli"}) {
        if (!fs::is_directory(kSource / dir)) continue;
        for (const auto& entry : fs::recursive_directory_iterator(kSource / dir)) {
            const auto ext = entry.path().extension();
            if (ext != ".cpp" && ext != ".h") continue;
            files.push_back({fs::relative(entry.path(), kSource).generic_string(),
                             testing_support::readFile(entry.path())});
        }
    }
    std::sort(files.begin(), files.end(),
              [](const auto& a, const auto& b) { return a.path < b.path; });
    return files;
}

// Lookups of computed keys, each with the table the keys come from; the scan
// reads those tables below.
const std::set<std::string> kTableLookups{
    "app/CGlimraDlg.cpp: text(item.key)",                 // CGlimraDlg::menuBar()
    "app/CDialogTest.cpp: text(b.labelKey)",              // CDialogTest::kButtons
    "app/CDialogToolbar.cpp: text(f.captionKey)",         // CDialogToolbar::kButtons
    "content/CDlgProgram.cpp: text(c.key)",               // ProgramOptions::kColors
    "content/CDlgProgram.cpp: text(po::kColors[i].key)",  // ProgramOptions::kColors
};

Scan keysOfTheProgram() {
    Scan scan = scanCode(programSources());
    std::function<void(const std::vector<CGlimraDlg::MenuItem>&)> menus = [&](const auto& items) {
        for (const auto& item : items) {
            scan.texts.insert(std::u16string(item.key));
            menus(item.children);
        }
    };
    menus(CGlimraDlg::menuBar());
    for (const auto& b : CDialogTest::kButtons)
        scan.texts.insert(b.labelKey);
    for (const auto& b : CDialogToolbar::kButtons)
        scan.texts.insert(b.captionKey);
    for (const auto& c : ProgramOptions::kColors)
        scan.texts.insert(std::u16string(c.key));
    return scan;
}

std::string narrow(const std::u16string& s) {
    return platform::utf16ToUtf8(s);
}

// --- the scan itself ----------------------------------------------------------------------

TEST(LanguageKeyScan, FindsEveryKindOfLookup) {
    const Scan scan = keysOfTheProgram();
    const std::pair<const char16_t*, const char*> expected[] = {
        {u"CannotFindDevice", "text() with a literal"},
        {u"TestScreen", "text() in a window of the Qt face"},
        {u"mFile", "the menu bar's table"},
        {u"FullLight", "the test dialog's table"},
        {u"Red", "the colour table"},
        {u"Font", "a caption through a lambda over CDlgProgram::caption"},
        {u"Undo", "the text box menu's helper, the key first of three"},
    };
    for (const auto& [key, how] : expected)
        EXPECT_TRUE(scan.texts.count(key)) << narrow(key) << ": " << how;
    // The editor's lists, through a helper that takes the key second.
    EXPECT_TRUE(scan.lists.count(u"effects"));
    EXPECT_TRUE(scan.lists.count(u"Borders"));
    for (const std::string& site : scan.computed)
        EXPECT_TRUE(kTableLookups.count(site))
            << "a key computed at " << site << ": the scan must read the table it comes from";
}

TEST(LanguageKeyScan, FollowsHelpersAndReportsComputedKeys) {
    const std::vector<SourceFile> files{
        {"a/Dialog.h",
         "class Dialog { std::u16string label(int n, std::u16string_view key) const {"
         " return m_texts.text(key); } };"},
        {"a/Dialog.cpp",
         "void Dialog::fill() {\n"
         "    auto tr = [this](std::u16string_view which) { return label(0, which); };\n"
         "    setTitle(tr(u\"Title\"));\n"
         "    m_box.setText(label(2, u\"Box\"));\n"
         "    for (const auto& row : kRows) add(m_texts.text(row.key));\n"
         "    m_item->text(0);\n"
         "}\n"
         "// m_texts.text(u\"Commented\")\n"},
        {"a/Other.cpp", "void f() { tr(u\"NotALookupHere\"); g(list(u\"Sizes\")); }"},
    };
    const Scan scan = scanCode(files);
    EXPECT_EQ(scan.texts, (std::set<std::u16string>{u"Title", u"Box"}));
    EXPECT_EQ(scan.lists, std::set<std::u16string>{u"Sizes"});
    EXPECT_EQ(scan.computed, std::set<std::string>{"a/Dialog.cpp: text(row.key)"});
}

// --- the shipped files --------------------------------------------------------------------

TEST(ShippedLanguages, EveryFileIsWellFormedAndNamed) {
    LanguageTable table;
    table.findLanguages(kSource / "data");
    std::set<std::u16string> names;
    for (const auto& l : table.languages()) {
        CXmlDocument doc;
        EXPECT_TRUE(doc.LoadFile(l.path)) << l.path;
        names.insert(l.name);
        // The reader is lenient; other XML tools are not: every '&' starts an entity.
        const std::string bytes = testing_support::readFile(l.path);
        for (size_t at = bytes.find('&'); at != std::string::npos; at = bytes.find('&', at + 1)) {
            const std::string rest = bytes.substr(at + 1, 6);
            const bool entity = rest.rfind("amp;", 0) == 0 || rest.rfind("lt;", 0) == 0 ||
                                rest.rfind("gt;", 0) == 0 || rest.rfind("quot;", 0) == 0 ||
                                rest.rfind("apos;", 0) == 0 || rest.rfind("#", 0) == 0;
            EXPECT_TRUE(entity) << l.path << " at byte " << at << ": &" << rest;
        }
    }
    for (const std::u16string required :
         {u"English", u"\u7B80\u4F53\u4E2D\u6587", u"\u7E41\u9AD4\u4E2D\u6587", u"Deutsch"})
        EXPECT_TRUE(names.count(required)) << narrow(required);
    EXPECT_EQ(names.size(), table.languages().size());  // no name twice
}

TEST(ShippedLanguages, EveryKeyOfTheProgramIsInEveryFile) {
    const Scan keys = keysOfTheProgram();
    ASSERT_GT(keys.texts.size(), 30u);  // the scan found the program's lookups
    LanguageTable table;
    table.findLanguages(kSource / "data");
    ASSERT_FALSE(table.languages().empty());
    for (const auto& l : table.languages()) {
        SCOPED_TRACE(l.path.filename().string());
        ASSERT_FALSE(table.loadByMenuId(l.menuId).empty());
        for (const auto& key : keys.texts)
            EXPECT_TRUE(table.hasText(key)) << "missing text " << narrow(key);
        for (const auto& key : keys.lists)
            EXPECT_FALSE(table.list(key).empty()) << "missing list " << narrow(key);
        // The editor takes a list only when it is complete: one entry per
        // position, numbered as the positions are.
        for (const auto& [key, size] :
             {std::pair{u"effects", size_t{12}}, std::pair{u"Borders", size_t{15}}}) {
            const auto entries = table.list(key);
            EXPECT_EQ(entries.size(), size) << narrow(key);
            std::multiset<std::u16string> values;
            for (const auto& e : entries)
                values.insert(e.value);
            for (size_t i = 0; i < size; ++i)
                EXPECT_EQ(values.count(platform::utf8ToUtf16(std::to_string(i))), 1u)
                    << narrow(key) << " " << i;
        }
    }
}

}  // namespace
