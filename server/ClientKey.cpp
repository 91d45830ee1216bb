#include "ClientKey.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstring>

namespace scores {
namespace {

enum class Family { None, V4, V6 };

// Parses the address into `v4` or `v6`; an IPv4-mapped IPv6 address counts as IPv4.
Family Parse(std::string_view text, in_addr& v4, in6_addr& v6) {
  const std::string address(text.substr(0, 64));
  if (inet_pton(AF_INET, address.c_str(), &v4) == 1) return Family::V4;
  if (inet_pton(AF_INET6, address.c_str(), &v6) != 1) return Family::None;
  if (IN6_IS_ADDR_V4MAPPED(&v6)) {
    std::memcpy(&v4, v6.s6_addr + 12, 4);
    return Family::V4;
  }
  return Family::V6;
}

std::string Text(int family, const void* address) {
  char text[INET6_ADDRSTRLEN] = {};
  inet_ntop(family, address, text, sizeof text);
  return text;
}

}  // namespace

std::string NormalAddress(std::string_view address) {
  in_addr v4{};
  in6_addr v6{};
  switch (Parse(address, v4, v6)) {
    case Family::V4: return Text(AF_INET, &v4);
    case Family::V6: return Text(AF_INET6, &v6);
    case Family::None: break;
  }
  return {};
}

std::string ClientKey(std::string_view address, int ipv6Prefix) {
  in_addr v4{};
  in6_addr v6{};
  switch (Parse(address, v4, v6)) {
    case Family::V4: return Text(AF_INET, &v4);
    case Family::V6: {
      if (ipv6Prefix >= 128) return Text(AF_INET6, &v6);
      const int bits = ipv6Prefix < 0 ? 0 : ipv6Prefix;
      for (int byte = 0; byte < 16; ++byte) {
        const int kept = bits - byte * 8;
        if (kept <= 0)
          v6.s6_addr[byte] = 0;
        else if (kept < 8)
          v6.s6_addr[byte] &= uint8_t(0xFF << (8 - kept));
      }
      return Text(AF_INET6, &v6) + "/" + std::to_string(bits);
    }
    case Family::None: break;
  }
  return std::string(address);
}

}  // namespace scores
