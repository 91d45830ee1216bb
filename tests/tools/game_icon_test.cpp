// The desktop icon renders at every size of the icon theme, square, clear in its corners and
// opaque in its middle, the same bytes every time; the build lays it out; a drawing that cannot
// be read fails with a message that names it.
#include <cairo.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "IconRender.h"
#include "support/ErrorOf.h"
#include "support/GameFixture.h"

namespace {

namespace fs = std::filesystem;

const fs::path kIconSvg = fs::path(ZAROVEL_SOURCE_DIR) / "assets" / "icon" / "zarovel.svg";

std::string Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

fs::path PngOf(const fs::path& out, int size) {
  return out / "hicolor" / (std::to_string(size) + "x" + std::to_string(size)) / "apps" / "org.zarovel.Zarovel.png";
}

fs::path SvgOf(const fs::path& out) { return out / "hicolor" / "scalable" / "apps" / "org.zarovel.Zarovel.svg"; }

using Picture = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;

Picture ReadPng(const fs::path& path) {
  return {cairo_image_surface_create_from_png(path.c_str()), &cairo_surface_destroy};
}

uint32_t AlphaAt(cairo_surface_t* picture, int x, int y) {
  const unsigned char* row = cairo_image_surface_get_data(picture) + y * cairo_image_surface_get_stride(picture);
  return reinterpret_cast<const uint32_t*>(row)[x] >> 24;
}

TEST(GameIcon, EverySizeIsSquareClearInItsCornersAndOpaqueInItsMiddle) {
  TempFolder out;
  const auto files = BuildIcons(kIconSvg, out.Path());
  EXPECT_EQ(files.size(), kIconSizes.size() + 1);
  for (int size : kIconSizes) {
    SCOPED_TRACE(size);
    const Picture picture = ReadPng(PngOf(out.Path(), size));
    ASSERT_EQ(cairo_surface_status(picture.get()), CAIRO_STATUS_SUCCESS);
    // A PNG without an alpha channel would load as RGB24.
    ASSERT_EQ(cairo_image_surface_get_format(picture.get()), CAIRO_FORMAT_ARGB32);
    ASSERT_EQ(cairo_image_surface_get_width(picture.get()), size);
    ASSERT_EQ(cairo_image_surface_get_height(picture.get()), size);
    const int last = size - 1;
    EXPECT_EQ(AlphaAt(picture.get(), 0, 0), 0u);
    EXPECT_EQ(AlphaAt(picture.get(), last, 0), 0u);
    EXPECT_EQ(AlphaAt(picture.get(), 0, last), 0u);
    EXPECT_EQ(AlphaAt(picture.get(), last, last), 0u);
    EXPECT_EQ(AlphaAt(picture.get(), size / 2, size / 2), 255u);
  }
  EXPECT_EQ(Contents(SvgOf(out.Path())), Contents(kIconSvg));
}

TEST(GameIcon, TheSameDrawingGivesTheSameBytes) {
  TempFolder first, second;
  BuildIcons(kIconSvg, first.Path());
  BuildIcons(kIconSvg, second.Path());
  for (int size : kIconSizes)
    EXPECT_EQ(Contents(PngOf(first.Path(), size)), Contents(PngOf(second.Path(), size))) << size;
}

TEST(GameIcon, TheBuildLaysOutTheIconsOfTheCurrentDrawing) {
  const fs::path built = fs::path(ZAROVEL_BUILD_DIR) / "icons";
  TempFolder fresh;
  BuildIcons(kIconSvg, fresh.Path());
  for (int size : kIconSizes) {
    ASSERT_TRUE(fs::exists(PngOf(built, size))) << PngOf(built, size);
    EXPECT_EQ(Contents(PngOf(built, size)), Contents(PngOf(fresh.Path(), size))) << size;
  }
  EXPECT_EQ(Contents(SvgOf(built)), Contents(kIconSvg));
}

TEST(GameIcon, AMissingOrBrokenDrawingFailsWithAMessageThatNamesIt) {
  TempFolder folder;
  const fs::path png = folder.Path() / "icon.png";

  const fs::path missing = folder.Path() / "missing.svg";
  const std::string notThere = ErrorOf([&] { RenderIconPng(missing, 16, png); });
  EXPECT_NE(notThere.find(missing.string()), std::string::npos) << notThere;
  EXPECT_NE(ErrorOf([&] { BuildIcons(missing, folder.Path() / "out"); }), "");

  const fs::path broken = folder.Path() / "broken.svg";
  std::ofstream(broken) << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"16\" height=\"16\"><rect";
  const std::string unreadable = ErrorOf([&] { RenderIconPng(broken, 16, png); });
  EXPECT_NE(unreadable.find(broken.string()), std::string::npos) << unreadable;
  EXPECT_FALSE(fs::exists(png));

  const fs::path nowhere = folder.Path() / "no such folder" / "icon.png";
  const std::string unwritable = ErrorOf([&] { RenderIconPng(kIconSvg, 16, nowhere); });
  EXPECT_NE(unwritable.find(nowhere.string()), std::string::npos) << unwritable;
}

}  // namespace
