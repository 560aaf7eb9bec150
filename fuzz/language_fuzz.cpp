// Arbitrary bytes as a language file ("language/*.dll" of the program folder):
// find the languages, load the one the file names by its name and by its menu
// id, and look texts up. The file is listed exactly when it names a language,
// both ways of loading agree, and every text and list entry found is one the
// file holds (never empty, never the key's own fallback for a list).
#include "FuzzFolder.h"
#include "app/LanguageTable.h"
#include "platform/StringUtil.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzfolder::reset();
    const auto& program = fuzzfolder::folder();
    const auto file = program / "language" / "Fuzz.dll";
    fuzzfolder::writeFile(file, fuzzfolder::bytesOf(data, size));

    const std::u16string name = LanguageTable::languageNameOf(file);
    LanguageTable table;
    table.findLanguages(program);
    if (table.languages().size() != (name.empty() ? 0u : 1u)) std::abort();
    if (name.empty()) {
        if (!table.loadByName(u"English").empty() || !table.name().empty()) std::abort();
        return 0;
    }
    const LanguageTable::Language& language = table.languages().front();
    if (language.name != name || language.path != file ||
        language.menuId != LanguageTable::kFirstMenuId)
        std::abort();

    if (table.loadByName(platform::toUpperAscii(name)) != file || table.name() != name)
        std::abort();
    // Keys the shipped files use, and the language's own name as a key.
    const std::u16string keys[] = {u"mFile", u"OK", u"Effect", u"Border", name, u""};
    std::vector<std::u16string> byName;
    for (const std::u16string& key : keys) {
        const std::u16string text = table.text(key);
        if (table.hasText(key) ? text.empty() : text != key) std::abort();
        for (const auto& entry : table.list(key)) {
            if (entry.text.empty()) std::abort();
            byName.push_back(entry.text);
        }
        byName.push_back(text);
    }

    if (table.loadByMenuId(language.menuId) != file || table.name() != name) std::abort();
    std::vector<std::u16string> byId;
    for (const std::u16string& key : keys) {
        for (const auto& entry : table.list(key))
            byId.push_back(entry.text);
        byId.push_back(table.text(key));
    }
    if (byId != byName) std::abort();
    return 0;
}
