#include "platform/Http.h"
#include "platform/Network.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <string>
#include <vector>

namespace {

sockaddr_storage address(int family, const char* text) {
    sockaddr_storage storage{};
    if (family == AF_INET) {
        auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
        v4->sin_family = AF_INET;
        EXPECT_EQ(inet_pton(AF_INET, text, &v4->sin_addr), 1) << text;
    } else if (family == AF_INET6) {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
        v6->sin6_family = AF_INET6;
        EXPECT_EQ(inet_pton(AF_INET6, text, &v6->sin6_addr), 1) << text;
    } else {
        storage.ss_family = static_cast<sa_family_t>(family);
    }
    return storage;
}

TEST(Network, CountsOnlyLiveInterfacesWithARoutableAddress) {
    constexpr unsigned kLive = IFF_UP | IFF_RUNNING;
    struct Case {
        unsigned flags;
        int family;
        const char* address;
        bool usable;
    };
    const std::vector<Case> cases = {
        {kLive, AF_INET, "192.168.1.5", true},
        {kLive | IFF_BROADCAST | IFF_MULTICAST, AF_INET, "10.0.0.2", true},
        {kLive, AF_INET6, "2001:db8::1", true},
        {kLive | IFF_LOOPBACK, AF_INET, "127.0.0.1", false},
        {kLive | IFF_LOOPBACK, AF_INET6, "::1", false},
        {IFF_UP, AF_INET, "192.168.1.5", false},       // no carrier
        {IFF_RUNNING, AF_INET, "192.168.1.5", false},  // switched off
        {kLive, AF_INET, "169.254.10.20", false},      // link-local only
        {kLive, AF_INET, "127.0.0.2", false},
        {kLive, AF_INET, "0.0.0.0", false},
        {kLive, AF_INET6, "fe80::1", false},
        {kLive, AF_INET6, "::", false},
        {kLive, AF_PACKET, "", false},  // the link layer entry of an interface
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.address) + " flags " + std::to_string(c.flags));
        const sockaddr_storage storage = address(c.family, c.address);
        EXPECT_EQ(platform::isUsableInterface(c.flags, reinterpret_cast<const sockaddr*>(&storage)),
                  c.usable);
    }
    EXPECT_FALSE(platform::isUsableInterface(kLive, nullptr));
}

TEST(Network, AnswersForThisMachine) {
    // Whatever this machine has; asked twice, the answer is stable.
    const bool alive = platform::isNetworkAlive();
    EXPECT_EQ(platform::isNetworkAlive(), alive);
}

}  // namespace
