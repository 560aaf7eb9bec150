#include "flashtool/image/ResourceBuilder.h"

#include "flashtool/image/InputFile.h"
#include "flashtool/image/PackageFile.h"
#include "flashtool/image/PackageFormat.h"
#include "flashtool/image/PrintTo.h"

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <system_error>
#include <vector>

namespace vornload {

namespace {

namespace fs = std::filesystem;

// Names of the entries of `folder` that pass `wanted`, sorted so the packages do not depend on
// the order the file system lists them in.
template <typename Wanted>
bool listNames(const std::string& folder, Wanted wanted, std::vector<std::string>& names) {
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) return false;
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec) return false;
        if (wanted(*it)) names.push_back(it->path().filename().string());
        if (names.size() > maxPackageEntries) return false;
    }
    if (ec) return false;
    std::sort(names.begin(), names.end());
    return true;
}

int buildOne(const std::string& folder, const std::string& sub, uint32_t alignment,
             const ImageSettings& settings, std::ostream& out) {
    const std::string subPath = joinPath(folder, sub);
    std::vector<std::string> files;
    auto isFile = [](const fs::directory_entry& e) {
        std::error_code ec;
        return e.is_regular_file(ec);
    };
    if (!listNames(subPath, isFile, files)) return imagecode::openFailed;

    std::vector<std::array<uint8_t, packageNameSize>> names(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        if (!encodeEntryName(files[i], names[i])) {
            out << files[i];
            return imagecode::nameTooLong;
        }
    }

    const std::string packagePath = subPath + ".res";
    PackageFile package;
    if (package.create(packagePath) != imagecode::ok) return imagecode::openFailed;
    const uint64_t areaSize = roundUp(packageEntrySize * (files.size() + 1), 512);
    if (const int rc = package.fillTo(areaSize); rc != imagecode::ok) return rc;

    std::vector<PackageEntry> entries;
    for (size_t i = 0; i < files.size(); ++i) {
        InputFile input;
        if (input.open(joinPath(subPath, files[i])) != imagecode::ok) return imagecode::openFailed;
        const uint64_t start = roundUp(package.length(), alignment);
        if (roundUp(start + input.size(), alignment) > maxPackageOffset) {
            printTo(out, "ERROR: %s would exceed 4 GiB\n", packagePath.c_str());
            return imagecode::badArgument;
        }
        uint16_t crc = 0;
        if (const int rc = package.fillTo(start); rc != imagecode::ok) return rc;
        if (const int rc = package.appendFile(input, crc); rc != imagecode::ok) return rc;
        PackageEntry entry;
        entry.crc = crc;
        entry.position = static_cast<uint32_t>(start);
        entry.length = static_cast<uint32_t>(input.size());
        entry.index = static_cast<uint32_t>(i);
        entry.name = names[i];
        entries.push_back(entry);
    }

    // With no files the package is its header area alone.
    const uint32_t packageSize = static_cast<uint32_t>(roundUp(package.length(), alignment));
    const std::vector<uint8_t> area =
        buildHeaderArea(areaSize, entries, entries.size(), packageSize, settings);
    if (const int rc = package.writeAt(0, area.data(), area.size()); rc != imagecode::ok) return rc;
    if (const int rc = package.fillTo(packageSize); rc != imagecode::ok) return rc;
    if (const int rc = package.close(); rc != imagecode::ok) return rc;
    printTo(out, "resource file[%s] size = %u\n", packagePath.c_str(), packageSize);
    return imagecode::ok;
}

}  // namespace

int buildResourcePackages(const std::string& folder, uint32_t alignment,
                          const ImageSettings& settings, std::ostream& out) {
    if (alignment == 0) {
        printTo(out, "ERROR: resource alignment must not be 0\n");
        return imagecode::badArgument;
    }
    // Real folders only: a link must not pull a package's contents from elsewhere.
    auto isFolder = [](const fs::directory_entry& e) {
        std::error_code ec;
        return e.is_directory(ec) && !e.is_symlink(ec);
    };
    std::vector<std::string> subfolders;
    if (!listNames(folder, isFolder, subfolders)) return imagecode::openFailed;
    for (const std::string& sub : subfolders) {
        if (const int rc = buildOne(folder, sub, alignment, settings, out); rc != imagecode::ok)
            return rc;
    }
    return imagecode::ok;
}

}  // namespace vornload
