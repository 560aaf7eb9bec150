#include "xml/CXmlDocument.h"

#include "platform/SafeSave.h"
#include "platform/TextCodec.h"
#include "xml/XmlEntities.h"
#include "xml/XmlFileCodec.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr std::u16string_view kCrLf = u"\r\n";
constexpr int32_t kMaxLength = INT32_MAX / 2;  // offsets stay well inside int32_t
constexpr int kMaxLoggedMarks = 64;

inline bool isSpace(char16_t c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

inline bool isNameStart(char16_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c >= 0x80;
}

// Where a tag name ends in markup.
inline bool endsName(char16_t c) {
    return isSpace(c) || c == '/' || c == '>' || c == '<' || c == '=' || c == '"' || c == '\'';
}

// Names that we write must read back as the same name.
bool isWritableName(std::u16string_view name) {
    if (name.empty() || !isNameStart(name[0])) return false;
    return std::none_of(name.begin(), name.end(),
                        [](char16_t c) { return endsName(c) || c == '&' || c < 0x20; });
}

const char16_t* findChar(const char16_t* p, const char16_t* end, char16_t c) {
#if defined(__SSE2__)
    const __m128i needle = _mm_set1_epi16(static_cast<short>(c));
    while (end - p >= 8) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        int mask = _mm_movemask_epi8(_mm_cmpeq_epi16(v, needle));
        if (mask) return p + (__builtin_ctz(static_cast<unsigned>(mask)) >> 1);
        p += 8;
    }
#endif
    while (p < end && *p != c)
        ++p;
    return p;
}

int32_t find(std::u16string_view s, std::u16string_view what, int32_t from) {
    size_t at = s.find(what, static_cast<size_t>(from));
    return at == std::u16string_view::npos ? -1 : static_cast<int32_t>(at);
}

std::u16string asText(int32_t value) {
    char buf[16];
    int n = std::snprintf(buf, sizeof buf, "%d", value);
    return std::u16string(buf, buf + n);
}

void appendCodePoint(std::u16string& out, char32_t cp) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(cp));
    }
}

// Decodes the reference that starts at text[at] ('&'); returns its length, or 0
// when it is not a reference we know (then it stays literal).
size_t decodeReference(std::u16string_view text, size_t at, std::u16string& out) {
    size_t p = at + 1;
    if (p < text.size() && text[p] == '#') {
        ++p;
        const bool hex = p < text.size() && (text[p] == 'x' || text[p] == 'X');
        if (hex) ++p;
        const size_t digits = p;
        char32_t cp = 0;
        for (; p < text.size() && p - digits < 8; ++p) {
            char16_t c = text[p];
            int d;
            if (c >= '0' && c <= '9')
                d = c - '0';
            else if (hex && c >= 'a' && c <= 'f')
                d = c - 'a' + 10;
            else if (hex && c >= 'A' && c <= 'F')
                d = c - 'A' + 10;
            else
                break;
            cp = cp * (hex ? 16 : 10) + static_cast<char32_t>(d);
        }
        if (p == digits || p >= text.size() || text[p] != ';') return 0;
        if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
        appendCodePoint(out, cp);
        return p + 1 - at;
    }
    const size_t name = p;
    while (p < text.size() && p - name <= 9 &&
           ((text[p] >= 'a' && text[p] <= 'z') || (text[p] >= 'A' && text[p] <= 'Z') ||
            (text[p] >= '0' && text[p] <= '9')))
        ++p;
    if (p == name || p - name > 9 || p >= text.size() || text[p] != ';') return 0;
    char32_t cp = xml::entityCodePoint(text.substr(name, p - name));
    if (cp == 0) return 0;
    appendCodePoint(out, cp);
    return p + 1 - at;
}

void appendUnescaped(std::u16string& out, std::u16string_view text) {
    size_t from = 0;
    for (size_t amp = text.find(u'&'); amp != std::u16string_view::npos;
         amp = text.find(u'&', from)) {
        out.append(text.substr(from, amp - from));
        size_t used = decodeReference(text, amp, out);
        if (used == 0) {
            out.push_back(u'&');
            used = 1;
        }
        from = amp + used;
    }
    out.append(text.substr(from));
}

std::u16string escape(std::u16string_view text, bool attribute) {
    auto special = [attribute](char16_t c) {
        return c == '<' || c == '&' || c == '>' || (attribute && (c == '"' || c == '\''));
    };
    if (std::none_of(text.begin(), text.end(), special)) return std::u16string(text);
    std::u16string out;
    out.reserve(text.size() + 16);
    for (char16_t c : text) {
        switch (c) {
            case '<':
                out += u"&lt;";
                break;
            case '&':
                out += u"&amp;";
                break;
            case '>':
                out += u"&gt;";
                break;
            case '"':
                attribute ? out += u"&quot;" : out += c;
                break;
            case '\'':
                attribute ? out += u"&apos;" : out += c;
                break;
            default:
                out += c;
        }
    }
    return out;
}

// One attribute of a start tag, as offsets into the document text.
struct Attr {
    int32_t nameStart = 0, nameLen = 0;
    int32_t valueStart = 0, valueLen = 0;  // the value token, quotes included; 0 when absent
    int32_t equals = -1;                   // the '=' of an attribute without a value
    bool quoted = false;
};

// Walks the attributes of the start tag doc[start, end), leniently. Quotes pair
// up exactly as the parser paired them when it looked for the tag's end, and
// nothing reaches into the closing "/>" or ">", so whatever is written at these
// offsets reads back the same way.
class AttrReader {
public:
    AttrReader(std::u16string_view doc, int32_t start, int32_t end) : m_doc(doc) {
        m_p = start + 1;
        while (m_p < end && !endsName(m_doc[m_p]))
            ++m_p;
        m_afterLast = m_p;
        m_limit = end;
        if (m_limit > m_p && m_doc[m_limit - 1] == '>') --m_limit;
        while (m_limit > m_p && m_doc[m_limit - 1] == '/')
            --m_limit;
    }

    bool next(Attr& a) {
        while (m_p < m_limit) {
            const char16_t c = m_doc[m_p];
            if (c == '"' || c == '\'') {  // quoted text where a name belongs: skipped whole
                m_p = closingQuote(m_p);
                if (m_p < m_limit) ++m_p;
                continue;
            }
            if (endsName(c)) {
                ++m_p;
                continue;
            }
            a = Attr{};
            a.nameStart = m_p;
            while (m_p < m_limit && !endsName(m_doc[m_p]))
                ++m_p;
            a.nameLen = m_p - a.nameStart;
            m_afterLast = m_p;
            int32_t q = skipSpace(m_p);
            if (q < m_limit && m_doc[q] == '=') {
                a.equals = q;
                q = skipSpace(q + 1);
                if (q < m_limit && (m_doc[q] == '"' || m_doc[q] == '\'')) {
                    const int32_t e = closingQuote(q);
                    a.quoted = e < m_limit;
                    a.valueStart = q;
                    a.valueLen = (a.quoted ? e + 1 : e) - q;
                    m_p = q + a.valueLen;
                } else {
                    int32_t e = q;
                    while (e < m_limit && !isSpace(m_doc[e]) && m_doc[e] != '"' &&
                           m_doc[e] != '\'' && m_doc[e] != '<' && m_doc[e] != '>')
                        ++e;
                    a.valueStart = q;
                    a.valueLen = e - q;
                    m_p = std::max(e, m_p);
                }
                if (a.valueLen)
                    m_afterLast = a.valueStart + a.valueLen;
                else
                    m_afterLast = a.equals + 1;
            }
            m_danglingEquals = a.equals >= 0 && a.valueLen == 0;
            return true;
        }
        return false;
    }

    // Where a new attribute goes: after the last attribute (or the name), before
    // any white space and the closing "/>" or ">".
    int32_t afterLast() const { return m_afterLast; }
    // The last attribute is "name=" with nothing after it, which would take
    // whatever is written behind it as its value.
    bool danglingEquals() const { return m_danglingEquals; }

private:
    int32_t skipSpace(int32_t p) const {
        while (p < m_limit && isSpace(m_doc[p]))
            ++p;
        return p;
    }
    // The quote that closes the one at `open`, or the limit when there is none.
    int32_t closingQuote(int32_t open) const {
        int32_t e = open + 1;
        while (e < m_limit && m_doc[e] != m_doc[open])
            ++e;
        return e;
    }

    std::u16string_view m_doc;
    int32_t m_limit;
    int32_t m_p;
    int32_t m_afterLast;
    bool m_danglingEquals = false;
};

std::u16string attrValue(std::u16string_view doc, const Attr& a) {
    if (a.valueLen == 0) return {};
    std::u16string_view v = doc.substr(a.valueStart, a.valueLen);
    if (v.front() == '"' || v.front() == '\'') {
        v.remove_prefix(1);
        if (a.quoted) v.remove_suffix(1);
    }
    std::u16string out;
    appendUnescaped(out, v);
    return out;
}

}  // namespace

// ---------------------------------------------------------------------------

CXmlDocument::CXmlDocument() {
    clear();
}

CXmlDocument CXmlDocument::withHeader(Header header, std::u16string_view rootName) {
    CXmlDocument doc;
    if (header == Header::Comment) {
        doc.AddComment(u"?xml version=\"1.0\" encoding=\"UTF-8\"?");
    } else {
        doc.SetText(u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>");  // not well-formed alone
    }
    doc.AddElement(rootName);
    return doc;
}

void CXmlDocument::clear() {
    m_elems.assign(1, Element{});
    m_free = 0;
    m_iPosParent = m_iPos = m_iPosChild = 0;
    m_nodeKind = NodeKind::None;
    m_nodeOffset = m_nodeLength = 0;
}

void CXmlDocument::log(std::u16string_view name, std::u16string_view detail) {
    m_result += u'<';
    m_result += name;
    if (detail.empty()) {
        m_result += u"/>";
    } else {
        m_result += u'>';
        m_result += EscapeText(detail);
        m_result += u"</";
        m_result += name;
        m_result += u'>';
    }
    m_result += kCrLf;
}

bool CXmlDocument::IsElementEnded() const {
    return m_iPos != 0 && !(m_elems[m_iPos].flags & kUnended);
}

bool CXmlDocument::IsChildEnded() const {
    return m_iPosChild != 0 && !(m_elems[m_iPosChild].flags & kUnended);
}

bool CXmlDocument::IsWellFormed() const {
    const int32_t root = m_elems[0].child;
    return !(m_elems[0].flags & kNotWellFormed) && root != 0 && m_elems[root].next == 0;
}

std::u16string CXmlDocument::EscapeText(std::u16string_view text) {
    return escape(text, false);
}

std::u16string CXmlDocument::EscapeAttribute(std::u16string_view text) {
    return escape(text, true);
}

std::u16string CXmlDocument::UnescapeText(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    appendUnescaped(out, text);
    return out;
}

// --- the element index -------------------------------------------------------

int32_t CXmlDocument::newElement() {
    if (m_free) {
        int32_t i = m_free;
        m_free = m_elems[i].next;
        m_elems[i] = Element{};
        return i;
    }
    m_elems.emplace_back();
    return static_cast<int32_t>(m_elems.size() - 1);
}

void CXmlDocument::freeSubtree(int32_t i) {
    // Every slot of the subtree goes onto the free chain; `child` links are walked first.
    std::vector<int32_t> todo{i};
    while (!todo.empty()) {
        int32_t k = todo.back();
        todo.pop_back();
        for (int32_t c = m_elems[k].child; c; c = m_elems[c].next)
            todo.push_back(c);
        m_elems[k] = Element{};
        m_elems[k].next = m_free;
        m_free = k;
    }
}

int32_t CXmlDocument::lastChild(int32_t parent) const {
    const int32_t first = m_elems[parent].child;
    return first ? m_elems[first].prev : 0;
}

void CXmlDocument::appendChild(int32_t parent, int32_t i) {
    Element& e = m_elems[i];
    e.parent = parent;
    e.next = 0;
    const int32_t first = m_elems[parent].child;
    if (!first) {
        m_elems[parent].child = i;
        e.prev = i;
    } else {
        const int32_t last = m_elems[first].prev;
        m_elems[last].next = i;
        e.prev = last;
        m_elems[first].prev = i;
    }
}

// Links i among the children of parent by its offset.
void CXmlDocument::linkAfterOffset(int32_t parent, int32_t i) {
    int32_t before = lastChild(parent);
    const int32_t first = m_elems[parent].child;
    while (before && m_elems[before].start > m_elems[i].start) {
        before = before == first ? 0 : m_elems[before].prev;
    }
    if (before == lastChild(parent) && before) {
        appendChild(parent, i);
        return;
    }
    Element& e = m_elems[i];
    e.parent = parent;
    if (!before) {  // new first child
        if (!first) {
            appendChild(parent, i);
            return;
        }
        e.next = first;
        e.prev = m_elems[first].prev;
        m_elems[first].prev = i;
        m_elems[parent].child = i;
    } else {
        const int32_t after = m_elems[before].next;
        e.next = after;
        e.prev = before;
        m_elems[before].next = i;
        m_elems[after].prev = i;
    }
}

void CXmlDocument::unlink(int32_t i) {
    Element& e = m_elems[i];
    const int32_t parent = e.parent;
    const int32_t first = m_elems[parent].child;
    if (i == first) {
        m_elems[parent].child = e.next;
        if (e.next) m_elems[e.next].prev = e.prev;
    } else {
        m_elems[e.prev].next = e.next;
        if (e.next)
            m_elems[e.next].prev = e.prev;
        else
            m_elems[first].prev = e.prev;  // i was the last child
    }
    e.next = e.prev = 0;
}

void CXmlDocument::shiftSubtree(int32_t i, int32_t delta) {
    int32_t cur = i;
    while (true) {
        m_elems[cur].start += delta;
        if (m_elems[cur].child) {
            cur = m_elems[cur].child;
            continue;
        }
        while (cur != i && !m_elems[cur].next)
            cur = m_elems[cur].parent;
        if (cur == i) return;
        cur = m_elems[cur].next;
    }
}

// The text changed by `delta` code units at `offset`, inside element `containing`
// (0: at the document level). Everything after the change moves; the containing
// element and its ancestors grow or shrink. Only elements after the change are
// touched, so appending stays cheap however large the document is.
void CXmlDocument::shiftFrom(int32_t containing, int32_t offset, int32_t delta) {
    if (delta == 0) return;
    const int32_t first = m_elems[containing].child;
    for (int32_t c = lastChild(containing); c && m_elems[c].start >= offset;) {
        shiftSubtree(c, delta);
        c = c == first ? 0 : m_elems[c].prev;
    }
    for (int32_t a = containing; a != 0; a = m_elems[a].parent) {
        m_elems[a].length += delta;
        for (int32_t s = m_elems[a].next; s; s = m_elems[s].next)
            shiftSubtree(s, delta);
    }
    if (m_nodeKind != NodeKind::None && m_nodeOffset >= offset) m_nodeOffset += delta;
}

void CXmlDocument::replace(int32_t containing, int32_t offset, int32_t removeLen,
                           std::u16string_view text) {
    m_doc.replace(static_cast<size_t>(offset), static_cast<size_t>(removeLen), text);
    shiftFrom(containing, offset, static_cast<int32_t>(text.size()) - removeLen);
}

// --- parsing --------------------------------------------------------------------

void CXmlDocument::parse() {
    clear();
    const char16_t* b = m_doc.data();
    const int32_t n = static_cast<int32_t>(m_doc.size());
    m_elems.reserve(static_cast<size_t>(n / 48) + 8);

    struct Open {
        int32_t elem, nameStart, nameLen;
    };
    std::vector<Open> open;
    int marks = 0;
    auto mark = [&](std::u16string_view name, std::u16string_view detail) {
        m_elems[0].flags |= kNotWellFormed;
        if (++marks <= kMaxLoggedMarks) log(name, detail);
    };
    auto unterminated = [&](std::u16string_view kind) { mark(u"unterminated_tag_syntax", kind); };
    auto nameAt = [&](int32_t at, int32_t len) { return std::u16string_view(b + at, len); };
    auto top = [&]() { return open.empty() ? 0 : open.back().elem; };

    // A start tag that no end tag closed keeps only itself; its children become
    // its following siblings. It is always the last child of its parent here.
    auto unend = [&](const Open& o) {
        mark(u"unended_start_tag", nameAt(o.nameStart, o.nameLen));
        Element& e = m_elems[o.elem];
        e.flags |= kUnended;
        e.length = e.startTagLen;
        e.endTagLen = 0;
        const int32_t c = e.child;
        if (!c) return;
        const int32_t parent = e.parent;
        const int32_t last = m_elems[c].prev;
        for (int32_t k = c; k; k = m_elems[k].next)
            m_elems[k].parent = parent;
        e.child = 0;
        e.next = c;
        m_elems[c].prev = o.elem;
        m_elems[m_elems[parent].child].prev = last;
    };

    // Skips a broken "<!" tag: up to its '>', but never past the next '<'.
    auto skipBroken = [&](int32_t from) {
        for (int32_t j = from; j < n; ++j) {
            if (b[j] == '>') return j + 1;
            if (b[j] == '<') return j;
        }
        return n;
    };

    int32_t i = 0;
    while (i < n) {
        const char16_t* lt = findChar(b + i, b + n, u'<');
        if (lt == b + n) break;
        const int32_t s = static_cast<int32_t>(lt - b);
        if (s + 1 >= n) {
            unterminated(u"tag");
            break;
        }
        const char16_t c = b[s + 1];
        if (isNameStart(c)) {
            int32_t j = s + 2;
            while (j < n && !endsName(b[j]))
                ++j;
            const int32_t nameLen = j - s - 1;
            // To the '>' that ends the tag, outside quotes. A '<' means the tag was cut off.
            char16_t quote = 0;
            for (; j < n; ++j) {
                const char16_t d = b[j];
                if (d == '<') break;
                if (quote) {
                    if (d == quote) quote = 0;
                } else if (d == '>') {
                    break;
                } else if (d == '"' || d == '\'') {
                    quote = d;
                }
            }
            if (j >= n || b[j] != '>') {
                unterminated(u"start_tag");
                i = j;
                continue;
            }
            const int32_t e = j + 1;
            const int32_t k = newElement();
            Element& el = m_elems[k];
            el.start = s;
            el.startTagLen = e - s;
            appendChild(top(), k);
            if (b[j - 1] == '/') {
                el.length = el.startTagLen;
                el.flags |= kEmpty;
            } else {
                open.push_back({k, s + 1, nameLen});
            }
            i = e;
        } else if (c == '/') {
            int32_t j = s + 2;
            while (j < n && !endsName(b[j]))
                ++j;
            const std::u16string_view name = nameAt(s + 2, j - s - 2);
            while (j < n && b[j] != '>' && b[j] != '<')
                ++j;
            if (j >= n || b[j] != '>') {
                unterminated(u"end_tag");
                i = j;
                continue;
            }
            const int32_t e = j + 1;
            size_t k = open.size();
            while (k > 0 && nameAt(open[k - 1].nameStart, open[k - 1].nameLen) != name)
                --k;
            if (k == 0) {
                mark(u"lone_end_tag", name);
            } else {
                while (open.size() > k) {
                    unend(open.back());
                    open.pop_back();
                }
                Element& el = m_elems[open.back().elem];
                el.length = e - el.start;
                el.endTagLen = e - s;
                open.pop_back();
            }
            i = e;
        } else if (c == '?') {
            const int32_t e = find(m_doc, u"?>", s + 2);
            if (e < 0) {
                unterminated(u"processing_instruction");
                break;
            }
            i = e + 2;
        } else if (c == '!') {
            const std::u16string_view rest(b + s, static_cast<size_t>(n - s));
            if (rest.substr(0, 4) == u"<!--") {
                const int32_t e = find(m_doc, u"-->", s + 4);
                if (e < 0) {
                    unterminated(u"comment");
                    break;
                }
                i = e + 3;
            } else if (rest.substr(0, 3) == u"<!-") {
                mark(u"comment_tag_syntax", asText(s));
                i = skipBroken(s + 3);
            } else if (rest.substr(0, 9) == u"<![CDATA[") {
                const int32_t e = find(m_doc, u"]]>", s + 9);
                if (e < 0) {
                    unterminated(u"cdata_section");
                    break;
                }
                i = e + 3;
            } else if (rest.substr(0, 3) == u"<![") {
                mark(u"cdata_section_syntax", asText(s));
                i = skipBroken(s + 3);
            } else if (rest.size() > 2 && (rest[2] == 'D' || rest[2] == 'd')) {
                std::u16string word(rest.substr(2, 7));
                for (auto& ch : word)
                    ch = (ch >= 'a' && ch <= 'z') ? char16_t(ch - 32) : ch;
                if (word != u"DOCTYPE") {
                    mark(u"doctype_tag_syntax", asText(s));
                    i = skipBroken(s + 2);
                    continue;
                }
                // The internal subset in brackets may hold '>' of its own.
                int32_t j = s + 9, depth = 0;
                char16_t quote = 0;
                for (; j < n; ++j) {
                    const char16_t d = b[j];
                    if (quote) {
                        if (d == quote) quote = 0;
                    } else if (d == '"' || d == '\'') {
                        quote = d;
                    } else if (d == '[') {
                        ++depth;
                    } else if (d == ']') {
                        if (depth) --depth;
                    } else if (d == '>' && depth == 0) {
                        break;
                    }
                }
                if (j >= n) {
                    unterminated(u"document_type");
                    break;
                }
                i = j + 1;
            } else {
                mark(u"exclamation_tag_syntax", asText(s));
                i = skipBroken(s + 2);
            }
        } else {
            // "<" followed by something no tag starts with: it stays text.
            mark(u"first_tag_syntax", asText(s));
            i = s + 1;
        }
    }
    while (!open.empty()) {
        unend(open.back());
        open.pop_back();
    }
    if (marks > kMaxLoggedMarks) log(u"more_marks", asText(marks - kMaxLoggedMarks));

    // The number of top-level elements is not a mark: IsWellFormed looks at it as
    // the document stands, so a root added to a bare declaration counts.
    const int32_t root = m_elems[0].child;
    if (!root)
        log(u"no_root_element");
    else if (m_elems[root].next)
        log(u"root_has_sibling", tagName(m_elems[root].next));
}

void CXmlDocument::assign(std::u16string text) {
    if (text.size() > static_cast<size_t>(kMaxLength)) {
        log(u"truncation_error", u"document too large");
        text.clear();
    }
    m_doc = std::move(text);
    m_bom = Bom::None;
    parse();
}

bool CXmlDocument::SetText(std::u16string text) {
    m_result.clear();
    assign(std::move(text));
    return IsWellFormed();
}

bool CXmlDocument::LoadFile(const std::filesystem::path& path) {
    m_result.clear();
    m_fileError.clear();
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        m_fileError = std::strerror(errno);
        log(u"file_error", platform::utf8ToUtf16(m_fileError));
        return false;
    }
    std::string bytes;
    char buf[65536];
    bool failed = false;
    while (true) {
        size_t got = std::fread(buf, 1, sizeof buf, f);
        bytes.append(buf, got);
        if (got < sizeof buf) {
            failed = std::ferror(f) != 0;
            break;
        }
        if (bytes.size() > static_cast<size_t>(kMaxLength)) {
            errno = EFBIG;
            failed = true;
            break;
        }
    }
    const int err = errno;
    std::fclose(f);
    if (failed) {
        m_fileError = std::strerror(err);
        log(u"file_error", platform::utf8ToUtf16(m_fileError));
        return false;
    }

    xml::DecodedFile decoded = xml::decodeXmlFile(bytes, platform::ansiCodePage());
    for (const auto& step : decoded.steps)
        log(step.name, step.detail);
    if (decoded.text.size() > static_cast<size_t>(kMaxLength)) {
        m_fileError = std::strerror(EFBIG);
        log(u"file_error", u"file too large");
        return false;
    }
    assign(std::move(decoded.text));
    m_bom = decoded.bom;
    return IsWellFormed();
}

bool CXmlDocument::SaveFile(const std::filesystem::path& path) {
    m_result.clear();
    m_fileError.clear();
    xml::EncodedFile encoded = xml::encodeXmlFile(m_doc, m_bom, platform::ansiCodePage());
    for (const auto& step : encoded.steps)
        log(step.name, step.detail);
    if (!platform::saveFileSafely(path, encoded.bytes, &m_fileError)) {
        log(u"file_error", platform::utf8ToUtf16(m_fileError.substr(0, m_fileError.find('\n'))));
        return false;
    }
    log(u"write", asText(static_cast<int32_t>(std::min<size_t>(encoded.bytes.size(), INT32_MAX))));
    return true;
}

// --- reading -----------------------------------------------------------------

std::u16string_view CXmlDocument::tagName(int32_t i) const {
    if (i <= 0) return {};
    const Element& e = m_elems[i];
    const int32_t end = e.start + e.startTagLen;
    int32_t p = e.start + 1;
    while (p < end && !endsName(m_doc[p]))
        ++p;
    return std::u16string_view(m_doc).substr(e.start + 1, p - e.start - 1);
}

int32_t CXmlDocument::findSibling(int32_t from, std::u16string_view name) const {
    for (int32_t i = from; i; i = m_elems[i].next)
        if (name.empty() || tagName(i) == name) return i;
    return 0;
}

bool CXmlDocument::FindElement(std::u16string_view name) {
    const int32_t from = m_iPos ? m_elems[m_iPos].next : m_elems[m_iPosParent].child;
    const int32_t found = findSibling(from, name);
    if (!found) return false;
    m_iPos = found;
    m_iPosChild = 0;
    m_nodeKind = NodeKind::None;
    return true;
}

bool CXmlDocument::FindChildElement(std::u16string_view name) {
    const int32_t pos = m_iPos ? m_iPos : m_elems[m_iPosParent].child;
    if (!pos) return false;
    const int32_t child = pos == m_iPos ? m_iPosChild : 0;
    const int32_t from = child ? m_elems[child].next : m_elems[pos].child;
    const int32_t found = findSibling(from, name);
    if (!found) return false;
    m_iPos = pos;
    m_iPosChild = found;
    m_nodeKind = NodeKind::None;
    return true;
}

bool CXmlDocument::EnterElement() {
    if (!m_iPos) return false;
    m_iPosParent = m_iPos;
    m_iPos = m_iPosChild;
    m_iPosChild = 0;
    m_nodeKind = NodeKind::None;
    return true;
}

bool CXmlDocument::LeaveElement() {
    if (!m_iPosParent) return false;
    m_iPosChild = m_iPos;
    m_iPos = m_iPosParent;
    m_iPosParent = m_elems[m_iPos].parent;
    m_nodeKind = NodeKind::None;
    return true;
}

void CXmlDocument::ResetPosition() {
    m_iPosParent = m_iPos = m_iPosChild = 0;
    m_nodeKind = NodeKind::None;
}

void CXmlDocument::ResetChildPosition() {
    m_iPosChild = 0;
    m_nodeKind = NodeKind::None;
}

std::u16string CXmlDocument::GetTagName() const {
    return std::u16string(tagName(m_iPos));
}

std::u16string CXmlDocument::GetChildTagName() const {
    return std::u16string(tagName(m_iPos ? m_iPosChild : 0));
}

std::u16string CXmlDocument::elementText(int32_t i) const {
    if (i <= 0) return {};
    const Element& e = m_elems[i];
    if (e.child || (e.flags & (kEmpty | kUnended))) return {};
    const std::u16string_view content =
        std::u16string_view(m_doc).substr(e.contentStart(), e.contentEnd() - e.contentStart());
    std::u16string out;
    out.reserve(content.size());
    size_t from = 0;
    while (from < content.size()) {
        size_t lt = content.find(u'<', from);
        if (lt == std::u16string_view::npos) lt = content.size();
        appendUnescaped(out, content.substr(from, lt - from));
        if (lt == content.size()) break;
        const std::u16string_view rest = content.substr(lt);
        size_t skip;
        if (rest.substr(0, 9) == u"<![CDATA[") {
            size_t end = rest.find(u"]]>", 9);
            if (end == std::u16string_view::npos) end = rest.size();
            out.append(rest.substr(9, end - 9));
            skip = std::min(end + 3, rest.size());
        } else if (rest.substr(0, 4) == u"<!--" || rest.substr(0, 2) == u"<?") {
            const bool comment = rest[1] == '!';
            size_t end = rest.find(comment ? u"-->" : u"?>", comment ? 4 : 2);
            skip = end == std::u16string_view::npos ? rest.size() : end + (comment ? 3 : 2);
        } else if (rest.size() > 1 && (isNameStart(rest[1]) || rest[1] == '/' || rest[1] == '!')) {
            // Stray markup, such as an end tag that closed nothing.
            size_t end = rest.find(u'>');
            skip = end == std::u16string_view::npos ? rest.size() : end + 1;
        } else {
            out.push_back(u'<');
            skip = 1;
        }
        from = lt + skip;
    }
    return out;
}

std::u16string CXmlDocument::GetElementText() const {
    return elementText(m_iPos);
}

std::u16string CXmlDocument::GetChildText() const {
    return elementText(m_iPos ? m_iPosChild : 0);
}

std::u16string CXmlDocument::attribute(int32_t i, std::u16string_view name) const {
    if (i <= 0) return {};
    const Element& e = m_elems[i];
    AttrReader reader(m_doc, e.start, e.start + e.startTagLen);
    Attr a;
    while (reader.next(a))
        if (std::u16string_view(m_doc).substr(a.nameStart, a.nameLen) == name)
            return attrValue(m_doc, a);
    return {};
}

std::u16string CXmlDocument::GetAttribute(std::u16string_view name) const {
    return attribute(m_iPos, name);
}

std::u16string CXmlDocument::GetChildAttribute(std::u16string_view name) const {
    return attribute(m_iPos ? m_iPosChild : 0, name);
}

std::u16string CXmlDocument::GetAttributeName(int index) const {
    if (!m_iPos || index < 0) return {};
    const Element& e = m_elems[m_iPos];
    AttrReader reader(m_doc, e.start, e.start + e.startTagLen);
    Attr a;
    for (int k = 0; reader.next(a); ++k)
        if (k == index) return m_doc.substr(a.nameStart, a.nameLen);
    return {};
}

// --- editing -----------------------------------------------------------------

bool CXmlDocument::setAttribute(int32_t i, std::u16string_view name, std::u16string_view value) {
    if (i <= 0 || !isWritableName(name)) return false;
    const std::u16string escaped = EscapeAttribute(value);
    if (m_doc.size() + escaped.size() + name.size() + 4 > static_cast<size_t>(kMaxLength))
        return false;
    const Element& e = m_elems[i];
    AttrReader reader(m_doc, e.start, e.start + e.startTagLen);
    Attr a;
    bool found = false;
    while (!found && reader.next(a))
        found = std::u16string_view(m_doc).substr(a.nameStart, a.nameLen) == name;
    std::u16string text;
    int32_t at, removeLen = 0;
    if (found && a.valueLen) {
        at = a.valueStart;
        removeLen = a.valueLen;
        text = u'"' + escaped + u'"';
    } else if (found && a.equals >= 0) {  // "name=" and nothing after it
        at = a.equals + 1;
        text = u'"' + escaped + u'"';
    } else if (found) {  // a name without a value
        at = a.nameStart + a.nameLen;
        text = u"=\"" + escaped + u'"';
    } else {
        at = reader.afterLast();
        text = reader.danglingEquals() ? u"\"\" " : u" ";
        text += name;
        text += u"=\"" + escaped + u'"';
    }
    const int32_t delta = static_cast<int32_t>(text.size()) - removeLen;
    replace(i, at, removeLen, text);
    m_elems[i].startTagLen += delta;
    return true;
}

bool CXmlDocument::SetAttribute(std::u16string_view name, std::u16string_view value) {
    return setAttribute(m_iPos, name, value);
}

bool CXmlDocument::SetAttribute(std::u16string_view name, int32_t value) {
    return setAttribute(m_iPos, name, asText(value));
}

bool CXmlDocument::SetChildAttribute(std::u16string_view name, std::u16string_view value) {
    return setAttribute(m_iPos ? m_iPosChild : 0, name, value);
}

bool CXmlDocument::SetChildAttribute(std::u16string_view name, int32_t value) {
    return setAttribute(m_iPos ? m_iPosChild : 0, name, asText(value));
}

bool CXmlDocument::setElementText(int32_t i, std::u16string_view text) {
    if (i <= 0 || m_elems[i].child) return false;
    const std::u16string escaped = EscapeText(text);
    const std::u16string name(tagName(i));
    if (m_doc.size() + escaped.size() + name.size() + 3 > static_cast<size_t>(kMaxLength))
        return false;
    Element& e = m_elems[i];
    const std::u16string endTag = u"</" + name + u'>';
    if (e.flags & kEmpty) {
        if (escaped.empty()) return true;  // <a/> already says it
        const int32_t slash = emptyTagSlashes(i);
        replace(i, slash, e.start + e.startTagLen - slash, u'>' + escaped + endTag);
        m_elems[i].startTagLen = slash + 1 - m_elems[i].start;
        m_elems[i].endTagLen = static_cast<int32_t>(endTag.size());
        m_elems[i].flags &= ~kEmpty;
    } else if (e.flags & kUnended) {
        replace(i, e.contentStart(), 0, escaped + endTag);
        m_elems[i].endTagLen = static_cast<int32_t>(endTag.size());
        m_elems[i].flags &= ~kUnended;
    } else {
        replace(i, e.contentStart(), e.contentEnd() - e.contentStart(), escaped);
    }
    return true;
}

bool CXmlDocument::SetElementText(std::u16string_view text) {
    return setElementText(m_iPos, text);
}

bool CXmlDocument::SetChildText(std::u16string_view text) {
    return setElementText(m_iPos ? m_iPosChild : 0, text);
}

// Where the "/>" of an empty element's tag begins; every slash of "<a//>" goes
// when it is opened, or it would still read as empty.
int32_t CXmlDocument::emptyTagSlashes(int32_t i) const {
    const Element& e = m_elems[i];
    int32_t p = e.start + e.startTagLen - 2;
    while (p - 1 > e.start && m_doc[p - 1] == '/')
        --p;
    return p;
}

// The offset behind the line break that ends a node ending at `offset`.
int32_t CXmlDocument::insertionPointAfter(int32_t offset) const {
    const int32_t n = static_cast<int32_t>(m_doc.size());
    if (offset + 1 < n && m_doc[offset] == '\r' && m_doc[offset + 1] == '\n') return offset + 2;
    if (offset < n && m_doc[offset] == '\n') return offset + 1;
    return offset;
}

// Inserts `node` and a line break under `parent`: behind the node that ends at
// `afterEnd`, or at the end of the parent's content when afterEnd is negative,
// opening the parent when it is empty. Returns the offset of the node.
int32_t CXmlDocument::insertNode(int32_t parent, int32_t afterEnd, std::u16string_view node) {
    if (afterEnd >= 0) {
        const int32_t at = insertionPointAfter(afterEnd);
        replace(parent, at, 0, std::u16string(node) + std::u16string(kCrLf));
        return at;
    }
    if (parent == 0) {
        const int32_t at = static_cast<int32_t>(m_doc.size());
        replace(0, at, 0, std::u16string(node) + std::u16string(kCrLf));
        return at;
    }
    const Element& p = m_elems[parent];
    const std::u16string endTag = u"</" + std::u16string(tagName(parent)) + u'>';
    if (p.flags & (kEmpty | kUnended)) {
        const bool empty = p.flags & kEmpty;
        // <p/> becomes <p> CR LF node CR LF </p>; a start tag that was never closed gets its end
        // tag.
        const int32_t at = empty ? emptyTagSlashes(parent) : p.contentStart();
        const int32_t removed = empty ? p.start + p.startTagLen - at : 0;
        std::u16string text = empty ? u">" : u"";
        text += kCrLf;
        text += node;
        text += kCrLf;
        text += endTag;
        replace(parent, at, removed, text);
        Element& q = m_elems[parent];
        if (empty) q.startTagLen = at + 1 - q.start;
        q.endTagLen = static_cast<int32_t>(endTag.size());
        q.flags &= ~(kEmpty | kUnended);
        return at + (empty ? 1 : 0) + 2;
    }
    const int32_t at = p.contentEnd();
    replace(parent, at, 0, std::u16string(node) + std::u16string(kCrLf));
    return at;
}

// Adds <name/> or <name>content</name> under `parent` behind the node ending at
// `afterEnd` (negative: at the end of the parent's content); returns its slot, 0 on refusal.
int32_t CXmlDocument::addElement(int32_t parent, int32_t afterEnd, std::u16string_view name,
                                 std::u16string_view content) {
    if (!isWritableName(name)) return 0;
    const std::u16string escaped = EscapeText(content);
    if (m_doc.size() + escaped.size() + 2 * name.size() + 32 > static_cast<size_t>(kMaxLength))
        return 0;
    std::u16string node = u'<' + std::u16string(name);
    node += escaped.empty() ? u"/>" : u">" + escaped + u"</" + std::u16string(name) + u'>';
    const int32_t at = insertNode(parent, afterEnd, node);

    const int32_t k = newElement();
    Element& e = m_elems[k];
    e.start = at;
    e.length = static_cast<int32_t>(node.size());
    e.startTagLen = escaped.empty() ? e.length : static_cast<int32_t>(name.size()) + 2;
    e.endTagLen = escaped.empty() ? 0 : static_cast<int32_t>(name.size()) + 3;
    e.flags = escaped.empty() ? uint32_t{kEmpty} : 0u;
    linkAfterOffset(parent, k);
    return k;
}

// Where a new node at the level of the current element goes: behind the current
// node, else behind the current element, else at the end of the parent.
int32_t CXmlDocument::endOfCurrentNode() const {
    if (m_nodeKind != NodeKind::None) return m_nodeOffset + m_nodeLength;
    return m_iPos ? m_elems[m_iPos].end() : -1;
}

bool CXmlDocument::AddElement(std::u16string_view name, std::u16string_view content) {
    const int32_t k = addElement(m_iPosParent, endOfCurrentNode(), name, content);
    if (!k) return false;
    m_iPos = k;
    m_iPosChild = 0;
    m_nodeKind = NodeKind::None;
    return true;
}

bool CXmlDocument::AddElement(std::u16string_view name, int32_t content) {
    return AddElement(name, asText(content));
}

bool CXmlDocument::AddChildElement(std::u16string_view name, std::u16string_view content) {
    if (!m_iPos) return false;
    const int32_t afterEnd = m_iPosChild ? m_elems[m_iPosChild].end() : -1;
    const int32_t k = addElement(m_iPos, afterEnd, name, content);
    if (!k) return false;
    m_iPosChild = k;
    return true;
}

bool CXmlDocument::AddChildElement(std::u16string_view name, int32_t content) {
    return AddChildElement(name, asText(content));
}

bool CXmlDocument::AddComment(std::u16string_view text) {
    // The comment must end where we say it does.
    if (text.find(u"-->") != std::u16string_view::npos) return false;
    if (m_doc.size() + text.size() + 16 > static_cast<size_t>(kMaxLength)) return false;
    const std::u16string node = u"<!--" + std::u16string(text) + u"-->";
    const int32_t at = insertNode(m_iPosParent, endOfCurrentNode(), node);
    m_nodeKind = NodeKind::Comment;
    m_nodeOffset = at;
    m_nodeLength = static_cast<int32_t>(node.size());
    return true;
}

bool CXmlDocument::RemoveElement() {
    if (!m_iPos) return false;
    const int32_t i = m_iPos;
    const int32_t parent = m_elems[i].parent;
    const int32_t start = m_elems[i].start;
    int32_t end = m_elems[i].end();
    int32_t k = end;
    const int32_t n = static_cast<int32_t>(m_doc.size());
    while (k < n && isSpace(m_doc[k]))
        ++k;
    if (k == n || m_doc[k] == '<') end = k;
    const int32_t prev = i == m_elems[parent].child ? 0 : m_elems[i].prev;
    unlink(i);
    freeSubtree(i);
    m_nodeKind = NodeKind::None;
    replace(parent, start, end - start, {});
    m_iPos = prev;
    m_iPosChild = 0;
    return true;
}
