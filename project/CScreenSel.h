#pragma once

#include "platform/TextLookup.h"
#include "project/ScreenCatalogue.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// The screen size dialog: the catalogue as a scrolling column of picture
// buttons. Only entries with an existing picture and a kind that can be shown
// get a button, so each button remembers its catalogue position and the size
// taken is always that of the entry clicked.
class CScreenSel {
public:
    static constexpr uint32_t MSG_PICTURE_CLICKED = 0x06F1;
    static constexpr int kButtonX = 10;
    static constexpr int kButtonWidth = 350;
    static constexpr int kButtonHeight = 70;
    static constexpr int kRowPitch = 80;
    static constexpr int kLineStep = 20;

    struct Button {
        int entry = 0;  // catalogue position
        ScreenCatalogue::Kind kind = ScreenCatalogue::Kind::MultiFrame;
        std::vector<std::filesystem::path> pictures;  // existing ones
        int32_t speed = 0;
        std::u16string name;
        std::u16string typeName;
    };

    // `initial` is a catalogue position; its button, if it has one, starts selected.
    CScreenSel(const platform::TextLookup& language, ScreenCatalogue catalogue, int initial);

    const std::vector<Button>& buttons() const { return m_buttons; }
    const ScreenCatalogue& catalogue() const { return m_catalogue; }

    // Message 0x06F1 from a button.
    void onPictureClicked(int buttonNumber);
    int selectedButton() const { return m_selectedButton; }  // -1 when none
    // What OK returns: the catalogue position of the selected button, or the
    // initial position when no button was selected.
    int selectedIndex() const { return m_selectedIndex; }
    std::pair<int32_t, int32_t> selectedSize() const { return m_catalogue.sizeOf(m_selectedIndex); }

    // Layout of the list: where button k sits before scrolling, and the scroll range.
    static int buttonTop(int buttonNumber) { return buttonNumber * kRowPitch; }
    int scrollMaximum() const;

    // What a button says of itself: the size it gives, "48 × 12", after the
    // catalogue's own name when that is more than the size written another way.
    std::u16string buttonCaption(int buttonNumber) const;

    std::u16string title() const { return m_language.text(u"SelectScreenSize"); }
    std::u16string okText() const { return m_language.text(u"OK"); }
    std::u16string cancelText() const { return m_language.text(u"Cancel"); }

private:
    const platform::TextLookup& m_language;
    ScreenCatalogue m_catalogue;
    std::vector<Button> m_buttons;
    int m_selectedButton = -1;
    int m_selectedIndex = 0;
};
