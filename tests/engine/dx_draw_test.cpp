// The display component: clearing the back surface.
#include "engine/DXDraw.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "engine/platform/headless/HeadlessPlatform.h"

namespace {

bool AllPixels(const Surface& surface, uint32_t value) {
  return std::all_of(surface.Pixels.begin(), surface.Pixels.end(), [value](uint32_t p) { return p == value; });
}

TEST(DXDraw, FillSurfaceSetsEveryPixelWhateverTheValueAndSize) {
  platform::HeadlessPlatform platform;
  TDXDraw display(platform);
  display.AutoSize = false;
  // 13 x 7 = 91 pixels: not a whole number of the blocks the fill works in.
  for (const auto& [width, height] : {std::pair{800, 600}, std::pair{13, 7}, std::pair{1, 1}}) {
    display.SurfaceWidth = width, display.SurfaceHeight = height;
    display.InitDisplay();
    for (uint32_t value : {0u, 0x123456u, 0x00FFFFFFu, 0x7F7F7F7Fu, 0xFF000000u, 0x80u}) {
      display.FillSurface(value);
      EXPECT_TRUE(AllPixels(display.BackSurface(), value)) << width << "x" << height << " " << std::hex << value;
    }
  }
}

}  // namespace
