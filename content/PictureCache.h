#pragma once

#include "platform/Bitmap.h"
#include "platform/ImageCodec.h"

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>

// Decoded pictures by file, decoded again only when the file changed. Shared by
// every build on every thread: a picture handed out stays valid and unchanged
// however the cache changes after.
class PictureCache {
public:
    explicit PictureCache(platform::ImageCodec& codec) : m_codec(codec) {}

    // The picture of a file; null when it cannot be read or decoded.
    std::shared_ptr<const platform::Bitmap> get(const std::u16string& path);
    platform::ImageCodec& codec() const { return m_codec; }

private:
    struct Decoded {
        std::filesystem::file_time_type time;
        uintmax_t size = 0;
        std::shared_ptr<const platform::Bitmap> image;  // null: could not be decoded
    };

    platform::ImageCodec& m_codec;
    std::mutex m_mutex;
    std::map<std::u16string, Decoded> m_pictures;
};
