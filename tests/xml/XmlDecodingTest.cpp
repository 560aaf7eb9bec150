#include "support/TestFiles.h"
#include "xml/CXmlDocument.h"
#include "xml/XmlFileCodec.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        ::setenv(name, value, 1);
    }
    ~ScopedEnv() {
        if (m_old)
            ::setenv(m_name, m_old->c_str(), 1);
        else
            ::unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

class XmlFiles : public ::testing::Test {
protected:
    fs::path write(const std::string& name, const std::string& bytes) {
        return testing_support::writeFile(m_dir / name, bytes);
    }
    static std::string read(const fs::path& p) { return testing_support::readFile(p); }
    // Loads bytes, checks the text of the root, saves and returns the saved bytes.
    std::string loadAndSave(const std::string& bytes, const std::u16string& rootText,
                            bool wellFormed = true) {
        CXmlDocument doc;
        EXPECT_EQ(doc.LoadFile(write("in.xml", bytes)), wellFormed) << asUtf8(doc.GetResult());
        EXPECT_TRUE(doc.FindElement());
        EXPECT_EQ(doc.GetElementText(), rootText);
        fs::path out = m_dir / "out.xml";
        EXPECT_TRUE(doc.SaveFile(out));
        return read(out);
    }
    static std::string asUtf8(const std::u16string& s) {
        std::string out;
        for (char16_t c : s)
            out += c < 0x80 ? static_cast<char>(c) : '?';
        return out;
    }

    testing_support::TempDir m_dir;
};

// --- byte-order marks --------------------------------------------------------------

TEST_F(XmlFiles, Utf8MarkIsKeptAndWrittenBack) {
    const std::string bytes = "\xEF\xBB\xBF<r>\xC3\xA9\xE4\xB8\xAD</r>";
    EXPECT_EQ(loadAndSave(bytes, u"\u00E9\u4E2D"), bytes);
}

TEST_F(XmlFiles, Utf16LittleEndianMark) {
    // FF FE, then "<r>中</r>" in UTF-16LE (中 is U+4E2D)
    const std::string bytes = "\xFF\xFE<\0r\0>\0\x2D\x4E<\0/\0r\0>\0"s;
    EXPECT_EQ(loadAndSave(bytes, u"\u4E2D"), bytes);
}

TEST_F(XmlFiles, Utf16BigEndianMarkIsSwapped) {
    const std::string bytes = "\xFE\xFF\0<\0r\0>\x4E\x2D\0<\0/\0r\0>"s;
    CXmlDocument doc;
    ASSERT_TRUE(doc.LoadFile(write("be.xml", bytes)));
    EXPECT_EQ(doc.GetBom(), CXmlDocument::Bom::Utf16Be);
    EXPECT_NE(doc.GetResult().find(u"endian_swap"), std::u16string::npos);
    EXPECT_EQ(doc.GetDocText(), u"<r>\u4E2D</r>");
    ASSERT_TRUE(doc.SaveFile(m_dir / "out.xml"));
    EXPECT_EQ(read(m_dir / "out.xml"), bytes);
}

TEST_F(XmlFiles, ZeroUnitsAreDropped) {
    // UTF-16LE with a mark and a stray zero unit, and an 8-bit file with zero bytes.
    CXmlDocument doc;
    ASSERT_TRUE(doc.LoadFile(write("z16.xml", "\xFF\xFE<\0r\0\0\0>\0x\0<\0/\0r\0>\0"s)));
    EXPECT_EQ(doc.GetDocText(), u"<r>x</r>");
    EXPECT_NE(doc.GetResult().find(u"nulls_removed"), std::u16string::npos);
    // UTF-16LE without a mark: the zero bytes go and the ASCII remains.
    ASSERT_TRUE(doc.LoadFile(write("z8.xml", "<\0r\0>\0a\0<\0/\0r\0>\0"s)));
    EXPECT_EQ(doc.GetDocText(), u"<r>a</r>");
}

// --- declared encodings --------------------------------------------------------------

TEST_F(XmlFiles, DeclaredGb2312IsDecodedAndWrittenBackTheSame) {
    // 中文 in GB2312 is D6 D0 CE C4
    const std::string bytes =
        "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n<r>\xD6\xD0\xCE\xC4</r>\r\n";
    EXPECT_EQ(loadAndSave(bytes, u"\u4E2D\u6587"), bytes);
}

TEST_F(XmlFiles, HtmlMetaCharset) {
    // 中文 in Big5 is A4 A4 A4 E5
    const std::string bytes =
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=big5\"/>"
        "</head><body>\xA4\xA4\xA4\xE5</body></html>";
    CXmlDocument doc;
    ASSERT_TRUE(doc.LoadFile(write("page.html", bytes)));
    ASSERT_TRUE(doc.FindChildElement(u"body"));
    EXPECT_EQ(doc.GetChildText(), u"\u4E2D\u6587");
}

TEST_F(XmlFiles, UnknownDeclaredNameUsesTheAnsiCodePage) {
    ScopedEnv env("LC_ALL", "ru_RU.UTF-8");  // ANSI code page 1251: C0 is А (U+0410)
    const std::string bytes = "<?xml version=\"1.0\" encoding=\"x-no-such\"?><r>\xC0</r>";
    EXPECT_EQ(loadAndSave(bytes, u"\u0410"), bytes);
}

TEST_F(XmlFiles, DeclaredSixteenBitEncodingInAnEightBitFileIsDetected) {
    const std::string bytes = "<?xml version=\"1.0\" encoding=\"UTF-16\"?><r>\xC3\xA9</r>";
    CXmlDocument doc;
    ASSERT_TRUE(doc.LoadFile(write("mislabelled.xml", bytes)));
    ASSERT_TRUE(doc.FindElement(u"r"));
    EXPECT_EQ(doc.GetElementText(), u"\u00E9");
}

// --- detection -----------------------------------------------------------------------

TEST_F(XmlFiles, LeadingLessThanMeansUtf8EvenWhenInvalid) {
    ScopedEnv env("LC_ALL", "zh_CN.UTF-8");
    // C3 28 is not UTF-8: one U+FFFD, then '('; the file is not read as GBK.
    CXmlDocument doc;
    ASSERT_TRUE(doc.LoadFile(write("bad.xml", "<r>\xC3(</r>")));
    ASSERT_TRUE(doc.FindElement());
    EXPECT_EQ(doc.GetElementText(), u"\uFFFD(");
    EXPECT_NE(doc.GetResult().find(u"conversion_loss"), std::u16string::npos);
}

TEST_F(XmlFiles, NoLeadingLessThanAndInvalidUtf8ReadsInTheAnsiCodePage) {
    const std::string bytes = " <r>\xD6\xD0</r>";
    {
        ScopedEnv env("LC_ALL", "zh_CN.GB2312");  // 936: D6 D0 is 中
        CXmlDocument doc;
        ASSERT_TRUE(doc.LoadFile(write("ansi.xml", bytes)));
        ASSERT_TRUE(doc.FindElement());
        EXPECT_EQ(doc.GetElementText(), u"\u4E2D");
        EXPECT_NE(doc.GetResult().find(u"utf8_detection"), std::u16string::npos);
    }
    {
        ScopedEnv env("LC_ALL", "de_DE.UTF-8");  // 1252: Ö Ð
        CXmlDocument doc;
        ASSERT_TRUE(doc.LoadFile(write("ansi.xml", bytes)));
        ASSERT_TRUE(doc.FindElement());
        EXPECT_EQ(doc.GetElementText(), u"\u00D6\u00D0");
    }
}

TEST_F(XmlFiles, NoLeadingLessThanButValidUtf8) {
    ScopedEnv env("LC_ALL", "zh_CN.GB2312");
    CXmlDocument doc;
    ASSERT_TRUE(doc.LoadFile(write("ws.xml", "\r\n<r>\xE4\xB8\xAD</r>")));
    ASSERT_TRUE(doc.FindElement());
    EXPECT_EQ(doc.GetElementText(), u"\u4E2D");
}

// --- saving ---------------------------------------------------------------------------

TEST_F(XmlFiles, NewDocumentsAreUtf8WithoutMark) {
    CXmlDocument doc = CXmlDocument::withHeader(CXmlDocument::Header::Comment, u"root");
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.AddElement(u"name", u"\u5B8B\u4F53"));  // 宋体: E5 AE 8B E4 BD 93
    ASSERT_TRUE(doc.LeaveElement());
    ASSERT_TRUE(doc.SaveFile(m_dir / "config.xml"));
    EXPECT_EQ(read(m_dir / "config.xml"),
              "<!--?xml version=\"1.0\" encoding=\"UTF-8\"?-->\r\n<root>\r\n"
              "<name>\xE5\xAE\x8B\xE4\xBD\x93</name>\r\n</root>\r\n");
}

TEST_F(XmlFiles, CharactersTheTargetCannotHoldBecomeQuestionMarks) {
    CXmlDocument doc;
    doc.SetText(u"<?xml version=\"1.0\" encoding=\"windows-1252\"?><r>\u00E9\u4E2D\U0001F600</r>");
    ASSERT_TRUE(doc.SaveFile(m_dir / "lossy.xml"));
    EXPECT_EQ(read(m_dir / "lossy.xml"),
              "<?xml version=\"1.0\" encoding=\"windows-1252\"?><r>\xE9?"
              "?</r>");
    EXPECT_NE(doc.GetResult().find(u"conversion_loss"), std::u16string::npos);
}

TEST_F(XmlFiles, DeclaredUtf16IsWrittenWithItsMarkSoItReadsBack) {
    CXmlDocument doc;
    doc.SetText(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><r>\u4E2D</r>");
    ASSERT_TRUE(doc.SaveFile(m_dir / "wide.xml"));
    const std::string bytes = read(m_dir / "wide.xml");
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(0, 4), "\xFF\xFE<\0"s);
    CXmlDocument back;
    ASSERT_TRUE(back.LoadFile(m_dir / "wide.xml"));
    EXPECT_EQ(back.GetDocText(), doc.GetDocText());
}

TEST_F(XmlFiles, FileErrors) {
    CXmlDocument doc;
    EXPECT_FALSE(doc.LoadFile(m_dir / "missing.xml"));
    EXPECT_NE(doc.GetResult().find(u"file_error"), std::u16string::npos);
    EXPECT_NE(doc.GetResult().find(u"No such file"), std::u16string::npos);
    EXPECT_FALSE(doc.LoadFile(m_dir.path()));  // a folder

    doc.SetText(u"<r/>");
    EXPECT_FALSE(doc.SaveFile(m_dir / "no-such-folder" / "x.xml"));
    EXPECT_NE(doc.GetResult().find(u"file_error"), std::u16string::npos);
    EXPECT_FALSE(doc.SaveFile(m_dir.path()));
    // Nothing half-written is left beside the targets.
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir.path()), fs::directory_iterator()), 0);
}

TEST_F(XmlFiles, NotWellFormedFileStaysLoaded) {
    CXmlDocument doc;
    EXPECT_FALSE(doc.LoadFile(write("two.xml", "<a>1</a><b>2</b>")));
    ASSERT_TRUE(doc.FindElement(u"b"));
    EXPECT_EQ(doc.GetElementText(), u"2");
}

// --- the codec on its own ------------------------------------------------------------

TEST(XmlFileCodec, DeclaredEncodingForms) {
    using xml::declaredEncoding;
    EXPECT_EQ(declaredEncoding(u"<?xml version=\"1.0\" encoding=\"GBK\"?><r/>", false), u"GBK");
    EXPECT_EQ(declaredEncoding(u"  \r\n<?xml version='1.0' encoding = 'utf-8' ?>", false),
              u"utf-8");
    EXPECT_EQ(declaredEncoding(u"<?xml version=\"1.0\"?><r encoding=\"x\"/>", false), u"");
    EXPECT_EQ(declaredEncoding(u"<?xml-stylesheet encoding=\"x\"?>", false), u"");
    EXPECT_EQ(declaredEncoding(u"<!--?xml version=\"1.0\" encoding=\"UTF-8\"?--><r/>", false), u"");
    const std::u16string meta =
        u"<HTML><META HTTP-EQUIV=\"content-type\" CONTENT=\"text/html;charset=Shift_JIS\">";
    EXPECT_EQ(declaredEncoding(meta, true), u"Shift_JIS");
    EXPECT_EQ(declaredEncoding(meta, false), u"");
    EXPECT_EQ(declaredEncoding(u"<meta name=\"x\" content=\"charset=big5\">", true), u"");
}

TEST(XmlFileCodec, OddByteAfterUtf16MarkIsReported) {
    xml::DecodedFile d = xml::decodeXmlFile("\xFF\xFE<\0r\0/\0>\0!"s, 1252);
    EXPECT_EQ(d.text, u"<r/>");
    bool reported = false;
    for (const auto& s : d.steps)
        reported |= s.name == u"truncation_error";
    EXPECT_TRUE(reported);
}

}  // namespace
