#pragma once

#include <string>
#include <vector>

namespace platform {

// The installed scalable font families, as the font list offers them.
class FontCatalog {
public:
    virtual ~FontCatalog() = default;
    // Family names in the system's order, without vertical-writing ("@") families.
    virtual std::vector<std::u16string> families() const = 0;
};

}  // namespace platform
