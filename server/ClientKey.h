// The key every limit and cap of the server counts a client by: one function, so the rate
// limits, the token table and the connection caps agree on who is who.
#pragma once
#include <string>
#include <string_view>

namespace scores {

// IPv6 clients are keyed by this many leading bits of their address by default: a /64 is
// what one home or phone is given, and rotating addresses within it must not make many clients.
inline constexpr int kDefaultIpv6Prefix = 64;

// The address in its one normal text: IPv4 dotted, IPv4 written in IPv6 form
// ("::ffff:192.0.2.1") as the IPv4 address it is, IPv6 in its shortest form. Empty when the
// text is no IP address.
std::string NormalAddress(std::string_view address);

// The client key of an address: IPv4 addresses as they are, IPv6 addresses cut to their
// first `ipv6Prefix` bits and written "2001:db8:1:2::/64" (an IPv6 key of all 128 bits is the
// plain address). A text that is no IP address is its own key.
std::string ClientKey(std::string_view address, int ipv6Prefix);

}  // namespace scores
