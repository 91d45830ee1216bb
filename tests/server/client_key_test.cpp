// One client key for every limit: IPv4 as it is (also when written in IPv6 form), IPv6 in
// its normal form cut to its prefix, and anything else as its own text.
#include <gtest/gtest.h>

#include "ClientKey.h"

namespace {

TEST(ClientKey, EverySpellingOfOneClientGivesOneKey) {
  struct Case {
    const char* Address;
    int Prefix;
    const char* Key;
  };
  const Case cases[] = {
      {"203.0.113.7", 64, "203.0.113.7"},
      {"::ffff:203.0.113.7", 64, "203.0.113.7"},
      {"::FFFF:203.0.113.7", 48, "203.0.113.7"},
      {"2001:db8:1:2:3:4:5:6", 64, "2001:db8:1:2::/64"},
      {"2001:0db8:0001:0002:ffff:ffff:ffff:ffff", 64, "2001:db8:1:2::/64"},
      {"2001:DB8:1:2::9", 64, "2001:db8:1:2::/64"},
      {"2001:db8:1:3::9", 64, "2001:db8:1:3::/64"},
      {"2001:db8:1:2:3:4:5:6", 56, "2001:db8:1::/56"},
      {"2001:db8:1:2ff::1", 56, "2001:db8:1:200::/56"},
      {"2001:db8:1:2:3:4:5:6", 128, "2001:db8:1:2:3:4:5:6"},
      {"::1", 64, "::/64"},
      {"?", 64, "?"},
  };
  for (const Case& c : cases) EXPECT_EQ(scores::ClientKey(c.Address, c.Prefix), c.Key) << c.Address << "/" << c.Prefix;
}

TEST(ClientKey, AddressesHaveOneNormalForm) {
  EXPECT_EQ(scores::NormalAddress("::ffff:127.0.0.1"), "127.0.0.1");
  EXPECT_EQ(scores::NormalAddress("0:0:0:0:0:0:0:1"), "::1");
  EXPECT_EQ(scores::NormalAddress("2001:DB8::0001"), "2001:db8::1");
  EXPECT_EQ(scores::NormalAddress("127.0.0.1"), "127.0.0.1");
  EXPECT_EQ(scores::NormalAddress("not an address"), "");
  EXPECT_EQ(scores::NormalAddress(""), "");
}

}  // namespace
