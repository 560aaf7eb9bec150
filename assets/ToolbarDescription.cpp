#include "assets/ToolbarDescription.h"

#include "assets/LibraryFile.h"

#include "platform/Folders.h"
#include "platform/Format.h"
#include "platform/SafeSave.h"
#include "platform/TextCodec.h"
#include "xml/CXmlDocument.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>

namespace ToolbarDescription {

uint32_t sizeValue(const std::u16string& text, uint32_t fallback) {
    const long long v = std::strtoll(platform::utf16ToUtf8(text).c_str(), nullptr, 10);
    if (v < 0) return fallback;
    return static_cast<uint32_t>(std::min<long long>(v, 0xFFFFFFFFll));
}

std::filesystem::path fileIn(const std::filesystem::path& dataFolder) {
    return LibraryFile::in(dataFolder, kFileName);
}

bool locate(const std::filesystem::path& file, const std::filesystem::path& programFolder,
            std::string* error) {
    CXmlDocument seed;
    const std::filesystem::path defaults = programFolder / kDefaultName;
    switch (LibraryFile::check(file, defaults, u"ToolBar", seed, "toolbar", error)) {
        case LibraryFile::Check::holds:
            return true;
        case LibraryFile::Check::failed:
            return false;
        case LibraryFile::Check::seed:
            break;
    }
    Description d = read(defaults);
    for (Item& item : d.items)
        item.path = platform::resolveProgramRelative(programFolder, item.path).u16string();
    // The default's own numbers, as they stand.
    seed.FindElement(u"ToolBar");
    const auto raw = [&](std::u16string_view name) {
        return static_cast<uint32_t>(
            std::strtoul(platform::utf16ToUtf8(seed.GetAttribute(name)).c_str(), nullptr, 10));
    };
    d.width = raw(u"Width");
    d.height = raw(u"Height");
    d.spacing = raw(u"Spacing");
    return write(file, d, error);
}

Description read(const std::filesystem::path& file) {
    Description d;
    CXmlDocument doc;
    doc.LoadFile(file);
    if (!doc.FindElement(u"ToolBar")) return d;
    d.width = sizeValue(doc.GetAttribute(u"Width"), 32);
    d.height = sizeValue(doc.GetAttribute(u"Height"), 32);
    d.spacing = sizeValue(doc.GetAttribute(u"Spacing"), 1);
    if (!doc.EnterElement()) return d;
    while (doc.FindElement(u"Item") && d.items.size() < kMaxItems)
        d.items.push_back(
            {doc.GetAttribute(u"Id"), doc.GetAttribute(u"Title"), doc.GetElementText()});
    return d;
}

bool write(const std::filesystem::path& file, const Description& d, std::string* error) {
    CXmlDocument doc = CXmlDocument::withHeader(CXmlDocument::Header::Declaration, u"ToolBar");
    doc.SetAttribute(u"Width", platform::format(u"%u", {d.width}));
    doc.SetAttribute(u"Height", platform::format(u"%u", {d.height}));
    doc.SetAttribute(u"cx", u"0");
    doc.SetAttribute(u"cy", u"0");
    doc.SetAttribute(u"Spacing", platform::format(u"%u", {d.spacing}));
    doc.EnterElement();
    for (const Item& item : d.items) {
        doc.AddElement(u"Item", item.path);
        doc.SetAttribute(u"Id", item.id);
        doc.SetAttribute(u"Title", item.title);
    }
    doc.LeaveElement();
    if (doc.SaveFile(file)) return true;
    if (error) *error = file.string() + ": " + doc.GetFileError();
    return false;
}

}  // namespace ToolbarDescription
