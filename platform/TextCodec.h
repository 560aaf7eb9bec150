#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Conversions between bytes and the UTF-16 text that the program keeps
// everywhere. Code pages carry their Windows numbers, because the files the
// program reads name encodings that way; the conversions run through iconv,
// except UTF-8 and UTF-16, which are converted here directly.
namespace platform {

inline constexpr uint32_t kCodePageUtf16Le = 1200;
inline constexpr uint32_t kCodePageUtf16Be = 1201;
inline constexpr uint32_t kCodePageUtf32Le = 12000;
inline constexpr uint32_t kCodePageUtf32Be = 12001;
inline constexpr uint32_t kCodePageUsAscii = 20127;
inline constexpr uint32_t kCodePageLatin1 = 28591;
inline constexpr uint32_t kCodePageUtf7 = 65000;
inline constexpr uint32_t kCodePageUtf8 = 65001;

// UTF-8 to UTF-16. Each invalid byte sequence becomes one U+FFFD (maximal
// subpart rule); `hadInvalid`, when given, tells whether that happened.
std::u16string utf8ToUtf16(std::string_view bytes, bool* hadInvalid = nullptr);

// UTF-16 to UTF-8. A lone surrogate becomes U+FFFD.
std::string utf16ToUtf8(std::u16string_view text);

// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool isValidUtf8(std::string_view bytes);

// The code page Windows would use as the ANSI code page for a locale name such
// as "zh_CN.UTF-8" or "ru_RU": zh_CN (and plain zh) 936, zh_TW and zh_HK 950,
// ja 932, ko 949, ru, uk and bg 1251, pl, cs and hu 1250, tr 1254, vi 1258,
// anything else 1252.
uint32_t ansiCodePageForLocale(std::string_view localeName);

// The ANSI code page of this process, from LC_ALL, else LC_CTYPE, else LANG.
uint32_t ansiCodePage();

// The iconv name for a Windows code page, or nullptr when there is none.
const char* iconvNameForCodePage(uint32_t codePage);

// Bytes in a code page to UTF-16. Returns false (and leaves `out` empty) when
// the code page cannot be converted here. Undecodable bytes become U+FFFD and
// set `lossy`.
bool decodeCodePage(std::string_view bytes, uint32_t codePage, std::u16string& out,
                    bool* lossy = nullptr);

// UTF-16 to bytes in a code page. Returns false (and leaves `out` empty) when
// the code page cannot be converted here. Characters the code page cannot hold
// are written as '?' and set `lossy`.
bool encodeCodePage(std::u16string_view text, uint32_t codePage, std::string& out,
                    bool* lossy = nullptr);

}  // namespace platform
