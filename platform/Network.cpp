#include "platform/Network.h"

#include "platform/Http.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>

namespace platform {

bool isUsableInterface(unsigned flags, const sockaddr* address) {
    if ((flags & IFF_UP) == 0 || (flags & IFF_RUNNING) == 0 || (flags & IFF_LOOPBACK) != 0)
        return false;
    if (address == nullptr) return false;
    if (address->sa_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
        const uint32_t ip = ntohl(v4->sin_addr.s_addr);
        const bool unspecified = ip == 0;
        const bool loopback = (ip >> 24) == 127;
        const bool linkLocal = (ip >> 16) == 0xA9FE;  // 169.254/16
        return !unspecified && !loopback && !linkLocal;
    }
    if (address->sa_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
        const in6_addr& ip = v6->sin6_addr;
        return !IN6_IS_ADDR_UNSPECIFIED(&ip) && !IN6_IS_ADDR_LOOPBACK(&ip) &&
               !IN6_IS_ADDR_LINKLOCAL(&ip);
    }
    return false;
}

bool isNetworkAlive() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return false;
    bool alive = false;
    for (const ifaddrs* entry = list; entry != nullptr && !alive; entry = entry->ifa_next)
        alive = isUsableInterface(entry->ifa_flags, entry->ifa_addr);
    freeifaddrs(list);
    return alive;
}

}  // namespace platform
