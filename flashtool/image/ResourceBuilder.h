#pragma once

#include "flashtool/image/ImageSettings.h"

#include <cstdint>
#include <iosfwd>
#include <string>

namespace vornload {

// Builds one package "<subfolder>.res" beside every subfolder of `folder` from the files
// directly in it (subfolders and files in name order), printing
// "resource file[%s] size = %d\n" for each. Returns 0, 6 (folder or file unreadable, package
// not creatable), 11 (name longer than 16, printed first), 1 (bad alignment, too large),
// 8/9 (write/read failure); it stops at the first failure.
int buildResourcePackages(const std::string& folder, uint32_t alignment,
                          const ImageSettings& settings, std::ostream& out);

}  // namespace vornload
