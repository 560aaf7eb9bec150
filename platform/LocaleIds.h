#pragma once

#include <cstdint>
#include <string_view>

namespace platform {

// The Windows language identifier of a locale name such as "es_MX", "zh-TW" or
// "de_CH.UTF-8" (language and territory, any case; encoding and modifier are
// ignored). The language's primary identifier with its default territory when
// the territory is not known; 0x0409 (English, United States) for a language
// that has none here.
uint16_t languageIdForLocale(std::string_view localeName);

}  // namespace platform
