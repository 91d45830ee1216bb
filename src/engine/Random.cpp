// The game's one random number generator: PCG32 (XSH RR output, 64-bit LCG state).
#include "engine/Random.h"

namespace {
constexpr uint64_t Multiplier = 6364136223846793005ULL;
}

void TRandom::Seed(uint64_t seed, uint64_t stream) {
  State = 0;
  Increment = (stream << 1) | 1;
  Next();
  State += seed;
  Next();
}

uint32_t TRandom::Next() {
  const uint64_t old = State;
  State = old * Multiplier + Increment;
  const uint32_t xorshifted = uint32_t(((old >> 18) ^ old) >> 27);
  const uint32_t rot = uint32_t(old >> 59);
  return (xorshifted >> rot) | (xorshifted << ((32 - rot) & 31));
}

int TRandom::Rnd(int n) {
  const uint32_t r = Next();
  if (n <= 0) return 0;
  return int((uint64_t(r) * uint32_t(n)) >> 32);
}

double TRandom::RandomReal() { return Next() / 4294967296.0; }
