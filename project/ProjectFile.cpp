#include "project/ProjectFile.h"

#include "platform/StringUtil.h"
#include "project/Project.h"
#include "xml/CXmlDocument.h"

namespace ProjectFile {

namespace {

int32_t number(const CXmlDocument& doc, std::u16string_view name) {
    return platform::parseDecimal(doc.GetAttribute(name));
}

ProgramRecord readProgram(CXmlDocument& doc) {
    ProgramRecord p;
    p.name = doc.GetAttribute(u"name");
    p.checked = platform::equalsNoCase(doc.GetAttribute(u"checked"), u"TRUE") ? 1 : 0;
    p.OffsetX = number(doc, u"OffsetX");
    p.OffsetY = number(doc, u"OffsetY");
    p.StretchH = number(doc, u"StretchH");
    p.StretchV = number(doc, u"StretchV");
    p.PitchOffSet = number(doc, u"PitchOffSet");
    p.AutoAdjust = number(doc, u"AutoAdjust");
    doc.EnterElement();
    // A later entry with the same key replaces an earlier one.
    while (doc.FindElement(u"Item"))
        p.settings[doc.GetAttribute(u"name")] = doc.GetElementText();
    doc.LeaveElement();
    return p;
}

}  // namespace

bool read(const std::filesystem::path& file, std::vector<LoadedScreen>& screens,
          std::string* error) {
    CXmlDocument doc;
    if (!doc.LoadFile(file)) {
        if (error)
            *error = doc.GetFileError().empty() ? file.string() + ": not a well-formed project file"
                                                : file.string() + ": " + doc.GetFileError();
        return false;
    }
    if (!doc.FindElement(u"QV")) return true;
    doc.EnterElement();
    while (doc.FindElement(u"SCREEN")) {
        LoadedScreen s;
        s.screen.name = doc.GetAttribute(u"name");
        s.screen.width = number(doc, u"width");
        s.screen.height = number(doc, u"height");
        s.screen.baseColor = number(doc, u"baseColor");
        if (s.screen.width < 1) s.screen.width = 48;
        if (s.screen.height < 1) s.screen.height = 12;
        if (s.screen.baseColor < 0 || s.screen.baseColor > 2) s.screen.baseColor = 0;
        doc.EnterElement();
        while (doc.FindElement(u"Program"))
            s.programs.push_back(readProgram(doc));
        doc.LeaveElement();
        screens.push_back(std::move(s));
    }
    doc.LeaveElement();
    return true;
}

namespace {

CXmlDocument build(const Project& project) {
    CXmlDocument doc = CXmlDocument::withHeader(CXmlDocument::Header::Comment, u"QV");
    doc.EnterElement();
    for (const auto& [id, screen] : project.screens()) {
        doc.AddElement(u"SCREEN");
        doc.SetAttribute(u"width", platform::toDecimal(static_cast<uint32_t>(screen.width)));
        doc.SetAttribute(u"height", platform::toDecimal(static_cast<uint32_t>(screen.height)));
        doc.SetAttribute(u"baseColor",
                         platform::toDecimal(static_cast<uint32_t>(screen.baseColor)));
        doc.SetAttribute(u"name", screen.name);
        doc.EnterElement();
        for (const auto& [key, program] : screen.programs) {
            doc.AddElement(u"Program");
            doc.SetAttribute(u"name", program.name);
            doc.SetAttribute(u"checked", program.checked ? u"TRUE" : u"FALSE");
            doc.SetAttribute(u"OffsetX", program.OffsetX);
            doc.SetAttribute(u"OffsetY", program.OffsetY);
            doc.SetAttribute(u"StretchH", program.StretchH);
            doc.SetAttribute(u"StretchV", program.StretchV);
            doc.SetAttribute(u"PitchOffSet", program.PitchOffSet);
            doc.SetAttribute(u"AutoAdjust", program.AutoAdjust != 0 ? 1 : 0);
            doc.EnterElement();
            for (const auto& [k, v] : program.settings) {
                doc.AddElement(u"Item", v);
                doc.SetAttribute(u"name", k);
            }
            doc.LeaveElement();
        }
        doc.LeaveElement();
    }
    doc.LeaveElement();
    return doc;
}

}  // namespace

std::u16string text(const Project& project) {
    return build(project).GetDocText();
}

bool write(const Project& project, const std::filesystem::path& file, std::string* error) {
    CXmlDocument doc = build(project);
    if (doc.SaveFile(file)) return true;
    if (error) *error = doc.GetFileError();
    return false;
}

}  // namespace ProjectFile
