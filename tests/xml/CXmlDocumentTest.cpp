#include "xml/CXmlDocument.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

// A document loaded from text, with the position checked after every step.
CXmlDocument parsed(std::u16string text) {
    CXmlDocument doc;
    doc.SetText(std::move(text));
    return doc;
}

// --- navigation ----------------------------------------------------------------

TEST(CXmlDocumentNavigation, FailedFindLeavesPositionForLaterFinds) {
    CXmlDocument doc = parsed(u"<r><a/><b/><c/><b/></r>");
    ASSERT_TRUE(doc.FindElement(u"r"));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.FindElement(u"b"));
    EXPECT_FALSE(doc.FindElement(u"zzz"));
    EXPECT_EQ(doc.GetTagName(), u"b");
    // Still searching from the first b: the c after it, then the second b.
    ASSERT_TRUE(doc.FindElement(u"c"));
    EXPECT_TRUE(doc.FindElement(u"b"));
    EXPECT_FALSE(doc.FindElement(u"a"));  // only forward
    EXPECT_FALSE(doc.FindElement());      // nothing after the last
    EXPECT_EQ(doc.GetTagName(), u"b");
}

TEST(CXmlDocumentNavigation, EmptyNameMatchesAnyAndNamesAreCaseSensitive) {
    CXmlDocument doc = parsed(u"<Root><Item/><item/></Root>");
    EXPECT_FALSE(doc.FindElement(u"root"));
    ASSERT_TRUE(doc.FindElement());
    EXPECT_EQ(doc.GetTagName(), u"Root");
    ASSERT_TRUE(doc.FindChildElement(u"item"));
    EXPECT_EQ(doc.GetChildTagName(), u"item");
    EXPECT_FALSE(doc.FindChildElement(u"Item"));  // the Item before it is not searched again
    doc.ResetChildPosition();
    ASSERT_TRUE(doc.FindChildElement(u"Item"));
    EXPECT_EQ(doc.GetTagName(), u"Root");
}

TEST(CXmlDocumentNavigation, FindChildElementSelectsTheRootFirst) {
    CXmlDocument doc = parsed(
        u"<root><configFlag>1</configFlag><appVersion>2.0</appVersion>"
        u"<downURL>http://x/</downURL></root>");
    ASSERT_TRUE(doc.FindChildElement(u"configFlag"));
    EXPECT_EQ(doc.GetTagName(), u"root");
    EXPECT_EQ(doc.GetChildText(), u"1");
    ASSERT_TRUE(doc.FindChildElement(u"appVersion"));
    EXPECT_EQ(doc.GetChildText(), u"2.0");
    doc.ResetChildPosition();
    ASSERT_TRUE(doc.FindChildElement(u"downURL"));
    EXPECT_EQ(doc.GetChildText(), u"http://x/");
}

TEST(CXmlDocumentNavigation, FailedFindChildChangesNothing) {
    CXmlDocument doc = parsed(u"<root><a/></root>");
    EXPECT_FALSE(doc.FindChildElement(u"missing"));
    EXPECT_EQ(doc.GetTagName(), u"");  // the implicit select of the root is undone too
    EXPECT_TRUE(doc.FindChildElement(u"a"));
    EXPECT_FALSE(doc.FindChildElement(u"missing"));
    EXPECT_EQ(doc.GetChildTagName(), u"a");
}

TEST(CXmlDocumentNavigation, EnterAndLeave) {
    CXmlDocument doc = parsed(u"<r><a><x/><y/></a><b/></r>");
    EXPECT_FALSE(doc.EnterElement());  // no current element
    EXPECT_FALSE(doc.LeaveElement());  // at the document level
    ASSERT_TRUE(doc.FindElement());
    ASSERT_TRUE(doc.FindChildElement(u"a"));
    ASSERT_TRUE(doc.EnterElement());  // the child a becomes the current element
    EXPECT_EQ(doc.GetTagName(), u"a");
    EXPECT_EQ(doc.GetChildTagName(), u"");
    ASSERT_TRUE(doc.FindChildElement(u"y"));
    ASSERT_TRUE(doc.EnterElement());
    EXPECT_EQ(doc.GetTagName(), u"y");
    ASSERT_TRUE(doc.LeaveElement());
    EXPECT_EQ(doc.GetTagName(), u"a");
    EXPECT_EQ(doc.GetChildTagName(), u"y");
    ASSERT_TRUE(doc.LeaveElement());
    EXPECT_EQ(doc.GetTagName(), u"r");
    EXPECT_EQ(doc.GetChildTagName(), u"a");
    ASSERT_TRUE(doc.FindChildElement());
    EXPECT_EQ(doc.GetChildTagName(), u"b");
    EXPECT_FALSE(doc.LeaveElement());  // the document level is no parent
    EXPECT_EQ(doc.GetTagName(), u"r");
}

TEST(CXmlDocumentNavigation, EnterWithoutChildThenAddGoesToTheEnd) {
    CXmlDocument doc = parsed(u"<r><a/></r>");
    ASSERT_TRUE(doc.FindElement());
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.AddElement(u"b"));
    EXPECT_EQ(doc.GetDocText(), u"<r><a/><b/>\r\n</r>");
}

// --- element text and attributes ------------------------------------------------

TEST(CXmlDocumentReading, ElementTextRules) {
    struct Case {
        std::u16string doc;
        std::u16string text;
    };
    const Case cases[] = {
        {u"<a>x<b/>y</a>", u""},  // has a child element
        {u"<a/>", u""},           // empty element
        {u"<a></a>", u""},
        {u"<a>1 &lt; 2 &amp;&amp; 3 &gt; 2</a>", u"1 < 2 && 3 > 2"},
        {u"<a><![CDATA[<&amp;>]]> tail</a>", u"<&amp;> tail"},  // CDATA verbatim
        {u"<a>x<!-- note -->y</a>", u"xy"},
        {u"<a>&#65;&#x42;&#X43;&euro;&apos;&quot;</a>", u"ABC\u20AC'\""},
        {u"<a>&#x1F600;</a>", u"\U0001F600"s},  // above U+FFFF: a surrogate pair
        {u"<a>&#128512;</a>", u"\U0001F600"s},
        {u"<a>&nosuch; &amp &#; &#x; &#xD800; &#0; &#x110000; &lt</a>",
         u"&nosuch; &amp &#; &#x; &#xD800; &#0; &#x110000; &lt"},
        {u"<a>&thetasym;&alefsym;&Yuml;&zwnj;</a>", u"\u03D1\u2135\u0178\u200C"},
        {u"<a>&abcdefghij;</a>", u"&abcdefghij;"},  // longer than any name
        {u"<a>\u4E2D\u6587</a>", u"\u4E2D\u6587"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.doc.begin(), c.doc.end()));
        CXmlDocument doc = parsed(c.doc);
        ASSERT_TRUE(doc.FindElement(u"a"));
        EXPECT_EQ(doc.GetElementText(), c.text);
    }
}

TEST(CXmlDocumentReading, Attributes) {
    CXmlDocument doc = parsed(
        u"<a one=\"1\" two='t&apos;o' three = \"x&amp;y&#x4E2D;\" four=bare "
        u"five>text</a>");
    ASSERT_TRUE(doc.FindElement());
    EXPECT_EQ(doc.GetAttribute(u"one"), u"1");
    EXPECT_EQ(doc.GetAttribute(u"two"), u"t'o");
    EXPECT_EQ(doc.GetAttribute(u"three"), u"x&y\u4E2D");
    EXPECT_EQ(doc.GetAttribute(u"four"), u"bare");
    EXPECT_EQ(doc.GetAttribute(u"five"), u"");
    EXPECT_EQ(doc.GetAttribute(u"ONE"), u"");
    EXPECT_EQ(doc.GetAttribute(u"six"), u"");
    EXPECT_EQ(doc.GetAttributeName(0), u"one");
    EXPECT_EQ(doc.GetAttributeName(3), u"four");
    EXPECT_EQ(doc.GetAttributeName(4), u"five");
    EXPECT_EQ(doc.GetAttributeName(5), u"");
    EXPECT_EQ(doc.GetAttributeName(-1), u"");
    EXPECT_EQ(doc.GetElementText(), u"text");
}

TEST(CXmlDocumentReading, ChildAttributesAndNoPosition) {
    CXmlDocument doc = parsed(u"<r><Item Name=\"TextContent\" Value=\"a/b\"/></r>");
    EXPECT_EQ(doc.GetAttribute(u"Name"), u"");
    EXPECT_EQ(doc.GetChildAttribute(u"Name"), u"");
    EXPECT_EQ(doc.GetElementText(), u"");
    ASSERT_TRUE(doc.FindChildElement(u"Item"));
    EXPECT_EQ(doc.GetChildAttribute(u"Name"), u"TextContent");
    EXPECT_EQ(doc.GetChildAttribute(u"Value"), u"a/b");
    EXPECT_EQ(doc.GetAttribute(u"Name"), u"");  // r has none
}

TEST(CXmlDocumentReading, GreaterThanInsideQuotesDoesNotEndTheTag) {
    CXmlDocument doc = parsed(u"<r a=\"x>y\"><b/></r>");
    EXPECT_TRUE(doc.IsWellFormed());
    ASSERT_TRUE(doc.FindElement());
    EXPECT_EQ(doc.GetAttribute(u"a"), u"x>y");
    EXPECT_TRUE(doc.FindChildElement(u"b"));
}

// --- writing -------------------------------------------------------------------

TEST(CXmlDocumentWriting, CommentHeaderDocumentIsExact) {
    CXmlDocument doc = CXmlDocument::withHeader(CXmlDocument::Header::Comment, u"root");
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.AddElement(u"configFlag", 0));
    ASSERT_TRUE(doc.LeaveElement());
    EXPECT_EQ(doc.GetDocText(),
              u"<!--?xml version=\"1.0\" encoding=\"UTF-8\"?-->\r\n<root>\r\n"
              u"<configFlag>0</configFlag>\r\n</root>\r\n");
    EXPECT_TRUE(CXmlDocument().SetText(doc.GetDocText()));  // the comment is only a comment
}

TEST(CXmlDocumentWriting, DeclarationHeaderDocumentIsExact) {
    CXmlDocument doc = CXmlDocument::withHeader(CXmlDocument::Header::Declaration, u"temp");
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.AddElement(u"file", u"/home/u/a.vqd"));
    ASSERT_TRUE(doc.AddElement(u"file", u"b&c"));
    ASSERT_TRUE(doc.LeaveElement());
    EXPECT_EQ(doc.GetDocText(),
              u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><temp>\r\n<file>/home/u/a.vqd</file>\r\n"
              u"<file>b&amp;c</file>\r\n</temp>\r\n");
    EXPECT_TRUE(doc.IsWellFormed());
}

TEST(CXmlDocumentWriting, NestedBuildOpensEmptyParents) {
    CXmlDocument doc;
    ASSERT_TRUE(doc.AddElement(u"QV"));
    ASSERT_TRUE(doc.SetAttribute(u"version", 2));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.AddElement(u"SCREEN"));
    ASSERT_TRUE(doc.SetAttribute(u"name", u"Screen_1"));
    ASSERT_TRUE(doc.AddChildElement(u"Program"));
    ASSERT_TRUE(doc.SetChildAttribute(u"check", -1));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.AddChildElement(u"Item", u"x"));
    ASSERT_TRUE(doc.AddChildElement(u"Item"));
    ASSERT_TRUE(doc.LeaveElement());
    ASSERT_TRUE(doc.AddElement(u"SCREEN"));
    ASSERT_TRUE(doc.LeaveElement());
    EXPECT_EQ(doc.GetDocText(),
              u"<QV version=\"2\">\r\n"
              u"<SCREEN name=\"Screen_1\">\r\n"
              u"<Program check=\"-1\">\r\n"
              u"<Item>x</Item>\r\n"
              u"<Item/>\r\n"
              u"</Program>\r\n"
              u"</SCREEN>\r\n"
              u"<SCREEN/>\r\n"
              u"</QV>\r\n");
    // The index kept up with every splice: a fresh parse sees the same tree.
    CXmlDocument again = parsed(doc.GetDocText());
    ASSERT_TRUE(again.IsWellFormed());
    ASSERT_TRUE(again.FindElement(u"QV"));
    ASSERT_TRUE(again.EnterElement());
    ASSERT_TRUE(again.FindElement(u"SCREEN"));
    ASSERT_TRUE(again.FindChildElement(u"Program"));
    EXPECT_EQ(again.GetChildAttribute(u"check"), u"-1");
    ASSERT_TRUE(again.FindElement(u"SCREEN"));
    EXPECT_FALSE(again.FindElement());
}

TEST(CXmlDocumentWriting, AddElementGoesBehindTheCurrentElementsLineBreak) {
    CXmlDocument doc = parsed(u"<r>\r\n<a/>\r\n<c/>\r\n</r>");
    ASSERT_TRUE(doc.FindElement());
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.FindElement(u"a"));
    ASSERT_TRUE(doc.AddElement(u"b", u"1"));
    EXPECT_EQ(doc.GetDocText(), u"<r>\r\n<a/>\r\n<b>1</b>\r\n<c/>\r\n</r>");
    ASSERT_TRUE(doc.FindElement());
    EXPECT_EQ(doc.GetTagName(), u"c");
    // and the text of the moved elements still reads right
    ASSERT_TRUE(doc.AddElement(u"d"));
    ASSERT_TRUE(doc.LeaveElement());
    EXPECT_EQ(doc.GetDocText(), u"<r>\r\n<a/>\r\n<b>1</b>\r\n<c/>\r\n<d/>\r\n</r>");
}

TEST(CXmlDocumentWriting, AddChildElementRules) {
    CXmlDocument doc = parsed(u"<r><a/><c/></r>");
    EXPECT_FALSE(doc.AddChildElement(u"x"));  // no current element
    EXPECT_EQ(doc.GetDocText(), u"<r><a/><c/></r>");
    ASSERT_TRUE(doc.FindElement());
    ASSERT_TRUE(doc.FindChildElement(u"a"));
    ASSERT_TRUE(doc.AddChildElement(u"b"));  // behind the current child
    EXPECT_EQ(doc.GetChildTagName(), u"b");
    EXPECT_EQ(doc.GetDocText(), u"<r><a/><b/>\r\n<c/></r>");
    ASSERT_TRUE(doc.FindChildElement());
    EXPECT_EQ(doc.GetChildTagName(), u"c");
    doc.ResetChildPosition();
    ASSERT_TRUE(doc.AddChildElement(u"d", -7));  // no current child: at the end
    EXPECT_EQ(doc.GetDocText(), u"<r><a/><b/>\r\n<c/><d>-7</d>\r\n</r>");
}

TEST(CXmlDocumentWriting, RefusesNamesAndCommentsThatWouldNotReadBack) {
    CXmlDocument doc = parsed(u"<r/>");
    ASSERT_TRUE(doc.FindElement());
    for (const char16_t* bad : {u"", u"a b", u"a>", u"<a", u"1a", u"a/b", u"a\"", u"a&b"}) {
        EXPECT_FALSE(doc.AddChildElement(bad));
        EXPECT_FALSE(doc.SetAttribute(bad, u"v"));
    }
    EXPECT_FALSE(doc.AddComment(u"x-->y"));
    EXPECT_EQ(doc.GetDocText(), u"<r/>");
}

TEST(CXmlDocumentWriting, SetAttributeReplacesOrAppends) {
    CXmlDocument doc = parsed(u"<r a='1' b=bare c/>");
    ASSERT_TRUE(doc.FindElement());
    ASSERT_TRUE(doc.SetAttribute(u"a", u"say \"hi\" & 'bye' <x>"));
    ASSERT_TRUE(doc.SetAttribute(u"b", 5));
    ASSERT_TRUE(doc.SetAttribute(u"c", u"v"));
    ASSERT_TRUE(doc.SetAttribute(u"d", u""));
    EXPECT_EQ(
        doc.GetDocText(),
        u"<r a=\"say &quot;hi&quot; &amp; &apos;bye&apos; &lt;x&gt;\" b=\"5\" c=\"v\" d=\"\"/>");
    EXPECT_EQ(doc.GetAttribute(u"a"), u"say \"hi\" & 'bye' <x>");
    EXPECT_EQ(doc.GetAttribute(u"d"), u"");
    // The start tag grew; the element still ends where its text ends.
    ASSERT_TRUE(doc.SetElementText(u"t"));
    EXPECT_EQ(doc.GetElementText(), u"t");
    EXPECT_TRUE(CXmlDocument().SetText(doc.GetDocText()));
}

// Whatever odd start tag a file has, an attribute set on it reads back the same
// after the text is parsed again, and the element keeps its shape.
TEST(CXmlDocumentWriting, SetAttributeOnOddTagsReadsBack) {
    const std::u16string tags[] = {
        u"<s='0'////+\"ting=\"g////>",
        u"<a b=c/>",
        u"<a b= c=\"1\"/>",
        u"<a b=/>",
        u"<a  b  =  'x' />",
        u"<a b=x\"y>z\" c>",
        u"<a\"q\"=v/>",
        u"<a b>",
        u"<a//>",
    };
    for (const auto& tag : tags) {
        SCOPED_TRACE(std::string(tag.begin(), tag.end()));
        const bool empty = tag.ends_with(u"/>");
        CXmlDocument doc = parsed(u"<r>" + tag + (empty ? u"" : u"</a>") + u"</r>");
        ASSERT_TRUE(doc.FindChildElement());
        ASSERT_TRUE(doc.SetChildAttribute(u"fz", u"v"));
        ASSERT_TRUE(doc.SetChildAttribute(u"b", u"w"));
        CXmlDocument again = parsed(doc.GetDocText());
        ASSERT_TRUE(again.IsWellFormed())
            << std::string(doc.GetDocText().begin(), doc.GetDocText().end());
        ASSERT_TRUE(again.FindChildElement());
        EXPECT_EQ(again.GetChildAttribute(u"fz"), u"v");
        EXPECT_EQ(again.GetChildAttribute(u"b"), u"w");
        ASSERT_TRUE(doc.EnterElement());
        ASSERT_TRUE(again.EnterElement());
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(doc.GetAttributeName(i), again.GetAttributeName(i));
        EXPECT_EQ(doc.GetDocText().find(u"/>") != std::u16string::npos, empty);
    }
}

TEST(CXmlDocumentWriting, SetAttributeOnParentMovesItsChildren) {
    CXmlDocument doc = parsed(u"<r>\r\n<a x=\"1\">\r\n<b/>\r\n</a>\r\n<c/>\r\n</r>");
    ASSERT_TRUE(doc.FindElement());
    ASSERT_TRUE(doc.FindChildElement(u"a"));
    ASSERT_TRUE(doc.SetChildAttribute(u"x", u"longer value"));
    ASSERT_TRUE(doc.SetAttribute(u"y", u"2"));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.FindChildElement(u"b"));
    ASSERT_TRUE(doc.SetChildAttribute(u"z", u"3"));
    ASSERT_TRUE(doc.FindElement(u"c"));
    ASSERT_TRUE(doc.SetElementText(u"end"));
    EXPECT_EQ(
        doc.GetDocText(),
        u"<r y=\"2\">\r\n<a x=\"longer value\">\r\n<b z=\"3\"/>\r\n</a>\r\n<c>end</c>\r\n</r>");
}

TEST(CXmlDocumentWriting, SetElementTextRules) {
    CXmlDocument doc = parsed(u"<r><a/><b>old</b><c><d/></c></r>");
    ASSERT_TRUE(doc.FindElement());
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.FindElement(u"a"));
    ASSERT_TRUE(doc.SetElementText(u"x<y"));
    ASSERT_TRUE(doc.FindElement(u"b"));
    ASSERT_TRUE(doc.SetElementText(u""));
    ASSERT_TRUE(doc.FindElement(u"c"));
    EXPECT_FALSE(doc.SetElementText(u"no"));  // has a child element
    EXPECT_EQ(doc.GetDocText(), u"<r><a>x&lt;y</a><b></b><c><d/></c></r>");
    ASSERT_TRUE(doc.FindChildElement(u"d"));
    ASSERT_TRUE(doc.SetChildText(u"'quoted'"));
    EXPECT_EQ(doc.GetChildText(), u"'quoted'");
    EXPECT_EQ(doc.GetDocText(), u"<r><a>x&lt;y</a><b></b><c><d>'quoted'</d></c></r>");
}

TEST(CXmlDocumentWriting, OpeningAnEmptyTagWithSeveralSlashes) {
    CXmlDocument doc = parsed(u"<r><a x=1//><b //></r>");
    ASSERT_TRUE(doc.FindElement());
    ASSERT_TRUE(doc.FindChildElement(u"a"));
    ASSERT_TRUE(doc.SetChildText(u"t"));
    ASSERT_TRUE(doc.FindChildElement(u"b"));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.AddElement(u"c"));
    EXPECT_EQ(doc.GetDocText(), u"<r><a x=1>t</a><b >\r\n<c/>\r\n</b></r>");
    EXPECT_TRUE(CXmlDocument().SetText(doc.GetDocText()));
}

TEST(CXmlDocumentWriting, CommentBecomesTheCurrentNode) {
    CXmlDocument doc = parsed(u"<r>\r\n<a/>\r\n<c/>\r\n</r>");
    ASSERT_TRUE(doc.FindElement());
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.FindElement(u"a"));
    ASSERT_TRUE(doc.AddComment(u" b follows "));
    ASSERT_TRUE(doc.AddElement(u"b"));
    EXPECT_EQ(doc.GetDocText(), u"<r>\r\n<a/>\r\n<!-- b follows -->\r\n<b/>\r\n<c/>\r\n</r>");
    ASSERT_TRUE(doc.FindElement());
    EXPECT_EQ(doc.GetTagName(), u"c");
}

TEST(CXmlDocumentWriting, ChildEditsMoveTheCurrentComment) {
    CXmlDocument doc = parsed(u"<r><a/></r>");
    ASSERT_TRUE(doc.FindElement());
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.FindElement(u"a"));
    ASSERT_TRUE(doc.AddComment(u"c"));
    ASSERT_TRUE(doc.AddChildElement(u"inner"));  // inside a, before the comment
    ASSERT_TRUE(doc.AddElement(u"b"));           // still behind the comment
    EXPECT_EQ(doc.GetDocText(), u"<r><a>\r\n<inner/>\r\n</a><!--c-->\r\n<b/>\r\n</r>");
}

TEST(CXmlDocumentWriting, RemoveElementThenFindVisitsTheNext) {
    CXmlDocument doc = parsed(u"<r>\r\n<a/>\r\n<b><x/></b>\r\n<c/>\r\n</r>");
    ASSERT_TRUE(doc.FindElement());
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.FindElement(u"b"));
    ASSERT_TRUE(doc.RemoveElement());
    EXPECT_EQ(doc.GetTagName(), u"a");  // the previous sibling
    EXPECT_EQ(doc.GetDocText(), u"<r>\r\n<a/>\r\n<c/>\r\n</r>");
    ASSERT_TRUE(doc.FindElement());
    EXPECT_EQ(doc.GetTagName(), u"c");
    ASSERT_TRUE(doc.RemoveElement());
    ASSERT_TRUE(doc.RemoveElement());  // a, the first: nothing is current afterwards
    EXPECT_EQ(doc.GetTagName(), u"");
    EXPECT_FALSE(doc.RemoveElement());
    EXPECT_EQ(doc.GetDocText(), u"<r>\r\n</r>");
    ASSERT_TRUE(doc.AddElement(u"n"));
    EXPECT_EQ(doc.GetDocText(), u"<r>\r\n<n/>\r\n</r>");
}

TEST(CXmlDocumentWriting, RemoveKeepsWhiteSpaceBeforeText) {
    struct Case {
        std::u16string doc, after;
    };
    const Case cases[] = {
        {u"<r><a/>  \r\n<b/></r>", u"<r><b/></r>"},        // white space up to a tag goes
        {u"<r><a/>  text<b/></r>", u"<r>  text<b/></r>"},  // white space before text stays
        {u"<a/>\r\n\r\n", u""},                            // up to the end of the text
        {u"<r><a/>x</r>", u"<r>x</r>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.doc.begin(), c.doc.end()));
        CXmlDocument doc = parsed(c.doc);
        ASSERT_TRUE(doc.FindElement());
        if (doc.GetTagName() == u"r") {
            ASSERT_TRUE(doc.FindChildElement(u"a"));
            ASSERT_TRUE(doc.EnterElement());
        }
        ASSERT_EQ(doc.GetTagName(), u"a");
        ASSERT_TRUE(doc.RemoveElement());
        EXPECT_EQ(doc.GetDocText(), c.after);
    }
}

TEST(CXmlDocumentWriting, RemovedSlotsAreReusedWithoutConfusion) {
    CXmlDocument doc = parsed(u"<r/>");
    ASSERT_TRUE(doc.FindElement());
    ASSERT_TRUE(doc.EnterElement());
    for (int round = 0; round < 50; ++round) {
        ASSERT_TRUE(doc.AddElement(u"x", round));
        ASSERT_TRUE(doc.AddChildElement(u"y"));
        ASSERT_TRUE(doc.RemoveElement());
    }
    ASSERT_TRUE(doc.AddElement(u"last"));
    EXPECT_EQ(doc.GetDocText(), u"<r>\r\n<last/>\r\n</r>");
    ASSERT_TRUE(doc.LeaveElement());
    EXPECT_EQ(doc.GetChildTagName(), u"last");
    doc.ResetChildPosition();
    ASSERT_TRUE(doc.FindChildElement());
    EXPECT_EQ(doc.GetChildTagName(), u"last");
    EXPECT_FALSE(doc.FindChildElement());
}

TEST(CXmlDocumentWriting, QuotesInAttributesRoundTrip) {
    const std::u16string value = u"He said \"it's <5> & fine\"";
    CXmlDocument doc = CXmlDocument::withHeader(CXmlDocument::Header::Comment, u"root");
    ASSERT_TRUE(doc.SetAttribute(u"v", value));
    EXPECT_NE(doc.GetDocText().find(u"&quot;"), std::u16string::npos);
    CXmlDocument back = parsed(doc.GetDocText());
    ASSERT_TRUE(back.IsWellFormed());
    ASSERT_TRUE(back.FindElement(u"root"));
    EXPECT_EQ(back.GetAttribute(u"v"), value);
}

TEST(CXmlDocumentWriting, SurrogatePairsPassThrough) {
    const std::u16string smile = u"\U0001F600 \u4E2D";
    CXmlDocument doc = CXmlDocument::withHeader(CXmlDocument::Header::Comment, u"root");
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.AddElement(u"t", smile));
    ASSERT_TRUE(doc.SetAttribute(u"a", smile));
    CXmlDocument back = parsed(doc.GetDocText());
    ASSERT_TRUE(back.FindChildElement(u"t"));
    EXPECT_EQ(back.GetChildText(), smile);
    EXPECT_EQ(back.GetChildAttribute(u"a"), smile);
}

// --- damaged documents -----------------------------------------------------------

TEST(CXmlDocumentDamaged, UnendedStartTagsKeepOnlyThemselves) {
    CXmlDocument doc;
    EXPECT_FALSE(doc.SetText(u"<r><a><b/><c>x</c></r>"));
    EXPECT_NE(doc.GetResult().find(u"unended_start_tag"), std::u16string::npos);
    ASSERT_TRUE(doc.FindElement(u"r"));
    ASSERT_TRUE(doc.EnterElement());
    // a keeps only its start tag; what followed it are its siblings now.
    ASSERT_TRUE(doc.FindElement(u"a"));
    EXPECT_FALSE(doc.FindChildElement());
    EXPECT_EQ(doc.GetElementText(), u"");
    ASSERT_TRUE(doc.FindElement());
    EXPECT_EQ(doc.GetTagName(), u"b");
    ASSERT_TRUE(doc.FindElement());
    EXPECT_EQ(doc.GetTagName(), u"c");
    EXPECT_EQ(doc.GetElementText(), u"x");
    EXPECT_FALSE(doc.FindElement());
}

TEST(CXmlDocumentDamaged, UnendedRootAtTheEnd) {
    CXmlDocument doc;
    EXPECT_FALSE(doc.SetText(u"<r><a/><b>t</b>"));
    ASSERT_TRUE(doc.FindElement(u"r"));
    ASSERT_TRUE(doc.FindElement(u"a"));  // r's content became its following siblings
    ASSERT_TRUE(doc.FindElement(u"b"));
    EXPECT_EQ(doc.GetElementText(), u"t");
    EXPECT_NE(doc.GetResult().find(u"root_has_sibling"), std::u16string::npos);
}

TEST(CXmlDocumentDamaged, LoneEndTagAndTwoRoots) {
    CXmlDocument doc;
    EXPECT_FALSE(doc.SetText(u"<r><a>1</a></x><b/></r>"));
    EXPECT_NE(doc.GetResult().find(u"lone_end_tag"), std::u16string::npos);
    ASSERT_TRUE(doc.FindChildElement(u"a"));
    EXPECT_EQ(doc.GetChildText(), u"1");
    ASSERT_TRUE(doc.FindChildElement(u"b"));

    EXPECT_FALSE(doc.SetText(u"<a/><b/>"));
    EXPECT_NE(doc.GetResult().find(u"root_has_sibling"), std::u16string::npos);
    ASSERT_TRUE(doc.FindElement(u"a"));
    ASSERT_TRUE(doc.FindElement(u"b"));

    EXPECT_FALSE(doc.SetText(u"just text"));
    EXPECT_NE(doc.GetResult().find(u"no_root_element"), std::u16string::npos);
    EXPECT_FALSE(doc.FindElement());
    EXPECT_FALSE(doc.SetText(u""));
}

TEST(CXmlDocumentDamaged, SyntaxErrorsAreMarkedAndTheRestStaysReadable) {
    struct Case {
        std::u16string doc;
        std::u16string mark;
        bool rootReadable;  // the element r and its child ok are still found
    };
    const Case cases[] = {
        {u"<r><ok/>< x</r>", u"first_tag_syntax", true},
        {u"<r><ok/><!DOCTYP x></r>", u"doctype_tag_syntax", true},
        {u"<r><ok/><!x></r>", u"exclamation_tag_syntax", true},
        {u"<r><ok/><!-x></r>", u"comment_tag_syntax", true},
        {u"<r><ok/><![CDAT[x]]></r>", u"cdata_section_syntax", true},
        {u"<r><ok/><bad a=\"1\"\r\n</r>", u"start_tag", true},
        {u"<r><ok/><bad a=\"1</r>", u"start_tag", true},
        {u"<r><ok/></r", u"end_tag", true},
        {u"<r><ok/><!-- never closed", u"comment", true},
        {u"<r><ok/><![CDATA[never closed", u"cdata_section", true},
        {u"<r><ok/><?pi never closed", u"processing_instruction", true},
        {u"<!DOCTYPE r [ <!ENTITY e \"x\"> <r><ok/>", u"document_type", false},
        {u"<r><ok/><", u"unterminated_tag_syntax", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.doc.begin(), c.doc.end()));
        CXmlDocument doc;
        EXPECT_FALSE(doc.SetText(c.doc));
        EXPECT_FALSE(doc.IsWellFormed());
        EXPECT_NE(doc.GetResult().find(c.mark), std::u16string::npos);
        if (c.rootReadable) {
            ASSERT_TRUE(doc.FindElement(u"r"));
            bool found = doc.FindChildElement(u"ok");
            if (!found) {  // r was not ended: ok became its sibling
                found = doc.FindElement(u"ok");
            }
            EXPECT_TRUE(found);
        }
    }
}

TEST(CXmlDocumentDamaged, WellFormedDocumentsWithEveryNodeKind) {
    CXmlDocument doc;
    EXPECT_TRUE(doc.SetText(
        u"<?xml version=\"1.0\"?>\r\n<!DOCTYPE r [ <!ELEMENT r ANY> <!ATTLIST r a CDATA \"x>\"> "
        u"]>\r\n"
        u"<!-- c < > -->\r\n<r a=\"1\"><?pi x?><![CDATA[ <not/> ]]><b/></r>\r\n<!-- after -->"));
    EXPECT_TRUE(doc.FindChildElement(u"b"));
    EXPECT_FALSE(doc.FindChildElement(u"not"));
}

TEST(CXmlDocumentDamaged, EditingADamagedDocumentKeepsItNavigable) {
    CXmlDocument doc;
    EXPECT_FALSE(doc.SetText(u"<r><a><b/></r>"));
    ASSERT_TRUE(doc.FindElement(u"r"));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.FindElement(u"a"));
    ASSERT_TRUE(doc.SetElementText(u"t"));  // the unended a gets its end tag
    EXPECT_EQ(doc.GetDocText(), u"<r><a>t</a><b/></r>");
    ASSERT_TRUE(doc.AddChildElement(u"c"));
    EXPECT_EQ(doc.GetDocText(), u"<r><a>t<c/>\r\n</a><b/></r>");
    ASSERT_TRUE(doc.FindElement());
    EXPECT_EQ(doc.GetTagName(), u"b");
}

TEST(CXmlDocumentDamaged, AddingUnderAnUnendedElementClosesIt) {
    CXmlDocument doc;
    EXPECT_FALSE(doc.SetText(u"<r><a><b/></r>"));
    ASSERT_TRUE(doc.FindElement(u"r"));
    ASSERT_TRUE(doc.FindChildElement(u"a"));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.EnterElement());  // into a
    ASSERT_TRUE(doc.AddElement(u"n"));
    EXPECT_EQ(doc.GetDocText(), u"<r><a>\r\n<n/>\r\n</a><b/></r>");
    ASSERT_TRUE(doc.LeaveElement());
    ASSERT_TRUE(doc.FindElement());
    EXPECT_EQ(doc.GetTagName(), u"b");
    EXPECT_TRUE(CXmlDocument().SetText(doc.GetDocText()));
}

TEST(CXmlDocumentEscaping, TextAndAttributeEscapes) {
    EXPECT_EQ(CXmlDocument::EscapeText(u"<a & 'b' \"c\">"), u"&lt;a &amp; 'b' \"c\"&gt;");
    EXPECT_EQ(CXmlDocument::EscapeAttribute(u"<a & 'b' \"c\">"),
              u"&lt;a &amp; &apos;b&apos; &quot;c&quot;&gt;");
    EXPECT_EQ(CXmlDocument::UnescapeText(u"&lt;&gt;&amp;&quot;&apos;&nbsp;&yuml;"),
              u"<>&\"'\u00A0\u00FF");
}

// A reader of a damaged file needs to know which elements kept their end tags.
TEST(CXmlDocumentNavigation, WhetherAnElementWasEnded) {
    CXmlDocument doc;
    EXPECT_FALSE(doc.SetText(u"<r><a><b>1</b><c/></a><d><e>2</d></r>"));
    EXPECT_FALSE(doc.IsElementEnded());  // no current element
    ASSERT_TRUE(doc.FindElement(u"r"));
    EXPECT_TRUE(doc.IsElementEnded());
    EXPECT_FALSE(doc.IsChildEnded());  // no current child
    ASSERT_TRUE(doc.FindChildElement(u"a"));
    EXPECT_TRUE(doc.IsChildEnded());
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.FindChildElement(u"c"));
    EXPECT_TRUE(doc.IsChildEnded());  // an empty-element tag needs none
    ASSERT_TRUE(doc.LeaveElement());
    ASSERT_TRUE(doc.FindChildElement(u"d"));
    EXPECT_TRUE(doc.IsChildEnded());
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.FindChildElement(u"e"));
    EXPECT_FALSE(doc.IsChildEnded());  // </d> closed it before its own end tag came

    // A root without its end tag: its children follow it at the top level.
    EXPECT_FALSE(doc.SetText(u"<r><a>1</a>"));
    ASSERT_TRUE(doc.FindElement());
    EXPECT_FALSE(doc.IsElementEnded());
    EXPECT_TRUE(doc.FindElement(u"a"));
    EXPECT_TRUE(doc.IsElementEnded());
}

TEST(CXmlDocumentFiles, TheFileErrorSaysWhy) {
    CXmlDocument doc;
    EXPECT_FALSE(doc.LoadFile("/nonexistent-folder/x.xml"));
    EXPECT_NE(doc.GetFileError().find("No such file"), std::string::npos) << doc.GetFileError();
    EXPECT_FALSE(doc.SetText(u"<a>"));
    EXPECT_FALSE(doc.SaveFile("/nonexistent-folder/x.xml"));
    EXPECT_NE(doc.GetFileError().find("No such file"), std::string::npos) << doc.GetFileError();
}

}  // namespace
