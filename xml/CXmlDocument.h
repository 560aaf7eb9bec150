#pragma once

#include "xml/XmlFileCodec.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// One XML document kept as a single UTF-16 text with an index of its elements.
// Callers walk and edit it through a current position (parent, current element,
// current child) rather than through a node tree. Reading is lenient: a damaged
// document keeps every element that could be recognised and stays navigable.
// Writing splices new elements into the text at the current position, one
// element per line, so everything the program writes has the same plain layout.
class CXmlDocument {
public:
    // How a file written from scratch begins.
    enum class Header {
        Comment,      // <!--?xml version="1.0" encoding="UTF-8"?--> on a line of its own
        Declaration,  // <?xml version="1.0" encoding="UTF-8"?> with the root on the same line
    };

    // The byte-order mark of the file the document came from; SaveFile writes it back.
    using Bom = xml::Bom;

    CXmlDocument();

    // A new document with the given header and an empty root element, which is
    // the current element: the writer enters it, adds the content, leaves it and saves.
    static CXmlDocument withHeader(Header header, std::u16string_view rootName);

    // Replaces the document and parses it; true when it is well-formed.
    bool SetText(std::u16string text);
    // Reads, decodes and parses a file; false when it cannot be read or is not well-formed.
    bool LoadFile(const std::filesystem::path& path);
    // Writes the text in the document's encoding, through a temporary file that
    // replaces the target only once it is complete.
    bool SaveFile(const std::filesystem::path& path);

    bool FindElement(std::u16string_view name = {});
    bool FindChildElement(std::u16string_view name = {});
    bool EnterElement();
    bool LeaveElement();
    void ResetChildPosition();
    // Back to the document level, as after SetText.
    void ResetPosition();

    std::u16string GetTagName() const;
    std::u16string GetChildTagName() const;
    std::u16string GetElementText() const;
    std::u16string GetChildText() const;
    std::u16string GetAttribute(std::u16string_view name) const;
    std::u16string GetChildAttribute(std::u16string_view name) const;
    std::u16string GetAttributeName(int index) const;

    bool SetAttribute(std::u16string_view name, std::u16string_view value);
    bool SetAttribute(std::u16string_view name, int32_t value);
    bool SetChildAttribute(std::u16string_view name, std::u16string_view value);
    bool SetChildAttribute(std::u16string_view name, int32_t value);
    bool SetElementText(std::u16string_view text);
    bool SetChildText(std::u16string_view text);

    bool AddElement(std::u16string_view name, std::u16string_view content = {});
    bool AddElement(std::u16string_view name, int32_t content);
    bool AddChildElement(std::u16string_view name, std::u16string_view content = {});
    bool AddChildElement(std::u16string_view name, int32_t content);
    bool AddComment(std::u16string_view text);
    bool RemoveElement();

    const std::u16string& GetDocText() const { return m_doc; }
    bool IsWellFormed() const;
    // Whether the current element / current child was closed by its end tag (or
    // is an empty-element tag). In a damaged document an element that lost its
    // end tag keeps only its start tag, and what it held follows it as siblings.
    bool IsElementEnded() const;
    bool IsChildEnded() const;
    // Why the last LoadFile or SaveFile could not read or write the file (the
    // system's words, for the user); empty when the file itself was fine.
    const std::string& GetFileError() const { return m_fileError; }
    Bom GetBom() const { return m_bom; }
    // What the last load, save or parse did, as a small XML text. For people
    // looking into a problem; the program does not act on it.
    const std::u16string& GetResult() const { return m_result; }

    static std::u16string EscapeText(std::u16string_view text);
    static std::u16string EscapeAttribute(std::u16string_view text);
    // Decodes character and entity references; unknown or unterminated ones stay as written.
    static std::u16string UnescapeText(std::u16string_view text);

private:
    struct Element {
        int32_t start = 0;        // offset of '<'
        int32_t length = 0;       // start tag, content and end tag
        int32_t startTagLen = 0;  // the whole element when it is empty or not ended
        int32_t endTagLen = 0;    // 0 when empty or not ended
        int32_t parent = 0;
        int32_t child = 0;  // first child
        int32_t next = 0;   // next sibling, 0 after the last
        int32_t prev = 0;   // previous sibling; the first child's is the last child
        uint32_t flags = 0;

        int32_t end() const { return start + length; }
        int32_t contentStart() const { return start + startTagLen; }
        int32_t contentEnd() const { return start + length - endTagLen; }
    };
    enum : uint32_t {
        kEmpty = 1,         // <a/>
        kUnended = 2,       // a start tag that no end tag closed
        kNotWellFormed = 4  // on slot 0: the document
    };
    enum class NodeKind : uint8_t { None, Comment };

    void clear();
    void assign(std::u16string text);
    void parse();
    void log(std::u16string_view name, std::u16string_view detail = {});

    int32_t newElement();
    void freeSubtree(int32_t i);
    void appendChild(int32_t parent, int32_t i);
    void linkAfterOffset(int32_t parent, int32_t i);
    void unlink(int32_t i);
    int32_t lastChild(int32_t parent) const;

    void replace(int32_t containing, int32_t offset, int32_t removeLen, std::u16string_view text);
    void shiftFrom(int32_t containing, int32_t offset, int32_t delta);
    void shiftSubtree(int32_t i, int32_t delta);

    std::u16string_view tagName(int32_t i) const;
    std::u16string elementText(int32_t i) const;
    std::u16string attribute(int32_t i, std::u16string_view name) const;
    bool setAttribute(int32_t i, std::u16string_view name, std::u16string_view value);
    bool setElementText(int32_t i, std::u16string_view text);
    int32_t insertNode(int32_t parent, int32_t afterEnd, std::u16string_view node);
    int32_t addElement(int32_t parent, int32_t afterEnd, std::u16string_view name,
                       std::u16string_view content);
    int32_t endOfCurrentNode() const;
    int32_t insertionPointAfter(int32_t offset) const;
    int32_t emptyTagSlashes(int32_t i) const;
    int32_t findSibling(int32_t from, std::u16string_view name) const;

    std::u16string m_doc;
    std::vector<Element> m_elems;  // slot 0 is the document level
    int32_t m_free = 0;            // chain of unused slots through `next`
    int32_t m_iPosParent = 0;
    int32_t m_iPos = 0;
    int32_t m_iPosChild = 0;
    NodeKind m_nodeKind = NodeKind::None;
    int32_t m_nodeOffset = 0;
    int32_t m_nodeLength = 0;
    Bom m_bom = Bom::None;
    std::u16string m_result;
    std::string m_fileError;
};
