#include "content/EncodeContext.h"

#include "content/FontList.h"

template <typename Change>
void EncodeContext::change(Change&& change) {
    std::lock_guard lock(m_mutex);
    auto next = std::make_shared<Snapshot>(*m_snapshot);
    change(*next);
    m_snapshot = std::move(next);
}

void EncodeContext::setFonts(std::vector<std::u16string> families, BitmapFontLibrary bitmapFonts) {
    auto fonts = std::make_shared<const BitmapFontLibrary>(std::move(bitmapFonts));
    std::vector<FontEntry> list = makeFontList(std::move(families), *fonts);
    change([&](Snapshot& s) {
        s.bitmapFonts = std::move(fonts);
        s.inputs.fontList = std::move(list);
    });
}

void EncodeContext::setPictures(std::vector<PictureRecord> pictures) {
    change([&](Snapshot& s) { s.inputs.pictures = std::move(pictures); });
}

void EncodeContext::setLanguageName(std::u16string name) {
    change([&](Snapshot& s) { s.languageName = std::move(name); });
}

std::shared_ptr<const EncodeContext::Snapshot> EncodeContext::snapshot() const {
    std::lock_guard lock(m_mutex);
    return m_snapshot;
}
