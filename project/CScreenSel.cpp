#include "project/CScreenSel.h"

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

void CScreenSel::onPictureClicked(int buttonNumber) {
    if (buttonNumber < 0 || buttonNumber >= static_cast<int>(m_buttons.size())) return;
    m_selectedButton = buttonNumber;
    m_selectedIndex = m_buttons[buttonNumber].entry;
}

int CScreenSel::scrollMaximum() const {
    if (m_buttons.empty()) return 0;
    return buttonTop(static_cast<int>(m_buttons.size()) - 1) + 40;
}
