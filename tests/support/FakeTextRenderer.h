#pragma once

#include "platform/TextRenderer.h"

#include <mutex>
#include <string>
#include <vector>

// Text without a font engine: every character is a solid block `width` wide
// and `ink` rows tall, standing on the bottom of a `height`-row line, plus the
// extra spacing after it. The test can work out every pixel by hand. Any number
// of threads may draw at once; `calls` is for reading once they are done.
class FakeTextRenderer : public platform::TextRenderer {
public:
    int width = 4;
    int height = 12;
    int ink = 8;

    struct Call {
        std::u16string text;
        platform::Rect box;
        int pixelHeight;
        bool defaultFont;
        std::u16string face;
    };
    std::vector<Call> calls;

    platform::TextSize measure(const platform::LogFont& font, std::u16string_view text,
                               int extra) override {
        (void)font;
        return {static_cast<int>(text.size()) * (width + extra), height};
    }
    void draw(platform::Bitmap& target, platform::Rect box, const platform::LogFont& font,
              std::u16string_view text, int extra, uint32_t colour) override {
        record({std::u16string(text), box, -font.lfHeight, false, font.lfFaceName});
        paint(target, box, text, extra, colour);
    }
    void drawDefault(platform::Bitmap& target, platform::Rect box, std::u16string_view text,
                     uint32_t colour) override {
        record({std::u16string(text), box, 0, true, {}});
        paint(target, box, text, 0, colour);
    }

private:
    void record(Call call) {
        std::lock_guard lock(m_callsMutex);
        calls.push_back(std::move(call));
    }
    std::mutex m_callsMutex;

    void paint(platform::Bitmap& target, platform::Rect box, std::u16string_view text, int extra,
               uint32_t colour) {
        // Centred in the box like the real renderer, and standing on its bottom.
        const int total = static_cast<int>(text.size()) * (width + extra);
        int x = box.x + (box.width - total) / 2;
        for (size_t i = 0; i < text.size(); ++i, x += width + extra)
            for (int dy = 0; dy < ink; ++dy)
                for (int dx = 0; dx < width; ++dx) {
                    const int px = x + dx, py = box.y + box.height - 1 - dy;
                    if (px >= box.x && px < box.x + box.width && py >= box.y)
                        target.setPixel(px, py, colour);
                }
    }
};
