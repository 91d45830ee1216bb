// zarovel-data ASSETS_DIR OUT_DIR: writes Data/MData.dxg, Data/GData.dxg, Sound/GSnd.dxg,
// Sound/1.xm and Sound/2.xm under OUT_DIR. The same sources always give the same bytes.
#include <cstdio>
#include <exception>

#include "DataBuild.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: zarovel-data ASSETS_DIR OUT_DIR\n");
    return 2;
  }
  const std::filesystem::path assets = argv[1], out = argv[2];
  try {
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
