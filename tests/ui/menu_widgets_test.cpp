// The screen sprites: places, depths, sizes, and what the button and check box draw.
#include "ui/MenuWidgets.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/ImageArchiveWriter.h"
#include "support/GameFixture.h"

namespace {

Surface Filled(int width, int height, uint32_t colour) {
  Surface s(width, height);
  std::fill(s.Pixels.begin(), s.Pixels.end(), colour);
  return s;
}

constexpr uint32_t kButton = RGB(255, 128, 0);

struct MenuWidgets : GameFixture {
  void SetUp() override {
    std::filesystem::create_directories(folder.Path() / "Data");
    // The minimal menu pictures, with a few replaced by pictures of other sizes and colours.
    std::vector<TImageArchiveEntry> pictures = MinimalMenuPictures();
    const std::vector<TImageArchiveEntry> own = {
        {"FonMenu", 600, 800, 0, 0, false, false, 0, Filled(800, 600, 0)},
        {"Chk", 23, 23, 0, 0, false, false, 0, Filled(46, 23, kMinimalCheckOff)},
        {"Start", 40, 100, 0, 0, false, false, 0, Filled(100, 40, kButton)},
        {"FonOpt", 380, 400, 0, 0, false, false, 0, Filled(400, 380, RGB(1, 2, 3))},
        {"Qtns", 250, 460, 0, 0, false, false, 0, Filled(460, 250, RGB(4, 5, 6))},
        {"Hlp3", 250, 360, 0, 0, false, false, 0, Filled(360, 250, RGB(7, 8, 9))}};
    for (const TImageArchiveEntry& entry : own)
      for (TImageArchiveEntry& picture : pictures)
        if (picture.Name == entry.Name) picture = entry;
    SaveImageArchive(folder.Dir() + "Data/MData.dxg", pictures);
    Start();
    // A ticked pattern in another colour than the unticked one.
    TPictureCollectionItem& box = Menu().FindItem("Chk");
    Surface twoLooks(46, 23);
    for (int y = 0; y < 23; ++y)
      for (int x = 0; x < 46; ++x) twoLooks.At(x, y) = x < 23 ? kMinimalCheckOff : kMinimalCheckOn;
    box.Picture.Graphic = TDib{twoLooks, 24, {}};
    box.Prepare();
  }
  TPictureCollection& Menu() { return form->DXImageList1.Items; }
  TSpriteEngine* Engine() { return form->DXSpriteEngine1.Engine(); }
  int Count(int left, int top, int right, int bottom, uint32_t colour) {
    return CountColour(platform.LastFrame(), left, top, right, bottom, colour);
  }
};

TEST_F(MenuWidgets, PlacesDepthsAndSizesByKind) {
  struct Case {
    TImageSprite* sprite;
    double x, y;
    int z, width, height;
  };
  const Case cases[] = {
      {new TFonB(Engine(), Menu(), "FonOpt"), 201, 108, -5, 400, 380},
      {new TMenuB(Engine(), Menu(), 240, 166, "Start"), 240, 166, 0, 100, 40},
      {new TAsk(Engine(), Menu(), "Qtns"), 170, 167, 11, 460, 250},
      {new THlp(Engine(), Menu(), 3), 218, 167, 0, 360, 250},
      {G().SendCheckBox, 210, 335, 11, 23, 23},
      {G().Background, 0, 0, -10, 800, 600},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.sprite->X, c.x) << c.sprite->ImageItem->Name;
    EXPECT_EQ(c.sprite->Y, c.y) << c.sprite->ImageItem->Name;
    EXPECT_EQ(c.sprite->Z(), c.z) << c.sprite->ImageItem->Name;
    EXPECT_EQ(c.sprite->Width, c.width) << c.sprite->ImageItem->Name;
    EXPECT_EQ(c.sprite->Height, c.height) << c.sprite->ImageItem->Name;
  }
  EXPECT_THROW(THlp(Engine(), Menu(), 7), EPictureCollectionError);
}

TEST_F(MenuWidgets, AButtonShowsOnlyWhileSelectedAtItsRoundedPlace) {
  G().MenuButtons[1]->Selected = false;  // the menu's own "Start" button
  auto* button = new TMenuB(Engine(), Menu(), 240, 166, "Start");
  Ticks(1);
  EXPECT_EQ(Count(0, 0, 800, 600, kButton), 0);
  button->Selected = true;
  button->X = 240.5;  // halves go to the even neighbour
  Ticks(1);
  EXPECT_EQ(Count(240, 166, 340, 206, kButton), 4000);
  EXPECT_EQ(Count(0, 0, 800, 600, kButton), 4000);
  button->X = 241.5;
  Ticks(1);
  EXPECT_EQ(Count(242, 166, 342, 206, kButton), 4000);
}

TEST_F(MenuWidgets, TheCheckBoxShowsOnlyOnTheNameEntryScreenWithTheSetting) {
  TChk& box = *G().SendCheckBox;
  box.Shown = true;
  Ticks(1);  // in the menu it hides itself
  EXPECT_FALSE(box.Shown);
  EXPECT_EQ(Count(210, 335, 233, 358, kMinimalCheckOff), 0);
  G().GameState = "EnterName";
  box.Shown = true;
  G().Settings.SendScore = 0;
  Ticks(1);
  EXPECT_EQ(Count(210, 335, 233, 358, kMinimalCheckOff), 23 * 23);
  G().Settings.SendScore = 1;
  Ticks(1);
  EXPECT_EQ(Count(210, 335, 233, 358, kMinimalCheckOn), 23 * 23);
}

TEST_F(MenuWidgets, TheGroundIsHitPixelByPixel) {
  TPictureCollectionItem& ground = form->GameImgs.Items.Add();
  ground.Name = "Niz";
  ground.PatternWidth = 800;
  ground.PatternHeight = 122;
  ground.Picture.Graphic = TDib{Filled(800, 122, RGB(90, 80, 40)), 24, {}};
  ground.Prepare();
  auto* strip = new TNiz(Engine(), form->GameImgs.Items);
  EXPECT_TRUE(strip->PixelExact);
  EXPECT_EQ(strip->Y, 478);
  EXPECT_EQ(strip->Z(), -9);
}

}  // namespace
