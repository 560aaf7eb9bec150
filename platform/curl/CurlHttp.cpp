#include "platform/curl/CurlHttp.h"

#include <curl/curl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string_view>

#ifndef ZENTARI_VERSION
#error "ZENTARI_VERSION must name the program's version"
#endif

namespace platform {
namespace {

constexpr long kMaxRedirects = 5;

#ifdef CURL_WRITEFUNC_ERROR
constexpr size_t kWriteError = CURL_WRITEFUNC_ERROR;
#else
constexpr size_t kWriteError = static_cast<size_t>(-1);
#endif

// curl_global_init is not safe to race with itself or with other threads' handles.
CURLcode initCurl() {
    static std::once_flag once;
    static CURLcode result = CURLE_OK;
    std::call_once(once, [] { result = curl_global_init(CURL_GLOBAL_DEFAULT); });
    return result;
}

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct CurlFree {
    void operator()(char* text) const { curl_free(text); }
};

std::string urlPart(CURLU* url, CURLUPart part, unsigned flags = 0) {
    char* raw = nullptr;
    if (curl_url_get(url, part, &raw, flags) != CURLUE_OK || raw == nullptr) return {};
    std::unique_ptr<char, CurlFree> owned(raw);
    return owned.get();
}

std::string lowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

struct Transfer {
    enum class Stop { None, Cancelled, Stopped, Stalled, Threw };
    using Clock = std::chrono::steady_clock;

    CURL* easy = nullptr;
    bool isFile = false;
    const Http::HeadersSink* headers = nullptr;
    const Http::BodySink* body = nullptr;
    const std::atomic<bool>* cancel = nullptr;
    bool headersTold = false;
    Stop stop = Stop::None;
    std::exception_ptr thrown;
    // When a byte last came; the library's own low-speed check averages over several
    // seconds and so ends a stalled transfer only seconds after the stall time.
    std::chrono::seconds stallTime{30};
    Clock::time_point lastActivity = Clock::now();
    curl_off_t downloaded = 0;
    uint64_t bodyBytes = 0;

    bool cancelled() const { return cancel != nullptr && cancel->load(); }

    // The status and length of the answer the body belongs to: libcurl hands over no
    // body of a redirect it follows, so this is the last answer of the chain.
    bool tellHeaders() {
        headersTold = true;
        long status = 0;
        if (!isFile && curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK)
            status = 0;
        curl_off_t length = -1;
        if (curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK)
            length = -1;
        std::optional<int64_t> announced;
        if (length >= 0) announced = static_cast<int64_t>(length);
        // A status has three digits; anything else from the library is not a status.
        const int code = status >= 0 && status <= 999 ? static_cast<int>(status) : 0;
        try {
            if ((*headers)(code, announced)) return true;
            stop = Stop::Stopped;
        } catch (...) {
            thrown = std::current_exception();
            stop = Stop::Threw;
        }
        return false;
    }

    bool deliver(const uint8_t* data, size_t size) {
        try {
            if ((*body)(data, size)) return true;
            stop = Stop::Cancelled;
        } catch (...) {
            thrown = std::current_exception();
            stop = Stop::Threw;
        }
        return false;
    }
};

size_t onHeader(char*, size_t size, size_t count, void* user) {
    static_cast<Transfer*>(user)->lastActivity = Transfer::Clock::now();
    return size * count;
}

size_t onWrite(char* data, size_t size, size_t count, void* user) {
    auto& transfer = *static_cast<Transfer*>(user);
    const size_t total = size * count;
    transfer.lastActivity = Transfer::Clock::now();
    transfer.bodyBytes += total;
    if (!transfer.headersTold && !transfer.tellHeaders()) return kWriteError;
    const auto* bytes = reinterpret_cast<const uint8_t*>(data);
    for (size_t offset = 0; offset < total; offset += Http::kHttpChunk) {
        if (transfer.cancelled()) {
            transfer.stop = Transfer::Stop::Cancelled;
            return kWriteError;
        }
        const size_t piece = std::min(Http::kHttpChunk, total - offset);
        if (!transfer.deliver(bytes + offset, piece)) return kWriteError;
    }
    return total;
}

// Called often during a transfer and about once a second while it waits for data, so
// a cancel also ends a transfer the server keeps waiting.
int onProgress(void* user, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t) {
    auto& transfer = *static_cast<Transfer*>(user);
    if (transfer.stop != Transfer::Stop::None) return 1;
    if (transfer.cancelled()) {
        transfer.stop = Transfer::Stop::Cancelled;
        return 1;
    }
    const auto now = Transfer::Clock::now();
    if (downloaded != transfer.downloaded) {
        transfer.downloaded = downloaded;
        transfer.lastActivity = now;
    } else if (now - transfer.lastActivity >= transfer.stallTime) {
        transfer.stop = Transfer::Stop::Stalled;
        return 1;
    }
    return 0;
}

// strerror_r comes in two kinds: the POSIX one fills the buffer, the GNU one may
// return a static text instead.
[[maybe_unused]] std::string strerrorText(int result, const char* buffer) {
    return result == 0 ? std::string(buffer) : std::string();
}
[[maybe_unused]] std::string strerrorText(const char* text, const char*) {
    return text != nullptr ? std::string(text) : std::string();
}

std::string osErrorText(CURL* easy) {
    long osError = 0;
    if (curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &osError) != CURLE_OK || osError == 0) return {};
    char buffer[256] = {};
    return strerrorText(strerror_r(static_cast<int>(osError), buffer, sizeof buffer), buffer);
}

std::string stallText(const std::string& where, const CurlTimeouts& timeouts) {
    return "no data from the server " + where + " for " + std::to_string(timeouts.stall.count()) +
           " s";
}

std::string describeFailure(CURLcode code, CURL* easy, const char* errorBuffer,
                            const std::string& where, bool isFile, const CurlTimeouts& timeouts) {
    const std::string detail = errorBuffer[0] != '\0' ? errorBuffer : curl_easy_strerror(code);
    switch (code) {
        case CURLE_COULDNT_RESOLVE_HOST:
            return "could not find the server " + where + ": " + detail;
        case CURLE_COULDNT_RESOLVE_PROXY:
            return "could not find the proxy for " + where + ": " + detail;
        case CURLE_COULDNT_CONNECT: {
            const std::string reason = osErrorText(easy);
            return "could not connect to " + where + ": " + (reason.empty() ? detail : reason);
        }
        case CURLE_OPERATION_TIMEDOUT: {
            // The stall check's own words, else whether a connection ever stood.
            const bool stalled = detail.rfind("Operation too slow", 0) == 0;
            curl_off_t connected = 0;
            if (curl_easy_getinfo(easy, CURLINFO_CONNECT_TIME_T, &connected) != CURLE_OK)
                connected = 0;
            if (!stalled && connected == 0)
                return "could not connect to " + where + ": no answer within " +
                       std::to_string(timeouts.connect.count()) + " s";
            return stallText(where, timeouts);
        }
        case CURLE_ABORTED_BY_CALLBACK:
            return "cancelled";
        case CURLE_TOO_MANY_REDIRECTS:
            return "too many redirects from " + where + " (at most " +
                   std::to_string(kMaxRedirects) + " are followed)";
        case CURLE_UNSUPPORTED_PROTOCOL:
            return where + " redirected to an address that is refused: " + detail;
        case CURLE_FILE_COULDNT_READ_FILE: {
            // The library does not keep the reason; the system tells it again.
            std::string reason = detail;
            if (::access(where.c_str(), R_OK) != 0) {
                char buffer[256] = {};
                reason = strerrorText(strerror_r(errno, buffer, sizeof buffer), buffer);
            }
            return "could not open the file " + where + ": " + reason;
        }
        case CURLE_READ_ERROR:
            return "could not read the file " + where + ": " + detail;
        case CURLE_PARTIAL_FILE:
            return "the answer from " + where + " ended early: " + detail;
        case CURLE_GOT_NOTHING:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
            return "the connection to " + where + " broke: " + detail;
        case CURLE_WEIRD_SERVER_REPLY:
            return where + " did not answer in HTTP: " + detail;
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
            return "no secure connection to " + where + ": " + detail;
        default:
            return (isFile ? "reading the file " : "fetching from ") + where + " failed: " + detail;
    }
}

bool fail(std::string* error, std::string text) {
    if (error != nullptr) *error = std::move(text);
    return false;
}

}  // namespace

CurlHttp::CurlHttp() : CurlHttp(CurlTimeouts{}) {}

CurlHttp::CurlHttp(const CurlTimeouts& timeouts) : m_timeouts(timeouts) {
    // libcurl takes 0 as "no limit" for both; a limit is what the caller asked for.
    m_timeouts.connect = std::max(m_timeouts.connect, std::chrono::seconds(1));
    m_timeouts.stall = std::max(m_timeouts.stall, std::chrono::seconds(1));
}

std::string CurlHttp::userAgent() {
    return std::string("Zentari/") + ZENTARI_VERSION;
}

bool CurlHttp::fetch(const std::string& url, const HeadersSink& headers, const BodySink& body,
                     const std::atomic<bool>* cancel, std::string* error) {
    if (!headers || !body) return fail(error, "fetch needs a receiver for headers and body");
    if (initCurl() != CURLE_OK) return fail(error, "the network library could not start");

    // The scheme is checked here, before anything connects; the library's own
    // protocol list below is the second guard and also covers redirects.
    if (url.find('\0') != std::string::npos) return fail(error, "not a valid URL");
    std::unique_ptr<CURLU, UrlDeleter> parsed(curl_url());
    if (!parsed) return fail(error, "out of memory");
    if (curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), CURLU_NON_SUPPORT_SCHEME) !=
        CURLUE_OK)
        return fail(error, "not a valid URL: " + url);
    const std::string scheme = lowerAscii(urlPart(parsed.get(), CURLUPART_SCHEME));
    const bool isFile = scheme == "file";
    if (scheme != "http" && scheme != "https" && !isFile)
        return fail(error, "the URL scheme \"" + scheme +
                               "\" is not supported (only http, https and file): " + url);
    std::string where;
    if (isFile) {
        where = urlPart(parsed.get(), CURLUPART_PATH, CURLU_URLDECODE);
    } else {
        where = urlPart(parsed.get(), CURLUPART_HOST);
        const std::string port = urlPart(parsed.get(), CURLUPART_PORT);
        if (!port.empty()) where += ":" + port;
    }

    // The library would read a folder as an empty file.
    std::error_code ec;
    if (isFile && std::filesystem::is_directory(where, ec))
        return fail(error, "could not read the file " + where + ": it is a folder");
    if (cancel != nullptr && cancel->load()) return fail(error, "cancelled");

    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    if (!easy) return fail(error, "the network library could not start a transfer");
    // A fresh load: no cache on the way may answer for the server.
    curl_slist* lines = nullptr;
    for (const char* line : {"Cache-Control: no-cache", "Pragma: no-cache"}) {
        curl_slist* grown = curl_slist_append(lines, line);
        if (grown == nullptr) {
            curl_slist_free_all(lines);
            return fail(error, "out of memory");
        }
        lines = grown;
    }
    const std::unique_ptr<curl_slist, ListDeleter> requestHeaders(lines);

    Transfer transfer;
    transfer.easy = easy.get();
    transfer.isFile = isFile;
    transfer.headers = &headers;
    transfer.body = &body;
    transfer.cancel = cancel;
    transfer.stallTime = m_timeouts.stall;

    char errorBuffer[CURL_ERROR_SIZE] = {};
    const std::string agent = userAgent();
    curl_write_callback writer = onWrite;
    curl_write_callback headerReader = onHeader;
    curl_xferinfo_callback progress = onProgress;
    CURL* h = easy.get();
    const CURLcode setup[] = {
        curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer),
        // Worker threads: no alarm signals for name look-ups.
        curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L),
#if LIBCURL_VERSION_NUM >= 0x075500
        curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https,file"),
        curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https"),
#else
        curl_easy_setopt(h, CURLOPT_PROTOCOLS,
                         static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS | CURLPROTO_FILE)),
        curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS,
                         static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS)),
#endif
        curl_easy_setopt(h, CURLOPT_CURLU, parsed.get()),
        curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L),
        curl_easy_setopt(h, CURLOPT_MAXREDIRS, kMaxRedirects),
        curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS,
                         static_cast<long>(m_timeouts.connect.count() * 1000)),
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L),
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, static_cast<long>(m_timeouts.stall.count())),
        curl_easy_setopt(h, CURLOPT_USERAGENT, agent.c_str()),
        curl_easy_setopt(h, CURLOPT_HTTPHEADER, requestHeaders.get()),
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, writer),
        curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer),
        curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, headerReader),
        curl_easy_setopt(h, CURLOPT_HEADERDATA, &transfer),
        curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L),
        curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, progress),
        curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer),
    };
    for (CURLcode code : setup)
        if (code != CURLE_OK)
            return fail(error,
                        std::string("could not set up the transfer: ") + curl_easy_strerror(code));

    const CURLcode result = curl_easy_perform(h);

    switch (transfer.stop) {
        case Transfer::Stop::Threw:
            std::rethrow_exception(transfer.thrown);
        case Transfer::Stop::Cancelled:
            return fail(error, "cancelled");
        case Transfer::Stop::Stopped:
            return fail(error, "stopped");
        case Transfer::Stop::Stalled:
            return fail(error, stallText(where, m_timeouts));
        case Transfer::Stop::None:
            break;
    }
    if (result != CURLE_OK)
        return fail(error, describeFailure(result, h, errorBuffer, where, isFile, m_timeouts));
    if (isFile) {
        // The library takes a failed read for the end of the file: compare with the
        // size the file had when it was opened.
        curl_off_t size = -1;
        if (curl_easy_getinfo(h, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &size) != CURLE_OK) size = -1;
        if (size > 0 && transfer.bodyBytes != static_cast<uint64_t>(size))
            return fail(error, "could not read the file " + where + " whole (" +
                                   std::to_string(transfer.bodyBytes) + " of " +
                                   std::to_string(size) + " bytes)");
    }
    // An empty body had no chunk to announce it.
    if (!transfer.headersTold && !transfer.tellHeaders()) {
        if (transfer.stop == Transfer::Stop::Threw) std::rethrow_exception(transfer.thrown);
        return fail(error, "stopped");
    }
    return true;
}

}  // namespace platform
