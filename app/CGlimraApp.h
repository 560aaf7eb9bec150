#pragma once

#include "device/DeviceTable.h"
#include "device/LinkProtocol.h"
#include "platform/Clock.h"
#include "platform/FontCatalog.h"
#include "platform/HidBackend.h"
#include "platform/Http.h"
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
    platform::HidBackend& hid;  // real signs, or simulated ones
    platform::Clock& clock;
    platform::Http* http = nullptr;  // the update check's; none: every check fails
};

// The application object: what lives for the whole run besides the main window,
// among it the table of attached signs.
class CGlimraApp {
public:
    explicit CGlimraApp(AppServices services) : m_services(services), m_devices(services.hid) {}

    platform::Shell& shell() { return m_services.shell; }
    platform::ImageCodec& images() { return m_services.images; }
    platform::FontCatalog& fonts() { return m_services.fonts; }
    platform::TextRenderer& text() { return m_services.text; }
    platform::Clock& clock() { return m_services.clock; }
    platform::Http* http() { return m_services.http; }
    DeviceTable& devices() { return m_devices; }

private:
    AppServices m_services;
    DeviceTable m_devices;
};
