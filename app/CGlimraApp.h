#pragma once

#include "platform/FontCatalog.h"
#include "platform/ImageCodec.h"
#include "platform/Shell.h"
#include "platform/TextRenderer.h"

#include <cstdint>

// The system services the composition root makes and hands down.
struct AppServices {
    platform::Shell& shell;
    platform::ImageCodec& images;
    platform::FontCatalog& fonts;
    platform::TextRenderer& text;
};

// The application object: what lives for the whole run besides the main window.
// It will own the table of attached signs.
class CGlimraApp {
public:
    static constexpr uint16_t kSignVendorId = 0x0483;
    static constexpr uint16_t kSignProductId = 0x5750;

    explicit CGlimraApp(AppServices services) : m_services(services) {}

    uint16_t vendorId() const { return m_vendorId; }
    uint16_t productId() const { return m_productId; }
    platform::Shell& shell() { return m_services.shell; }
    platform::ImageCodec& images() { return m_services.images; }
    platform::FontCatalog& fonts() { return m_services.fonts; }
    platform::TextRenderer& text() { return m_services.text; }

private:
    AppServices m_services;
    uint16_t m_vendorId = kSignVendorId;
    uint16_t m_productId = kSignProductId;
};
