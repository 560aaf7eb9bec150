#include "update/Download.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

namespace update {

namespace {

constexpr int64_t kSmallAnswer = 10240;

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string percentDecoded(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
            hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool isPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

bool isHttp(const std::string& url) {
    const auto lower = [](std::string s) {
        std::transform(s.begin(), s.end(), s.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return s;
    };
    const std::string head = lower(url.substr(0, 8));
    return head.rfind("http://", 0) == 0 || head.rfind("https://", 0) == 0;
}

// The partial download, under a name of its own; removed unless kept.
class PartFile {
public:
    ~PartFile() {
        if (m_fd >= 0) ::close(m_fd);
        if (!m_path.empty()) ::unlink(m_path.c_str());
    }
    bool create(const std::filesystem::path& destination, std::string& error) {
        std::string pattern = destination.string() + ".part-XXXXXX";
        m_fd = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (m_fd < 0) {
            error = destination.parent_path().string() + ": " + std::strerror(errno);
            return false;
        }
        m_path = pattern;
        return true;
    }
    bool created() const { return m_fd >= 0; }
    bool write(const uint8_t* data, size_t size, std::string& error) {
        while (size > 0) {
            const ssize_t n = ::write(m_fd, data, size);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                error = m_path + ": " + std::strerror(n < 0 ? errno : EIO);
                return false;
            }
            data += n;
            size -= static_cast<size_t>(n);
        }
        return true;
    }
    // Flushed, readable by the user as a download folder's file is, and renamed into place.
    bool keepAs(const std::filesystem::path& destination, std::string& error) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        if (::fchmod(m_fd, 0666 & ~mask) != 0 || ::fsync(m_fd) != 0 || ::close(m_fd) != 0) {
            m_fd = -1;
            error = m_path + ": " + std::strerror(errno);
            return false;
        }
        m_fd = -1;
        if (::rename(m_path.c_str(), destination.c_str()) != 0) {
            error = destination.string() + ": " + std::strerror(errno);
            return false;
        }
        m_path.clear();
        return true;
    }

private:
    int m_fd = -1;
    std::string m_path;
};

}  // namespace

bool localPath(const std::string& url, const std::filesystem::path& downloads,
               std::filesystem::path& out) {
    size_t separator = url.rfind('/');
    if (separator == std::string::npos) separator = url.rfind('\\');
    if (separator == std::string::npos) return false;
    const std::string name = url.substr(separator + 1);
    if (!isPlainName(name) || !isPlainName(percentDecoded(name))) return false;
    out = downloads / name;
    return true;
}

bool download(platform::Http& http, const std::string& url,
              const std::filesystem::path& destination, DownloadState& state, std::string* error) {
    const bool overHttp = isHttp(url);
    std::string why;
    PartFile part;
    bool firstChunk = true;
    const auto headers = [&](int status, std::optional<int64_t> length) {
        if (overHttp && status != 200) {
            why = "the server answered " + std::to_string(status);
            return false;
        }
        // A file's length is not taken: only a server announces one.
        if (overHttp && length && *length >= 0) state.totalSize = *length;
        return true;
    };
    const auto body = [&](const uint8_t* data, size_t size) {
        if (firstChunk) {
            firstChunk = false;
            if (overHttp && state.totalSize < kSmallAnswer) {
                // Read as text up to its first zero byte, as a zero-filled buffer would end it.
                const auto* text = reinterpret_cast<const char*>(data);
                const std::string chunk(text, ::strnlen(text, size));
                if (chunk.find("<title>404") != std::string::npos) {
                    why = "the server sent a \"not found\" page";
                    return false;
                }
            }
            if (!part.create(destination, why)) return false;
        }
        if (state.cancel) return false;
        state.downloaded += static_cast<int64_t>(size);
        return part.write(data, size, why);
    };
    std::string fetchError;
    const bool fetched = http.fetch(url, headers, body, &state.cancel, &fetchError);
    if (!fetched || state.cancel) {
        if (error) *error = state.cancel ? "cancelled" : !why.empty() ? why : fetchError;
        return false;
    }
    // An empty body still makes an (empty) file.
    if (!part.created() && !part.create(destination, why)) {
        if (error) *error = why;
        return false;
    }
    if (!part.keepAs(destination, why)) {
        if (error) *error = why;
        return false;
    }
    return true;
}

}  // namespace update
