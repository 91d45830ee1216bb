// The table of open connections: at the cap, the client key holding the most connections
// gives one up, never-served ones first and oldest first; a connection being answered never
// goes; the per-key cap binds only under pressure; a trusted proxy is left out of the fair
// share.
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
  ConnectionTable table{8, 3};
  std::vector<std::shared_ptr<Fake>> made;

  // A new connection from the key; null when it was turned away.
  Fake* Open(const std::string& key, bool exempt = false) {
    auto connection = std::make_shared<Fake>();
    if (!table.Admit(connection.get(), connection, key, exempt)) return nullptr;
    made.push_back(connection);
    return connection.get();
  }
  std::vector<Fake*> OpenMany(const std::string& key, int n, bool exempt = false) {
    std::vector<Fake*> opened;
    for (int i = 0; i < n; ++i) opened.push_back(Open(key, exempt));
    return opened;
  }
  std::vector<Fake*> OpenProxy(int n) { return OpenMany("127.0.0.1", n, true); }
};

TEST_F(Table, AtTheCapTheKeyHoldingMostGivesUpItsNeverServedConnectionFirst) {
  Fake* player = Open("198.51.100.7");
  const std::vector<Fake*> crowd = OpenMany("203.0.113.1", 3);
  Fake* other = Open("203.0.113.2");
  Fake* second = Open("198.51.100.8");
  Fake* third = Open("198.51.100.9");
  Fake* fourth = Open("198.51.100.10");
  ASSERT_EQ(table.Count(), 8u);
  // The crowd's oldest connection was answered once: the younger ones, never served, go first.
  table.Replied(crowd[0], 200);
  // 4xx and 429 replies prove nothing.
  table.Replied(crowd[1], 429);

  ASSERT_NE(Open("192.0.2.50"), nullptr);
  EXPECT_TRUE(crowd[1]->Closed);
  ASSERT_NE(Open("192.0.2.51"), nullptr);
  EXPECT_TRUE(crowd[2]->Closed);
  // Every key holds one now; the crowd's last one served its client, and one of the others goes.
  ASSERT_NE(Open("192.0.2.52"), nullptr);
  EXPECT_FALSE(crowd[0]->Closed);
  int closed = 0;
  for (Fake* single : {player, other, second, third, fourth}) closed += single->Closed ? 1 : 0;
  EXPECT_EQ(closed, 1);
  EXPECT_EQ(table.Count(), 8u);
  EXPECT_EQ(table.Evictions(), 3u);
}

TEST_F(Table, ConnectionsBeingAnsweredNeverGoAndWhenOnlyTheyRemainTheNewcomerIsRefused) {
  const std::vector<Fake*> crowd = OpenMany("203.0.113.1", 3);
  std::vector<Fake*> all = crowd;
  for (int i = 0; i < 5; ++i) all.push_back(Open("198.51.100." + std::to_string(i)));
  // Half-sent heads are not being answered: they may go.
  table.SetPhase(crowd[0], Phase::Reading);
  for (Fake* c : all)
    if (c != crowd[0]) table.SetPhase(c, Phase::Serving);
  ASSERT_NE(Open("192.0.2.1"), nullptr);
  EXPECT_TRUE(crowd[0]->Closed);
  table.SetPhase(made.back().get(), Phase::Serving);
  EXPECT_EQ(Open("192.0.2.2"), nullptr);
  EXPECT_EQ(table.Refusals(), 1u);
  // Answered and idle again, a connection may go once more.
  table.SetPhase(crowd[1], Phase::Idle);
  EXPECT_NE(Open("192.0.2.2"), nullptr);
  EXPECT_TRUE(crowd[1]->Closed);
}

TEST_F(Table, ThePerKeyCapBindsOnlyUnderPressureAndSparesTheProxy) {
  // Four of one key while the table is at most half full: a school's browsers.
  const std::vector<Fake*> school = OpenMany("192.0.2.1", 4);
  for (Fake* c : school) ASSERT_NE(c, nullptr);
  EXPECT_EQ(table.Count(), 4u);
  // Past half the cap a key over its cap of three closes its own oldest to open another.
  Open("198.51.100.1");
  Fake* fifth = Open("192.0.2.1");
  ASSERT_NE(fifth, nullptr);
  EXPECT_TRUE(school[0]->Closed);
  EXPECT_EQ(table.Count(), 5u);
  // A trusted proxy has no per-key cap, and at the cap the others give way before it.
  const std::vector<Fake*> proxy = OpenProxy(4);
  for (Fake* c : proxy) ASSERT_NE(c, nullptr);
  EXPECT_TRUE(school[1]->Closed);
  EXPECT_FALSE(school[2]->Closed);
  for (Fake* c : OpenProxy(4)) ASSERT_NE(c, nullptr);
  EXPECT_TRUE(fifth->Closed);
  EXPECT_FALSE(proxy[0]->Closed);
  // Only the proxy's connections are left to close: its oldest waiting one goes.
  ASSERT_NE(OpenProxy(1).front(), nullptr);
  EXPECT_TRUE(proxy[0]->Closed);
}

TEST_F(Table, LeavingForgetsAndStoppingClosesAllButThoseBeingAnswered) {
  Fake* a = Open("192.0.2.1");
  Fake* b = Open("192.0.2.2");
  table.Leave(a);
  table.Leave(a);
  EXPECT_EQ(table.Count(), 1u);
  Fake* c = Open("192.0.2.3");
  table.SetPhase(c, Phase::Serving);
  table.CloseUnserved();
  EXPECT_TRUE(b->Closed);
  EXPECT_FALSE(c->Closed);
  // The cap lowered once the descriptors are known holds from then on.
  table.SetMaxConnections(2);
  EXPECT_EQ(table.MaxConnections(), 2u);
  EXPECT_NE(Open("192.0.2.4"), nullptr);
  EXPECT_EQ(table.Count(), 2u);
  EXPECT_EQ(table.Evictions(), 1u);
  // The connection closed to make room holds its descriptor until its loop has closed it.
  EXPECT_EQ(table.Closing(), 1u);
  table.SetPhase(b, Phase::Reading);
  table.Leave(b);
  EXPECT_EQ(table.Closing(), 0u);
  EXPECT_EQ(table.Count(), 2u);
}

}  // namespace
