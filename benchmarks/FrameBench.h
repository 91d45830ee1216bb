// What the benchmarks of whole frames share: the floor of a frame (a memset plus a memcpy
// of one 800 x 600 x 4 frame), timing against a reference measured in the same run, and the
// real game on the headless back end in a folder of its own.
#pragma once
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "engine/Application.h"
#include "engine/platform/headless/HeadlessPlatform.h"
#include "game/Form1.h"

namespace bench {

constexpr int kWidth = 800, kHeight = 600;
constexpr size_t kFrameBytes = size_t(kWidth) * kHeight * sizeof(uint32_t);

using Clock = std::chrono::steady_clock;

// Mean seconds per call of `body`, over at least 0.2 s of calls.
template <typename Body>
double SecondsPerCall(Body body) {
  int64_t calls = 0;
  const Clock::time_point start = Clock::now();
  Clock::duration spent{};
  while (spent < std::chrono::milliseconds(200)) {
    for (int i = 0; i < 16; ++i) body();
    calls += 16;
    spent = Clock::now() - start;
  }
  return std::chrono::duration<double>(spent).count() / double(calls);
}

// Runs the benchmark loop over `body` and reports, beside the usual time, the ratio of
// its mean time per iteration to `reference` seconds, and the reference itself.
template <typename Body>
void RunAgainst(benchmark::State& state, double reference, const char* ratioName, Body body) {
  const Clock::time_point start = Clock::now();
  for (auto _ : state) body();
  const double perIteration =
      std::chrono::duration<double>(Clock::now() - start).count() / double(std::max<int64_t>(state.iterations(), 1));
  state.counters[ratioName] = perIteration / reference;
  state.counters["reference_us"] = reference * 1e6;
}

// The floor: clear one frame, copy it once.
struct Floor {
  Surface Frame{kWidth, kHeight}, Copy{kWidth, kHeight};
  void operator()() {
    std::memset(Frame.Pixels.data(), 0, kFrameBytes);
    benchmark::ClobberMemory();
    std::memcpy(Copy.Pixels.data(), Frame.Pixels.data(), kFrameBytes);
    benchmark::DoNotOptimize(Copy.Pixels.data());
    benchmark::ClobberMemory();
  }
};

// The game's data, built beside the benchmark, copied into a folder of its own because
// the game writes Config.cfg into its folder.
class GameFolder {
 public:
  GameFolder() {
    namespace fs = std::filesystem;
    path_ = fs::temp_directory_path() / ("zarovel-benchmark-" + std::to_string(getpid()));
    fs::create_directories(path_);
    fs::copy(ZAROVEL_GAME_DATA, path_, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  }
  ~GameFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  GameFolder(const GameFolder&) = delete;
  GameFolder& operator=(const GameFolder&) = delete;
  std::string Dir() const { return path_.string() + "/"; }

 private:
  std::filesystem::path path_;
};

// The real game on the headless back end, started with a fixed seed; Tick runs one 20 ms
// tick of the frame timer.
struct HeadlessGame {
  GameFolder Folder;
  platform::HeadlessPlatform Platform;
  TApplication Application{Platform};
  std::unique_ptr<TForm1> Form;
  uint32_t Now = 0;

  HeadlessGame() {
    Platform.OpenWindow("Zarovel", kWidth, kHeight);
    Form = std::make_unique<TForm1>(Application, Folder.Dir(), 1);
    Form->Load();
  }
  void Tick() {
    Now += 20;
    Platform.SetTime(Now);
    Application.Idle();
  }
};

}  // namespace bench
