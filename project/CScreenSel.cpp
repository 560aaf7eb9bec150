#include "project/CScreenSel.h"

#include "platform/TextCodec.h"

#include <string>

CScreenSel::CScreenSel(const platform::TextLookup& language, ScreenCatalogue catalogue, int initial)
    : m_language(language), m_catalogue(std::move(catalogue)), m_selectedIndex(initial) {
    const auto& entries = m_catalogue.entries();
    for (size_t k = 0; k < entries.size(); ++k) {
        const ScreenCatalogue::Entry& e = entries[k];
        if (e.kind != ScreenCatalogue::Kind::MultiFrame && e.kind != ScreenCatalogue::Kind::Pack)
            continue;
        Button b;
        b.entry = static_cast<int>(k);
        b.kind = e.kind;
        b.speed = e.speed;
        b.name = e.name;
        b.typeName = e.typeName;
        for (const auto& p : e.pictures) {
            std::error_code ec;
            if (std::filesystem::is_regular_file(p, ec)) b.pictures.push_back(p);
        }
        if (b.pictures.empty()) continue;
        if (b.entry == initial) m_selectedButton = static_cast<int>(m_buttons.size());
        m_buttons.push_back(std::move(b));
    }
}

std::u16string CScreenSel::buttonCaption(int buttonNumber) const {
    if (buttonNumber < 0 || buttonNumber >= static_cast<int>(m_buttons.size())) return {};
    const Button& b = m_buttons[static_cast<size_t>(buttonNumber)];
    const auto [width, height] = m_catalogue.sizeOf(b.entry);
    const std::u16string size = platform::utf8ToUtf16(std::to_string(width)) + u" \u00D7 " +
                                platform::utf8ToUtf16(std::to_string(height));
    // "48 x 12", "48x12" and "48 × 12" all say no more than the size.
    std::u16string digits;
    for (char16_t c : b.typeName)
        if (c != u' ' && c != u'x' && c != u'X' && c != u'\u00D7') digits += c;
    const std::u16string sizeDigits = platform::utf8ToUtf16(std::to_string(width)) +
                                      platform::utf8ToUtf16(std::to_string(height));
    if (b.typeName.empty() || digits == sizeDigits) return size;
    return b.typeName + u" \u2014 " + size;
}

void CScreenSel::onPictureClicked(int buttonNumber) {
    if (buttonNumber < 0 || buttonNumber >= static_cast<int>(m_buttons.size())) return;
    m_selectedButton = buttonNumber;
    m_selectedIndex = m_buttons[buttonNumber].entry;
}

int CScreenSel::scrollMaximum() const {
    if (m_buttons.empty()) return 0;
    return buttonTop(static_cast<int>(m_buttons.size()) - 1) + 40;
}
