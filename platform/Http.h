#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace platform {

// Fetches a URL, as the update check needs it: the status and length first,
// then the body in chunks of at most kHttpChunk bytes.
class Http {
public:
    static constexpr size_t kHttpChunk = 1024;

    // Told the status (200 …; 0 for a "file" URL) and the announced length, if
    // any, before the first chunk; false stops without reading the body.
    using HeadersSink = std::function<bool(int status, std::optional<int64_t> contentLength)>;
    // Told each chunk in order; false stops the transfer (as a cancel does).
    using BodySink = std::function<bool(const uint8_t* data, size_t size)>;

    virtual ~Http() = default;

    // True when the whole body went to `body` (whatever the status: the caller
    // decides about it in `headers`). `cancel` (may be null) is watched between
    // chunks. On failure `error` (may be null) gets a clear reason, e.g. "could not
    // connect to example.org: Connection refused" or "no data for 30 s".
    virtual bool fetch(const std::string& url, const HeadersSink& headers, const BodySink& body,
                       const std::atomic<bool>* cancel, std::string* error) = 0;
};

// True when a network interface other than loopback is up.
bool isNetworkAlive();

}  // namespace platform
