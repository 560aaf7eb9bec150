#include "app/AppContext.h"

#include "platform/SafeSave.h"
#include "platform/TextCodec.h"

AppContext::AppContext(platform::ImageCodec& images, platform::FontCatalog& fonts,
                       platform::TextRenderer& text, AppFolders folders)
    : m_fonts(fonts), m_folders(std::move(folders)), m_encoding(text, images) {}

void AppContext::startUp(uint16_t systemLanguageId) {
    m_folders.createDataSubFolders();
    readSettings();
    loadLanguage(systemLanguageId);
    loadPictures();
    loadFonts();
}

void AppContext::readSettings() {
    const std::filesystem::path file = m_folders.dataFile(kSettingsFile);
    if (!m_settings.read(file)) noteDamaged(file);
}

void AppContext::loadLanguage(uint16_t systemLanguageId) {
    m_language.findLanguages(m_folders.programFolder());
    if (m_language.loadByName(m_settings.languageName).empty()) {
        m_settings.languageName = LanguageTable::systemLanguageName(systemLanguageId);
        m_language.loadByName(m_settings.languageName);
    }
    m_encoding.setLanguageName(m_language.name());
}

bool AppContext::chooseLanguage(int menuId) {
    const auto& languages = m_language.languages();
    bool known = false;
    for (const auto& l : languages)
        known |= l.menuId == menuId;
    if (!known) return false;
    m_language.loadByMenuId(menuId);
    m_settings.languageName = m_language.name();
    m_encoding.setLanguageName(m_language.name());
    return true;
}

void AppContext::loadPictures() {
    const std::filesystem::path file = m_folders.dataFile(kPictureFile);
    if (!m_pictures.loadAtStartup(file, m_folders.programFile(kDefaultPictures),
                                  m_folders.programFolder()))
        noteDamaged(file);
    m_encoding.setPictures(m_pictures.records());
}

void AppContext::setPictures(std::vector<PictureRecord> records) {
    m_pictures.setRecords(std::move(records));
    m_encoding.setPictures(m_pictures.records());
}

std::vector<FontEntry> AppContext::loadFonts() {
    BitmapFontLibrary bitmapFonts;
    bitmapFonts.loadFolder(m_folders.programFolder() / "Font", platform::ansiCodePage());
    m_encoding.setFonts(m_fonts.families(), std::move(bitmapFonts));
    return m_encoding.snapshot()->inputs.fontList;
}

bool AppContext::keepIfDamaged(const std::filesystem::path& file, std::string* error) {
    if (!m_damaged.count(file)) return true;
    if (!platform::keepDamagedCopy(file, error)) return false;
    m_damaged.erase(file);
    return true;
}

bool AppContext::writeSettings(std::string* error) {
    const std::filesystem::path file = m_folders.dataFile(kSettingsFile);
    return keepIfDamaged(file, error) && m_settings.write(file, error);
}

bool AppContext::writePictures(std::string* error) {
    const std::filesystem::path file = m_folders.dataFile(kPictureFile);
    return keepIfDamaged(file, error) && PictureLibrary::write(file, m_pictures.records(), error);
}
