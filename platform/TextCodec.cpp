#include "platform/TextCodec.h"

#include <iconv.h>
#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace platform {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

inline bool isHighSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
inline bool isLowSurrogate(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}
inline bool isSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDFFF;
}

// True when the eight bytes at p are all ASCII.
inline bool asciiBlock(const unsigned char* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return (v & 0x8080808080808080ull) == 0;
}

// Decodes one UTF-8 sequence starting at s[i] (s[i] >= 0x80). Returns the
// code point, or -1 for an ill-formed sequence; `next` is where decoding goes
// on, so an ill-formed sequence covers exactly its maximal subpart.
inline int32_t decodeMultiByte(const unsigned char* s, size_t n, size_t i, size_t& next) {
    const unsigned char b = s[i];
    int need;
    unsigned char lo = 0x80, hi = 0xBF;
    int32_t cp;
    if (b >= 0xC2 && b <= 0xDF) {
        need = 1;
        cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        need = 2;
        cp = b & 0x0F;
        if (b == 0xE0)
            lo = 0xA0;  // no overlong forms
        else if (b == 0xED)
            hi = 0x9F;  // no surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
        need = 3;
        cp = b & 0x07;
        if (b == 0xF0)
            lo = 0x90;
        else if (b == 0xF4)
            hi = 0x8F;  // nothing above U+10FFFF
    } else {
        next = i + 1;
        return -1;
    }
    size_t j = i + 1;
    for (int k = 0; k < need; ++k, ++j) {
        if (j >= n || s[j] < lo || s[j] > hi) {
            next = j;
            return -1;
        }
        cp = (cp << 6) | (s[j] & 0x3F);
        lo = 0x80;
        hi = 0xBF;
    }
    next = j;
    return cp;
}

// --- iconv ------------------------------------------------------------------

struct CodePageName {
    uint32_t codePage;
    const char* name;
};

// Sorted by code page. Every name here opens with glibc's iconv.
constexpr CodePageName kIconvNames[] = {
    {37, "IBM037"},
    {437, "IBM437"},
    {500, "IBM500"},
    {708, "ASMO-708"},
    {737, "CP737"},
    {775, "IBM775"},
    {850, "IBM850"},
    {852, "IBM852"},
    {855, "IBM855"},
    {857, "IBM857"},
    {858, "IBM858"},
    {860, "IBM860"},
    {861, "IBM861"},
    {862, "IBM862"},
    {863, "IBM863"},
    {864, "IBM864"},
    {865, "IBM865"},
    {866, "IBM866"},
    {869, "IBM869"},
    {870, "IBM870"},
    {874, "CP874"},
    {875, "IBM875"},
    {932, "CP932"},
    {936, "CP936"},
    {949, "CP949"},
    {950, "CP950"},
    {1026, "IBM1026"},
    {1047, "IBM1047"},
    {1140, "IBM1140"},
    {1141, "IBM1141"},
    {1142, "IBM1142"},
    {1143, "IBM1143"},
    {1144, "IBM1144"},
    {1145, "IBM1145"},
    {1146, "IBM1146"},
    {1147, "IBM1147"},
    {1148, "IBM1148"},
    {1149, "IBM1149"},
    {1200, "UTF-16LE"},
    {1201, "UTF-16BE"},
    {1250, "CP1250"},
    {1251, "CP1251"},
    {1252, "CP1252"},
    {1253, "CP1253"},
    {1254, "CP1254"},
    {1255, "CP1255"},
    {1256, "CP1256"},
    {1257, "CP1257"},
    {1258, "CP1258"},
    {1361, "JOHAB"},
    {10000, "MACINTOSH"},
    {10007, "CP10007"},
    {10017, "MAC-UK"},
    {10029, "MAC-CENTRALEUROPE"},
    {10079, "MAC-IS"},
    {12000, "UTF-32LE"},
    {12001, "UTF-32BE"},
    {20106, "DIN_66003"},
    {20107, "SEN_850200_B"},
    {20108, "NS_4551-1"},
    {20127, "ANSI_X3.4-1968"},
    {20261, "T.61-8BIT"},
    {20269, "ISO_6937"},
    {20273, "IBM273"},
    {20277, "IBM277"},
    {20278, "IBM278"},
    {20280, "IBM280"},
    {20284, "IBM284"},
    {20285, "IBM285"},
    {20290, "IBM290"},
    {20297, "IBM297"},
    {20420, "IBM420"},
    {20423, "IBM423"},
    {20424, "IBM424"},
    {20866, "KOI8-R"},
    {20871, "IBM871"},
    {20880, "IBM880"},
    {20905, "IBM905"},
    {20932, "EUC-JP"},
    {20936, "GB2312"},
    {21025, "IBM1025"},
    {21866, "KOI8-U"},
    {28591, "ISO-8859-1"},
    {28592, "ISO-8859-2"},
    {28593, "ISO-8859-3"},
    {28594, "ISO-8859-4"},
    {28595, "ISO-8859-5"},
    {28596, "ISO-8859-6"},
    {28597, "ISO-8859-7"},
    {28598, "ISO-8859-8"},
    {28599, "ISO-8859-9"},
    {28600, "ISO-8859-10"},
    {28601, "ISO-8859-11"},
    {28603, "ISO-8859-13"},
    {28604, "ISO-8859-14"},
    {28605, "ISO-8859-15"},
    {28606, "ISO-8859-16"},
    {38598, "ISO-8859-8"},  // logical order is the reader's business, not the bytes'
    {50220, "ISO-2022-JP"},
    {50221, "ISO-2022-JP"},
    {50222, "ISO-2022-JP"},
    {50225, "ISO-2022-KR"},
    {50227, "ISO-2022-CN"},
    {51932, "EUC-JP"},
    {51936, "EUC-CN"},
    {51949, "EUC-KR"},
    {54936, "GB18030"},
    {65000, "UTF-7"},
    {65001, "UTF-8"},
};

// "UTF-16LE" rather than "UTF-16": the latter writes a byte order mark.
constexpr const char* kWide = "UTF-16LE";

// A few open converters per thread; opening one means a look-up in glibc's
// module table, which is worth saving when many short strings are converted.
class ConverterCache {
public:
    ConverterCache() = default;
    ConverterCache(const ConverterCache&) = delete;
    ConverterCache& operator=(const ConverterCache&) = delete;
    ~ConverterCache() {
        for (Entry& e : m_entries)
            if (e.cd != invalid()) iconv_close(e.cd);
    }

    // A converter in its initial state, or invalid() when iconv has none.
    iconv_t get(uint32_t codePage, bool toWide) {
        for (Entry& e : m_entries) {
            if (e.cd != invalid() && e.codePage == codePage && e.toWide == toWide) {
                e.lastUse = ++m_clock;
                iconv(e.cd, nullptr, nullptr, nullptr, nullptr);
                return e.cd;
            }
        }
        const char* name = iconvNameForCodePage(codePage);
        if (!name) return invalid();
        iconv_t cd = toWide ? iconv_open(kWide, name) : iconv_open(name, kWide);
        if (cd == invalid()) return invalid();
        Entry* victim = &m_entries[0];
        for (Entry& e : m_entries) {
            if (e.cd == invalid()) {
                victim = &e;
                break;
            }
            if (e.lastUse < victim->lastUse) victim = &e;
        }
        if (victim->cd != invalid()) iconv_close(victim->cd);
        *victim = Entry{cd, codePage, toWide, ++m_clock};
        return cd;
    }

    static iconv_t invalid() { return reinterpret_cast<iconv_t>(static_cast<intptr_t>(-1)); }

private:
    struct Entry {
        iconv_t cd = invalid();
        uint32_t codePage = 0;
        bool toWide = false;
        uint64_t lastUse = 0;
    };
    std::array<Entry, 4> m_entries{};
    uint64_t m_clock = 0;
};

ConverterCache& converters() {
    thread_local ConverterCache cache;
    return cache;
}

enum class Step { Done, Invalid, Failed };

// Feeds input (or, with in == nullptr, the end-of-input flush) through cd into
// out from `used` on, growing out as iconv asks for room. Stops at the end of
// the input or at the first sequence it cannot convert (Invalid, with `in`
// pointing at it).
template <class Buffer>
Step runIconv(iconv_t cd, const char*& in, size_t& inLeft, Buffer& out, size_t& used) {
    constexpr size_t unit = sizeof(typename Buffer::value_type);
    for (;;) {
        if (out.size() * unit - used < 16) out.resize(std::max<size_t>(out.size() * 2, 64 / unit));
        char* outPtr = reinterpret_cast<char*>(out.data()) + used;
        size_t outLeft = out.size() * unit - used;
        size_t r;
        if (in) {
            char* inPtr = const_cast<char*>(in);
            r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
            in = inPtr;
        } else {
            r = iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
        }
        used = static_cast<size_t>(outPtr - reinterpret_cast<char*>(out.data()));
        if (r != static_cast<size_t>(-1)) return Step::Done;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        if (errno == EILSEQ || errno == EINVAL) return Step::Invalid;
        return Step::Failed;
    }
}

template <class T>
void setFlag(T* flag, bool value) {
    if (flag) *flag = value;
}

// --- direct Unicode forms ---------------------------------------------------

void decodeUtf16(std::string_view bytes, bool bigEndian, std::u16string& out, bool* lossy) {
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t units = bytes.size() / 2;
    out.resize(units + (bytes.size() & 1));
    for (size_t i = 0; i < units; ++i) {
        const unsigned a = s[2 * i], b = s[2 * i + 1];
        out[i] = static_cast<char16_t>(bigEndian ? (a << 8 | b) : (b << 8 | a));
    }
    if (bytes.size() & 1) {
        // A trailing half unit cannot be anything.
        out[units] = kReplacement;
        setFlag(lossy, true);
    }
}

void encodeUtf16(std::u16string_view text, bool bigEndian, std::string& out) {
    out.resize(text.size() * 2);
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        const char hiByte = static_cast<char>(c >> 8), loByte = static_cast<char>(c & 0xFF);
        out[2 * i] = bigEndian ? hiByte : loByte;
        out[2 * i + 1] = bigEndian ? loByte : hiByte;
    }
}

void decodeUtf32(std::string_view bytes, bool bigEndian, std::u16string& out, bool* lossy) {
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t units = bytes.size() / 4;
    out.clear();
    out.reserve(units + 1);
    for (size_t i = 0; i < units; ++i) {
        const unsigned char* p = s + 4 * i;
        const uint32_t c =
            bigEndian ? uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]
                      : uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
        if (c > 0x10FFFF || isSurrogate(c)) {
            out.push_back(kReplacement);
            setFlag(lossy, true);
        } else if (c >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
    if (bytes.size() % 4) {
        out.push_back(kReplacement);
        setFlag(lossy, true);
    }
}

void encodeUtf32(std::u16string_view text, bool bigEndian, std::string& out, bool* lossy) {
    out.clear();
    out.reserve(text.size() * 4);
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (isHighSurrogate(c) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (isSurrogate(c)) {
            c = kReplacement;
            setFlag(lossy, true);
        }
        const char b[4] = {static_cast<char>(c >> 24), static_cast<char>(c >> 16),
                           static_cast<char>(c >> 8), static_cast<char>(c)};
        if (bigEndian)
            out.append(b, 4);
        else
            out.append({b[3], b[2], b[1], b[0]});
    }
}

inline char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    return true;
}

}  // namespace

// --- UTF-8 ------------------------------------------------------------------

std::u16string utf8ToUtf16(std::string_view bytes, bool* hadInvalid) {
    setFlag(hadInvalid, false);
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    // Every byte yields at most one code unit (a four-byte form yields two), so
    // n units always suffice.
    std::u16string out(n, u'\0');
    char16_t* o = out.data();
    bool invalid = false;
    size_t i = 0;
    while (i < n) {
        while (i + 8 <= n && asciiBlock(s + i)) {
            for (int k = 0; k < 8; ++k)
                o[k] = s[i + k];
            o += 8;
            i += 8;
        }
        if (i >= n) break;
        if (s[i] < 0x80) {
            *o++ = s[i++];
            continue;
        }
        size_t next;
        const int32_t cp = decodeMultiByte(s, n, i, next);
        i = next;
        if (cp < 0) {
            *o++ = kReplacement;
            invalid = true;
        } else if (cp >= 0x10000) {
            *o++ = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            *o++ = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            *o++ = static_cast<char16_t>(cp);
        }
    }
    out.resize(static_cast<size_t>(o - out.data()));
    setFlag(hadInvalid, invalid);
    return out;
}

std::string utf16ToUtf8(std::u16string_view text) {
    const size_t n = text.size();
    // Exact length first: a multi-megabyte text should not take three times
    // its size while it is converted.
    size_t length = 0;
    for (size_t i = 0; i < n; ++i) {
        const char16_t c = text[i];
        if (c < 0x80)
            length += 1;
        else if (c < 0x800)
            length += 2;
        else if (isHighSurrogate(c) && i + 1 < n && isLowSurrogate(text[i + 1])) {
            length += 4;
            ++i;
        } else
            length += 3;  // lone surrogates become U+FFFD, three bytes too
    }
    std::string out(length, '\0');
    char* o = out.data();
    for (size_t i = 0; i < n; ++i) {
        while (i + 4 <= n && (text[i] | text[i + 1] | text[i + 2] | text[i + 3]) < 0x80) {
            for (int k = 0; k < 4; ++k)
                o[k] = static_cast<char>(text[i + k]);
            o += 4;
            i += 4;
        }
        if (i >= n) break;
        char32_t c = text[i];
        if (c < 0x80) {
            *o++ = static_cast<char>(c);
        } else if (c < 0x800) {
            *o++ = static_cast<char>(0xC0 | (c >> 6));
            *o++ = static_cast<char>(0x80 | (c & 0x3F));
        } else if (isHighSurrogate(c) && i + 1 < n && isLowSurrogate(text[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
            *o++ = static_cast<char>(0xF0 | (c >> 18));
            *o++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *o++ = static_cast<char>(0x80 | (c & 0x3F));
        } else {
            if (isSurrogate(c)) c = kReplacement;
            *o++ = static_cast<char>(0xE0 | (c >> 12));
            *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *o++ = static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

bool isValidUtf8(std::string_view bytes) {
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    size_t i = 0;
    while (i < n) {
        while (i + 8 <= n && asciiBlock(s + i))
            i += 8;
        if (i >= n) break;
        if (s[i] < 0x80) {
            ++i;
            continue;
        }
        size_t next;
        if (decodeMultiByte(s, n, i, next) < 0) return false;
        i = next;
    }
    return true;
}

// --- ANSI code page ---------------------------------------------------------

uint32_t ansiCodePageForLocale(std::string_view localeName) {
    const size_t end = localeName.find_first_of(".@");
    const std::string_view base = localeName.substr(0, end);
    const size_t sep = base.find_first_of("_-");
    const std::string_view language = base.substr(0, sep);
    const std::string_view territory =
        sep == std::string_view::npos ? std::string_view{} : base.substr(sep + 1);

    if (equalsNoCase(language, "zh")) {
        for (std::string_view traditional : {"TW", "HK", "MO"})
            if (equalsNoCase(territory, traditional)) return 950;
        return 936;
    }
    struct LanguageCodePage {
        std::string_view language;
        uint32_t codePage;
    };
    static constexpr LanguageCodePage kByLanguage[] = {
        {"ja", 932},  {"ko", 949},  {"ru", 1251}, {"uk", 1251}, {"bg", 1251},
        {"pl", 1250}, {"cs", 1250}, {"hu", 1250}, {"tr", 1254}, {"vi", 1258},
    };
    for (const LanguageCodePage& entry : kByLanguage)
        if (equalsNoCase(language, entry.language)) return entry.codePage;
    return 1252;
}

uint32_t ansiCodePage() {
    // The POSIX order of precedence; an empty variable counts as unset.
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value) return ansiCodePageForLocale(value);
    }
    return ansiCodePageForLocale("");
}

// --- code pages -------------------------------------------------------------

const char* iconvNameForCodePage(uint32_t codePage) {
    const auto* end = std::end(kIconvNames);
    const auto* it =
        std::lower_bound(std::begin(kIconvNames), end, codePage,
                         [](const CodePageName& e, uint32_t cp) { return e.codePage < cp; });
    return it != end && it->codePage == codePage ? it->name : nullptr;
}

bool decodeCodePage(std::string_view bytes, uint32_t codePage, std::u16string& out, bool* lossy) {
    setFlag(lossy, false);
    out.clear();
    switch (codePage) {
        case kCodePageUtf8:
            out = utf8ToUtf16(bytes, lossy);
            return true;
        case kCodePageUtf16Le:
            decodeUtf16(bytes, false, out, lossy);
            return true;
        case kCodePageUtf16Be:
            decodeUtf16(bytes, true, out, lossy);
            return true;
        case kCodePageUtf32Le:
            decodeUtf32(bytes, false, out, lossy);
            return true;
        case kCodePageUtf32Be:
            decodeUtf32(bytes, true, out, lossy);
            return true;
        default:
            break;
    }

    iconv_t cd = converters().get(codePage, true);
    if (cd == ConverterCache::invalid()) return false;

    // Single-byte code pages give one unit per byte, the others fewer.
    out.resize(bytes.size() + 16);
    size_t used = 0;  // bytes of out written
    const char* in = bytes.data();
    size_t inLeft = bytes.size();
    bool lost = false;
    for (;;) {
        const Step step = inLeft ? runIconv(cd, in, inLeft, out, used) : Step::Done;
        if (step == Step::Failed) {
            out.clear();
            return false;
        }
        if (step == Step::Done) break;
        // An undecodable or truncated sequence: its first byte becomes U+FFFD
        // and decoding resumes at the next one.
        if (used + 2 > out.size() * 2) out.resize(out.size() * 2);
        out[used / 2] = kReplacement;
        used += 2;
        ++in;
        --inLeft;
        lost = true;
    }
    // Stateful encodings may still hold something back.
    const char* none = nullptr;
    size_t zero = 0;
    if (runIconv(cd, none, zero, out, used) == Step::Failed) {
        out.clear();
        return false;
    }
    out.resize(used / 2);
    if constexpr (std::endian::native == std::endian::big)
        for (char16_t& c : out)
            c = static_cast<char16_t>((c >> 8) | (c << 8));
    if (lost) setFlag(lossy, true);
    return true;
}

bool encodeCodePage(std::u16string_view text, uint32_t codePage, std::string& out, bool* lossy) {
    setFlag(lossy, false);
    out.clear();
    switch (codePage) {
        case kCodePageUtf8: {
            // UTF-8 holds every character; only a lone surrogate is lost (as U+FFFD).
            bool lone = false;
            for (size_t i = 0; i < text.size() && !lone; ++i) {
                if (isHighSurrogate(text[i]) && i + 1 < text.size() && isLowSurrogate(text[i + 1]))
                    ++i;
                else if (isSurrogate(text[i]))
                    lone = true;
            }
            out = utf16ToUtf8(text);
            setFlag(lossy, lone);
            return true;
        }
        case kCodePageUtf16Le:
            encodeUtf16(text, false, out);
            return true;
        case kCodePageUtf16Be:
            encodeUtf16(text, true, out);
            return true;
        case kCodePageUtf32Le:
            encodeUtf32(text, false, out, lossy);
            return true;
        case kCodePageUtf32Be:
            encodeUtf32(text, true, out, lossy);
            return true;
        default:
            break;
    }

    iconv_t cd = converters().get(codePage, false);
    if (cd == ConverterCache::invalid()) return false;

    // iconv reads UTF-16LE bytes; on a little-endian machine that is the text itself.
    std::u16string swapped;
    std::u16string_view wide = text;
    if constexpr (std::endian::native == std::endian::big) {
        swapped.assign(text);
        for (char16_t& c : swapped)
            c = static_cast<char16_t>((c >> 8) | (c << 8));
        wide = swapped;
    }
    const char* in = reinterpret_cast<const char*>(wide.data());
    size_t inLeft = wide.size() * 2;

    out.resize(text.size() + 16);
    size_t used = 0;
    bool lost = false;
    for (;;) {
        const Step step = inLeft ? runIconv(cd, in, inLeft, out, used) : Step::Done;
        if (step == Step::Failed) {
            out.clear();
            return false;
        }
        if (step == Step::Done) break;
        // One '?' per character the code page cannot hold; a surrogate pair is one.
        const size_t at = static_cast<size_t>(in - reinterpret_cast<const char*>(wide.data())) / 2;
        size_t skip = 1;
        if (at + 1 < wide.size() && isHighSurrogate(text[at]) && isLowSurrogate(text[at + 1]))
            skip = 2;
        skip = std::min(skip * 2, inLeft);
        in += skip;
        inLeft -= skip;
        lost = true;
        // The '?' goes through the converter, so that EBCDIC gets its own
        // question mark and a stateful encoding shifts back first.
        static constexpr char kQuestionLe[2] = {'?', '\0'};
        const char* q = kQuestionLe;
        size_t qLeft = sizeof kQuestionLe;
        const Step qStep = runIconv(cd, q, qLeft, out, used);
        if (qStep == Step::Failed) {
            out.clear();
            return false;
        }
        if (qStep == Step::Invalid) {
            if (used == out.size()) out.resize(out.size() * 2);
            out[used++] = '?';
        }
    }
    const char* none = nullptr;
    size_t zero = 0;
    if (runIconv(cd, none, zero, out, used) == Step::Failed) {
        out.clear();
        return false;
    }
    out.resize(used);
    if (lost) setFlag(lossy, true);
    return true;
}

}  // namespace platform
