#include "platform/curl/CurlHttp.h"

#include "support/LoopbackHttpServer.h"
#include "support/TestFiles.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using platform::CurlHttp;
using platform::CurlTimeouts;
using testing::Eq;
using testing::HasSubstr;
using testing_support::HttpRoute;
using testing_support::LoopbackHttpServer;
using B = HttpRoute::Behaviour;
using namespace std::chrono_literals;

// A proxy from the environment must not stand between the tests and their own server.
class DirectToLoopback : public ::testing::Environment {
public:
    void SetUp() override { ::setenv("no_proxy", "127.0.0.1,localhost", 1); }
};
const auto* const kDirect = ::testing::AddGlobalTestEnvironment(new DirectToLoopback);

struct Fetched {
    bool ok = false;
    std::string error;
    int headerCalls = 0;
    bool headersBeforeBody = true;
    int status = -1;
    std::optional<int64_t> length;
    std::string body;
    std::vector<size_t> chunks;
};

Fetched fetch(platform::Http& http, const std::string& url, std::atomic<bool>* cancel = nullptr) {
    Fetched out;
    out.ok = http.fetch(
        url,
        [&](int status, std::optional<int64_t> length) {
            ++out.headerCalls;
            out.status = status;
            out.length = length;
            return true;
        },
        [&](const uint8_t* data, size_t size) {
            if (out.headerCalls == 0) out.headersBeforeBody = false;
            out.chunks.push_back(size);
            out.body.append(reinterpret_cast<const char*>(data), size);
            return true;
        },
        cancel, &out.error);
    return out;
}

std::string pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) % 256);
    return bytes;
}

HttpRoute answer(int status, std::string body, bool contentLength = true) {
    HttpRoute route;
    route.status = status;
    route.body = std::move(body);
    route.contentLength = contentLength;
    return route;
}

HttpRoute redirect(const std::string& to) {
    HttpRoute route = answer(302, "<html>moved</html>");
    route.headers.push_back("Location: " + to);
    return route;
}

// A port on 127.0.0.1 that nobody listens on.
uint16_t freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length), 0);
    ::close(fd);
    return ntohs(address.sin_port);
}

std::string fileUrl(const std::filesystem::path& path) {
    return "file://" + path.string();
}

TEST(CurlHttp, ReportsStatusLengthAndBodyOfEachAnswer) {
    struct Case {
        const char* path;
        HttpRoute route;
        int status;
        std::optional<int64_t> length;
    };
    const std::vector<Case> cases = {
        {"/sized", answer(200, "hello"), 200, 5},
        {"/unsized", answer(200, "no length here", false), 200, std::nullopt},
        {"/missing", answer(404, "<title>404 Not Found</title>"), 404, 28},
        {"/empty", answer(200, ""), 200, 0},
        {"/empty-unsized", answer(200, "", false), 200, std::nullopt},
    };
    LoopbackHttpServer server;
    for (const Case& c : cases)
        server.route(c.path, c.route);
    server.start();
    CurlHttp http;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const Fetched got = fetch(http, server.url(c.path));
        EXPECT_TRUE(got.ok) << got.error;
        EXPECT_EQ(got.headerCalls, 1);
        EXPECT_EQ(got.status, c.status);
        EXPECT_EQ(got.length, c.length);
        EXPECT_EQ(got.body, c.route.body);
    }
}

TEST(CurlHttp, DeliversALargeBodyInOrderInChunksOfAtMost1024Bytes) {
    const std::string body = pattern(100 * 1024 + 17);
    LoopbackHttpServer server;
    server.route("/big", answer(200, body));
    server.route("/big-unsized", answer(200, body, false));
    server.start();
    CurlHttp http;
    for (const char* path : {"/big", "/big-unsized"}) {
        SCOPED_TRACE(path);
        const Fetched got = fetch(http, server.url(path));
        ASSERT_TRUE(got.ok) << got.error;
        EXPECT_EQ(got.headerCalls, 1);
        EXPECT_TRUE(got.headersBeforeBody);
        EXPECT_TRUE(got.body == body);
        for (size_t size : got.chunks) {
            EXPECT_GT(size, 0u);
            EXPECT_LE(size, platform::Http::kHttpChunk);
        }
    }
}

TEST(CurlHttp, AsksForAFreshCopyAndNamesItself) {
    LoopbackHttpServer server;
    server.route("/manifest.xml", answer(200, "<x/>"));
    server.start();
    CurlHttp http;
    ASSERT_TRUE(fetch(http, server.url("/manifest.xml")).ok);
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].path, "/manifest.xml");
    EXPECT_EQ(requests[0].header("Cache-Control"), "no-cache");
    EXPECT_EQ(requests[0].header("Pragma"), "no-cache");
    EXPECT_EQ(requests[0].header("User-Agent"), "Zentari/" ZENTARI_VERSION);
    EXPECT_EQ(CurlHttp::userAgent(), "Zentari/" ZENTARI_VERSION);
}

TEST(CurlHttp, FollowsUpToFiveRedirectsAndReportsTheLastAnswer) {
    LoopbackHttpServer server;
    server.route("/old", redirect("/new"));
    server.route("/new", answer(200, "the new place"));
    // /r0 -> /r1 -> ... -> /r6: six redirects from /r0, five from /r1.
    for (int i = 0; i < 6; ++i)
        server.route("/r" + std::to_string(i), redirect(server.url("/r" + std::to_string(i + 1))));
    server.route("/r6", answer(200, "end of the chain"));
    server.start();
    CurlHttp http;

    const Fetched moved = fetch(http, server.url("/old"));
    EXPECT_TRUE(moved.ok) << moved.error;
    EXPECT_EQ(moved.headerCalls, 1);
    EXPECT_EQ(moved.status, 200);
    EXPECT_EQ(moved.length, 13);
    EXPECT_EQ(moved.body, "the new place");

    const Fetched five = fetch(http, server.url("/r1"));
    EXPECT_TRUE(five.ok) << five.error;
    EXPECT_EQ(five.body, "end of the chain");

    const Fetched six = fetch(http, server.url("/r0"));
    EXPECT_FALSE(six.ok);
    EXPECT_EQ(six.headerCalls, 0);
    EXPECT_THAT(six.error, HasSubstr("too many redirects from 127.0.0.1:"));
}

TEST(CurlHttp, RefusesRedirectsToOtherSchemes) {
    testing_support::TempDir dir;
    const auto secret = testing_support::writeFile(dir / "secret.txt", "not for the server");
    LoopbackHttpServer server;
    server.route("/to-file", redirect(fileUrl(secret)));
    server.route("/to-ftp", redirect("ftp://127.0.0.1:" + std::to_string(server.port()) + "/x"));
    server.start();
    CurlHttp http;
    for (const char* path : {"/to-file", "/to-ftp"}) {
        SCOPED_TRACE(path);
        const Fetched got = fetch(http, server.url(path));
        EXPECT_FALSE(got.ok);
        EXPECT_EQ(got.headerCalls, 0);
        EXPECT_TRUE(got.body.empty());
        EXPECT_THAT(got.error, HasSubstr("redirected to an address that is refused"));
    }
}

TEST(CurlHttp, ReadsFileUrlsWithStatusZeroAndTheFileSize) {
    testing_support::TempDir dir;
    const std::string content = pattern(3000);
    const auto full = testing_support::writeFile(dir / "release file.bin", content);
    const auto empty = testing_support::writeFile(dir / "empty.bin", "");
    CurlHttp http;

    // A blank in a URL is written %20.
    const Fetched got = fetch(http, "file://" + dir.path().string() + "/release%20file.bin");
    ASSERT_TRUE(got.ok) << got.error;
    EXPECT_EQ(got.headerCalls, 1);
    EXPECT_TRUE(got.headersBeforeBody);
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(got.length, 3000);
    EXPECT_TRUE(got.body == content);
    for (size_t size : got.chunks)
        EXPECT_LE(size, platform::Http::kHttpChunk);

    const Fetched none = fetch(http, fileUrl(empty));
    EXPECT_TRUE(none.ok) << none.error;
    EXPECT_EQ(none.headerCalls, 1);
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.length, 0);
    EXPECT_TRUE(none.body.empty());
}

TEST(CurlHttp, FailsOnFilesThatCannotBeRead) {
    testing_support::TempDir dir;
    CurlHttp http;
    const Fetched missing = fetch(http, fileUrl(dir / "nothing.bin"));
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.headerCalls, 0);
    EXPECT_THAT(missing.error, Eq("could not open the file " + (dir / "nothing.bin").string() +
                                  ": No such file or directory"));

    const Fetched folder = fetch(http, fileUrl(dir.path()));
    EXPECT_FALSE(folder.ok);
    EXPECT_TRUE(folder.body.empty());
    EXPECT_THAT(folder.error, HasSubstr(dir.path().string()));
}

TEST(CurlHttp, RefusesOtherSchemesWithoutConnecting) {
    LoopbackHttpServer server;
    server.route("/x", answer(200, "x"));
    server.start();
    const std::string hostPort = "127.0.0.1:" + std::to_string(server.port());
    struct Case {
        std::string url;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"ftp://" + hostPort + "/x", "the URL scheme \"ftp\" is not supported"},
        {"FTP://" + hostPort + "/x", "the URL scheme \"ftp\" is not supported"},
        {"gopher://" + hostPort + "/x", "the URL scheme \"gopher\" is not supported"},
        {"scp://" + hostPort + "/x", "the URL scheme \"scp\" is not supported"},
        {"telnet://" + hostPort, "the URL scheme \"telnet\" is not supported"},
        {hostPort + "/x", "not a valid URL"},
        {"", "not a valid URL"},
        {std::string("http://127.0.0.1/a\0b", 20), "not a valid URL"},
    };
    CurlHttp http;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        const Fetched got = fetch(http, c.url);
        EXPECT_FALSE(got.ok);
        EXPECT_EQ(got.headerCalls, 0);
        EXPECT_THAT(got.error, HasSubstr(c.error));
    }
    // The server takes connections in order: once this one is served, any earlier
    // attempt would have been counted.
    ASSERT_TRUE(fetch(http, server.url("/x")).ok);
    EXPECT_EQ(server.connectionsAccepted(), 1u);
}

TEST(CurlHttp, NamesTheServerThatRefusedTheConnection) {
    const uint16_t port = freePort();
    CurlHttp http;
    const Fetched got = fetch(http, "http://127.0.0.1:" + std::to_string(port) + "/x");
    EXPECT_FALSE(got.ok);
    EXPECT_EQ(got.headerCalls, 0);
    EXPECT_EQ(got.error,
              "could not connect to 127.0.0.1:" + std::to_string(port) + ": Connection refused");
}

TEST(CurlHttp, GivesUpOnAServerThatSendsNothingForTheStallTime) {
    HttpRoute partial = answer(200, pattern(10000));
    partial.behaviour = B::StallAfter;
    partial.bodyBytesFirst = 2048;
    HttpRoute dead;
    dead.behaviour = B::NeverAnswer;
    LoopbackHttpServer server;
    server.route("/dead", dead);
    server.route("/partial", partial);
    server.start();
    const std::string expected =
        "no data from the server 127.0.0.1:" + std::to_string(server.port()) + " for 1 s";
    CurlHttp http(CurlTimeouts{15s, 1s});

    const Fetched silent = fetch(http, server.url("/dead"));
    EXPECT_FALSE(silent.ok);
    EXPECT_EQ(silent.headerCalls, 0);
    EXPECT_EQ(silent.error, expected);

    const Fetched stalled = fetch(http, server.url("/partial"));
    EXPECT_FALSE(stalled.ok);
    EXPECT_EQ(stalled.headerCalls, 1);
    EXPECT_EQ(stalled.length, 10000);
    EXPECT_TRUE(stalled.body == pattern(2048));
    EXPECT_EQ(stalled.error, expected);
}

TEST(CurlHttp, KeepsASlowButSteadyTransferGoing) {
    HttpRoute slow = answer(200, pattern(400));
    slow.behaviour = B::Slowly;
    slow.slowPiece = 50;
    slow.slowDelay = 250ms;  // 2 s in all, twice the stall time
    LoopbackHttpServer server;
    server.route("/slow", slow);
    server.start();
    CurlHttp http(CurlTimeouts{15s, 1s});
    const Fetched got = fetch(http, server.url("/slow"));
    EXPECT_TRUE(got.ok) << got.error;
    EXPECT_TRUE(got.body == slow.body);
}

TEST(CurlHttp, FailsWhenTheServerClosesBeforeTheAnnouncedLength) {
    HttpRoute cut = answer(200, pattern(1000));
    cut.behaviour = B::CloseAfter;
    cut.bodyBytesFirst = 500;
    LoopbackHttpServer server;
    server.route("/cut", cut);
    server.start();
    CurlHttp http;
    const Fetched got = fetch(http, server.url("/cut"));
    EXPECT_FALSE(got.ok);
    EXPECT_THAT(got.error, HasSubstr("ended early"));
}

TEST(CurlHttp, StopsWhenTheBodySinkCancels) {
    HttpRoute stalling = answer(200, pattern(8192));
    stalling.behaviour = B::StallAfter;
    stalling.bodyBytesFirst = 4096;
    LoopbackHttpServer server;
    server.route("/stall", stalling);
    server.start();
    CurlHttp http;  // 30 s stall time: only the cancel can end these in time

    for (bool byFlag : {true, false}) {
        SCOPED_TRACE(byFlag ? "cancel flag set in the sink" : "sink returns false");
        std::atomic<bool> cancel{false};
        int chunks = 0;
        std::string error;
        const bool ok = http.fetch(
            server.url("/stall"), [](int, std::optional<int64_t>) { return true; },
            [&](const uint8_t*, size_t) {
                ++chunks;
                if (!byFlag) return false;
                cancel = true;
                return true;
            },
            &cancel, &error);
        EXPECT_FALSE(ok);
        EXPECT_EQ(error, "cancelled");
        EXPECT_EQ(chunks, 1);
    }
}

TEST(CurlHttp, CancelEndsATransferThatWaitsForTheServer) {
    HttpRoute dead;
    dead.behaviour = B::NeverAnswer;
    LoopbackHttpServer server;
    server.route("/dead", dead);
    server.start();
    CurlHttp http;  // 30 s stall time: only the cancel can end this in time
    std::atomic<bool> cancel{false};
    std::thread canceller([&] {
        server.waitForRequests(1, 10s);
        cancel = true;
    });
    const Fetched got = fetch(http, server.url("/dead"), &cancel);
    canceller.join();
    EXPECT_FALSE(got.ok);
    EXPECT_EQ(got.error, "cancelled");
    EXPECT_EQ(got.headerCalls, 0);

    std::atomic<bool> already{true};
    const Fetched early = fetch(http, server.url("/dead"), &already);
    EXPECT_FALSE(early.ok);
    EXPECT_EQ(early.error, "cancelled");
}

TEST(CurlHttp, StopsWhenTheHeadersSinkSaysNo) {
    LoopbackHttpServer server;
    server.route("/body", answer(404, pattern(5000)));
    server.route("/empty", answer(204, ""));
    server.start();
    CurlHttp http;
    for (const char* path : {"/body", "/empty"}) {
        SCOPED_TRACE(path);
        int headerCalls = 0;
        int chunks = 0;
        std::string error;
        const bool ok = http.fetch(
            server.url(path),
            [&](int, std::optional<int64_t>) {
                ++headerCalls;
                return false;
            },
            [&](const uint8_t*, size_t) {
                ++chunks;
                return true;
            },
            nullptr, &error);
        EXPECT_FALSE(ok);
        EXPECT_EQ(error, "stopped");
        EXPECT_EQ(headerCalls, 1);
        EXPECT_EQ(chunks, 0);
    }
}

TEST(CurlHttp, PassesOnWhatTheSinkThrows) {
    LoopbackHttpServer server;
    server.route("/x", answer(200, "body"));
    server.start();
    CurlHttp http;
    EXPECT_THROW(http.fetch(
                     server.url("/x"), [](int, std::optional<int64_t>) { return true; },
                     [](const uint8_t*, size_t) -> bool { throw std::runtime_error("disk full"); },
                     nullptr, nullptr),
                 std::runtime_error);
}

TEST(CurlHttp, FetchesOnSeveralThreadsAtOnce) {
    const std::string body = pattern(64 * 1024);
    LoopbackHttpServer server;
    server.route("/big", answer(200, body));
    server.start();
    CurlHttp http;
    std::vector<Fetched> results(4);
    std::vector<std::thread> threads;
    for (Fetched& result : results)
        threads.emplace_back([&] { result = fetch(http, server.url("/big")); });
    for (std::thread& thread : threads)
        thread.join();
    for (const Fetched& result : results) {
        EXPECT_TRUE(result.ok) << result.error;
        EXPECT_TRUE(result.body == body);
    }
}

}  // namespace
