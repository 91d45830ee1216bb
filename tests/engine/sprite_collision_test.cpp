// Tests of Collide: the rectangle test, the walk over the engine's children, the done
// flag, hit tests asked in order, self-killing colliders and TImageSpriteEx bounds.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "engine/Sprite.h"

namespace {

using Log = std::vector<std::string>;

// A plain rectangle that logs its hit tests and the hits it handles.
class Box : public TSprite {
 public:
  Box(TSprite* parent, std::string name, double x, double y, Log* log, int size = 10)
      : TSprite(parent), Name(std::move(name)), log_(log) {
    X = x;
    Y = y;
    Width = Height = size;
  }

  bool HitTest(TSprite* other) override {
    log_->push_back(Name + "?" + NameOf(other));
    return Answer;
  }
  void HandleCollision(TSprite* other, bool& done) override {
    log_->push_back("hit " + Name + ">" + NameOf(other));
    if (OnHit) OnHit(other, done);
  }

  static std::string NameOf(TSprite* s) {
    auto* box = dynamic_cast<Box*>(s);
    return box != nullptr ? box->Name : "?";
  }

  std::string Name;
  bool Answer = true;
  std::function<void(TSprite*, bool&)> OnHit;

 private:
  Log* log_;
};

struct World {
  World() { engine.AttachSurface(&surface); }
  Box* Add(const std::string& name, double x, double y, TSprite* parent = nullptr, int size = 10) {
    return new Box(parent != nullptr ? parent : &engine, name, x, y, &log, size);
  }
  // Only the hits, in the order handled.
  Log Hits() const {
    Log hits;
    for (const std::string& entry : log)
      if (entry.rfind("hit ", 0) == 0) hits.push_back(entry.substr(4));
    return hits;
  }

  Surface surface{200, 150};
  Log log;
  TSpriteEngine engine;
};

TEST(SpriteCollide, RectangleTable) {
  // The collider covers (0, 0)-(10, 10).
  const struct {
    double x, y;
    int width, height;
    bool hit;
  } cases[] = {
      {5, 5, 10, 10, true},      {10, 0, 10, 10, false},  // touching right edge
      {9.9, 0, 10, 10, true},    {0, 10, 10, 10, false},
      {-10, -10, 10, 10, false}, {-9.9, -9.9, 10, 10, true},  // truncated toward zero to (-9, -9)
      {2, 2, 0, 5, false},                                    // width 0 is never hit
      {2, 2, 5, 0, false},       {2, 2, 1, 1, true},
  };
  for (const auto& c : cases) {
    World w;
    Box* collider = w.Add("c", 0, 0);
    Box* target = w.Add("t", c.x, c.y);
    target->Width = c.width;
    target->Height = c.height;
    EXPECT_EQ(collider->Collide(), c.hit ? 1 : 0) << c.x << ", " << c.y << " " << c.width << "x" << c.height;
    EXPECT_EQ(w.engine.HitCount(), c.hit ? 1 : 0);
  }
}

TEST(SpriteCollide, ColliderThatCannotCollideGetsNothing) {
  const struct {
    const char* what;
    std::function<void(Box&)> prepare;
  } cases[] = {
      {"killed", [](Box& c) { c.Kill(); }},
      {"CanCollide false", [](Box& c) { c.CanCollide = false; }},
      {"width 0", [](Box& c) { c.Width = 0; }},
  };
  for (const auto& c : cases) {
    World w;
    Box* collider = w.Add("c", 0, 0);
    w.Add("t", 5, 5);
    c.prepare(*collider);
    EXPECT_EQ(collider->Collide(), 0) << c.what;
    EXPECT_TRUE(w.Hits().empty()) << c.what;
  }
  World w;
  w.Add("t", 0, 0);
  EXPECT_EQ(w.engine.Collide(), 0);  // the engine has no engine
  TSprite loose(nullptr);
  loose.Width = loose.Height = 10;
  EXPECT_EQ(loose.Collide(), 0);
}

TEST(SpriteCollide, WalkVisitsChildrenInOrderAndAsksBothHitTests) {
  World w;
  Box* t1 = w.Add("t1", 1, 1);
  w.Add("t1a", 0, 0, t1);  // at (1, 1) too
  Box* collider = w.Add("c", 0, 0);
  Box* t2 = w.Add("t2", 2, 2);
  t2->Answer = false;  // t2 refuses: no hit
  Box* t3 = w.Add("t3", 3, 3);
  t3->AssignZ(-4);  // Z plays no part in the walk
  collider->OnHit = [&](TSprite* other, bool&) {
    if (other == t3) collider->Answer = false;  // the collider refuses from now on
  };
  Box* t4 = w.Add("t4", 4, 4);

  EXPECT_EQ(collider->Collide(), 3);
  EXPECT_EQ(w.log, (Log{"c?t1", "t1?c", "hit c>t1",     //
                        "c?t1a", "t1a?c", "hit c>t1a",  //
                        "c?t2", "t2?c",                 //
                        "c?t3", "t3?c", "hit c>t3",     //
                        "c?t4"}));                      // the target is not asked after a refusal
  (void)t4;
}

TEST(SpriteCollide, TargetThatCannotCollideIsSkippedWithItsSubtree) {
  World w;
  Box* collider = w.Add("c", 0, 0);
  Box* off = w.Add("off", 0, 0);
  w.Add("child", 0, 0, off);
  off->CanCollide = false;
  Box* far = w.Add("far", 100, 100);
  w.Add("near", -100, -100, far);  // a child is visited even when its parent misses
  EXPECT_EQ(collider->Collide(), 1);
  EXPECT_EQ(w.Hits(), (Log{"c>near"}));
}

TEST(SpriteCollide, DoneFlagStopsDescentsButNotTheEnginesChildren) {
  World w;
  Box* collider = w.Add("c", 0, 0);
  Box* t1 = w.Add("t1", 1, 1);
  w.Add("t1a", 0, 0, t1);
  Box* t2 = w.Add("t2", 2, 2);
  w.Add("t2a", 0, 0, t2);
  collider->OnHit = [](TSprite*, bool& done) { done = true; };
  EXPECT_EQ(collider->Collide(), 2);
  EXPECT_EQ(w.Hits(), (Log{"c>t1", "c>t2"}));
}

TEST(SpriteCollide, SelfKillingColliderIsStillTestedAgainstTheRest) {
  World w;
  Box* t1 = w.Add("t1", 1, 1);
  w.Add("t1a", 0, 0, t1);
  Box* collider = w.Add("c", 0, 0);
  w.Add("t2", 2, 2);
  w.Add("t3", 3, 3);
  int handled = 0;
  collider->OnHit = [&](TSprite*, bool&) {
    ++handled;
    collider->Kill();
  };
  EXPECT_EQ(collider->Collide(), 3);
  EXPECT_EQ(handled, 3);
  EXPECT_EQ(w.engine.HitCount(), 3);
  EXPECT_EQ(w.Hits(), (Log{"c>t1", "c>t2", "c>t3"}));
  EXPECT_EQ(w.engine.KilledList(), (std::vector<TSprite*>{collider}));
  w.engine.Purge();
  EXPECT_EQ(w.engine.SpriteCount(), 4);
}

TEST(SpriteCollide, SpriteMadeDuringTheWalkWaitsForTheNextCollide) {
  World w;
  Box* collider = w.Add("c", 0, 0);
  w.Add("t", 5, 5);
  collider->OnHit = [&](TSprite*, bool&) {
    if (w.engine.Count() == 2) w.Add("new", 0, 0);
  };
  EXPECT_EQ(collider->Collide(), 1);
  EXPECT_EQ(collider->Collide(), 2);
  EXPECT_EQ(w.Hits(), (Log{"c>t", "c>t", "c>new"}));
}

TEST(SpriteCollide, ColliderLosingCanCollideEndsDescents) {
  World w;
  Box* collider = w.Add("c", 0, 0);
  Box* t1 = w.Add("t1", 1, 1);
  w.Add("t1a", 0, 0, t1);
  collider->OnHit = [&](TSprite*, bool&) { collider->CanCollide = false; };
  EXPECT_EQ(collider->Collide(), 1);
  EXPECT_EQ(w.Hits(), (Log{"c>t1"}));
}

TEST(SpriteCollide, KilledTargetIsHitUntilPurgedAndOnlyTheColliderHears) {
  World w;
  Box* collider = w.Add("c", 0, 0);
  Box* target = w.Add("t", 5, 5);
  target->Kill();
  EXPECT_EQ(collider->Collide(), 1);
  EXPECT_EQ(w.Hits(), (Log{"c>t"}));
  w.engine.Purge();
  w.log.clear();
  EXPECT_EQ(collider->Collide(), 0);
  EXPECT_EQ(w.engine.HitCount(), 0);  // counted afresh
}

// A collider or target of TImageSpriteEx: the broad phase sees the surface, HitTest the real rectangle.
TEST(SpriteCollide, ImageSpriteExBoundsTable) {
  enum Kind { Plain, Ex };
  const struct {
    Kind collider;
    double cx, cy;
    Kind target;
    double tx, ty;
    bool hit;
  } cases[] = {
      {Plain, 0, 0, Ex, 100, 100, false},     {Plain, 105, 105, Ex, 100, 100, true},
      {Plain, -50, -50, Ex, -50, -50, false},  // the collider is off the surface
      {Plain, -5, -5, Ex, -5, -5, true},       // partly on the surface
      {Ex, 100, 100, Plain, 105, 105, true},  {Ex, 100, 100, Plain, 0, 0, false},
      {Ex, 100, 100, Plain, -50, -50, false}, {Ex, 100, 100, Ex, 200, 200, false},
      {Ex, 100, 100, Ex, 109, 91, true},      {Ex, 100, 100, Ex, 110, 100, false},
  };
  auto make = [](Kind kind, TSprite* parent, double x, double y) -> TSprite* {
    TSprite* s = kind == Ex ? static_cast<TSprite*>(new TImageSpriteEx(parent)) : new TSprite(parent);
    s->X = x;
    s->Y = y;
    s->Width = s->Height = 10;
    return s;
  };
  for (const auto& c : cases) {
    TSpriteEngine engine;
    Surface surface(400, 300);
    engine.AttachSurface(&surface);
    TSprite* collider = make(c.collider, &engine, c.cx, c.cy);
    make(c.target, &engine, c.tx, c.ty);
    EXPECT_EQ(collider->Collide(), c.hit ? 1 : 0)
        << c.collider << " at " << c.cx << "," << c.cy << " vs " << c.target << " at " << c.tx << "," << c.ty;
  }
}

}  // namespace
