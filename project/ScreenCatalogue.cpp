#include "project/ScreenCatalogue.h"

#include "platform/Folders.h"
#include "platform/StringUtil.h"
#include "xml/CXmlDocument.h"

namespace {

ScreenCatalogue::Kind kindOf(std::u16string_view type) {
    if (platform::equalsNoCase(type, u"MultiFrame")) return ScreenCatalogue::Kind::MultiFrame;
    if (platform::equalsNoCase(type, u"Pack")) return ScreenCatalogue::Kind::Pack;
    if (platform::equalsNoCase(type, u"Swf")) return ScreenCatalogue::Kind::Swf;
    return ScreenCatalogue::Kind::Unknown;
}

}  // namespace

bool ScreenCatalogue::load(const std::filesystem::path& userCatalogue,
                           const std::filesystem::path& shippedCatalogue,
                           const std::filesystem::path& programFolder) {
    std::error_code ec;
    const bool userExists = std::filesystem::exists(userCatalogue, ec);
    return readFile(userExists ? userCatalogue : shippedCatalogue, programFolder);
}

bool ScreenCatalogue::readFile(const std::filesystem::path& file,
                               const std::filesystem::path& programFolder) {
    m_entries.clear();
    CXmlDocument doc;
    m_readable = doc.LoadFile(file);
    if (!m_readable) return false;
    while (doc.FindChildElement()) {
        Entry e;
        e.name = doc.GetChildTagName();
        e.width = doc.GetChildAttribute(u"width");
        e.height = doc.GetChildAttribute(u"height");
        e.kind = kindOf(doc.GetChildAttribute(u"FileType"));
        e.speed = platform::parseDecimal(doc.GetChildAttribute(u"Speed"));
        e.typeName = doc.GetChildAttribute(u"TypeName");
        auto add = [&](const std::u16string& path) {
            if (!path.empty())
                e.pictures.push_back(platform::resolveProgramRelative(programFolder, path));
        };
        if (e.kind == Kind::Pack) {
            doc.EnterElement();
            while (doc.FindChildElement())
                add(doc.GetChildText());
            doc.LeaveElement();
        } else {
            add(doc.GetChildText());
        }
        m_entries.push_back(std::move(e));
    }
    return true;
}

std::pair<int32_t, int32_t> ScreenCatalogue::sizeOf(int index) const {
    if (!m_readable) return index == 0 ? std::pair{44, 11} : std::pair{48, 12};
    if (index < 0 || index >= static_cast<int>(m_entries.size())) return {44, 11};
    const Entry& e = m_entries[index];
    return {widthRule(platform::parseDecimal(e.width)),
            heightRule(platform::parseDecimal(e.height))};
}
