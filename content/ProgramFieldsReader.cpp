#include "content/ProgramFieldsReader.h"

namespace {

// The labels of the lists do not reach the fields: the loader reads no language,
// so a build never touches the table the window may be switching.
struct KeysOnly final : platform::TextLookup {
    std::u16string text(std::u16string_view key) const override { return std::u16string(key); }
    std::vector<platform::TextListEntry> list(std::u16string_view) const override { return {}; }
};

}  // namespace

struct ProgramFieldsReader::Own {
    KeysOnly keys;
    CDlgProgram loader{CDlgProgram::Instance::Encoder, keys};
};

ProgramFieldsReader::ProgramFieldsReader(std::u16string languageName,
                                         std::vector<FontEntry> fontList)
    : m_own(std::make_unique<Own>()) {
    m_loader = &m_own->loader;
    m_loader->setLanguageName(std::move(languageName));
    m_loader->setFontList(std::move(fontList));
}

ProgramFieldsReader::ProgramFieldsReader(CDlgProgram& loader) : m_loader(&loader) {}

ProgramFieldsReader::~ProgramFieldsReader() = default;

ProgramFields ProgramFieldsReader::read(const ProgramRecord& program, int32_t screenWidth,
                                        int32_t screenHeight) {
    m_loader->setScreenSize(screenWidth, screenHeight);
    m_loader->load(program);
    return m_loader->fields();
}
