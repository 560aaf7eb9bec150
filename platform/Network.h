#pragma once

struct sockaddr;

namespace platform {

// Whether an interface with these flags (IFF_*) and this address gives a way out:
// up, with a carrier, not loopback, and an IPv4 or IPv6 address that is neither
// loopback nor link-local (those alone reach no server).
bool isUsableInterface(unsigned flags, const sockaddr* address);

}  // namespace platform
