#pragma once

#include "platform/FontCatalog.h"
#include "platform/TextRenderer.h"

#include <set>
#include <string>

class QFont;

namespace platform {

// Text through Qt's font engine without antialiasing. A face that is not
// installed is drawn with its installed equivalent (platform/FontEquivalents.h).
// A text is one line: line breaks, tabs and other separators are measured and
// drawn as spaces. Needs a QGuiApplication.
class QtTextRenderer : public TextRenderer {
public:
    explicit QtTextRenderer(const FontCatalog& catalog);

    TextSize measure(const LogFont& font, std::u16string_view text, int extraSpacing) override;
    void draw(Bitmap& target, Rect box, const LogFont& font, std::u16string_view text,
              int extraSpacing, uint32_t ink) override;
    void drawDefault(Bitmap& target, Rect box, std::u16string_view text, uint32_t ink) override;

    // The installed family a face is drawn with.
    std::u16string familyFor(std::u16string_view face) const;

private:
    QFont qtFont(const LogFont& font, int extraSpacing) const;

    std::set<std::u16string> m_installed;
};

}  // namespace platform
