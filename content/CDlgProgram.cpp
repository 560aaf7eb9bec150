#include "content/CDlgProgram.h"

#include "content/BracketCodes.h"
#include "content/ProgramOptions.h"
#include "platform/FontEquivalents.h"
#include "platform/Format.h"
#include "platform/StringUtil.h"

#include <algorithm>
#include <cstdint>

namespace po = ProgramOptions;

namespace {

// Starts with the prefix, without regard to case.
bool startsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
    return text.size() >= prefix.size() &&
           platform::equalsNoCase(text.substr(0, prefix.size()), prefix);
}

std::u16string flag(bool on) {
    return on ? u"1" : u"0";
}

std::u16string valueOf(const SettingsMap& settings, std::u16string_view key) {
    auto it = settings.find(std::u16string(key));
    return it == settings.end() ? std::u16string() : it->second;
}

// The text with every temperature token taken out; `caret` moves with the text before it.
std::u16string withoutTemperatureTokens(std::u16string_view text, int& caret) {
    std::u16string out;
    int removedBeforeCaret = 0;
    for (size_t i = 0; i < text.size();) {
        const std::u16string_view rest = text.substr(i);
        if (rest.substr(0, 4) == BracketCodes::kCelsius ||
            rest.substr(0, 4) == BracketCodes::kFahrenheit) {
            removedBeforeCaret += std::clamp(caret - static_cast<int>(i), 0, 4);
            i += 4;
        } else {
            out += text[i++];
        }
    }
    caret -= removedBeforeCaret;
    return out;
}

}  // namespace

int32_t CDlgProgram::List::value() const {
    return selection >= 0 && selection < static_cast<int>(entries.size()) ? entries[selection].value
                                                                          : -1;
}

CDlgProgram::CDlgProgram(Instance instance, const platform::TextLookup& texts)
    : m_instance(instance), m_texts(texts) {
    fillLists();
    fillColorLists();
}

// --- set-up ------------------------------------------------------------------------------

void CDlgProgram::fillLists() {
    m_effects.entries.clear();
    for (const auto& o : po::kEffects)
        m_effects.entries.push_back({std::u16string(o.label), o.value});
    m_borders.entries.clear();
    for (const auto& o : po::kBorders)
        m_borders.entries.push_back({std::u16string(o.label), o.value});
    m_fontSizes.entries.clear();
    for (int s = po::kMinFontSize; s <= po::kMaxFontSize; ++s)
        m_fontSizes.entries.push_back({platform::format(u"%d", {s}), s * scale()});
    auto speeds = [] {
        List list;
        for (int v = 1; v <= po::kSpeedCount; ++v)
            list.entries.push_back({platform::format(u"% 2u", {v}), v});
        return list;
    };
    m_speeds.entries = speeds().entries;
    m_borderSpeeds.entries = speeds().entries;
    m_stopTimes.entries.clear();
    for (int32_t t : po::kStopTimes)
        m_stopTimes.entries.push_back({platform::format(u"% 2u", {t}), t});
    m_tempUnits.entries.clear();
    for (size_t i = 0; i < po::kTemperatureUnits.size(); ++i)
        m_tempUnits.entries.push_back(
            {std::u16string(po::kTemperatureUnits[i]), static_cast<int32_t>(i)});
    m_tempUnits.enabled = m_useTemp;
}

void CDlgProgram::fillColorLists() {
    for (List* list : {&m_textColors, &m_backgroundColors}) {
        list->entries.clear();
        for (const auto& c : po::kColors)
            list->entries.push_back({m_texts.text(c.key), static_cast<int32_t>(c.value)});
    }
}

void CDlgProgram::setFontList(std::vector<FontEntry> fonts) {
    const std::u16string selected =
        m_fontSelection >= 0 && m_fontSelection < static_cast<int>(m_fonts.size())
            ? m_fonts[m_fontSelection].name
            : std::u16string();
    m_fonts = std::move(fonts);
    m_fontSelection = -1;
    for (size_t i = 0; i < m_fonts.size() && !selected.empty(); ++i)
        if (m_fonts[i].name == selected) m_fontSelection = static_cast<int>(i);
    refresh();
}

void CDlgProgram::setScreenDpi(int dpi) {
    m_dpi = dpi > 0 ? dpi : 96;
    applyFontSize();
    refresh();
}

// A screen of more than 1440 dots per inch would make a pixel no twips at all.
int CDlgProgram::twipsPerPixel() const {
    return std::max(1, 1440 / m_dpi);
}

void CDlgProgram::applyTexts() {
    // Only a complete list replaces the built-in one: every entry counts, one
    // without a value too (it reads as 0). It is ordered by its numbers.
    auto localise = [this](List& list, std::u16string_view key, size_t count) {
        std::vector<platform::TextListEntry> entries = m_texts.list(key);
        if (entries.size() != count) return;
        std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
            return platform::parseDecimal(a.value) < platform::parseDecimal(b.value);
        });
        for (size_t i = 0; i < count; ++i)
            list.entries[i].label = entries[i].text;
    };
    localise(m_effects, u"effects", po::kEffects.size());
    localise(m_borders, u"Borders", po::kBorders.size());
    for (List* list : {&m_textColors, &m_backgroundColors})
        for (size_t i = 0; i < po::kColors.size(); ++i)
            list->entries[i].label = m_texts.text(po::kColors[i].key);
    refresh();
}

void CDlgProgram::setPictures(std::vector<PictureRecord> pictures) {
    m_pictures = std::move(pictures);
    m_pictureList.clear();
    for (const PictureRecord& p : m_pictures)
        m_pictureList.push_back({platform::format(u"IMG%.2d", {p.nValueID}), p.nValueID});
    refresh();
}

void CDlgProgram::setAnimations(std::vector<std::u16string> names) {
    m_animations = std::move(names);
    refresh();
}

// --- the text box's format -----------------------------------------------------------------

void CDlgProgram::applyFontSize() {
    const int32_t size = m_fontSizes.value();
    if (size >= 0) m_format.heightTwips = size * twipsPerPixel();
}

int32_t CDlgProgram::fontSizePixels() const {
    return m_format.heightTwips / twipsPerPixel() / scale();
}

void CDlgProgram::applyColors() {
    if (m_textColors.value() >= 0)
        m_format.color = static_cast<platform::ColorRef>(m_textColors.value());
    if (m_backgroundColors.value() >= 0)
        m_format.background = static_cast<platform::ColorRef>(m_backgroundColors.value());
}

void CDlgProgram::applyFont() {
    if (m_fontSelection >= 0 && m_fontSelection < static_cast<int>(m_fonts.size()))
        m_format.face = m_fonts[m_fontSelection].name;
}

int CDlgProgram::fontEquivalentEntry(std::u16string_view face) const {
    for (std::u16string_view equivalent : platform::fontEquivalents(face))
        for (size_t i = 0; i < m_fonts.size(); ++i)
            if (platform::equalsNoCase(m_fonts[i].name, equivalent)) return static_cast<int>(i);
    return -1;
}

void CDlgProgram::selectDefaultFont() {
    std::vector<std::u16string_view> wanted{u"\u5B8B\u4F53"};  // 宋体
    if (m_languageName == u"English") wanted.push_back(u"Arial Baltic");
    if (platform::equalsNoCase(m_languageName, u"\u7B80\u4F53\u4E2D\u6587") ||
        platform::equalsNoCase(m_languageName, u"\u7E41\u9AD4\u4E2D\u6587")) {
        wanted.push_back(u"\u5FAE\u8F6F\u96C5\u9ED1");  // 微软雅黑
        wanted.push_back(u"\u9ED1\u4F53");              // 黑体
    }
    wanted.push_back(u"Arial");
    auto select = [this](std::u16string_view name) {
        for (size_t i = 0; i < m_fonts.size(); ++i)
            if (platform::equalsNoCase(m_fonts[i].name, name)) {
                m_fontSelection = static_cast<int>(i);
                return true;
            }
        return false;
    };
    // The names themselves first; then what stands in for them on this system.
    for (std::u16string_view name : wanted)
        if (select(name)) return;
    for (std::u16string_view name : wanted)
        for (std::u16string_view equivalent : platform::fontEquivalents(name))
            if (select(equivalent)) return;
    if (!m_fonts.empty()) m_fontSelection = 0;
}

void CDlgProgram::selectDefaultFontSize() {
    const int32_t height = m_screenHeight + (m_screenHeight < 12 ? 1 : 0);
    const std::u16string wanted = platform::toDecimal(height);
    for (size_t i = 0; i < m_fontSizes.entries.size(); ++i)
        if (startsWithNoCase(m_fontSizes.entries[i].label, wanted)) {
            m_fontSizes.selection = static_cast<int>(i);
            return;
        }
}

// --- the program -----------------------------------------------------------------------------

void CDlgProgram::setScreenSize(int32_t width, int32_t height) {
    m_screenWidth = width;
    m_screenHeight = height;
}

void CDlgProgram::resetToDefaults() {
    m_loading = true;
    m_text.clear();
    m_caret = 0;
    selectDefaultFont();
    selectDefaultFontSize();
    m_tempUnits.select(0);
    m_speeds.select(po::kDefaultSpeedPosition);
    m_borderSpeeds.select(po::kDefaultSpeedPosition);
    m_stopTimes.select(po::kDefaultStopTimePosition);
    m_effects.select(0);
    m_borders.select(0);
    // The colour lists keep selections still in range: text Red, background Black otherwise.
    if (m_textColors.selection < 0 ||
        m_textColors.selection >= static_cast<int>(m_textColors.entries.size()))
        m_textColors.select(0);
    if (m_backgroundColors.selection < 0 ||
        m_backgroundColors.selection >= static_cast<int>(m_backgroundColors.entries.size()))
        m_backgroundColors.select(static_cast<int>(m_backgroundColors.entries.size()) - 1);
    // A new program shows no flicker and no temperature; bold, italic and underline carry over.
    m_flicker = false;
    applyFont();
    applyFontSize();
    applyColors();
    deriveTemperatureFromText();
    m_loading = false;
}

void CDlgProgram::load(const ProgramRecord& program) {
    m_offsetX = program.OffsetX;
    m_offsetY = program.OffsetY;
    m_stretchH = program.StretchH;
    m_stretchV = program.StretchV;
    m_pitchOffset = program.PitchOffSet;
    m_autoAdjust = program.AutoAdjust != 0;
    m_name = program.name;
    loadSettings(program.settings);
}

void CDlgProgram::loadSettings(const SettingsMap& settings) {
    cancelRefresh();
    if (settings.empty()) {
        resetToDefaults();
        refresh();
        return;
    }
    m_loading = true;
    auto number = [&settings](std::u16string_view key) {
        return platform::parseDecimal(valueOf(settings, key));
    };

    m_useTemp = number(po::kUseTemp) != 0;
    m_tempUnits.enabled = m_useTemp;
    m_tempUnits.select(number(po::kTempIndex));

    const std::u16string size = valueOf(settings, po::kFontSize);
    m_fontSizes.selection = 0;
    for (size_t i = 0; i < m_fontSizes.entries.size(); ++i)
        if (startsWithNoCase(m_fontSizes.entries[i].label, size)) {
            m_fontSizes.selection = static_cast<int>(i);
            break;
        }
    applyFontSize();

    m_format.bold = valueOf(settings, po::kFontBold) == u"1";
    m_format.italic = valueOf(settings, po::kFontItalic) == u"1";
    m_format.underline = valueOf(settings, po::kFontUnderline) == u"1";

    // A colour that matches no entry leaves the list as it was.
    auto selectColor = [](List& list, int32_t value) {
        for (size_t i = 0; i < list.entries.size(); ++i)
            if (list.entries[i].value == value) {
                list.selection = static_cast<int>(i);
                return;
            }
    };
    selectColor(m_textColors, number(po::kColor1));
    selectColor(m_backgroundColors, number(po::kColor2));
    applyColors();

    m_speeds.select(number(po::kSpeed));
    m_effects.select(number(po::kEffect));
    m_stopTimes.select(number(po::kStopTime));
    m_borders.select(number(po::kBorder));
    m_borderSpeeds.select(number(po::kBorderSpeed));
    m_flicker = number(po::kFlicker) != 0;

    const std::u16string font = valueOf(settings, po::kFont);
    m_fontSelection = -1;
    for (size_t i = 0; i < m_fonts.size(); ++i)
        if (startsWithNoCase(m_fonts[i].name, font)) {
            m_fontSelection = static_cast<int>(i);
            break;
        }
    if (m_fontSelection >= 0) {
        applyFont();
    } else if (const int equivalent = fontEquivalentEntry(font); equivalent >= 0) {
        // A face of another system ("宋体" in a file made on Windows): the list shows
        // what stands in for it, and the program keeps its own face, so it encodes
        // the same whatever came before it and is written back unchanged.
        m_fontSelection = equivalent;
        m_format.face = font;
    }
    // Otherwise no selection, and the text keeps the face it had.

    m_text = valueOf(settings, po::kTextContent);
    m_caret = static_cast<int>(m_text.size());
    deriveTemperatureFromText();
    m_loading = false;
    refresh();
}

SettingsMap CDlgProgram::takeSettings(bool current) const {
    auto number = [](int32_t v) { return platform::toDecimal(v); };
    SettingsMap map;
    map[std::u16string(po::kTextContent)] = m_text;
    map[std::u16string(po::kFont)] = m_format.face;
    map[std::u16string(po::kFontSize)] = platform::format(u"%u", {fontSizePixels()});
    map[std::u16string(po::kFontBold)] = flag(m_format.bold);
    map[std::u16string(po::kFontItalic)] = flag(m_format.italic);
    map[std::u16string(po::kFontUnderline)] = flag(m_format.underline);
    map[std::u16string(po::kColor1)] = number(m_textColors.value());
    map[std::u16string(po::kColor2)] = number(m_backgroundColors.value());
    map[std::u16string(po::kEffect)] = number(m_effects.selection);
    map[std::u16string(po::kSpeed)] = number(m_speeds.selection);
    map[std::u16string(po::kStopTime)] = number(m_stopTimes.selection);
    map[std::u16string(po::kFlicker)] = flag(m_flicker);
    map[std::u16string(po::kBorder)] = number(m_borders.selection);
    map[std::u16string(po::kBorderSpeed)] = number(m_borderSpeeds.selection);
    map[std::u16string(po::kUseTemp)] = flag(m_useTemp);
    map[std::u16string(po::kTempIndex)] = number(m_tempUnits.selection);
    map[std::u16string(po::kSelect)] = flag(current);
    return map;
}

ProgramFields CDlgProgram::fields() const {
    ProgramFields s;
    s.screenWidth = m_screenWidth;
    s.screenHeight = m_screenHeight;
    s.text = m_text;
    s.face = m_format.face;
    s.fontSize = fontSizePixels();
    s.bold = m_format.bold;
    s.italic = m_format.italic;
    s.underline = m_format.underline;
    s.strikeOut = m_format.strikeOut;
    s.color = m_format.color;
    s.background = m_format.background;
    s.redBackground = m_backgroundColors.value() == 0x0000FF;
    s.offsetX = m_offsetX;
    s.offsetY = m_offsetY;
    s.pitchOffset = m_pitchOffset;
    s.autoAdjust = m_autoAdjust;
    s.effect = m_effects.value();
    s.speed = m_speeds.value();
    s.stopTime = m_stopTimes.value();
    s.border = m_borders.value();
    s.borderSpeed = m_borderSpeeds.value();
    s.flicker = m_flicker;
    return s;
}

void CDlgProgram::commit(ProgramRecord& program) const {
    program.settings = takeSettings(true);
    program.OffsetX = m_offsetX;
    program.OffsetY = m_offsetY;
    program.StretchH = m_stretchH;
    program.StretchV = m_stretchV;
    program.PitchOffSet = m_pitchOffset;
    program.AutoAdjust = m_autoAdjust ? 1 : 0;
    program.name = m_name;
}

// --- what the user does ------------------------------------------------------------------

void CDlgProgram::setName(std::u16string name) {
    m_name = std::move(name);
    refresh();
}

void CDlgProgram::setText(std::u16string text, int caret) {
    m_text = std::move(text);
    m_caret = caret < 0 ? static_cast<int>(m_text.size())
                        : std::min(caret, static_cast<int>(m_text.size()));
    deriveTemperatureFromText();
    if (!m_loading && m_instance == Instance::Editor) {
        m_keyPressedSinceChange = false;
        if (m_view) m_view->startTimer(kTypingTimer, 500);
    }
    refresh();
}

void CDlgProgram::setCaret(int caret) {
    m_caret = std::clamp(caret, 0, static_cast<int>(m_text.size()));
}

void CDlgProgram::selectFont(int position) {
    m_fontSelection = position >= 0 && position < static_cast<int>(m_fonts.size()) ? position : -1;
    applyFont();
    scheduleRefresh(10);
    refresh();
}

void CDlgProgram::selectFontSize(int position) {
    m_fontSizes.select(position);
    applyFontSize();
    scheduleRefresh(10);
    refresh();
}

void CDlgProgram::setBold(bool on) {
    m_format.bold = on;
    scheduleRefresh(10);
    refresh();
}

void CDlgProgram::setItalic(bool on) {
    m_format.italic = on;
    scheduleRefresh(10);
    refresh();
}

void CDlgProgram::setUnderline(bool on) {
    m_format.underline = on;
    scheduleRefresh(10);
    refresh();
}

void CDlgProgram::selectTextColor(int position) {
    m_textColors.select(position);
    applyColors();
    scheduleRefresh(10);
    refresh();
}

void CDlgProgram::selectBackgroundColor(int position) {
    m_backgroundColors.select(position);
    applyColors();
    scheduleRefresh(10);
    refresh();
}

void CDlgProgram::selectEffect(int position) {
    m_effects.select(position);
    scheduleRefresh(10);
    refresh();
}

void CDlgProgram::selectSpeed(int position) {
    m_speeds.select(position);
    scheduleRefresh(10);
    refresh();
}

void CDlgProgram::selectStopTime(int position) {
    m_stopTimes.select(position);
    scheduleRefresh(10);
    refresh();
}

void CDlgProgram::setFlicker(bool on) {
    m_flicker = on;
    scheduleRefresh(100);
    refresh();
}

void CDlgProgram::selectBorder(int position) {
    m_borders.select(position);
    scheduleRefresh(10);
    refresh();
}

void CDlgProgram::selectBorderSpeed(int position) {
    m_borderSpeeds.select(position);
    scheduleRefresh(10);
    refresh();
}

void CDlgProgram::removeTemperatureTokens() {
    int caret = m_caret;
    std::u16string text = withoutTemperatureTokens(m_text, caret);
    setText(std::move(text), caret);
}

void CDlgProgram::replaceTemperatureToken() {
    removeTemperatureTokens();
    const std::u16string_view token =
        m_tempUnits.selection == 1 ? BracketCodes::kFahrenheit : BracketCodes::kCelsius;
    std::u16string text = m_text;
    const int caret = std::clamp(m_caret, 0, static_cast<int>(text.size()));
    text.insert(static_cast<size_t>(caret), token);
    setText(std::move(text), caret + static_cast<int>(token.size()));
}

void CDlgProgram::setUseTemp(bool on) {
    m_useTemp = on;
    m_tempUnits.enabled = on;
    if (on)
        replaceTemperatureToken();
    else
        removeTemperatureTokens();
    scheduleRefresh(10);
    refresh();
}

void CDlgProgram::selectTempUnit(int position) {
    m_tempUnits.select(position);
    if (m_useTemp) replaceTemperatureToken();
    scheduleRefresh(10);
    refresh();
}

// The text decides: a token anywhere ticks the box, Celsius when "[FE]" occurs.
void CDlgProgram::deriveTemperatureFromText() {
    const bool celsius = m_text.find(BracketCodes::kCelsius) != std::u16string::npos;
    const bool fahrenheit = m_text.find(BracketCodes::kFahrenheit) != std::u16string::npos;
    m_useTemp = celsius || fahrenheit;
    m_tempUnits.enabled = m_useTemp;
    if (m_useTemp) m_tempUnits.select(celsius ? 0 : 1);
}

void CDlgProgram::setOffsetX(int32_t value) {
    m_offsetX = std::clamp(value, -std::abs(m_screenWidth), std::abs(m_screenWidth));
    scheduleRefresh(400);
    refresh();
}

void CDlgProgram::setOffsetY(int32_t value) {
    m_offsetY = std::clamp(value, -std::abs(m_screenHeight), std::abs(m_screenHeight));
    scheduleRefresh(400);
    refresh();
}

int32_t CDlgProgram::stepped(int32_t value, int delta) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(static_cast<int64_t>(value) + delta, INT32_MIN, INT32_MAX));
}

void CDlgProgram::setPitchOffset(int32_t value) {
    m_pitchOffset = value;
    scheduleRefresh(400);
    refresh();
}

void CDlgProgram::setAutoAdjust(bool on) {
    m_autoAdjust = on;
    scheduleRefresh(100);
    refresh();
}

void CDlgProgram::insertAtCaret(std::u16string_view code) {
    if (m_view) {
        m_view->typeText(code);
        return;
    }
    std::u16string text = m_text;
    const int caret = std::clamp(m_caret, 0, static_cast<int>(text.size()));
    text.insert(static_cast<size_t>(caret), code);
    setText(std::move(text), caret + static_cast<int>(code.size()));
}

void CDlgProgram::insertAnimation(int position) {
    if (position < 0 || position >= static_cast<int>(m_animations.size())) return;
    insertAtCaret(BracketCodes::animationCode(position));
}

void CDlgProgram::insertPicture(int position) {
    if (position < 0 || position >= static_cast<int>(m_pictureList.size())) return;
    insertAtCaret(BracketCodes::pictureCode(m_pictureList[position].value));
}

// --- preview refresh requests ----------------------------------------------------------------

void CDlgProgram::scheduleRefresh(int milliseconds) {
    // The encoder instance renders programs; it never asks for a preview.
    if (m_loading || m_instance != Instance::Editor || !m_view) return;
    m_view->startTimer(kRefreshTimer, milliseconds);
}

void CDlgProgram::cancelRefresh() {
    if (!m_view) return;
    m_view->stopTimer(kRefreshTimer);
    m_view->stopTimer(kTypingTimer);
}

void CDlgProgram::onTimer(int id) {
    if (m_view) m_view->stopTimer(id);
    if (id == kTypingTimer && m_keyPressedSinceChange) {
        // Still typing: look again later, so a last key that changed nothing
        // (an arrow, Shift) does not lose the refresh of the edit before it.
        m_keyPressedSinceChange = false;
        if (m_view) m_view->startTimer(kTypingTimer, 500);
        return;
    }
    if ((id == kRefreshTimer || id == kTypingTimer) && m_previewRequest) m_previewRequest();
}
