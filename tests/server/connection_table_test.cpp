// The table of open connections: over a cap, the oldest idle one (of the address, else of
// all) makes room; a connection that is reading or being answered never does; the trusted
// proxy has no per-address cap.
#include <gtest/gtest.h>

#include "ConnectionTable.h"

namespace {

using scores::ConnectionTable;
using Phase = ConnectionTable::Phase;

struct Fake : scores::TableConnection {
  void CloseSoon() override { Closed = true; }
  bool Closed = false;
};

struct Table : ::testing::Test {
  ConnectionTable table{5, 2, {"10.0.0.9"}};
  std::vector<std::shared_ptr<Fake>> made;

  // A new connection from the address; null when it was turned away.
  Fake* Open(const std::string& address) {
    auto connection = std::make_shared<Fake>();
    if (!table.Admit(connection.get(), connection, address)) return nullptr;
    made.push_back(connection);
    return connection.get();
  }
};

TEST_F(Table, AnAddressOverItsCapClosesItsOwnOldestIdleConnection) {
  Fake* first = Open("10.0.0.1");
  Fake* second = Open("10.0.0.1");
  Fake* other = Open("10.0.0.2");
  Fake* third = Open("10.0.0.1");
  ASSERT_NE(third, nullptr);
  EXPECT_TRUE(first->Closed);
  EXPECT_FALSE(second->Closed);
  EXPECT_FALSE(other->Closed);
  EXPECT_EQ(table.Count(), 3u);

  // Busy connections are never closed to make room: a fourth with both busy is turned away.
  table.SetPhase(second, Phase::Reading);
  table.SetPhase(third, Phase::Serving);
  EXPECT_EQ(Open("10.0.0.1"), nullptr);
  // Idle again, the one idle longest goes.
  table.SetPhase(third, Phase::Idle);
  table.SetPhase(second, Phase::Idle);
  EXPECT_NE(Open("10.0.0.1"), nullptr);
  EXPECT_TRUE(third->Closed);
  EXPECT_FALSE(second->Closed);
}

TEST_F(Table, OverTheTotalTheOldestIdleOfAllGoesAndTheProxyIsUncapped) {
  Fake* oldest = Open("10.0.0.1");
  for (int i = 0; i < 3; ++i) ASSERT_NE(Open("10.0.0.9"), nullptr) << i;  // the proxy: over 2 of its own
  Fake* other = Open("10.0.0.3");
  EXPECT_EQ(table.Count(), 5u);
  EXPECT_NE(Open("10.0.0.4"), nullptr);
  EXPECT_TRUE(oldest->Closed);
  EXPECT_FALSE(other->Closed);
  EXPECT_EQ(table.Count(), 5u);
  // Once left, a connection is forgotten: leaving twice changes nothing.
  table.Leave(other);
  table.Leave(other);
  EXPECT_EQ(table.Count(), 4u);
  // Stopping closes every connection that is not being answered.
  table.SetPhase(made[1].get(), Phase::Serving);
  table.CloseUnserved();
  EXPECT_FALSE(made[1]->Closed);
  EXPECT_TRUE(made[2]->Closed);
}

}  // namespace
