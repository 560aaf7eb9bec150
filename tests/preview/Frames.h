#pragma once

#include "preview/PreviewFrame.h"

#include <functional>
#include <string>

namespace testframes {

inline PreviewFrame frameOf(int width, int height, const std::function<bool(int x, int y)>& lit) {
    PreviewFrame f{width, height, std::vector<bool>(static_cast<size_t>(width) * height)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            f.lit[static_cast<size_t>(y) * width + x] = lit(x, y);
    return f;
}

// One line a row, '#' lit and '.' dark, for readable failures.
inline std::string picture(const PreviewFrame& f) {
    std::string s = "\n";
    for (int y = 0; y < f.height; ++y) {
        for (int x = 0; x < f.width; ++x)
            s += f.at(x, y) ? '#' : '.';
        s += '\n';
    }
    return s;
}

inline bool allDark(const PreviewFrame& f) {
    for (bool b : f.lit)
        if (b) return false;
    return true;
}

}  // namespace testframes
