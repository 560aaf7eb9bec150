#include "content/PictureCache.h"

#include "platform/TextCodec.h"

#include <system_error>

std::shared_ptr<const platform::Bitmap> PictureCache::get(const std::u16string& path) {
    const std::filesystem::path file(platform::utf16ToUtf8(path));
    std::error_code ec;
    const auto time = std::filesystem::last_write_time(file, ec);
    const uintmax_t size = ec ? 0 : std::filesystem::file_size(file, ec);
    const bool known = !ec;
    if (known) {
        std::lock_guard lock(m_mutex);
        auto it = m_pictures.find(path);
        if (it != m_pictures.end() && it->second.time == time && it->second.size == size)
            return it->second.image;
    }
    // Decoded outside the lock, so one slow picture holds up no other build.
    auto image = std::make_shared<platform::Bitmap>();
    std::shared_ptr<const platform::Bitmap> result;
    if (m_codec.load(file, *image)) result = std::move(image);
    std::lock_guard lock(m_mutex);
    // No file to look at (or one the codec reads by other means) is decoded every time.
    if (known)
        m_pictures.insert_or_assign(path, Decoded{time, size, result});
    else
        m_pictures.erase(path);
    return result;
}
