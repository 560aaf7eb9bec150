#pragma once

#include "assets/PictureRecord.h"
#include "content/ProgramFields.h"
#include "platform/Bitmap.h"
#include "platform/TextLookup.h"
#include "project/ProgramRecord.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The program editor: every control of one program's content, and the rules
// that load a program into them and take it back out. The main window shows
// the editor instance; an encoder instance, never shown, is what turns records
// into the fields the encoder reads (ProgramFieldsReader), so both apply one set of rules.
class CDlgProgram {
public:
    enum class Instance { Editor, Encoder };

    // One entry of a drop-down list: its text and its value.
    struct Entry {
        std::u16string label;
        int32_t value = 0;
    };
    using FontEntry = ::FontEntry;
    // A list and its selected position (-1: none).
    struct List {
        std::vector<Entry> entries;
        int selection = -1;
        bool enabled = true;
        // The selected entry's value; -1 without a selection.
        int32_t value() const;
        void select(int position) {
            selection =
                position >= 0 && position < static_cast<int>(entries.size()) ? position : -1;
        }
    };
    // The text box's character format.
    struct TextFormat {
        std::u16string face;
        int32_t heightTwips = 0;
        bool bold = false;
        bool italic = false;
        bool underline = false;
        bool strikeOut = false;
        platform::ColorRef color = 0x0000FF;
        platform::ColorRef background = 0x000000;
    };

    class View {
    public:
        virtual ~View() = default;
        // The state changed; read it from the editor.
        virtual void refresh() = 0;
        // Types the characters at the caret as the user would, so undo and the
        // change notification see them.
        virtual void typeText(std::u16string_view text) = 0;
        virtual void startTimer(int id, int milliseconds) = 0;
        virtual void stopTimer(int id) = 0;
    };

    static constexpr int kRefreshTimer = 10086;
    static constexpr int kTypingTimer = 10087;

    CDlgProgram(Instance instance, const platform::TextLookup& texts);

    void setView(View* view) { m_view = view; }
    // Types text at the caret as the user would (through the view when there is one).
    void insertAtCaret(std::u16string_view text);
    // Called when a content change asks the main window to rebuild the preview.
    void setPreviewRequest(std::function<void()> request) { m_previewRequest = std::move(request); }

    // --- set-up --------------------------------------------------------------------------
    // The fonts the list offers: the system's families, then the bitmap fonts.
    void setFontList(std::vector<FontEntry> fonts);
    // The name of the interface language, which picks the default font.
    void setLanguageName(std::u16string name) { m_languageName = std::move(name); }
    // Vertical resolution of the screen the text box is measured on.
    void setScreenDpi(int dpi);
    // Relabels the captions and colour names; the effect and border lists are
    // replaced only by complete lists (12 and 15 entries).
    void applyTexts();
    void setPictures(std::vector<PictureRecord> pictures);
    void setAnimations(std::vector<std::u16string> names);

    // --- the program ----------------------------------------------------------------------
    // The size of the screen the next program belongs to.
    void setScreenSize(int32_t width, int32_t height);
    void resetToDefaults();
    void load(const ProgramRecord& program);
    void loadSettings(const SettingsMap& settings);
    // All seventeen keys from the controls. `current` marks the program that
    // is current in the editor ("Select" 1).
    SettingsMap takeSettings(bool current = true) const;
    // The settings and the fields into the record (its check state stays).
    void commit(ProgramRecord& program) const;
    // What the encoder reads of the program as the controls now show it.
    ProgramFields fields() const;

    // --- what the user does ------------------------------------------------------------
    void setName(std::u16string name);
    // A change of the text (typed, pasted, deleted); `caret` is where the caret is after it.
    void setText(std::u16string text, int caret = -1);
    void setCaret(int caret);
    void selectFont(int position);
    void selectFontSize(int position);
    void setBold(bool on);
    void setItalic(bool on);
    void setUnderline(bool on);
    void selectTextColor(int position);
    void selectBackgroundColor(int position);
    void selectEffect(int position);
    void selectSpeed(int position);
    void selectStopTime(int position);
    void setFlicker(bool on);
    void selectBorder(int position);
    void selectBorderSpeed(int position);
    void setUseTemp(bool on);
    void selectTempUnit(int position);
    void setOffsetX(int32_t value);
    void setOffsetY(int32_t value);
    void setPitchOffset(int32_t value);
    // Arrow clicks; they stop at the ends of the range a record can hold.
    void stepOffsetX(int delta) { setOffsetX(stepped(m_offsetX, delta)); }
    void stepOffsetY(int delta) { setOffsetY(stepped(m_offsetY, delta)); }
    void stepPitchOffset(int delta) { setPitchOffset(stepped(m_pitchOffset, delta)); }
    void setAutoAdjust(bool on);
    // A double-click in the animation or picture list.
    void insertAnimation(int position);
    void insertPicture(int position);
    // A key press while the text box has the focus.
    void noteKeyPress() { m_keyPressedSinceChange = true; }
    void onTimer(int id);

    // --- state ---------------------------------------------------------------------------
    Instance instance() const { return m_instance; }
    const std::u16string& name() const { return m_name; }
    const std::u16string& text() const { return m_text; }
    int caret() const { return m_caret; }
    const std::vector<FontEntry>& fonts() const { return m_fonts; }
    int fontSelection() const { return m_fontSelection; }
    bool fontListEnabled() const { return !m_autoAdjust; }
    const List& fontSizes() const { return m_fontSizes; }
    bool bold() const { return m_format.bold; }
    bool italic() const { return m_format.italic; }
    bool underline() const { return m_format.underline; }
    const List& textColors() const { return m_textColors; }
    const List& backgroundColors() const { return m_backgroundColors; }
    const List& effects() const { return m_effects; }
    const List& speeds() const { return m_speeds; }
    const List& stopTimes() const { return m_stopTimes; }
    bool flicker() const { return m_flicker; }
    const List& borders() const { return m_borders; }
    const List& borderSpeeds() const { return m_borderSpeeds; }
    bool useTemp() const { return m_useTemp; }
    const List& tempUnits() const { return m_tempUnits; }
    int32_t offsetX() const { return m_offsetX; }
    int32_t offsetY() const { return m_offsetY; }
    int32_t pitchOffset() const { return m_pitchOffset; }
    int32_t stretchH() const { return m_stretchH; }
    int32_t stretchV() const { return m_stretchV; }
    bool autoAdjust() const { return m_autoAdjust; }
    bool offsetsEnabled() const { return !m_autoAdjust; }
    const TextFormat& textFormat() const { return m_format; }
    // The character height the text box's format stands for, in pixels.
    int32_t fontSizePixels() const;
    int32_t screenWidth() const { return m_screenWidth; }
    int32_t screenHeight() const { return m_screenHeight; }
    const std::vector<PictureRecord>& pictures() const { return m_pictures; }
    const std::vector<Entry>& pictureList() const { return m_pictureList; }
    const std::vector<std::u16string>& animations() const { return m_animations; }

    // Captions by their language key ("Effect", "MoveSpeed", ..., "CheckAll", ...).
    std::u16string caption(std::u16string_view key) const { return m_texts.text(key); }

private:
    int twipsPerPixel() const;
    int scale() const { return m_instance == Instance::Editor ? 3 : 1; }
    void fillLists();
    void fillColorLists();
    void applyFontSize();
    void applyColors();
    void applyFont();
    void selectDefaultFont();
    // The list entry of the first installed family that stands in for the face; -1 for none.
    int fontEquivalentEntry(std::u16string_view face) const;
    // value + delta, kept within int32.
    static int32_t stepped(int32_t value, int delta);
    void selectDefaultFontSize();
    void deriveTemperatureFromText();
    void replaceTemperatureToken();
    void removeTemperatureTokens();
    void scheduleRefresh(int milliseconds);
    void cancelRefresh();
    void refresh() {
        if (m_view) m_view->refresh();
    }

    Instance m_instance;
    const platform::TextLookup& m_texts;
    View* m_view = nullptr;
    std::function<void()> m_previewRequest;
    std::u16string m_languageName;
    int m_dpi = 96;

    int32_t m_screenWidth = 0;
    int32_t m_screenHeight = 0;
    std::u16string m_name;
    std::u16string m_text;
    int m_caret = 0;
    std::vector<FontEntry> m_fonts;
    int m_fontSelection = -1;
    List m_fontSizes;
    List m_textColors;
    List m_backgroundColors;
    List m_effects;
    List m_speeds;
    List m_stopTimes;
    bool m_flicker = false;
    List m_borders;
    List m_borderSpeeds;
    bool m_useTemp = false;
    List m_tempUnits;
    int32_t m_offsetX = 0;
    int32_t m_offsetY = 0;
    int32_t m_pitchOffset = 0;
    int32_t m_stretchH = 0;
    int32_t m_stretchV = 0;
    bool m_autoAdjust = false;
    TextFormat m_format;
    std::vector<PictureRecord> m_pictures;
    std::vector<Entry> m_pictureList;
    std::vector<std::u16string> m_animations;
    bool m_keyPressedSinceChange = false;
    // Set while a load or a code insertion changes the text: no refresh is scheduled for it.
    bool m_loading = false;
};
