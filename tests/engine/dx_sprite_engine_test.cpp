// Tests of the sprite-engine component: it follows the display's notifications, draws
// only on an initialised display, and passes the frame's move, purge and draw through.
#include <gtest/gtest.h>

#include <memory>

#include "engine/DXDraw.h"
#include "engine/DXSpriteEngine.h"
#include "engine/platform/headless/HeadlessPlatform.h"

namespace {

// Counts its draws and moves.
class Counter : public TSprite {
 public:
  explicit Counter(TSprite* parent) : TSprite(parent) { Width = Height = 10; }
  void DrawStep() override { ++Draws; }
  void MoveStep(int moveCount) override { Moved += moveCount; }
  int Draws = 0;
  int Moved = 0;
};

TEST(DXSpriteEngine, FollowsTheDisplaysLifeCycle) {
  platform::HeadlessPlatform platform;
  auto display = std::make_unique<TDXDraw>(platform);
  TDXSpriteEngine component;
  TSpriteEngine& engine = *component.Engine();
  auto* sprite = new Counter(&engine);

  component.SetDXDraw(display.get());
  EXPECT_EQ(component.DXDraw(), display.get());
  EXPECT_EQ(engine.DrawSurface(), nullptr);
  component.DrawTree();  // not initialised: nothing drawn
  EXPECT_EQ(sprite->Draws, 0);

  display->InitDisplay();
  EXPECT_EQ(engine.DrawSurface(), &display->BackSurface());
  EXPECT_EQ(engine.SurfaceBounds(), Bounds(0, 0, 800, 600));
  EXPECT_EQ(engine.Width, 800);
  EXPECT_EQ(engine.Height, 600);
  component.DrawTree();
  EXPECT_EQ(sprite->Draws, 1);
  EXPECT_EQ(engine.DrawnCount(), 1);

  display->Finalize();
  EXPECT_EQ(engine.DrawSurface(), nullptr);
  component.DrawTree();
  EXPECT_EQ(sprite->Draws, 1);

  display->InitDisplay();
  EXPECT_EQ(engine.DrawSurface(), &display->BackSurface());
  display.reset();  // finalised, then destroyed
  EXPECT_EQ(component.DXDraw(), nullptr);
  EXPECT_EQ(engine.DrawSurface(), nullptr);
  component.DrawTree();
  EXPECT_EQ(sprite->Draws, 1);

  // Moves and collisions go on without a display.
  component.MoveTree(3);
  EXPECT_EQ(sprite->Moved, 3);
}

TEST(DXSpriteEngine, AttachesAtOnceToAnInitialisedDisplay) {
  platform::HeadlessPlatform platform;
  TDXDraw display(platform);
  display.InitDisplay();
  TDXSpriteEngine component;
  component.SetDXDraw(&display);
  EXPECT_EQ(component.Engine()->DrawSurface(), &display.BackSurface());
}

TEST(DXSpriteEngine, SwitchingDisplaysStopsListeningToTheOldOne) {
  platform::HeadlessPlatform platform;
  TDXDraw first(platform), second(platform);
  second.SurfaceWidth = second.Width = 320;
  second.SurfaceHeight = second.Height = 200;
  first.InitDisplay();
  TDXSpriteEngine component;
  component.SetDXDraw(&first);
  component.SetDXDraw(&second);
  EXPECT_EQ(component.Engine()->DrawSurface(), nullptr);  // the old display's surface is let go
  second.InitDisplay();
  EXPECT_EQ(component.Engine()->SurfaceBounds(), Bounds(0, 0, 320, 200));
  first.Finalize();
  first.InitDisplay();
  EXPECT_EQ(component.Engine()->DrawSurface(), &second.BackSurface());

  component.SetDXDraw(nullptr);
  EXPECT_EQ(component.DXDraw(), nullptr);
  EXPECT_EQ(component.Engine()->DrawSurface(), nullptr);
  second.Finalize();
  second.InitDisplay();
  EXPECT_EQ(component.Engine()->DrawSurface(), nullptr);
}

TEST(DXSpriteEngine, ComponentDestroyedBeforeItsDisplayUnregisters) {
  platform::HeadlessPlatform platform;
  TDXDraw display(platform);
  {
    TDXSpriteEngine component;
    component.SetDXDraw(&display);
    new Counter(component.Engine());
  }
  display.InitDisplay();  // nobody listening any more
  display.Finalize();
}

TEST(DXSpriteEngine, OneFrameMovesPurgesAndDraws) {
  platform::HeadlessPlatform platform;
  TDXDraw display(platform);
  TDXSpriteEngine component;
  component.SetDXDraw(&display);
  display.InitDisplay();
  TSpriteEngine& engine = *component.Engine();
  auto* stays = new Counter(&engine);
  (new Counter(&engine))->Kill();
  EXPECT_EQ(engine.SpriteCount(), 2);

  component.MoveTree(1);
  component.Purge();
  component.DrawTree();
  EXPECT_EQ(engine.SpriteCount(), 1);
  EXPECT_EQ(stays->Moved, 1);
  EXPECT_EQ(stays->Draws, 1);
  EXPECT_EQ(engine.DrawnCount(), 1);
}

}  // namespace
