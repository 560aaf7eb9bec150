#pragma once

#include <ostream>
#include <string_view>

// Prints a device image for a person: every header field, every record's
// fields, animation tables and temperature blocks, each page as rows of '#'
// (lit) and '.' (dark). A damaged image is printed as far as it is sound and
// its first problem named; false then.
bool explainDeviceImage(std::string_view bytes, std::ostream& out);

// The same for an animation set: its header, the offsets, and each block's
// frames as rows of '#' (lit) and '.' (dark).
bool explainAnimationSet(std::string_view bytes, std::ostream& out);
