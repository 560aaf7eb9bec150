#include "xml/XmlFileCodec.h"

#include "platform/TextCodec.h"
#include "xml/XmlEncodings.h"

#include <algorithm>

namespace xml {

namespace {

using platform::kCodePageUtf16Be;
using platform::kCodePageUtf16Le;
using platform::kCodePageUtf32Be;
using platform::kCodePageUtf32Le;
using platform::kCodePageUtf8;

constexpr size_t kHeadBytes = 1024;

std::u16string number(uint64_t n) {
    std::string s = std::to_string(n);
    return std::u16string(s.begin(), s.end());
}

bool isSpace(char16_t c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

char16_t lowerAscii(char16_t c) {
    return c >= 'A' && c <= 'Z' ? char16_t(c + 32) : c;
}

bool equalsNoCase(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char16_t x, char16_t y) { return lowerAscii(x) == lowerAscii(y); });
}

size_t findNoCase(std::u16string_view hay, std::u16string_view needle, size_t from = 0) {
    if (needle.size() > hay.size()) return std::u16string_view::npos;
    for (size_t i = from; i + needle.size() <= hay.size(); ++i)
        if (equalsNoCase(hay.substr(i, needle.size()), needle)) return i;
    return std::u16string_view::npos;
}

// The value of attribute `name` (any case) inside the text of one tag, quoted or not.
bool attributeValue(std::u16string_view tag, std::u16string_view name, std::u16string& value) {
    for (size_t at = findNoCase(tag, name); at != std::u16string_view::npos;
         at = findNoCase(tag, name, at + 1)) {
        if (at == 0 || !isSpace(tag[at - 1])) continue;
        size_t p = at + name.size();
        while (p < tag.size() && isSpace(tag[p]))
            ++p;
        if (p >= tag.size() || tag[p] != '=') continue;
        ++p;
        while (p < tag.size() && isSpace(tag[p]))
            ++p;
        if (p >= tag.size()) return false;
        size_t end;
        if (tag[p] == '"' || tag[p] == '\'') {
            end = tag.find(tag[p], p + 1);
            if (end == std::u16string_view::npos) end = tag.size();
            ++p;
        } else {
            end = p;
            while (end < tag.size() && !isSpace(tag[end]) && tag[end] != '>' && tag[end] != '/')
                ++end;
        }
        value.assign(tag.substr(p, end - p));
        return true;
    }
    return false;
}

std::u16string xmlDeclarationEncoding(std::u16string_view head) {
    size_t p = 0;
    while (p < head.size() && isSpace(head[p]))
        ++p;
    std::u16string_view rest = head.substr(p);
    if (rest.substr(0, 5) != u"<?xml" || rest.size() < 6 || !(isSpace(rest[5]) || rest[5] == '?'))
        return {};
    size_t end = rest.find(u"?>");
    std::u16string_view decl = rest.substr(0, end == std::u16string_view::npos ? rest.size() : end);
    std::u16string value;
    // Attribute names of the declaration are case-sensitive, but a lenient reader loses nothing
    // here.
    if (!attributeValue(decl, u"encoding", value)) return {};
    return value;
}

std::u16string metaCharset(std::u16string_view head) {
    for (size_t at = findNoCase(head, u"<meta"); at != std::u16string_view::npos;
         at = findNoCase(head, u"<meta", at + 5)) {
        size_t end = head.find(u'>', at);
        std::u16string_view tag = head.substr(
            at, end == std::u16string_view::npos ? std::u16string_view::npos : end - at);
        std::u16string equiv, content;
        if (!attributeValue(tag, u"http-equiv", equiv) || !equalsNoCase(equiv, u"content-type"))
            continue;
        if (!attributeValue(tag, u"content", content)) continue;
        size_t cs = findNoCase(content, u"charset=");
        if (cs == std::u16string::npos) continue;
        size_t p = cs + 8, e = p;
        while (e < content.size() && content[e] != ';' && !isSpace(content[e]) &&
               content[e] != '"' && content[e] != '\'')
            ++e;
        if (e > p) return content.substr(p, e - p);
    }
    return {};
}

bool isWide(uint32_t cp) {
    return cp == kCodePageUtf16Le || cp == kCodePageUtf16Be || cp == kCodePageUtf32Le ||
           cp == kCodePageUtf32Be;
}

void decodeWide(std::string_view body, bool bigEndian, DecodedFile& d) {
    if (body.size() % 2) d.steps.push_back({u"truncation_error", u"odd byte at the end dropped"});
    const size_t units = body.size() / 2;
    d.text.resize(units);
    size_t out = 0, zeros = 0;
    const auto* b = reinterpret_cast<const unsigned char*>(body.data());
    for (size_t i = 0; i < units; ++i) {
        char16_t u = bigEndian ? char16_t(b[2 * i] << 8 | b[2 * i + 1])
                               : char16_t(b[2 * i] | b[2 * i + 1] << 8);
        if (u == 0) {
            ++zeros;
            continue;
        }
        d.text[out++] = u;
    }
    d.text.resize(out);
    if (zeros) d.steps.push_back({u"nulls_removed", number(zeros)});
    if (bigEndian) d.steps.push_back({u"endian_swap", {}});
    d.steps.push_back({u"converted_from", number(bigEndian ? kCodePageUtf16Be : kCodePageUtf16Le)});
}

void decodeNarrow(std::string_view body, uint32_t cp, uint32_t ansi, DecodedFile& d) {
    std::string withoutZeros;
    const size_t zeros = static_cast<size_t>(std::count(body.begin(), body.end(), '\0'));
    if (zeros) {
        withoutZeros.reserve(body.size() - zeros);
        std::copy_if(body.begin(), body.end(), std::back_inserter(withoutZeros),
                     [](char c) { return c != '\0'; });
        body = withoutZeros;
        d.steps.push_back({u"nulls_removed", number(zeros)});
    }
    if (cp == 0) {
        const bool valid = platform::isValidUtf8(body);
        cp = valid ? kCodePageUtf8 : ansi;
        d.steps.push_back({u"utf8_detection", valid ? u"UTF-8" : u"ANSI " + number(ansi)});
    }
    bool lossy = false;
    if (cp == kCodePageUtf8) {
        d.text = platform::utf8ToUtf16(body, &lossy);
    } else if (!platform::decodeCodePage(body, cp, d.text, &lossy)) {
        // A code page without a converter here reads like an unknown name.
        cp = ansi;
        if (!platform::decodeCodePage(body, cp, d.text, &lossy)) {
            d.text.assign(body.begin(), body.end());
            cp = platform::kCodePageLatin1;
        }
    }
    if (lossy) d.steps.push_back({u"conversion_loss", {}});
    d.steps.push_back({u"converted_from", number(cp)});
}

void appendUnits(std::u16string_view text, bool bigEndian, std::string& out) {
    size_t at = out.size();
    out.resize(at + 2 * text.size());
    for (char16_t u : text) {
        out[at++] = static_cast<char>(bigEndian ? u >> 8 : u & 0xFF);
        out[at++] = static_cast<char>(bigEndian ? u & 0xFF : u >> 8);
    }
}

}  // namespace

std::u16string declaredEncoding(std::u16string_view head, bool htmlMeta) {
    std::u16string name = xmlDeclarationEncoding(head);
    if (name.empty() && htmlMeta) name = metaCharset(head);
    return name;
}

DecodedFile decodeXmlFile(std::string_view bytes, uint32_t ansi) {
    DecodedFile d;
    d.steps.push_back({u"read", number(bytes.size())});
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    if (bytes.size() >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
        d.bom = Bom::Utf8;
        d.steps.push_back({u"bom", u"UTF-8"});
        decodeNarrow(bytes.substr(3), kCodePageUtf8, ansi, d);
        return d;
    }
    if (bytes.size() >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF))) {
        const bool bigEndian = b[0] == 0xFE;
        d.bom = bigEndian ? Bom::Utf16Be : Bom::Utf16Le;
        d.steps.push_back({u"bom", bigEndian ? u"UTF-16BE" : u"UTF-16LE"});
        decodeWide(bytes.substr(2), bigEndian, d);
        return d;
    }

    uint32_t cp = 0;
    const std::u16string name =
        declaredEncoding(platform::utf8ToUtf16(bytes.substr(0, kHeadBytes)), true);
    if (!name.empty()) {
        cp = codePageOfEncoding(name);
        if (cp == 0) cp = ansi;
        // A declaration we could read as bytes is not in a 16- or 32-bit encoding
        // whatever it says (a common mistake); decoding it as one would turn the
        // whole file into garbage, so detect the encoding instead.
        if (isWide(cp)) cp = 0;
        d.steps.push_back({u"encoding", name});
    } else if (!bytes.empty() && bytes[0] == '<') {
        cp = kCodePageUtf8;
    }
    decodeNarrow(bytes, cp, ansi, d);
    return d;
}

EncodedFile encodeXmlFile(std::u16string_view text, Bom bom, uint32_t ansi) {
    EncodedFile e;
    uint32_t cp = kCodePageUtf8;
    switch (bom) {
        case Bom::Utf8:
            e.bytes = "\xEF\xBB\xBF";
            break;
        case Bom::Utf16Le:
            cp = kCodePageUtf16Le;
            break;
        case Bom::Utf16Be:
            cp = kCodePageUtf16Be;
            break;
        case Bom::None: {
            const std::u16string name = declaredEncoding(text.substr(0, kHeadBytes), false);
            if (!name.empty()) {
                cp = codePageOfEncoding(name);
                if (cp == 0) cp = ansi;
            }
            break;
        }
    }
    bool lossy = false;
    if (cp == kCodePageUtf8) {
        e.bytes += platform::utf16ToUtf8(text);
    } else if (cp == kCodePageUtf16Le || cp == kCodePageUtf16Be) {
        // Without its mark a 16-bit file would not read back, so it always gets one.
        const bool bigEndian = cp == kCodePageUtf16Be;
        e.bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
        appendUnits(text, bigEndian, e.bytes);
    } else {
        std::string out;
        if (!platform::encodeCodePage(text, cp, out, &lossy)) {
            cp = ansi;
            if (!platform::encodeCodePage(text, cp, out, &lossy)) {
                cp = kCodePageUtf8;
                out = platform::utf16ToUtf8(text);
            }
        }
        if (cp == kCodePageUtf32Le) out.insert(0, std::string("\xFF\xFE\0\0", 4));
        if (cp == kCodePageUtf32Be) out.insert(0, std::string("\0\0\xFE\xFF", 4));
        e.bytes += out;
    }
    if (lossy) e.steps.push_back({u"conversion_loss", {}});
    e.steps.push_back({u"converted_to", number(cp)});
    return e;
}

}  // namespace xml
