#pragma once

#include "app/Commands.h"
#include "platform/TextLookup.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>

// The test pattern dialog: five buttons, each posting its pattern's message to
// the main window; the dialog stays open.
class CDialogTest {
public:
    struct Button {
        int id;
        const char16_t* labelKey;
        uint8_t pattern;
    };
    static constexpr std::array<Button, 5> kButtons{{
        {1010, u"TestQuit", 0},
        {1006, u"FullBlack", 1},
        {1007, u"FullLight", 2},
        {1008, u"SLASH1", 3},
        {1009, u"SLASH2", 4},
    }};

    using Post = std::function<void(uint32_t message)>;
    CDialogTest(const platform::TextLookup& language, Post post)
        : m_language(language), m_post(std::move(post)) {}

    std::u16string label(int buttonId) const;
    // A click; false for an id that is not one of the buttons.
    bool onButton(int buttonId);

private:
    const platform::TextLookup& m_language;
    Post m_post;
};
