#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The emulated sign in the main window's preview view.
class PreviewView {
public:
    virtual ~PreviewView() = default;

    // Stops whatever plays and plays `image` with `animationSet` from the start,
    // the temperature reading at `temperature` degrees Celsius. `names` are the
    // image's programs in table order, for the caption. An image shorter than
    // its header shows an unlit sign of 48 × 12.
    virtual void restartPreview(std::vector<uint8_t> image, std::vector<uint8_t> animationSet,
                                int temperature, std::vector<std::u16string> names) = 0;
};
