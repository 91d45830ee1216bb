// Tests of TRandom: the reference PCG32 sequence, pinned outputs and the integer mapping.
#include <gtest/gtest.h>

#include <vector>

#include "engine/Random.h"

namespace {

TEST(Random, MatchesReferencePcg32Output) {
  // The first outputs of the reference pcg32 demo, seed 42 on stream 54.
  TRandom r;
  r.Seed(42, 54);
  for (uint32_t expected : {0xa15c02b7u, 0x7b47f409u, 0xba1d3330u, 0x83d2f293u, 0xbfa4784bu, 0xcbed606eu})
    EXPECT_EQ(r.Next(), expected);
}

TEST(Random, PinnedDefaultStreamValues) {
  TRandom r(42);
  for (uint32_t expected : {0xc2f57bd6u, 0x6b07c4a9u, 0x72b7b29bu, 0x44215383u, 0xf5af5eadu, 0x68beb632u})
    EXPECT_EQ(r.Next(), expected);

  TRandom zero;  // the default seed is 0
  EXPECT_EQ(zero.Next(), 0xe823a24eu);
  EXPECT_EQ(zero.Next(), 0x7a7ecbd9u);
}

TEST(Random, PinnedRnd200Values) {
  TRandom r(12345);
  for (int expected : {65, 147, 156, 113, 29, 175, 113, 116, 51, 140}) EXPECT_EQ(r.Rnd(200), expected);
}

TEST(Random, SameSeedSameSequenceAndReseedRestarts) {
  TRandom a(987654321), b(987654321);
  std::vector<uint32_t> first;
  for (int i = 0; i < 100; ++i) {
    first.push_back(a.Next());
    EXPECT_EQ(first.back(), b.Next());
  }
  a.Seed(987654321);
  for (uint32_t v : first) EXPECT_EQ(a.Next(), v);

  TRandom c(987654322);
  int same = 0;
  for (uint32_t v : first) same += c.Next() == v;
  EXPECT_LT(same, 3);
}

TEST(Random, RndMapsByMultiplyAndShift) {
  TRandom a(7), b(7);
  for (int n : {1, 2, 3, 200, 1000000, 2147483647}) {
    const uint32_t raw = b.Next();
    EXPECT_EQ(a.Rnd(n), int((uint64_t(raw) * uint32_t(n)) >> 32)) << n;
  }
}

TEST(Random, RndOfNonPositiveIsZeroButStillDraws) {
  TRandom a(5), b(5);
  for (int n : {0, -1, -2147483647 - 1}) {
    EXPECT_EQ(a.Rnd(n), 0);
    b.Next();
  }
  EXPECT_EQ(a.Next(), b.Next());
}

TEST(Random, SmallRangesStayInRange) {
  TRandom r(3);
  int ones = 0;
  for (int i = 0; i < 10000; ++i) {
    EXPECT_EQ(r.Rnd(1), 0);
    const int v = r.Rnd(2);
    ASSERT_TRUE(v == 0 || v == 1);
    ones += v;
  }
  EXPECT_GT(ones, 4700);
  EXPECT_LT(ones, 5300);
}

TEST(Random, RoughlyUniform) {
  TRandom r(2024);
  constexpr int Buckets = 10, Draws = 100000;
  int counts[Buckets] = {};
  int realCounts[Buckets] = {};
  for (int i = 0; i < Draws; ++i) {
    const int v = r.Rnd(Buckets);
    ASSERT_GE(v, 0);
    ASSERT_LT(v, Buckets);
    ++counts[v];
    const double x = r.RandomReal();
    ASSERT_GE(x, 0.0);
    ASSERT_LT(x, 1.0);
    ++realCounts[int(x * Buckets)];
  }
  // A bucket's standard deviation is about 95 draws; 500 is more than five of them.
  for (int b = 0; b < Buckets; ++b) {
    EXPECT_NEAR(counts[b], Draws / Buckets, 500) << b;
    EXPECT_NEAR(realCounts[b], Draws / Buckets, 500) << b;
  }
}

TEST(Random, RandomRealIsNextOver2To32) {
  TRandom a(11), b(11);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(a.RandomReal(), b.Next() / 4294967296.0);
}

}  // namespace
