#pragma once

#include "content/BitmapFontLibrary.h"
#include "content/PictureCache.h"
#include "content/ProgramFields.h"
#include "platform/ImageCodec.h"
#include "platform/TextRenderer.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

// What encoding needs besides the programs: the text renderer, the image codec
// with its decoded pictures, and the fonts, pictures and interface language in
// force. The composition root makes one, shared by the window and zentari-cli.
// A build takes a snapshot and encodes from it on any thread; the window hands
// in new fonts, pictures or a new language between builds, never under one.
class EncodeContext {
public:
    struct Snapshot {
        std::shared_ptr<const BitmapFontLibrary> bitmapFonts =
            std::make_shared<BitmapFontLibrary>();
        EncodeInputs inputs;
        std::u16string languageName;  // picks the default font of a program without settings
    };

    EncodeContext(platform::TextRenderer& renderer, platform::ImageCodec& codec)
        : m_renderer(renderer), m_pictureCache(codec) {}

    // The system's families, then every bitmap font of the library.
    void setFonts(std::vector<std::u16string> families, BitmapFontLibrary bitmapFonts);
    void setPictures(std::vector<PictureRecord> pictures);
    void setLanguageName(std::u16string name);

    std::shared_ptr<const Snapshot> snapshot() const;
    platform::TextRenderer& renderer() const { return m_renderer; }
    PictureCache& pictureCache() const { return m_pictureCache; }

private:
    // Changes copy the snapshot: a build holding the old one keeps it whole.
    template <typename Change>
    void change(Change&& change);

    platform::TextRenderer& m_renderer;
    mutable PictureCache m_pictureCache;
    mutable std::mutex m_mutex;
    std::shared_ptr<const Snapshot> m_snapshot = std::make_shared<Snapshot>();
};
