#pragma once

#include "platform/Http.h"

#include <atomic>
#include <chrono>
#include <optional>
#include <string>

namespace platform {

// How long a transfer may wait before it counts as failed.
struct CurlTimeouts {
    // Until the connection to the server stands.
    std::chrono::seconds connect{15};
    // A transfer that gets no byte for this long fails; a slow but steady one goes on.
    std::chrono::seconds stall{30};
};

// platform::Http through libcurl: "http", "https" (certificates checked against the
// system's store) and "file" URLs, the proxy from the environment, a fresh load every
// time, at most 5 redirects. Every fetch has its own handle, so several threads may
// fetch through one object at once.
class CurlHttp : public Http {
public:
    CurlHttp();
    explicit CurlHttp(const CurlTimeouts& timeouts);

    bool fetch(const std::string& url, const HeadersSink& headers, const BodySink& body,
               const std::atomic<bool>* cancel, std::string* error) override;

    // "Zentari/<version>", sent with every request.
    static std::string userAgent();

private:
    CurlTimeouts m_timeouts;
};

}  // namespace platform
