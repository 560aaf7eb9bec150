#include "app/LanguageTable.h"

#include "platform/StringUtil.h"
#include "xml/CXmlDocument.h"

#include <algorithm>
#include <system_error>

namespace {

// The name search: the first element of a level with a non-empty first
// attribute gives it; an element without one but with children ends the search
// among its children. A loop, not a recursion: a file nested deeply enough
// would otherwise overflow the stack.
std::u16string nameAtLevel(CXmlDocument& doc) {
    for (bool descended = true; descended;) {
        descended = false;
        while (doc.FindElement()) {
            const std::u16string first = doc.GetAttributeName(0);
            if (!first.empty()) {
                std::u16string value = doc.GetAttribute(first);
                if (!value.empty()) return value;
            }
            doc.ResetChildPosition();
            if (doc.FindChildElement()) {
                doc.ResetChildPosition();
                doc.EnterElement();
                descended = true;
                break;
            }
        }
    }
    return {};
}

bool hasDllExtension(const std::filesystem::path& p) {
    return platform::equalsNoCase(p.extension().u16string(), u".dll");
}

}  // namespace

std::u16string LanguageTable::languageNameOf(const std::filesystem::path& file) {
    CXmlDocument doc;
    doc.LoadFile(file);
    // A damaged file still names its language when its start could be read.
    return nameAtLevel(doc);
}

void LanguageTable::findLanguages(const std::filesystem::path& programFolder) {
    m_languages.clear();
    std::error_code ec;
    std::vector<std::filesystem::path> files;
    for (std::filesystem::directory_iterator it(programFolder / "language", ec), end;
         !ec && it != end; it.increment(ec)) {
        if (it->is_regular_file(ec) && hasDllExtension(it->path())) files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        std::u16string name = languageNameOf(file);
        if (name.empty()) continue;
        const int id = kFirstMenuId + static_cast<int>(m_languages.size());
        m_languages.push_back({file, id, std::move(name)});
    }
}

void LanguageTable::clearStrings() {
    m_entries.clear();
    m_firstPlain.clear();
    m_path.clear();
}

bool LanguageTable::loadStrings(const std::filesystem::path& file) {
    CXmlDocument doc;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) return false;
    doc.LoadFile(file);
    if (!doc.FindElement()) return false;
    doc.ResetPosition();
    // Every element, depth first, in document order.
    std::vector<Entry> entries;
    auto visit = [&](auto&& self, int depth) -> void {
        while (doc.FindElement()) {
            const std::u16string keyName = doc.GetAttributeName(0);
            const std::u16string key =
                keyName.empty() ? std::u16string() : doc.GetAttribute(keyName);
            const std::u16string valueName = doc.GetAttributeName(1);
            const std::u16string value =
                valueName.empty() ? std::u16string() : doc.GetAttribute(valueName);
            std::u16string text = doc.GetElementText();
            if (!key.empty() && !text.empty() && (valueName.empty() || !value.empty()))
                entries.push_back({key, value, std::move(text)});
            if (depth < 64 && doc.EnterElement()) {
                self(self, depth + 1);
                doc.LeaveElement();
            }
        }
    };
    visit(visit, 0);
    m_entries = std::move(entries);
    for (size_t i = 0; i < m_entries.size(); ++i)
        if (m_entries[i].value.empty()) m_firstPlain.emplace(m_entries[i].key, i);
    m_path = file;
    return true;
}

std::filesystem::path LanguageTable::loadByName(std::u16string_view name) {
    clearStrings();
    for (const Language& l : m_languages) {
        if (!platform::equalsNoCase(l.name, name)) continue;
        m_name = l.name;
        return loadStrings(l.path) ? l.path : std::filesystem::path();
    }
    return {};
}

std::filesystem::path LanguageTable::loadByMenuId(int menuId) {
    clearStrings();
    for (const Language& l : m_languages) {
        if (l.menuId != menuId) continue;
        m_name = l.name;
        return loadStrings(l.path) ? l.path : std::filesystem::path();
    }
    return {};
}

std::u16string LanguageTable::text(std::u16string_view key) const {
    auto it = m_firstPlain.find(key);
    return it == m_firstPlain.end() ? std::u16string(key) : m_entries[it->second].text;
}

std::vector<LanguageTable::ListEntry> LanguageTable::list(std::u16string_view key) const {
    std::vector<ListEntry> out;
    for (const Entry& e : m_entries)
        if (e.key == key) out.push_back({e.text, e.value});
    return out;
}

std::u16string LanguageTable::systemLanguageName(uint16_t id) {
    switch (id) {
        case 0x0402:
            return u"\u0431\u044A\u043B\u0433\u0430\u0440\u0441\u043A\u0438";  // български
        case 0x0404:
        case 0x0C04:
        case 0x1404:
            return u"\u7E41\u9AD4\u4E2D\u6587";  // 繁體中文
        case 0x0407:
        case 0x0807:
        case 0x0C07:
        case 0x1007:
        case 0x1407:
            return u"Deutsch";
        case 0x040C:
        case 0x080C:
        case 0x0C0C:
        case 0x100C:
        case 0x140C:
        case 0x180C:
            return u"Fran\u00E7aise";
        case 0x0411:
            return u"\u65E5\u672C\u8A9E";  // 日本語
        case 0x0412:
            return u"\uD55C\uAD6D\uC778";  // 한국인
        case 0x0415:
            return u"Polski";
        case 0x0419:
            return u"\u0420\u0443\u0441\u0441\u043A\u0438\u0439";  // Русский
        case 0x041F:
            return u"T\u00FCrk\u00E7e";
        case 0x0429:
            return u"\u06CC\u0631\u0627\u0646\u06CC";  // یرانی
        case 0x042A:
            return u"Ti\u1EBFng Vi\u1EC7t";
        case 0x0450:
        case 0x0850:
            return u"\u041C\u043E\u043D\u0433\u043E\u043B";  // Монгол
        case 0x0804:
        case 0x1004:
            return u"\u7B80\u4F53\u4E2D\u6587";  // 简体中文
        default:
            break;
    }
    // Spanish in all its variants: 0x040A, 0x080A, … 0x540A.
    if ((id & 0x3FF) == 0x0A && (id >> 10) >= 1 && (id >> 10) <= 21) return u"Espa\u00F1ol";
    return u"English";
}
