#include "batch/FlashToolHandOver.h"

#include "batch/CClustersSend.h"
#include "platform/SafeSave.h"

#include <unistd.h>
#include <algorithm>
#include <cctype>
#include <fstream>
#include <vector>

namespace batch {

namespace {

// Reads a regular file whole, bounded as a firmware file is.
bool readWhole(const std::filesystem::path& file, std::string& bytes, std::string& error) {
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(file, ec);
    if (ec || size > CClustersSend::kMaxFirmwareBytes) {
        error = file.string() + (ec ? ": " + ec.message() : std::string(": too large"));
        return false;
    }
    bytes.assign(static_cast<size_t>(size), '\0');
    std::ifstream in(file, std::ios::binary);
    if (!in.read(bytes.data(), static_cast<std::streamsize>(size))) {
        error = file.string() + ": cannot be read";
        return false;
    }
    return true;
}

bool copyWhole(const std::filesystem::path& from, const std::filesystem::path& to,
               std::string& error) {
    std::string bytes;
    if (!readWhole(from, bytes, error)) return false;
    std::string why;
    if (platform::saveFileSafely(to, bytes, &why)) return true;
    error = to.string() + ": " + why;
    return false;
}

}  // namespace

bool isFlashToolFirmware(const std::string& path) {
    const size_t separator = path.find_last_of("\\/");
    const std::string name = separator == std::string::npos ? path : path.substr(separator + 1);
    const std::string wanted = kFlashToolFirmwareName;
    return name.size() == wanted.size() &&
           std::equal(name.begin(), name.end(), wanted.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

HandOver prepareFlashToolFolder(const std::filesystem::path& firmware,
                                const std::filesystem::path& programFolder,
                                const std::filesystem::path& dataFolder) {
    HandOver result;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(firmware, ec)) return result;
    if (!isFlashToolFirmware(firmware.string())) {
        result.outcome = HandOver::invalidName;
        return result;
    }
    result.chipFolder = dataFolder / kChipFolderName;
    std::filesystem::create_directories(result.chipFolder, ec);
    if (ec) {
        result.outcome = HandOver::failed;
        result.error = result.chipFolder.string() + ": " + ec.message();
        return result;
    }

    // In name order, so that what happens is the same on every run.
    std::vector<std::filesystem::path> files;
    for (std::filesystem::directory_iterator it(programFolder / kChipFolderName, ec), end;
         !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (it->is_regular_file(typeError)) files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        result.outcome = HandOver::nothingToCopy;
        return result;
    }
    for (const std::filesystem::path& file : files) {
        if (!copyWhole(file, result.chipFolder / file.filename(), result.error)) {
            result.outcome = HandOver::failed;
            return result;
        }
    }
    if (!copyWhole(firmware, result.chipFolder / kFirmwareCopyName, result.error)) {
        result.outcome = HandOver::failed;
        return result;
    }
    result.outcome = HandOver::prepared;
    return result;
}

std::vector<std::string> flashToolEnvironment(const std::filesystem::path& programFolder) {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    for (const std::filesystem::path& folder : {self.parent_path(), programFolder}) {
        if (folder.empty()) continue;
        const std::filesystem::path vornload = folder / "vornload";
        if (::access(vornload.c_str(), X_OK) == 0 && std::filesystem::is_regular_file(vornload, ec))
            return {"VORNLOAD=" + vornload.string()};
    }
    return {};
}

}  // namespace batch
