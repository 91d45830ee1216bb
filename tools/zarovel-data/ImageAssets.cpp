// Picture archives from SVG drawings listed in *.items files.
//
// Each line of an .items file: NAME FILE.svg [pattern=WxH] [skip=WxH] [opaque]
// FILE is relative to the .items file; references inside drawings are relative to
// assets/images. The drawing holds the patterns side by side (then row under row);
// without pattern= the whole drawing is one pattern. Pictures are colour-keyed unless marked opaque. '#' starts
// a comment. Items go into the archive in file-name order, then line order.
#include <algorithm>
#include <fstream>
#include <sstream>
#include <vector>

#include "DataBuild.h"
#include "SvgRender.h"
#include "engine/ImageArchiveWriter.h"

namespace fs = std::filesystem;

namespace {

bool ParseSize(const std::string& text, int& width, int& height) {
  char x = 0;
  std::istringstream in(text);
  return bool(in >> width >> x >> height) && x == 'x' && in.eof() && width >= 0 && height >= 0;
}

std::vector<TImageArchiveEntry> ReadItems(const fs::path& manifest, const fs::path& base) {
  std::vector<TImageArchiveEntry> entries;
  std::ifstream in(manifest);
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    std::string name, file;
    if (!(words >> name)) continue;
    const auto fail = [&](const std::string& why) {
      throw AssetError(manifest.string() + ":" + std::to_string(number) + ": " + why);
    };
    if (!(words >> file)) fail("no drawing named for " + name);
    TImageArchiveEntry entry;
    entry.Name = name;
    entry.Transparent = true;
    entry.TransparentColor = kKeyColourBGR;
    bool opaque = false;
    for (std::string option; words >> option;) {
      if (option.rfind("pattern=", 0) == 0) {
        if (!ParseSize(option.substr(8), entry.PatternWidth, entry.PatternHeight)) fail("bad " + option);
      } else if (option.rfind("skip=", 0) == 0) {
        if (!ParseSize(option.substr(5), entry.SkipWidth, entry.SkipHeight)) fail("bad " + option);
      } else if (option == "opaque") {
        opaque = true;
      } else {
        fail("unknown option " + option);
      }
    }
    Surface picture = RenderSvg(manifest.parent_path() / file, base, opaque);
    if (entry.PatternWidth == 0) entry.PatternWidth = picture.Width;
    if (entry.PatternHeight == 0) entry.PatternHeight = picture.Height;
    if (entry.PatternWidth > picture.Width || entry.PatternHeight > picture.Height)
      fail(name + ": pattern larger than the drawing");
    entry.Transparent = !opaque;
    entry.Pixels = std::move(picture);
    entries.push_back(std::move(entry));
  }
  return entries;
}

void BuildArchive(const fs::path& folder, const fs::path& base, const fs::path& archive) {
  std::vector<fs::path> manifests;
  if (fs::is_directory(folder))
    for (const auto& file : fs::directory_iterator(folder))
      if (file.path().extension() == ".items") manifests.push_back(file.path());
  std::sort(manifests.begin(), manifests.end());
  std::vector<TImageArchiveEntry> entries;
  for (const fs::path& manifest : manifests) {
    auto items = ReadItems(manifest, base);
    std::move(items.begin(), items.end(), std::back_inserter(entries));
  }
  SaveImageArchive(archive.string(), entries);
}

}  // namespace

void BuildImages(const fs::path& assets, const fs::path& out) {
  const fs::path images = assets / "images";
  BuildArchive(images / "menu", images, out / "Data" / "MData.dxg");
  BuildArchive(images / "game", images, out / "Data" / "GData.dxg");
}
