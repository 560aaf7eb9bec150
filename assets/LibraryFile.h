#pragma once

#include "xml/CXmlDocument.h"

#include <filesystem>
#include <string>
#include <string_view>

// What the user's library files (animations, toolbar) share: they are seeded
// from a shipped default when they cannot be used.
namespace LibraryFile {

// The file of that name in the data folder; "." when there is none.
std::filesystem::path in(const std::filesystem::path& dataFolder, std::u16string_view name);

enum class Check {
    holds,   // the file loads and has the root: use it
    seed,    // the default is in `seed`; write it in the file's place
    failed,  // neither can be had; `error` says why
};

// Looks at `file`; when it cannot be used, keeps it as "NAME.damaged" (if there is
// one) and loads `defaults` into `seed`. `what` names the default in the error.
Check check(const std::filesystem::path& file, const std::filesystem::path& defaults,
            std::u16string_view root, CXmlDocument& seed, const std::string& what,
            std::string* error);

}  // namespace LibraryFile
