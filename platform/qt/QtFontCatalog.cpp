#include "platform/qt/QtFontCatalog.h"

#include "platform/StringUtil.h"
#include "platform/TextCodec.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <set>
#include <string>

namespace platform {

namespace {

// A font's family name in English where it has one, else its first name.
// Qt's own list gives the names in the user's language ("文泉驿正黑" under a
// Chinese locale), and a project saved under one locale must find its fonts
// under another, so the names here are the locale-independent ones.
std::string familyOf(FcPattern* font) {
    FcChar8* first = nullptr;
    for (int i = 0;; ++i) {
        FcChar8* family = nullptr;
        if (FcPatternGetString(font, FC_FAMILY, i, &family) != FcResultMatch) break;
        if (!first) first = family;
        FcChar8* lang = nullptr;
        if (FcPatternGetString(font, FC_FAMILYLANG, i, &lang) == FcResultMatch &&
            std::string(reinterpret_cast<char*>(lang)).rfind("en", 0) == 0)
            return reinterpret_cast<char*>(family);
    }
    return first ? reinterpret_cast<char*>(first) : std::string();
}

}  // namespace

std::vector<std::u16string> QtFontCatalog::families() const {
    std::set<std::u16string> names;
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, FC_FAMILYLANG, nullptr);
    if (FcFontSet* set = FcFontList(nullptr, pattern, objects)) {
        for (int i = 0; i < set->nfont; ++i) {
            const std::string family = familyOf(set->fonts[i]);
            if (!family.empty() && family[0] != '@') names.insert(utf8ToUtf16(family));
        }
        FcFontSetDestroy(set);
    }
    FcObjectSetDestroy(objects);
    FcPatternDestroy(pattern);
    std::vector<std::u16string> out(names.begin(), names.end());
    std::sort(out.begin(), out.end(), [](const std::u16string& a, const std::u16string& b) {
        std::u16string x(a), y(b);
        for (auto& c : x)
            c = foldCase(c);
        for (auto& c : y)
            c = foldCase(c);
        return x < y;
    });
    return out;
}

}  // namespace platform
