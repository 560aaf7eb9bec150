#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace testing_support {

// What the server does with a request for one path.
struct HttpRoute {
    enum class Behaviour {
        Answer,       // the whole answer at once
        NeverAnswer,  // reads the request, then says nothing until the server stops
        StallAfter,   // the head and the first `bodyBytesFirst` bytes of the body, then nothing
        CloseAfter,   // the head and the first `bodyBytesFirst` bytes of the body, then closes
        Slowly,       // the head, then the body in pieces of `slowPiece` bytes, `slowDelay` apart
    };

    int status = 200;
    std::string body;
    // Extra head lines without the line end, e.g. "Location: /other".
    std::vector<std::string> headers;
    bool contentLength = true;
    Behaviour behaviour = Behaviour::Answer;
    size_t bodyBytesFirst = 0;
    size_t slowPiece = 1;
    std::chrono::milliseconds slowDelay{100};
};

// One request as the server read it.
struct RecordedRequest {
    std::string method;
    std::string path;
    std::string version;
    std::vector<std::string> headerLines;  // "Name: value", in the order sent

    // The value of the first header of this name (any letter case), blanks trimmed.
    std::optional<std::string> header(std::string_view name) const {
        for (const std::string& line : headerLines) {
            const size_t colon = line.find(':');
            if (colon == std::string::npos || colon != name.size()) continue;
            bool same = true;
            for (size_t i = 0; i < colon && same; ++i)
                same = lower(line[i]) == lower(name[i]);
            if (!same) continue;
            size_t begin = colon + 1;
            size_t end = line.size();
            while (begin < end && (line[begin] == ' ' || line[begin] == '\t'))
                ++begin;
            while (end > begin && (line[end - 1] == ' ' || line[end - 1] == '\t'))
                --end;
            return line.substr(begin, end - begin);
        }
        return std::nullopt;
    }

private:
    static char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
};

// A small HTTP/1.1 server on 127.0.0.1 at a port the system picks, for tests. Routes
// are set before start(); every connection gets its own thread and is closed after one
// answer. Everything that waits also watches a stop pipe, so the destructor never hangs
// on a client, a stalled answer or a slow one.
class LoopbackHttpServer {
public:
    LoopbackHttpServer() {
        int pipeEnds[2];
        if (::pipe2(pipeEnds, O_CLOEXEC) != 0) fail("pipe2");
        m_stopRead = pipeEnds[0];
        m_stopWrite = pipeEnds[1];
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (m_listen < 0) fail("socket");
        const int yes = 1;
        ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        if (::bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            fail("bind");
        if (::listen(m_listen, 64) != 0) fail("listen");
        socklen_t length = sizeof address;
        if (::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            fail("getsockname");
        m_port = ntohs(address.sin_port);
    }

    ~LoopbackHttpServer() {
        const char byte = 1;
        // The pipe is never read, so one byte wakes every wait for good.
        while (::write(m_stopWrite, &byte, 1) < 0 && errno == EINTR) {
        }
        if (m_acceptor.joinable()) m_acceptor.join();
        std::vector<std::thread> connections;
        {
            std::lock_guard lock(m_mutex);
            connections.swap(m_connections);
        }
        for (std::thread& connection : connections)
            connection.join();
        closeQuietly(m_listen);
        closeQuietly(m_stopRead);
        closeQuietly(m_stopWrite);
    }

    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    // The answer for requests of exactly this target; anything else gets a 404.
    void route(const std::string& path, HttpRoute answer) {
        std::lock_guard lock(m_mutex);
        if (m_started) throw std::logic_error("routes go in before start()");
        m_routes[path] = std::move(answer);
    }

    void start() {
        std::lock_guard lock(m_mutex);
        if (m_started) return;
        m_started = true;
        m_acceptor = std::thread([this] { acceptLoop(); });
    }

    uint16_t port() const { return m_port; }
    std::string url(std::string_view path) const {
        return "http://127.0.0.1:" + std::to_string(m_port) + std::string(path);
    }

    std::vector<RecordedRequest> requests() const {
        std::lock_guard lock(m_mutex);
        return m_requests;
    }

    // Waits until at least `count` requests were read, at most `timeout`.
    bool waitForRequests(size_t count, std::chrono::milliseconds timeout) const {
        std::unique_lock lock(m_mutex);
        return m_arrived.wait_for(lock, timeout, [&] { return m_requests.size() >= count; });
    }

    // Connections taken from the listening socket so far.
    size_t connectionsAccepted() const { return m_accepted.load(); }

private:
    enum class Wait { Ready, Stopped, TimedOut };

    [[noreturn]] static void fail(const char* what) {
        throw std::runtime_error(std::string("loopback server: ") + what + ": " +
                                 std::strerror(errno));
    }

    static void closeQuietly(int fd) {
        if (fd >= 0) ::close(fd);
    }

    // Waits for `events` on `fd` (none when fd < 0: a sleep the stop cuts short).
    Wait waitFor(int fd, short events, int timeoutMs) const {
        pollfd fds[2] = {{m_stopRead, POLLIN, 0}, {fd, events, 0}};
        for (;;) {
            const int ready = ::poll(fds, 2, timeoutMs);
            if (ready < 0 && errno == EINTR) continue;
            if (ready < 0) return Wait::Stopped;
            if (fds[0].revents != 0) return Wait::Stopped;
            if (ready == 0) return Wait::TimedOut;
            return Wait::Ready;
        }
    }

    void acceptLoop() {
        while (waitFor(m_listen, POLLIN, -1) == Wait::Ready) {
            const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) continue;
            m_accepted.fetch_add(1);
            std::lock_guard lock(m_mutex);
            m_connections.emplace_back([this, fd] {
                serve(fd);
                ::close(fd);
            });
        }
    }

    bool sendAll(int fd, std::string_view bytes) const {
        while (!bytes.empty()) {
            if (waitFor(fd, POLLOUT, -1) != Wait::Ready) return false;
            const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (sent < 0 && (errno == EAGAIN || errno == EINTR)) continue;
            if (sent <= 0) return false;
            bytes.remove_prefix(static_cast<size_t>(sent));
        }
        return true;
    }

    // Until the client closes or the server stops (or the time is up, when given).
    void waitForClose(int fd, int timeoutMs) const {
        char sink[4096];
        while (waitFor(fd, POLLIN, timeoutMs) == Wait::Ready) {
            const ssize_t got = ::recv(fd, sink, sizeof sink, 0);
            if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
            if (got <= 0) return;
        }
    }

    static std::optional<RecordedRequest> parse(const std::string& head) {
        RecordedRequest request;
        size_t lineStart = 0;
        bool first = true;
        while (lineStart < head.size()) {
            size_t lineEnd = head.find("\r\n", lineStart);
            if (lineEnd == std::string::npos) lineEnd = head.size();
            const std::string line = head.substr(lineStart, lineEnd - lineStart);
            lineStart = lineEnd + 2;
            if (first) {
                first = false;
                const size_t space1 = line.find(' ');
                const size_t space2 = line.find(' ', space1 == std::string::npos ? 0 : space1 + 1);
                if (space1 == std::string::npos || space2 == std::string::npos) return std::nullopt;
                request.method = line.substr(0, space1);
                request.path = line.substr(space1 + 1, space2 - space1 - 1);
                request.version = line.substr(space2 + 1);
            } else if (!line.empty()) {
                request.headerLines.push_back(line);
            }
        }
        return request;
    }

    static const char* reason(int status) {
        switch (status) {
            case 200:
                return "OK";
            case 301:
                return "Moved Permanently";
            case 302:
                return "Found";
            case 304:
                return "Not Modified";
            case 307:
                return "Temporary Redirect";
            case 404:
                return "Not Found";
            case 500:
                return "Internal Server Error";
            default:
                return "Status";
        }
    }

    void serve(int fd) {
        constexpr size_t kMaxHead = 64 * 1024;
        std::string head;
        char buffer[4096];
        size_t end = std::string::npos;
        while ((end = head.find("\r\n\r\n")) == std::string::npos) {
            if (head.size() > kMaxHead || waitFor(fd, POLLIN, -1) != Wait::Ready) return;
            const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
            if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
            if (got <= 0) return;
            head.append(buffer, static_cast<size_t>(got));
        }
        std::optional<RecordedRequest> request = parse(head.substr(0, end));
        if (!request) return;

        HttpRoute answer;
        {
            std::lock_guard lock(m_mutex);
            const auto found = m_routes.find(request->path);
            if (found != m_routes.end()) {
                answer = found->second;
            } else {
                answer.status = 404;
                answer.body = "<html><head><title>404 Not Found</title></head></html>";
            }
            m_requests.push_back(std::move(*request));
        }
        m_arrived.notify_all();

        using B = HttpRoute::Behaviour;
        if (answer.behaviour == B::NeverAnswer) {
            waitForClose(fd, -1);
            return;
        }
        std::string reply =
            "HTTP/1.1 " + std::to_string(answer.status) + " " + reason(answer.status) + "\r\n";
        for (const std::string& line : answer.headers)
            reply += line + "\r\n";
        if (answer.contentLength)
            reply += "Content-Length: " + std::to_string(answer.body.size()) + "\r\n";
        reply += "Connection: close\r\n\r\n";

        const std::string_view body = answer.body;
        switch (answer.behaviour) {
            case B::NeverAnswer:
            case B::Answer:
                if (!sendAll(fd, reply + answer.body)) return;
                break;
            case B::StallAfter:
                if (sendAll(fd, reply + std::string(body.substr(0, answer.bodyBytesFirst))))
                    waitForClose(fd, -1);
                return;
            case B::CloseAfter:
                sendAll(fd, reply + std::string(body.substr(0, answer.bodyBytesFirst)));
                return;
            case B::Slowly: {
                if (!sendAll(fd, reply)) return;
                const size_t piece = answer.slowPiece == 0 ? 1 : answer.slowPiece;
                for (size_t offset = 0; offset < body.size(); offset += piece) {
                    if (offset > 0 &&
                        waitFor(-1, 0, static_cast<int>(answer.slowDelay.count())) == Wait::Stopped)
                        return;
                    if (!sendAll(fd, body.substr(offset, piece))) return;
                }
                break;
            }
        }
        // Closing at once with unread bytes from the client could reset the connection
        // before the client read the answer; let it close first.
        ::shutdown(fd, SHUT_WR);
        waitForClose(fd, 2000);
    }

    int m_listen = -1;
    int m_stopRead = -1;
    int m_stopWrite = -1;
    uint16_t m_port = 0;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_arrived;
    bool m_started = false;
    std::map<std::string, HttpRoute> m_routes;
    std::vector<RecordedRequest> m_requests;
    std::vector<std::thread> m_connections;
    std::thread m_acceptor;
    std::atomic<size_t> m_accepted{0};
};

}  // namespace testing_support
