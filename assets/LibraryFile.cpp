#include "assets/LibraryFile.h"

#include "platform/SafeSave.h"

#include <system_error>

namespace LibraryFile {

namespace {

bool hasRoot(CXmlDocument& doc, std::u16string_view root) {
    doc.ResetPosition();
    const bool found = doc.FindElement(root);
    doc.ResetPosition();
    return found;
}

}  // namespace

std::filesystem::path in(const std::filesystem::path& dataFolder, std::u16string_view name) {
    return (dataFolder.empty() ? std::filesystem::path(".") : dataFolder) /
           std::filesystem::path(std::u16string(name));
}

Check check(const std::filesystem::path& file, const std::filesystem::path& defaults,
            std::u16string_view root, CXmlDocument& seed, const std::string& what,
            std::string* error) {
    CXmlDocument doc;
    if (doc.LoadFile(file) && hasRoot(doc, root)) return Check::holds;
    std::error_code ec;
    // What the user had is kept before the default takes its place.
    if (std::filesystem::exists(file, ec) && !platform::keepDamagedCopy(file, error))
        return Check::failed;
    if (!seed.LoadFile(defaults) || !hasRoot(seed, root)) {
        if (error) *error = "the default " + what + " " + defaults.string() + " cannot be read";
        return Check::failed;
    }
    return Check::seed;
}

}  // namespace LibraryFile
