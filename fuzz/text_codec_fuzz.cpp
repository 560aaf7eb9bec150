// Arbitrary bytes as text in a code page the program reads files in (the first
// byte picks it), and as a locale name. Decoding never fails for a code page it
// knows; text that encodes without loss decodes back to itself; the direct
// UTF-8 path agrees with its own validity check; every locale maps to a code
// page and a language the program has.
#include "platform/LocaleIds.h"
#include "platform/TextCodec.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

constexpr uint32_t kCodePages[] = {
    platform::kCodePageUtf8,
    platform::kCodePageUtf16Le,
    platform::kCodePageUtf16Be,
    platform::kCodePageUtf32Le,
    platform::kCodePageUtf32Be,
    platform::kCodePageUsAscii,
    platform::kCodePageLatin1,
    platform::kCodePageUtf7,
    936,
    950,
    932,
    949,
    1250,
    1251,
    1252,
    1253,
    1254,
    1256,
    874,
    437,
    866,
    10000,
    1255,
    1258,
};

// Code pages whose decoder composes base letters with combining marks: their
// round trip may legitimately change the text.
bool composes(uint32_t codePage) {
    return codePage == 1255 || codePage == 1258;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    const uint32_t codePage = kCodePages[data[0] % std::size(kCodePages)];

    std::u16string text;
    bool lossy = false;
    if (!platform::decodeCodePage(bytes, codePage, text, &lossy)) std::abort();
    std::string encoded;
    bool encodeLossy = false;
    if (!platform::encodeCodePage(text, codePage, encoded, &encodeLossy)) std::abort();
    std::u16string again;
    bool againLossy = false;
    if (!platform::decodeCodePage(encoded, codePage, again, &againLossy)) std::abort();
    if (!encodeLossy && !composes(codePage) && (again != text || againLossy)) std::abort();

    bool invalid = false;
    const std::u16string utf16 = platform::utf8ToUtf16(bytes, &invalid);
    if (invalid == platform::isValidUtf8(bytes)) std::abort();
    if (!invalid && platform::utf16ToUtf8(utf16) != bytes) std::abort();
    if (!platform::isValidUtf8(platform::utf16ToUtf8(utf16))) std::abort();
    // Lone surrogates of arbitrary UTF-16 come out as U+FFFD, never as bytes of their own.
    std::u16string units(bytes.size() / 2, u'\0');
    for (size_t k = 0; k < units.size(); ++k)
        units[k] = static_cast<char16_t>(data[1 + 2 * k] | data[2 + 2 * k] << 8);
    if (!platform::isValidUtf8(platform::utf16ToUtf8(units))) std::abort();

    const uint32_t ansi = platform::ansiCodePageForLocale(bytes);
    if (!platform::iconvNameForCodePage(ansi)) std::abort();
    if (platform::languageIdForLocale(bytes) == 0) std::abort();
    return 0;
}
