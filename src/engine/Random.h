// The game's one random number generator: PCG32, reproducible from a seed on any platform.
#pragma once
#include <cstdint>

class TRandom {
 public:
  explicit TRandom(uint64_t seed = 0) { Seed(seed); }

  // Seeds the default stream (the increment of the reference pcg32).
  void Seed(uint64_t seed) { Seed(seed, DefaultStream); }
  // Seeds any stream, as pcg32_srandom_r(seed, stream) of the reference code does.
  void Seed(uint64_t seed, uint64_t stream);

  uint32_t Next();

  // Uniform in 0..n-1 by multiply-and-shift. For n <= 0 it returns 0 but still draws one
  // number, so every check costs exactly one draw and the sequence never depends on n.
  int Rnd(int n);

  // Uniform in [0, 1) with 32 random bits.
  double RandomReal();

  // The generator's whole state, to take it up again later exactly where it was.
  struct Snapshot {
    uint64_t State = 0, Increment = 0;
  };
  Snapshot Save() const { return {State, Increment}; }
  void Restore(const Snapshot& snapshot) { State = snapshot.State, Increment = snapshot.Increment; }

 private:
  // 1442695040888963407 >> 1: gives the usual pcg32 increment 1442695040888963407.
  static constexpr uint64_t DefaultStream = 721347520444481703ULL;

  uint64_t State = 0;
  uint64_t Increment = 0;
};
