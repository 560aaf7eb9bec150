#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Turning the bytes of an XML file into the document text and back: byte-order
// marks, declared encodings, UTF-8 detection and the ANSI code page fallback.
namespace xml {

enum class Bom : uint8_t { None, Utf8, Utf16Le, Utf16Be };

// One step of a load or save, for the document's result log.
struct CodecStep {
    std::u16string name;
    std::u16string detail;
};

struct DecodedFile {
    std::u16string text;
    Bom bom = Bom::None;
    std::vector<CodecStep> steps;
};

struct EncodedFile {
    std::string bytes;
    std::vector<CodecStep> steps;
};

// The encoding named by an <?xml ...?> declaration at the start of `head`, or,
// when `htmlMeta` is set, by the charset= of a Content-Type <meta> element;
// empty when there is none.
std::u16string declaredEncoding(std::u16string_view head, bool htmlMeta);

DecodedFile decodeXmlFile(std::string_view bytes, uint32_t ansiCodePage);

// The text in the encoding of the mark, else of its declaration, else UTF-8.
EncodedFile encodeXmlFile(std::u16string_view text, Bom bom, uint32_t ansiCodePage);

}  // namespace xml
