#pragma once

#include <cstddef>
#include <vector>

// What the emulated sign shows at one moment: visible width × height LEDs,
// row by row, true for a lit LED.
struct PreviewFrame {
    int width = 0;
    int height = 0;
    std::vector<bool> lit;

    bool at(int x, int y) const { return lit[static_cast<size_t>(y) * width + x]; }
    bool operator==(const PreviewFrame&) const = default;
};
