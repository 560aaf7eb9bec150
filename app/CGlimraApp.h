#pragma once

#include <cstdint>

// The application object: what lives for the whole run besides the main window.
// It will own the table of attached signs.
class CGlimraApp {
public:
    static constexpr uint16_t kSignVendorId = 0x0483;
    static constexpr uint16_t kSignProductId = 0x5750;

    uint16_t vendorId() const { return m_vendorId; }
    uint16_t productId() const { return m_productId; }

private:
    uint16_t m_vendorId = kSignVendorId;
    uint16_t m_productId = kSignProductId;
};
