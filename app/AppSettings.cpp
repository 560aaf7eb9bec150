#include "app/AppSettings.h"

#include "platform/StringUtil.h"
#include "xml/CXmlDocument.h"

bool AppSettings::read(const std::filesystem::path& file) {
    CXmlDocument doc;
    if (!doc.LoadFile(file)) {
        std::error_code ec;
        return !std::filesystem::exists(file, ec);
    }
    if (!doc.FindChildElement(u"configFlag")) return true;
    // Each search goes on after the element found last; a missing one is skipped.
    auto number = [&doc](std::u16string_view name, int32_t& value) {
        if (doc.FindChildElement(name)) value = platform::parseDecimal(doc.GetChildText());
    };
    if (doc.FindChildElement(u"strLanguageName")) languageName = doc.GetChildText();
    number(u"nPlayMode", playMode);
    number(u"nTempOffset", tempOffset);
    if (doc.FindChildElement(u"nWidth")) {
        const int32_t w = platform::parseDecimal(doc.GetChildText());
        width = w == 48 || w == 36 ? w : 48;
    }
    if (doc.FindChildElement(u"nHeight")) height = 12;  // the only height kept
    number(u"autoUpdate", autoUpdate);
    return true;
}

bool AppSettings::write(const std::filesystem::path& file, std::string* error) const {
    if (file.empty()) {
        if (error) *error = "no data folder";
        return false;
    }
    CXmlDocument doc = CXmlDocument::withHeader(CXmlDocument::Header::Comment, u"root");
    doc.EnterElement();
    doc.AddElement(u"configFlag", 0);
    doc.AddElement(u"strLanguageName", languageName);
    doc.AddElement(u"nPlayMode", playMode);
    doc.AddElement(u"nTempOffset", tempOffset);
    doc.AddElement(u"nWidth", width);
    doc.AddElement(u"nHeight", height);
    doc.AddElement(u"autoUpdate", autoUpdate);
    doc.LeaveElement();
    if (doc.SaveFile(file)) return true;
    if (error) *error = doc.GetFileError();
    return false;
}
