#include "project/RecentFiles.h"

#include "platform/StringUtil.h"
#include "xml/CXmlDocument.h"

#include <algorithm>

void RecentFiles::moveToFront(std::u16string path) {
    auto it = std::find_if(m_paths.begin(), m_paths.end(), [&](const std::u16string& p) {
        return platform::equalsNoCase(p, path);
    });
    if (it != m_paths.end()) m_paths.erase(it);
    m_paths.insert(m_paths.begin(), std::move(path));
}

std::filesystem::path RecentFiles::listFile(const std::filesystem::path& tempFolder) {
    std::u16string folder = tempFolder.u16string();
    if (folder.empty() || folder.size() > 259) return {};
    while (folder.size() > 1 && folder.back() == u'/')
        folder.pop_back();
    return std::filesystem::path(folder) / "GLIMRA_TEMP.TMP";
}

void RecentFiles::read(const std::filesystem::path& file) {
    if (file.empty()) return;
    CXmlDocument doc;
    doc.LoadFile(file);
    // Damaged lists still give what could be read.
    if (!doc.FindElement()) return;
    std::vector<std::u16string> paths;
    while (doc.FindChildElement())
        paths.push_back(doc.GetChildText());
    m_paths = std::move(paths);
}

bool RecentFiles::write(const std::filesystem::path& file, std::string* error) const {
    if (file.empty()) {
        if (error) *error = "no folder for the recent-files list";
        return false;
    }
    CXmlDocument doc = CXmlDocument::withHeader(CXmlDocument::Header::Declaration, u"temp");
    doc.EnterElement();
    for (const std::u16string& p : m_paths)
        doc.AddElement(u"Item", p);
    doc.LeaveElement();
    if (doc.SaveFile(file)) return true;
    if (error) *error = doc.GetFileError();
    return false;
}
