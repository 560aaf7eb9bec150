#include "platform/LocaleIds.h"

#include <cctype>
#include <string>

namespace platform {

namespace {

struct LocaleId {
    const char* language;
    const char* territory;  // "" for the language's default
    uint16_t id;
};

// Primary language and sub-language numbers as Windows gives them.
constexpr LocaleId kIds[] = {
    {"ar", "", 0x0401},   {"bg", "", 0x0402},   {"ca", "", 0x0403},   {"zh", "tw", 0x0404},
    {"zh", "hk", 0x0C04}, {"zh", "mo", 0x1404}, {"zh", "sg", 0x1004}, {"zh", "cn", 0x0804},
    {"zh", "", 0x0804},   {"cs", "", 0x0405},   {"da", "", 0x0406},   {"de", "de", 0x0407},
    {"de", "ch", 0x0807}, {"de", "at", 0x0C07}, {"de", "lu", 0x1007}, {"de", "li", 0x1407},
    {"de", "", 0x0407},   {"el", "", 0x0408},   {"en", "us", 0x0409}, {"en", "gb", 0x0809},
    {"en", "au", 0x0C09}, {"en", "ca", 0x1009}, {"en", "nz", 0x1409}, {"en", "ie", 0x1809},
    {"en", "za", 0x1C09}, {"en", "in", 0x4009}, {"en", "", 0x0409},   {"es", "es", 0x0C0A},
    {"es", "mx", 0x080A}, {"es", "gt", 0x100A}, {"es", "cr", 0x140A}, {"es", "pa", 0x180A},
    {"es", "do", 0x1C0A}, {"es", "ve", 0x200A}, {"es", "co", 0x240A}, {"es", "pe", 0x280A},
    {"es", "ar", 0x2C0A}, {"es", "ec", 0x300A}, {"es", "cl", 0x340A}, {"es", "uy", 0x380A},
    {"es", "py", 0x3C0A}, {"es", "bo", 0x400A}, {"es", "sv", 0x440A}, {"es", "hn", 0x480A},
    {"es", "ni", 0x4C0A}, {"es", "pr", 0x500A}, {"es", "us", 0x540A}, {"es", "", 0x0C0A},
    {"fi", "", 0x040B},   {"fr", "fr", 0x040C}, {"fr", "be", 0x080C}, {"fr", "ca", 0x0C0C},
    {"fr", "ch", 0x100C}, {"fr", "lu", 0x140C}, {"fr", "mc", 0x180C}, {"fr", "", 0x040C},
    {"he", "", 0x040D},   {"hu", "", 0x040E},   {"is", "", 0x040F},   {"it", "", 0x0410},
    {"ja", "", 0x0411},   {"ko", "", 0x0412},   {"nl", "", 0x0413},   {"nb", "", 0x0414},
    {"no", "", 0x0414},   {"pl", "", 0x0415},   {"pt", "br", 0x0416}, {"pt", "", 0x0816},
    {"ro", "", 0x0418},   {"ru", "", 0x0419},   {"hr", "", 0x041A},   {"sk", "", 0x041B},
    {"sq", "", 0x041C},   {"sv", "", 0x041D},   {"th", "", 0x041E},   {"tr", "", 0x041F},
    {"ur", "", 0x0420},   {"id", "", 0x0421},   {"uk", "", 0x0422},   {"be", "", 0x0423},
    {"sl", "", 0x0424},   {"et", "", 0x0425},   {"lv", "", 0x0426},   {"lt", "", 0x0427},
    {"fa", "", 0x0429},   {"vi", "", 0x042A},   {"hy", "", 0x042B},   {"eu", "", 0x042D},
    {"mk", "", 0x042F},   {"ka", "", 0x0437},   {"hi", "", 0x0439},   {"ms", "", 0x043E},
    {"kk", "", 0x043F},   {"sw", "", 0x0441},   {"bn", "", 0x0445},   {"ta", "", 0x0449},
    {"mn", "cn", 0x0850}, {"mn", "", 0x0450},
};

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

uint16_t languageIdForLocale(std::string_view name) {
    name = name.substr(0, name.find_first_of(".@"));
    const size_t sep = name.find_first_of("_-");
    const std::string language = lower(name.substr(0, sep));
    std::string territory =
        sep == std::string_view::npos ? std::string() : lower(name.substr(sep + 1));
    // "zh_Hant_TW" and the like: the territory is the last part.
    if (const size_t last = territory.find_last_of("_-"); last != std::string::npos)
        territory = territory.substr(last + 1);
    if (language == "zh" && (territory == "hant")) territory = "tw";
    const LocaleId* fallback = nullptr;
    for (const LocaleId& l : kIds) {
        if (language != l.language) continue;
        if (territory == l.territory) return l.id;
        if (!*l.territory) fallback = &l;
    }
    return fallback ? fallback->id : 0x0409;
}

}  // namespace platform
