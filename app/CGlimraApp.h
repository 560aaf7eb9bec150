#pragma once

#include "platform/Shell.h"

#include <cstdint>

// The application object: what lives for the whole run besides the main window,
// with the system services the composition root hands down. It will own the
// table of attached signs.
class CGlimraApp {
public:
    static constexpr uint16_t kSignVendorId = 0x0483;
    static constexpr uint16_t kSignProductId = 0x5750;

    explicit CGlimraApp(platform::Shell& shell) : m_shell(shell) {}

    uint16_t vendorId() const { return m_vendorId; }
    uint16_t productId() const { return m_productId; }
    platform::Shell& shell() { return m_shell; }

private:
    platform::Shell& m_shell;
    uint16_t m_vendorId = kSignVendorId;
    uint16_t m_productId = kSignProductId;
};
