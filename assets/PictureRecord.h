#pragma once

#include <cstdint>
#include <string>

// One picture of the picture library.
struct PictureRecord {
    int32_t nValueID = 0;    // shown as "IMG%.2d"; pictures added by the user get 50 … 99
    int32_t nDestWidth = 0;  // target size in sign pixels, 1 … 10000
    int32_t nDestHeight = 0;
    std::u16string imgPath;  // absolute
    int32_t bZoom = 0;       // 1: the whole picture scaled to the target; 0: its top-left part

    bool operator==(const PictureRecord&) const = default;
};
