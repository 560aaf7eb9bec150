#pragma once

#include "platform/ImageCodec.h"
#include "platform/TextCodec.h"

#include <atomic>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

// Pictures without files: the test says which path holds which bitmap.
// Scaling is nearest-neighbour, so expected pixels are easy to work out. Once
// the pictures are put, any number of threads may decode.
class FakeImageCodec : public platform::ImageCodec {
public:
    void put(const std::filesystem::path& file, platform::Bitmap image) {
        m_frames[file.string()] = {{std::move(image), 0}};
    }
    void putFrames(const std::filesystem::path& file, std::vector<platform::ImageFrame> frames) {
        m_frames[file.string()] = std::move(frames);
    }

    bool load(const std::filesystem::path& file, platform::Bitmap& image) override {
        ++loads;
        auto it = m_frames.find(file.string());
        if (it == m_frames.end() || it->second.empty()) return false;
        image = it->second.front().image;
        return true;
    }
    bool loadFrames(const std::filesystem::path& file,
                    std::vector<platform::ImageFrame>& frames) override {
        ++loads;
        auto it = m_frames.find(file.string());
        if (it == m_frames.end()) return false;
        frames = it->second;
        return !frames.empty();
    }
    bool decodeFrames(std::string_view, std::vector<platform::ImageFrame>&) override {
        return false;
    }

    void drawScaled(const platform::Bitmap& source, platform::Rect from, platform::Bitmap& target,
                    platform::Rect to) override {
        if (from.width <= 0 || from.height <= 0 || to.width <= 0 || to.height <= 0) return;
        for (int y = 0; y < to.height; ++y)
            for (int x = 0; x < to.width; ++x)
                target.setPixel(to.x + x, to.y + y,
                                source.pixel(from.x + x * from.width / to.width,
                                             from.y + y * from.height / to.height));
    }

    bool save(const platform::Bitmap& image, const std::filesystem::path& file,
              platform::ImageFormat) override {
        if (image.empty()) return false;
        put(file, image);
        return true;
    }

    std::atomic<int> loads = 0;  // counted from any thread that decodes

private:
    std::map<std::string, std::vector<platform::ImageFrame>> m_frames;
};
