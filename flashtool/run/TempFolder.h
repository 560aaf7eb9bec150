#pragma once

#include <functional>
#include <string>

namespace vornload {

// The folder for zImag.img, its .bak and .dump and user.app. Their names are fixed,
// so they must live where no other user can plant a link: $TMPDIR when set, else
// $XDG_RUNTIME_DIR, else /tmp/vornload-<uid> made with mode 0700 and checked to be
// this user's own real folder. The folder is kept, so the .bak of the last image
// written is there for the next run to compare with.
// `getenv` is the environment (std::getenv in the program). Empty with `error` set
// when no safe folder can be had.
std::string userTempFolder(const std::function<const char*(const char*)>& getenv,
                           std::string& error, const std::string& sharedTemp = "/tmp");

}  // namespace vornload
