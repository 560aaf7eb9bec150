#pragma once

#include "platform/TextLookup.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// The interface texts. Languages are XML files "language/*.dll" in the program
// folder; a file's language name is the first non-empty first attribute found
// depth-first, and every element with a key (first attribute value) and a text
// is an entry: a plain string without a second attribute, a list item with a
// non-empty second one. Only attribute values count, never names.
class LanguageTable : public platform::TextLookup {
public:
    struct Language {
        std::filesystem::path path;
        int menuId;
        std::u16string name;
    };
    using ListEntry = platform::TextListEntry;

    static constexpr int kFirstMenuId = 3072;

    // Fills the list of languages from the program folder, in file-name order;
    // unreadable files and files without a name are skipped.
    void findLanguages(const std::filesystem::path& programFolder);
    const std::vector<Language>& languages() const { return m_languages; }

    // Clears the strings, then loads the language of that name (compared without
    // regard to case). Returns its path, or an empty path when there is no such
    // language or its file cannot be read.
    std::filesystem::path loadByName(std::u16string_view name);
    // The same by menu id; the language becomes current even when its file
    // cannot be read.
    std::filesystem::path loadByMenuId(int menuId);

    // The first plain string with exactly this key; the key itself when there is none.
    std::u16string text(std::u16string_view key) const override;
    // Whether a plain string with exactly this key is loaded.
    bool hasText(std::u16string_view key) const {
        return m_firstPlain.find(key) != m_firstPlain.end();
    }
    // Every entry with this key, plain or list item, in document order.
    std::vector<ListEntry> list(std::u16string_view key) const override;

    // The name of the current language; empty when none was chosen.
    const std::u16string& name() const { return m_name; }
    const std::filesystem::path& path() const { return m_path; }

    // The language name chosen for a Windows language identifier (0x0409 and
    // the like); "English" for any the program has no name for.
    static std::u16string systemLanguageName(uint16_t languageId);
    // The language name of a file; empty when it cannot be read or names none.
    static std::u16string languageNameOf(const std::filesystem::path& file);

private:
    struct Entry {
        std::u16string key;
        std::u16string value;
        std::u16string text;
    };
    bool loadStrings(const std::filesystem::path& file);
    void clearStrings();

    std::vector<Language> m_languages;
    std::u16string m_name;
    std::filesystem::path m_path;
    std::vector<Entry> m_entries;
    std::map<std::u16string, size_t, std::less<>> m_firstPlain;  // key → index in m_entries
};
