#pragma once

#include "platform/ImageCodec.h"

#include <cstdint>
#include <string>
#include <vector>

// zentari-cli play: the emulated sign on virtual time, so S seconds of playing
// take no time at all.
struct PlayOptions {
    int milliseconds = 10000;
    int temperature = 16;
    uint32_t seed = 1;
    bool dump = false;        // every commit of the player
    bool dumpFrames = false;  // every frame the display shows that differs from the one before
    std::string gif;          // the frames as the preview window shows them
    std::string png;          // the last frame
};

// Exit status: 0, or 1 when a file could not be written, 7 when there is nothing to play.
int runPlay(std::vector<uint8_t> image, std::vector<uint8_t> animationSet,
            const std::vector<std::u16string>& programNames, const PlayOptions& options,
            platform::ImageCodec& codec);
