#include "assets/PictureLibrary.h"

#include "platform/StringUtil.h"
#include "xml/CXmlDocument.h"

#include <algorithm>
#include <system_error>

namespace {

// Default-library paths are the program folder followed by the path as written
// ("\Images\x.png"), with Windows separators turned round.
std::u16string absoluteDefaultPath(const std::filesystem::path& programFolder,
                                   std::u16string path) {
    std::replace(path.begin(), path.end(), u'\\', u'/');
    if (path.size() >= 2 && path[0] == '.' && path[1] == '/') path.erase(0, 1);
    std::u16string folder = programFolder.u16string();
    while (!folder.empty() && folder.back() == u'/')
        folder.pop_back();
    if (path.empty() || path.front() != u'/') folder += u'/';
    return folder + path;
}

}  // namespace

bool PictureLibrary::read(const std::filesystem::path& file, std::vector<PictureRecord>& records,
                          bool* whole) {
    records.clear();
    if (whole) *whole = false;
    CXmlDocument doc;
    const bool wellFormed = doc.LoadFile(file);
    if (!doc.FindElement()) return false;
    // A root that lost its end tag keeps only its start tag; what it held follows
    // it as siblings, so the search goes along the top level instead of inside.
    if (doc.IsElementEnded()) doc.EnterElement();
    if (!doc.FindElement(u"imageFlag")) return false;
    while (doc.FindElement(u"imageItem")) {
        // An item cut short lost its end tag: its Items now follow it and are not taken.
        bool intact = doc.IsElementEnded();
        PictureRecord r;
        while (intact && doc.FindChildElement(u"Item")) {
            intact = doc.IsChildEnded();
            const std::u16string name = doc.GetChildAttribute(u"name");
            const std::u16string value = doc.GetChildText();
            if (name == u"nValueID")
                r.nValueID = platform::parseDecimal(value);
            else if (name == u"nDestWidth")
                r.nDestWidth = platform::parseDecimal(value);
            else if (name == u"nDestHeight")
                r.nDestHeight = platform::parseDecimal(value);
            else if (name == u"imgPath")
                r.imgPath = value;
            else if (name == u"bZoom")
                r.bZoom = platform::parseDecimal(value);
        }
        if (intact) records.push_back(std::move(r));
    }
    if (whole) *whole = wellFormed;
    return true;
}

void PictureLibrary::setRecords(std::vector<PictureRecord> records) {
    for (PictureRecord& r : records)
        r.nDestHeight = std::min(r.nDestHeight, kMaxHeight);
    m_records = std::move(records);
}

bool PictureLibrary::loadAtStartup(const std::filesystem::path& userFile,
                                   const std::filesystem::path& defaultFile,
                                   const std::filesystem::path& programFolder) {
    std::vector<PictureRecord> records;
    std::error_code ec;
    if (!userFile.empty() && std::filesystem::exists(userFile, ec)) {
        bool whole = false;
        read(userFile, records, &whole);
        setRecords(std::move(records));
        return whole;
    }
    read(defaultFile, records);
    for (PictureRecord& r : records)
        r.imgPath = absoluteDefaultPath(programFolder, std::move(r.imgPath));
    setRecords(std::move(records));
    return true;
}

bool PictureLibrary::write(const std::filesystem::path& file,
                           const std::vector<PictureRecord>& records, std::string* error) {
    if (file.empty()) {
        if (error) *error = "no data folder";
        return false;
    }
    CXmlDocument doc = CXmlDocument::withHeader(CXmlDocument::Header::Comment, u"root");
    doc.EnterElement();
    doc.AddElement(u"imageFlag", 0);
    for (const PictureRecord& r : records) {
        doc.AddElement(u"imageItem");
        doc.SetAttribute(u"name", u"imageItem");
        doc.EnterElement();
        auto item = [&doc](std::u16string_view name, std::u16string_view value) {
            doc.AddElement(u"Item", value);
            doc.SetAttribute(u"name", name);
        };
        item(u"bZoom", platform::toDecimal(r.bZoom));
        item(u"imgPath", r.imgPath);
        item(u"nDestHeight", platform::toDecimal(r.nDestHeight));
        item(u"nDestWidth", platform::toDecimal(r.nDestWidth));
        item(u"nValueID", platform::toDecimal(r.nValueID));
        doc.LeaveElement();
    }
    doc.LeaveElement();
    if (doc.SaveFile(file)) return true;
    if (error) *error = doc.GetFileError();
    return false;
}

int32_t PictureLibrary::nextFreeId(const std::vector<PictureRecord>& records) {
    for (int32_t id = kFirstUserId; id <= kLastUserId; ++id)
        if (std::none_of(records.begin(), records.end(),
                         [id](const auto& r) { return r.nValueID == id; }))
            return id;
    return 0;
}

PictureRecord PictureLibrary::recordForSize(int32_t width, int32_t height) {
    PictureRecord r;
    if (height > 12) {
        r.bZoom = 1;
        r.nDestHeight = 12;
        // A very narrow picture keeps one column rather than none.
        r.nDestWidth =
            std::max<int32_t>(1, static_cast<int32_t>(static_cast<int64_t>(width) * 12 / height));
    } else {
        r.nDestWidth = width;
        r.nDestHeight = height;
    }
    return r;
}
