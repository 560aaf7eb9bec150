#include "assets/AnimationLibrary.h"

#include "assets/LibraryFile.h"

#include "platform/Folders.h"
#include "platform/Format.h"
#include "platform/SafeSave.h"
#include "xml/CXmlDocument.h"

#include <system_error>

namespace AnimationLibrary {

std::filesystem::path fileIn(const std::filesystem::path& dataFolder) {
    return LibraryFile::in(dataFolder, kFileName);
}

bool locate(const std::filesystem::path& file, const std::filesystem::path& programFolder,
            std::string* error) {
    CXmlDocument seed;
    switch (LibraryFile::check(file, programFolder / kDefaultName, u"GifFiles", seed,
                               "animation library", error)) {
        case LibraryFile::Check::holds:
            return true;
        case LibraryFile::Check::failed:
            return false;
        case LibraryFile::Check::seed:
            break;
    }
    CXmlDocument out = CXmlDocument::withHeader(CXmlDocument::Header::Declaration, u"GifFiles");
    out.EnterElement();
    seed.FindElement(u"GifFiles");
    seed.EnterElement();
    while (seed.FindElement()) {
        out.AddElement(
            seed.GetTagName(),
            platform::resolveProgramRelative(programFolder, seed.GetElementText()).u16string());
        out.SetAttribute(u"Index", seed.GetAttribute(u"Index"));
        out.SetAttribute(u"Speed", seed.GetAttribute(u"Speed"));
    }
    out.LeaveElement();
    if (!out.SaveFile(file)) {
        if (error) *error = file.string() + ": " + out.GetFileError();
        return false;
    }
    return true;
}

Entries read(const std::filesystem::path& file, const std::filesystem::path& programFolder) {
    Entries entries;
    CXmlDocument doc;
    doc.LoadFile(file);
    if (!doc.FindElement(u"GifFiles") || !doc.EnterElement()) return entries;
    while (doc.FindElement()) {
        if (entries.size() >= kMaxAnimations * 8) break;  // a hostile file stays bounded
        entries[doc.GetAttribute(u"Index")] =
            platform::resolveProgramRelative(programFolder, doc.GetElementText()).u16string();
    }
    return entries;
}

Entries load(const std::filesystem::path& dataFolder, const std::filesystem::path& programFolder) {
    const std::filesystem::path file = fileIn(dataFolder);
    locate(file, programFolder);
    return read(file, programFolder);
}

std::vector<std::u16string> paths(const Entries& entries) {
    std::vector<std::u16string> out;
    for (const auto& [index, path] : entries)
        out.push_back(path);
    return out;
}

bool write(const std::filesystem::path& file, const std::vector<std::u16string>& paths,
           std::string* error) {
    CXmlDocument doc = CXmlDocument::withHeader(CXmlDocument::Header::Declaration, u"GifFiles");
    doc.EnterElement();
    for (size_t k = 0; k < paths.size(); ++k) {
        doc.AddElement(u"Item", paths[k]);
        doc.SetAttribute(u"Index", platform::format(u"%02X", {static_cast<unsigned>(k)}));
        doc.SetAttribute(u"Speed", u"200");
    }
    doc.LeaveElement();
    if (doc.SaveFile(file)) return true;
    if (error) *error = file.string() + ": " + doc.GetFileError();
    return false;
}

}  // namespace AnimationLibrary
