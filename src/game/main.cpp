// The game: one window on the SDL2 back end, the game folder beside the executable.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <exception>
#include <string>

#include "engine/Application.h"
#include "engine/platform/sdl/SdlPlatform.h"
#include "game/Form1.h"
#include "payload/Cp1251.h"

namespace {
// The folder of the executable, ending in '/'.
std::string ExecutableFolder() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return "./";
  const std::string full(path, size_t(n));
  return full.substr(0, full.rfind('/') + 1);
}
}  // namespace

int main() {
  platform::SdlPlatform platform;
  if (!platform.OpenWindow("Zarovel", 800, 600)) {
    std::fprintf(stderr, "zarovel: cannot open the game window\n");
    return 1;
  }
  TApplication application(platform);
  TForm1 form(application, ExecutableFolder());
  try {
    form.Load();
  } catch (const std::exception& error) {
    platform.MessageBox(platform::Utf8ToCp1251(error.what()), "Zarovel");
    return 1;
  }
  application.Run();
  form.LaunchOnExit();
  return 0;
}
