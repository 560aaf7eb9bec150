// Arbitrary bytes as a document: parse, walk every element reading what can be
// read, edit a little, and check that the element index still agrees with the text.
#include "platform/TextCodec.h"
#include "xml/CXmlDocument.h"
#include "xml/XmlFileCodec.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int kMaxDepth = 200;

// Names, attributes and texts of every element, depth first.
void walk(CXmlDocument& doc, std::u16string& sig, int depth) {
    while (doc.FindElement()) {
        sig += doc.GetTagName();
        sig += u'{';
        for (int i = 0;; ++i) {
            const std::u16string name = doc.GetAttributeName(i);
            if (name.empty()) break;
            sig += name;
            sig += u'=';
            sig += doc.GetAttribute(name);
            sig += u';';
        }
        sig += doc.GetElementText();
        if (depth < kMaxDepth && doc.EnterElement()) {
            walk(doc, sig, depth + 1);
            if (!doc.LeaveElement()) std::abort();
        }
        sig += u'}';
    }
}

std::u16string signature(CXmlDocument& doc) {
    doc.ResetPosition();
    std::u16string sig;
    walk(doc, sig, 0);
    return sig;
}

void edit(CXmlDocument& doc) {
    if (!doc.FindElement()) return;
    doc.SetAttribute(u"fz", u"a\"b'c<d>&e");
    if (doc.FindChildElement()) {
        doc.GetChildText();
        doc.GetChildAttribute(u"fz");
        doc.SetChildAttribute(u"n", -12345);
        doc.SetChildText(u"t<&>");
        doc.AddChildElement(u"fz_sibling", u"x");
    }
    doc.ResetChildPosition();
    doc.AddChildElement(u"fz_last");
    if (doc.EnterElement()) {
        if (doc.FindElement()) {
            doc.AddComment(u"c");
            doc.AddElement(u"fz_after_comment", 7);
            doc.RemoveElement();
            doc.RemoveElement();
        }
        doc.AddElement(u"fz_end");
        doc.EnterElement();
        doc.AddElement(u"fz_inner", u"\U0001F600");
        doc.LeaveElement();
        doc.LeaveElement();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::u16string text;
    switch (data[0] % 3) {
        case 0:
            text = platform::utf8ToUtf16(bytes);
            break;
        case 1:
            text = xml::decodeXmlFile(bytes, 936).text;
            break;
        default:
            text.resize(bytes.size() / 2);
            std::memcpy(text.data(), bytes.data(), text.size() * 2);
            break;
    }
    CXmlDocument doc;
    const bool wellFormed = doc.SetText(text);
    signature(doc);
    doc.ResetPosition();
    edit(doc);
    const std::u16string edited = signature(doc);

    // Edits of a well-formed document keep it well-formed, and a fresh parse of
    // the text sees exactly the tree the edits left in the index.
    if (wellFormed) {
        CXmlDocument again;
        if (!again.SetText(doc.GetDocText())) std::abort();
        if (signature(again) != edited) std::abort();
    }
    xml::encodeXmlFile(doc.GetDocText(), doc.GetBom(), 1252);
    return 0;
}
