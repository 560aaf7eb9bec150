#pragma once

// A project file as the XML facility reads it, element by element, so a test
// can check what was written against values it states itself rather than
// through the project's own reader.

#include "xml/CXmlDocument.h"

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace testing_support {

struct XmlProgram {
    std::map<std::u16string, std::u16string> attributes;
    std::map<std::u16string, std::u16string> items;  // "Item" name → text
};

struct XmlScreen {
    std::map<std::u16string, std::u16string> attributes;
    std::vector<XmlProgram> programs;
};

inline std::map<std::u16string, std::u16string> attributesOf(const CXmlDocument& doc) {
    std::map<std::u16string, std::u16string> out;
    // A start tag holds a handful of attributes; the bound only stops a runaway walk.
    for (int i = 0; i < 64; ++i) {
        const std::u16string name = doc.GetAttributeName(i);
        if (name.empty()) break;
        out[name] = doc.GetAttribute(name);
    }
    return out;
}

// The "SCREEN" elements under the root "QV"; false when the file is not a
// well-formed document with that root.
inline bool readProjectXml(const std::filesystem::path& file, std::vector<XmlScreen>& screens) {
    screens.clear();
    CXmlDocument doc;
    if (!doc.LoadFile(file) || !doc.FindElement(u"QV")) return false;
    doc.EnterElement();
    while (doc.FindElement(u"SCREEN")) {
        XmlScreen screen;
        screen.attributes = attributesOf(doc);
        doc.EnterElement();
        while (doc.FindElement(u"Program")) {
            XmlProgram program;
            program.attributes = attributesOf(doc);
            doc.EnterElement();
            while (doc.FindElement(u"Item"))
                program.items[doc.GetAttribute(u"name")] = doc.GetElementText();
            doc.LeaveElement();
            screen.programs.push_back(std::move(program));
        }
        doc.LeaveElement();
        screens.push_back(std::move(screen));
    }
    doc.LeaveElement();
    return true;
}

}  // namespace testing_support
