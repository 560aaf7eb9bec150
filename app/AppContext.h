#pragma once

#include "app/AppFolders.h"
#include "app/AppSettings.h"
#include "app/LanguageTable.h"
#include "assets/PictureLibrary.h"
#include "content/EncodeContext.h"
#include "content/ProgramFields.h"
#include "platform/FontCatalog.h"
#include "platform/ImageCodec.h"
#include "platform/TextRenderer.h"

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

// What the window and zentari-cli set up alike: the folders, the settings, the
// language, the picture library, the fonts, and the encoding context built on
// them. The window takes the steps one by one in its start-up order; a program
// without a window takes them all at once with startUp().
class AppContext {
public:
    AppContext(platform::ImageCodec& images, platform::FontCatalog& fonts,
               platform::TextRenderer& text, AppFolders folders);
    AppContext(const AppContext&) = delete;
    AppContext& operator=(const AppContext&) = delete;

    // Everything below in order, for programs without a window.
    void startUp(uint16_t systemLanguageId);

    // --- the start-up steps ---------------------------------------------------------
    // "config.xml" of the data folder; a file that does not load whole is kept
    // aside before it is written again.
    void readSettings();
    // The language named in the settings, else the one of the system's language
    // (its name then goes into the settings).
    void loadLanguage(uint16_t systemLanguageId);
    // The user's picture library, else the shipped default.
    void loadPictures();
    // The bitmap fonts of the program folder; the font list the editor offers.
    std::vector<FontEntry> loadFonts();

    // --- later changes ----------------------------------------------------------------
    // A language of the Language menu; false when there is none with that id.
    bool chooseLanguage(int menuId);
    void setPictures(std::vector<PictureRecord> records);
    // False with the reasons when the file could not be written (or a damaged
    // one could not be kept aside first).
    bool writeSettings(std::string* error);
    bool writePictures(std::string* error);

    // A user file that did not load whole is kept as "NAME.damaged" before it
    // is first replaced or removed; false with the reason when it cannot be kept.
    void noteDamaged(const std::filesystem::path& file) { m_damaged.insert(file); }
    bool keepIfDamaged(const std::filesystem::path& file, std::string* error);

    const AppFolders& folders() const { return m_folders; }
    AppSettings& settings() { return m_settings; }
    const AppSettings& settings() const { return m_settings; }
    LanguageTable& language() { return m_language; }
    const LanguageTable& language() const { return m_language; }
    const PictureLibrary& pictures() const { return m_pictures; }
    const BitmapFontLibrary& bitmapFonts() const { return *m_encoding.snapshot()->bitmapFonts; }
    EncodeContext& encoding() { return m_encoding; }
    const EncodeContext& encoding() const { return m_encoding; }

    static constexpr char kSettingsFile[] = "config.xml";
    static constexpr char kPictureFile[] = "imageconfig.xml";
    static constexpr char kDefaultPictures[] = "DefaultImage.dat";

private:
    platform::FontCatalog& m_fonts;
    AppFolders m_folders;
    AppSettings m_settings;
    LanguageTable m_language;
    PictureLibrary m_pictures;
    EncodeContext m_encoding;
    std::set<std::filesystem::path> m_damaged;
};
