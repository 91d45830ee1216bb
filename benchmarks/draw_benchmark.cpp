// Benchmarks of the draw pass and of one whole menu frame, each beside the plain memory
// operation it should cost about as much as:
// - the floor of a frame: a memset plus a memcpy of one 800 x 600 x 4 frame;
// - clearing the surface (TDXDraw::FillSurface) beside a memset of the same bytes;
// - a full-screen pattern, plain and with a colour key, beside a memcpy of the same bytes;
// - one menu frame of the real game on the headless back end, beside the floor;
// - stretched and rotated patterns, and name lookup in small and large collections.
// Counters named x_... give the ratio to the reference measured in the same run.
#include "FrameBench.h"
#include "engine/DXDraw.h"
#include "engine/PictureCollection.h"

namespace {

using namespace bench;

double MemsetSeconds() {
  Surface frame(kWidth, kHeight);
  return SecondsPerCall([&] {
    std::memset(frame.Pixels.data(), 0, kFrameBytes);
    benchmark::DoNotOptimize(frame.Pixels.data());
    benchmark::ClobberMemory();
  });
}

double MemcpySeconds() {
  Surface src(kWidth, kHeight), dest(kWidth, kHeight);
  return SecondsPerCall([&] {
    std::memcpy(dest.Pixels.data(), src.Pixels.data(), kFrameBytes);
    benchmark::DoNotOptimize(dest.Pixels.data());
    benchmark::ClobberMemory();
  });
}

// A picture of noise in which every fourth run of 16 pixels is the colour key, so a keyed
// draw both writes and skips.
TPictureCollectionItem MakeItem(int w, int h, bool transparent) {
  constexpr uint32_t kKey = 0xFF00FF;
  Surface s(w, h);
  for (size_t i = 0; i < s.Pixels.size(); ++i) {
    s.Pixels[i] = (i / 16) % 4 == 3 ? kKey : uint32_t(i * 2654435761u) & 0xFFFFFF;
  }
  TPictureCollectionItem item;
  item.Transparent = transparent;
  item.TransparentColor = kKey;  // symmetric in red and blue, so the same in both byte orders
  item.Picture.Graphic = TDib{std::move(s), 24, {}};
  item.Prepare();
  return item;
}

void BM_Floor(benchmark::State& state) {
  Floor floor;
  for (auto _ : state) floor();
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFrameBytes) * 2);
}
BENCHMARK(BM_Floor);

void BM_MemsetFullScreen(benchmark::State& state) {
  Surface frame(kWidth, kHeight);
  for (auto _ : state) {
    std::memset(frame.Pixels.data(), 0, kFrameBytes);
    benchmark::DoNotOptimize(frame.Pixels.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFrameBytes));
}
BENCHMARK(BM_MemsetFullScreen);

void BM_MemcpyFullScreen(benchmark::State& state) {
  Surface src(kWidth, kHeight), dest(kWidth, kHeight);
  for (auto _ : state) {
    std::memcpy(dest.Pixels.data(), src.Pixels.data(), kFrameBytes);
    benchmark::DoNotOptimize(dest.Pixels.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFrameBytes));
}
BENCHMARK(BM_MemcpyFullScreen);

// The frame loop's clear: black (the game's value), and a colour whose four bytes differ.
void BM_FillSurface(benchmark::State& state) {
  platform::HeadlessPlatform platform;
  TDXDraw display(platform);
  display.InitDisplay();
  const uint32_t value = uint32_t(state.range(0));
  RunAgainst(state, MemsetSeconds(), "x_memset", [&] {
    display.FillSurface(value);
    benchmark::DoNotOptimize(display.BackSurface().Pixels.data());
    benchmark::ClobberMemory();
  });
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFrameBytes));
}
BENCHMARK(BM_FillSurface)->ArgName("value")->Arg(0)->Arg(0x123456);

void BM_DrawPatternFullScreen(benchmark::State& state) {
  TPictureCollectionItem item = MakeItem(kWidth, kHeight, state.range(0) != 0);
  Surface dest(kWidth, kHeight);
  RunAgainst(state, MemcpySeconds(), "x_memcpy", [&] {
    item.DrawPattern(dest, 0, 0, 0);
    benchmark::DoNotOptimize(dest.Pixels.data());
    benchmark::ClobberMemory();
  });
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFrameBytes));
}
BENCHMARK(BM_DrawPatternFullScreen)->ArgName("keyed")->Arg(0)->Arg(1);

// One tick of the real game at its main menu on the headless back end: clear, move, draw
// the menu's sprites and texts, present.
void BM_MenuFrame(benchmark::State& state) {
  HeadlessGame game;
  for (int i = 0; i < 50; ++i) game.Tick();  // past the first frames of start-up
  if (game.Form->G.GameState != "Menu") state.SkipWithError("the game is not at its menu");
  const int presentedBefore = game.Platform.PresentCount();
  Floor floor;
  RunAgainst(state, SecondsPerCall(floor), "x_floor", [&] { game.Tick(); });
  if (game.Platform.PresentCount() - presentedBefore != int(state.iterations())) {
    state.SkipWithError("not every tick presented a frame");
  }
}
BENCHMARK(BM_MenuFrame)->Unit(benchmark::kMicrosecond);

void BM_StretchPatternFullScreen(benchmark::State& state) {
  TPictureCollectionItem item = MakeItem(400, 300, true);
  Surface dest(kWidth, kHeight);
  for (auto _ : state) {
    item.StretchPattern(dest, Bounds(0, 0, kWidth, kHeight), 0);
    benchmark::DoNotOptimize(dest.Pixels.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFrameBytes));
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
