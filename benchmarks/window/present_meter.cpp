// A measuring shim for the real game in a real window, loaded with LD_PRELOAD: it counts
// the frames the game presents (SDL_RenderPresent, or SDL_UpdateWindowSurface when the
// picture goes straight into the window's framebuffer) and, when the process ends, writes
// the frame rate, the spacing of frames and the process's CPU time to the file named by
// ZAROVEL_METER_OUT (standard error when unset).
//
//   ZAROVEL_METER_SKIP_MS   presents in the first this many milliseconds after the first
//                           frame are left out of the rate and CPU figures (default 2000)
//   ZAROVEL_METER_LAUNCH_NS the launcher's CLOCK_REALTIME in nanoseconds just before it
//                           started the game, for the time from launch to the first frame
//   ZAROVEL_METER_SEED      the game's random numbers start from this seed: the clock it
//                           seeds them from (time and SDL's counter) reads as this number
//   ZAROVEL_METER_PLAY      1: a busy game instead of the menu. A click on "Start" begins a
//                           game at the 10th frame, and from the 170th (the banner is over) the
//                           left button is held down at the middle of the picture, so the
//                           gun fires all the time while aircraft, troops and bonuses come
//
// The game is not changed: the shim stands between it and SDL (and the C library's clock),
// so the same measurement applies to any build of it.
#include <SDL2/SDL.h>
#include <dlfcn.h>
#include <time.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

int64_t Now(clockid_t clock) {
  timespec ts{};
  clock_gettime(clock, &ts);
  return int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

int64_t EnvNumber(const char* name, int64_t fallback) {
  const char* text = std::getenv(name);
  return text != nullptr && *text != '\0' ? std::strtoll(text, nullptr, 10) : fallback;
}

struct Sample {
  int64_t Wall;  // CLOCK_MONOTONIC
  int64_t Cpu;   // CLOCK_PROCESS_CPUTIME_ID
};

struct Meter {
  int64_t LoadedRealtime = Now(CLOCK_REALTIME);
  int64_t FirstPresentRealtime = 0;
  std::vector<Sample> Samples;

  Meter() { Samples.reserve(1 << 16); }

  const bool Plays = EnvNumber("ZAROVEL_METER_PLAY", 0) == 1;

  void Presented() {
    if (Samples.empty()) FirstPresentRealtime = Now(CLOCK_REALTIME);
    Samples.push_back(Sample{Now(CLOCK_MONOTONIC), Now(CLOCK_PROCESS_CPUTIME_ID)});
    if (Plays && Samples.size() == 10) {  // a click on "Start", wherever the pointer was
      Mouse(SDL_MOUSEMOTION, 400, 189);
      Mouse(SDL_MOUSEBUTTONDOWN, 400, 189);
      Mouse(SDL_MOUSEBUTTONUP, 400, 189);
    }
    if (Plays && Samples.size() == 170) Mouse(SDL_MOUSEBUTTONDOWN, 400, 300);  // held from here on
  }

  // Events go into SDL's queue as the window system's would, for the game to read.
  static void Mouse(Uint32 type, int x, int y) {
    SDL_Event event{};
    event.type = type;
    if (type == SDL_MOUSEMOTION) {
      event.motion.x = x, event.motion.y = y;
    } else {
      event.button.button = SDL_BUTTON_LEFT;
      event.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
      event.button.clicks = 1;
      event.button.x = x, event.button.y = y;
    }
    SDL_PushEvent(&event);
  }

  void Report() const {
    FILE* out = stderr;
    const char* path = std::getenv("ZAROVEL_METER_OUT");
    if (path != nullptr && *path != '\0') out = std::fopen(path, "w");
    if (out == nullptr) out = stderr;
    std::fprintf(out, "presents_total %zu\n", Samples.size());
    const int64_t launch = EnvNumber("ZAROVEL_METER_LAUNCH_NS", 0);
    if (!Samples.empty()) {
      std::fprintf(out, "first_frame_after_load_ms %.1f\n", double(FirstPresentRealtime - LoadedRealtime) / 1e6);
      if (launch > 0) std::fprintf(out, "first_frame_after_launch_ms %.1f\n", double(FirstPresentRealtime - launch) / 1e6);
    }
    // The steady part: from the first present after the skip to the last one.
    const int64_t skip = EnvNumber("ZAROVEL_METER_SKIP_MS", 2000) * 1'000'000;
    size_t first = 0;
    while (first < Samples.size() && Samples[first].Wall - Samples.front().Wall < skip) ++first;
    if (Samples.size() - first >= 2) {
      const Sample& a = Samples[first];
      const Sample& b = Samples.back();
      const double seconds = double(b.Wall - a.Wall) / 1e9;
      const double frames = double(Samples.size() - 1 - first);
      std::fprintf(out, "steady_seconds %.3f\n", seconds);
      std::fprintf(out, "steady_presents %.0f\n", frames + 1);
      std::fprintf(out, "presents_per_second %.3f\n", frames / seconds);
      std::fprintf(out, "cpu_percent_of_one_core %.2f\n", 100.0 * double(b.Cpu - a.Cpu) / double(b.Wall - a.Wall));
      // Spacing of consecutive presents in whole milliseconds (rounded), 0..39 and more.
      std::array<long, 41> histogram{};
      for (size_t i = first + 1; i < Samples.size(); ++i) {
        const int64_t ms = (Samples[i].Wall - Samples[i - 1].Wall + 500'000) / 1'000'000;
        ++histogram[size_t(ms < 40 ? ms : 40)];
      }
      std::fprintf(out, "spacing_ms");
      for (size_t ms = 0; ms < histogram.size(); ++ms) {
        if (histogram[ms] != 0) std::fprintf(out, " %zu%s:%ld", ms, ms == 40 ? "+" : "", histogram[ms]);
      }
      std::fprintf(out, "\n");
    }
    if (out != stderr) std::fclose(out);
  }
};

Meter& TheMeter() {
  static Meter* meter = new Meter;  // never destroyed: the report runs from a destructor below
  return *meter;
}

struct ReportAtExit {
  ReportAtExit() { TheMeter(); }
  ~ReportAtExit() { TheMeter().Report(); }
} reportAtExit;

}  // namespace

// A present through the renderer may reach SDL_UpdateWindowSurface from inside; it counts once.
thread_local bool insidePresent = false;

extern "C" void SDL_RenderPresent(SDL_Renderer* renderer) {
  using Fn = void (*)(SDL_Renderer*);
  static const Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "SDL_RenderPresent"));
  insidePresent = true;
  real(renderer);
  insidePresent = false;
  TheMeter().Presented();
}

extern "C" int SDL_UpdateWindowSurface(SDL_Window* window) {
  using Fn = int (*)(SDL_Window*);
  static const Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "SDL_UpdateWindowSurface"));
  const int result = real(window);
  if (!insidePresent) TheMeter().Presented();
  return result;
}

// The clock the game seeds its random numbers from, fixed when asked. SDL's own timing does
// not come through here: it calls its counter inside the library.
extern "C" time_t time(time_t* out) {
  static const int64_t seed = EnvNumber("ZAROVEL_METER_SEED", -1);
  time_t now = seed >= 0 ? time_t(seed) : time_t(Now(CLOCK_REALTIME) / 1'000'000'000);
  if (out != nullptr) *out = now;
  return now;
}

extern "C" Uint64 SDL_GetPerformanceCounter(void) {
  using Fn = Uint64 (*)();
  static const Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "SDL_GetPerformanceCounter"));
  return EnvNumber("ZAROVEL_METER_SEED", -1) >= 0 ? 0 : real();
}
