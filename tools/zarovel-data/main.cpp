// zarovel-data ASSETS_DIR OUT_DIR: writes Data/MData.dxg, Data/GData.dxg, Sound/GSnd.dxg,
// Sound/1.xm and Sound/2.xm under OUT_DIR.
// zarovel-data --icon SVG OUT_DIR: writes the desktop icon drawn in SVG under OUT_DIR as an
// icon theme lays it out, hicolor/<N>x<N>/apps/org.zarovel.Zarovel.png for N = 16, 22, 24,
// 32, 48, 64, 128 and 256, and the drawing itself as hicolor/scalable/apps/org.zarovel.Zarovel.svg.
// The same sources always give the same bytes.
#include <cstdio>
#include <exception>
#include <string_view>

#include "DataBuild.h"
#include "IconRender.h"

int main(int argc, char** argv) {
  const bool icon = argc > 1 && std::string_view(argv[1]) == "--icon";
  if (argc != (icon ? 4 : 3)) {
    std::fprintf(stderr,
                 "usage: zarovel-data ASSETS_DIR OUT_DIR\n"
                 "       zarovel-data --icon SVG OUT_DIR\n");
    return 2;
  }
  try {
    if (icon) {
      BuildIcons(argv[2], argv[3]);
      return 0;
    }
    const std::filesystem::path assets = argv[1], out = argv[2];
    std::filesystem::create_directories(out / "Data");
    std::filesystem::create_directories(out / "Sound");
    BuildImages(assets, out);
    BuildSounds(assets, out);
    BuildMusic(assets, out);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "zarovel-data: %s\n", error.what());
    return 1;
  }
  return 0;
}
