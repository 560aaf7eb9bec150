#pragma once

#include "platform/FontCatalog.h"

namespace platform {

// The scalable families that fontconfig knows (the fonts Qt draws with).
class QtFontCatalog : public FontCatalog {
public:
    std::vector<std::u16string> families() const override;
};

}  // namespace platform
