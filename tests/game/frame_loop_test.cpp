// The frame loop moves, purges and draws the sprite tree built from archive pictures.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/ImageArchiveWriter.h"
#include "engine/Sprite.h"
#include "support/GameFixture.h"

namespace {

// A sprite that walks right one pixel a tick and dies when it passes x = 10.
class TWalker : public TImageSprite {
 public:
  using TImageSprite::TImageSprite;
  void MoveStep(int moveCount) override {
    TImageSprite::MoveStep(moveCount);
    X += 1;
    if (X > 10) Kill();
  }
};

Surface Filled(int width, int height, uint32_t colour) {
  Surface s(width, height);
  std::fill(s.Pixels.begin(), s.Pixels.end(), colour);
  return s;
}

struct FrameLoop : GameFixture {
  void SetUp() override {
    std::filesystem::create_directories(folder.Path() / "Data");
    // The menu pictures on a black background, with red 4 x 4 squares (two patterns side
    // by side) and a green block to draw over them.
    std::vector<TImageArchiveEntry> pictures = MinimalMenuPictures();
    pictures[0] = {"FonMenu", 600, 800, 0, 0, false, false, 0, Filled(800, 600, 0)};
    pictures.push_back({"Red", 4, 4, 0, 0, false, false, 0, Filled(8, 4, RGB(255, 0, 0))});
    pictures.push_back({"Green", 0, 0, 0, 0, false, false, 0, Filled(2, 2, RGB(0, 255, 0))});
    SaveImageArchive(folder.Dir() + "Data/MData.dxg", pictures);
    Start();
  }
  TPictureCollection& Pictures() { return form->DXImageList1.Items; }
};

TEST_F(FrameLoop, DrawsSpritesInZOrderFromTheArchive) {
  TSpriteEngine* engine = form->DXSpriteEngine1.Engine();
  auto* red = new TImageSprite(engine);
  red->ImageItem = &Pictures().FindItem("red");
  red->Width = red->Height = 4;
  red->X = 100, red->Y = 50;
  auto* green = new TImageSprite(engine);
  green->ImageItem = &Pictures().FindItem("GREEN");
  green->Width = green->Height = 2;
  green->X = 101, green->Y = 51;
  green->AssignZ(1);
  Ticks(1);
  const Surface& frame = platform.LastFrame();
  EXPECT_EQ(CountColour(frame, 100, 50, 104, 54, RGB(255, 0, 0)), 12);
  EXPECT_EQ(CountColour(frame, 101, 51, 103, 53, RGB(0, 255, 0)), 4);
  EXPECT_EQ(CountColour(frame, 0, 0, 200, 160, 0), 200 * 160 - 16);
  // With the menu background, the hidden check box, the six menu buttons and the seven
  // weapon icons (which draw nothing outside play).
  EXPECT_EQ(engine->DrawnCount(), 17);
}

TEST_F(FrameLoop, MovesWithTheFrameCounterAndPurgesTheKilledBeforeDrawing) {
  TSpriteEngine* engine = form->DXSpriteEngine1.Engine();
  auto* walker = new TWalker(engine);
  walker->ImageItem = &Pictures().FindItem("Red");
  walker->Width = walker->Height = 4;
  walker->FrameCount = 2;
  walker->FrameSpeed = 1;  // one pattern per unit of move count
  walker->FrameLooped = true;
  Ticks(10);
  EXPECT_EQ(walker->X, 10);
  Ticks(1);  // passes 10 and is killed, then purged before the draw
  EXPECT_EQ(engine->SpriteCount(), 15);  // the menu background, the check box, six buttons, seven icons
  EXPECT_EQ(CountColour(platform.LastFrame(), 0, 0, 800, 600, RGB(255, 0, 0)), 0);
}

}  // namespace
