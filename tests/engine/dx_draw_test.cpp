// The display component: clearing the back surface, and the headless back end's last
// frame, which it reads from the presented surface instead of copying every frame.
#include "engine/DXDraw.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
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

TEST(DXDraw, HeadlessLastFrameIsThePresentedSurfaceWithoutACopy) {
  platform::HeadlessPlatform platform;
  platform.OpenWindow("Zarovel", 800, 600);
  EXPECT_TRUE(AllPixels(platform.LastFrame(), 0));
  TDXDraw display(platform);
  display.InitDisplay();
  display.FillSurface(0x123456);
  display.Present();
  EXPECT_EQ(platform.PresentCount(), 1);
  EXPECT_EQ(platform.LastFrame().Pixels.data(), display.BackSurface().Pixels.data());
  EXPECT_TRUE(AllPixels(platform.LastFrame(), 0x123456));
}

TEST(DXDraw, HeadlessLastFrameOutlivesTheSurfaceItCameFrom) {
  platform::HeadlessPlatform platform;
  platform.OpenWindow("Zarovel", 800, 600);
  auto display = std::make_unique<TDXDraw>(platform);
  display->InitDisplay();
  display->FillSurface(0xABCDEF);
  display->Present();
  display.reset();
  EXPECT_EQ(platform.LastFrame().Width, 800);
  EXPECT_TRUE(AllPixels(platform.LastFrame(), 0xABCDEF));

  // A display that changes its surface's size keeps the frame it presented before.
  TDXDraw resized(platform);
  resized.InitDisplay();
  resized.FillSurface(0x00FF00);
  resized.Present();
  resized.Width = 320, resized.Height = 200;
  resized.InitDisplay();
  EXPECT_EQ(platform.LastFrame().Width, 800);
  EXPECT_TRUE(AllPixels(platform.LastFrame(), 0x00FF00));
}

}  // namespace
