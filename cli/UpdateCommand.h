#pragma once

#include "platform/TextLookup.h"

#include <string>
#include <vector>

// zentari-cli update-check [--url URL] [--download]: the check of Help > Update
// without a window. 0: this is the latest version, or the release file was
// stored; 2: a newer version was announced and not downloaded; 1: failed.
int updateCheckCommand(const std::vector<std::string>& args, const platform::TextLookup& english);
