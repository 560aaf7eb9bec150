#pragma once

#include "platform/Http.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>

namespace update {

// Shared by a download's worker and the window that shows it.
struct DownloadState {
    std::atomic<int64_t> totalSize{0};   // announced by the server; 0 while unknown
    std::atomic<int64_t> downloaded{0};  // received and written so far
    std::atomic<bool> cancel{false};
};

// The downloads folder + the URL's last segment (after its last "/", or its last
// "\" when it has none). False for a URL without either, and for a segment that
// could name anything but a plain file in that folder: empty, "." or "..", or
// one holding a separator or a NUL byte, also once its %-escapes are decoded.
bool localPath(const std::string& url, const std::filesystem::path& downloads,
               std::filesystem::path& out);

// Fetches `url` into `destination`: status 200 for "http"/"https", a first chunk
// of a small answer (under 10240 bytes) holding "<title>404" refused. The bytes
// go to a temporary file beside the destination, which replaces it only once
// the body is complete; a failed or cancelled download leaves nothing behind.
// True when the whole body was stored; else `error` (may be null) says why.
bool download(platform::Http& http, const std::string& url,
              const std::filesystem::path& destination, DownloadState& state,
              std::string* error = nullptr);

}  // namespace update
