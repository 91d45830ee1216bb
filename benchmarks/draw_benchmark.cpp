// Benchmarks of the draw pass (full-screen plain, stretched and a rotated pattern, beside a
// plain copy of the same bytes) and of name lookup in small and large collections.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "engine/PictureCollection.h"

namespace {

constexpr int kWidth = 800, kHeight = 600;

TPictureCollectionItem MakeItem(int w, int h, bool transparent) {
  Surface s(w, h);
  for (size_t i = 0; i < s.Pixels.size(); ++i) s.Pixels[i] = uint32_t(i * 2654435761u) & 0xFFFFFF;
  TPictureCollectionItem item;
  item.Transparent = transparent;
  item.TransparentColor = 0xFF00FF;
  item.Picture.Graphic = TDib{std::move(s), 24, {}};
  item.Prepare();
  return item;
}

void BM_MemcpyFullScreen(benchmark::State& state) {
  Surface src(kWidth, kHeight), dest(kWidth, kHeight);
  for (auto _ : state) {
    std::memcpy(dest.Pixels.data(), src.Pixels.data(), src.Pixels.size() * sizeof(uint32_t));
    benchmark::DoNotOptimize(dest.Pixels.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight * 4);
}
BENCHMARK(BM_MemcpyFullScreen);

void BM_DrawPatternFullScreen(benchmark::State& state) {
  TPictureCollectionItem item = MakeItem(kWidth, kHeight, state.range(0) != 0);
  Surface dest(kWidth, kHeight);
  for (auto _ : state) {
    item.DrawPattern(dest, 0, 0, 0);
    benchmark::DoNotOptimize(dest.Pixels.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight * 4);
}
BENCHMARK(BM_DrawPatternFullScreen)->ArgName("keyed")->Arg(0)->Arg(1);

void BM_StretchPatternFullScreen(benchmark::State& state) {
  TPictureCollectionItem item = MakeItem(400, 300, true);
  Surface dest(kWidth, kHeight);
  for (auto _ : state) {
    item.StretchPattern(dest, Bounds(0, 0, kWidth, kHeight), 0);
    benchmark::DoNotOptimize(dest.Pixels.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight * 4);
}
BENCHMARK(BM_StretchPatternFullScreen);

void BM_RotatePattern82x22(benchmark::State& state) {
  TPictureCollectionItem item = MakeItem(82, 22, true);
  Surface dest(kWidth, kHeight);
  int angle = 0;
  for (auto _ : state) {
    item.RotatePattern(dest, 400, 300, 82, 22, 0, 0.5, 0.5, angle++);
    benchmark::DoNotOptimize(dest.Pixels.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_RotatePattern82x22);

void BM_MemcpyPattern82x22(benchmark::State& state) {
  Surface src(82, 22), dest(kWidth, kHeight);
  for (auto _ : state) {
    for (int y = 0; y < 22; ++y) std::memcpy(dest.Row(300 + y) + 400, src.Row(y), 82 * sizeof(uint32_t));
    benchmark::DoNotOptimize(dest.Pixels.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_MemcpyPattern82x22);

void BM_FindItem(benchmark::State& state) {
  TPictureCollection collection;
  const int count = int(state.range(0));
  for (int i = 0; i < count; ++i) collection.Add().Name = "Item" + std::to_string(i);
  collection.Add().Name = "Vzriv";
  collection.FindItem("Vzriv");  // builds the index once
  for (auto _ : state) benchmark::DoNotOptimize(&collection.FindItem("VZRIV"));
}
BENCHMARK(BM_FindItem)->Arg(10)->Arg(10000);

// The fixed 256-bucket hash puts look-alike names together: "Item5000" shares its bucket with
// the 900 names of length 8 whose second-to-last character is '0'. The worst case, for scale.
void BM_FindItemCrowdedBucket(benchmark::State& state) {
  TPictureCollection collection;
  for (int i = 0; i < 10000; ++i) collection.Add().Name = "Item" + std::to_string(i);
  collection.FindItem("Item5000");
  for (auto _ : state) benchmark::DoNotOptimize(&collection.FindItem("ITEM5000"));
}
BENCHMARK(BM_FindItemCrowdedBucket);

}  // namespace

BENCHMARK_MAIN();
