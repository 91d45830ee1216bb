// Tests of the sprite tree: ownership, Z order, the move / purge / draw passes, killing,
// the animation step, WrapReal and the child-list errors.
#include "engine/Sprite.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

// A sprite that writes its name to a shared log when it moves, draws or dies.
class LogSprite : public TSprite {
 public:
  LogSprite(TSprite* parent, std::string name, std::vector<std::string>* log)
      : TSprite(parent), Name(std::move(name)), log_(log) {
    Width = 10;
    Height = 10;
  }
  ~LogSprite() override { Write("~"); }

  void MoveStep(int moveCount) override {
    Write("move" + std::to_string(moveCount) + ":");
    if (OnMove) OnMove();
  }
  void DrawStep() override { Write("draw:"); }

  std::string Name;
  std::function<void()> OnMove;

 private:
  void Write(const std::string& what) {
    if (log_ != nullptr) log_->push_back(what + Name);
  }
  std::vector<std::string>* log_;
};

// The engine drawing on a small surface, with a log of what the sprites did.
struct Tree {
  Tree() { engine.AttachSurface(&surface); }
  LogSprite* Add(const std::string& name, TSprite* parent = nullptr) {
    return new LogSprite(parent != nullptr ? parent : &engine, name, &log);
  }
  std::vector<std::string> Take() { return std::exchange(log, {}); }

  Surface surface{100, 80};
  std::vector<std::string> log;
  TSpriteEngine engine;  // destroyed before the log it writes to
};

using Log = std::vector<std::string>;

TEST(SpriteTree, ConstructionLinksParentEngineAndCounts) {
  Tree t;
  LogSprite* a = t.Add("a");
  LogSprite* b = t.Add("b", a);
  LogSprite* c = t.Add("c", b);
  EXPECT_EQ(a->Engine, &t.engine);
  EXPECT_EQ(c->Engine, &t.engine);
  EXPECT_EQ(c->Parent, b);
  EXPECT_EQ(t.engine.Engine, nullptr);
  EXPECT_EQ(t.engine.Parent, nullptr);
  EXPECT_EQ(t.engine.SpriteCount(), 3);
  EXPECT_TRUE(a->CanCollide && a->CanMove && a->Visible && !a->IsDead);
  EXPECT_EQ(a->Z(), 0);

  // A sprite without parent has neither engine nor a place in any count.
  TSprite loose(nullptr);
  EXPECT_EQ(loose.Engine, nullptr);
  EXPECT_EQ(t.engine.SpriteCount(), 3);
}

TEST(SpriteTree, ChildrenKeepCreationOrderWhateverTheirZ) {
  Tree t;
  LogSprite* a = t.Add("a");
  LogSprite* b = t.Add("b");
  a->AssignZ(9);
  b->AssignZ(-9);
  ASSERT_EQ(t.engine.Count(), 2);
  EXPECT_EQ(t.engine.Items(0), a);
  EXPECT_EQ(t.engine.Items(1), b);
}

TEST(SpriteTree, DestroyingASpriteDestroysItsChildrenLastFirst) {
  Tree t;
  LogSprite* p = t.Add("p");
  t.Add("c1", p);
  LogSprite* c2 = t.Add("c2", p);
  t.Add("g", c2);
  LogSprite* other = t.Add("other");
  delete p;
  EXPECT_EQ(t.Take(), (Log{"~p", "~c2", "~g", "~c1"}));
  EXPECT_EQ(t.engine.SpriteCount(), 1);
  ASSERT_EQ(t.engine.Count(), 1);
  EXPECT_EQ(t.engine.Items(0), other);
}

TEST(SpriteTree, DestroyingTheEngineDestroysTheWholeTree) {
  std::vector<std::string> log;
  {
    TSpriteEngine engine;
    auto* a = new LogSprite(&engine, "a", &log);
    new LogSprite(a, "a1", &log);
    (new LogSprite(&engine, "b", &log))->Kill();
  }
  EXPECT_EQ(log, (Log{"~b", "~a", "~a1"}));
}

TEST(SpriteTree, GlobalPositionAddsTheParentsPositions) {
  Tree t;
  LogSprite* p = t.Add("p");
  LogSprite* c = t.Add("c", p);
  t.engine.X = 1;
  p->X = 10.5;
  p->Y = -3.25;
  c->X = 0.75;
  c->Y = 1;
  EXPECT_DOUBLE_EQ(c->GlobalX(), 12.25);
  EXPECT_DOUBLE_EQ(c->GlobalY(), -2.25);
  EXPECT_EQ(c->GetBounds(), Bounds(12, -2, 10, 10));
}

TEST(SpriteTree, RectangleTruncatesTowardZero) {
  const struct {
    double x, y;
    TRect expected;
  } cases[] = {
      {-0.7, 0, Bounds(0, 0, 10, 10)},
      {0.7, -1.9, Bounds(0, -1, 10, 10)},
      {-2.5, 3.99, Bounds(-2, 3, 10, 10)},
  };
  for (const auto& c : cases) {
    Tree t;
    LogSprite* s = t.Add("s");
    s->X = c.x;
    s->Y = c.y;
    EXPECT_EQ(s->GetBounds(), c.expected) << c.x << ", " << c.y;
  }
}

// ---- child-list errors ----

TEST(SpriteTree, ChildIndexErrors) {
  Tree t;
  auto expectError = [&](auto call, const std::string& text) {
    try {
      call();
      ADD_FAILURE() << "no error for " << text;
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()), text);
    }
  };
  // No list yet: the first text, whatever the index.
  expectError([&] { t.engine.Items(0); }, "Index of the list exceeds the range. (0)");
  EXPECT_THROW(t.engine.Items(3), ESpriteError);
  EXPECT_EQ(t.engine.Count(), 0);

  LogSprite* a = t.Add("a");
  t.Add("b");
  expectError([&] { t.engine.Items(2); }, "List index out of bounds (2)");
  expectError([&] { t.engine.Items(-1); }, "List index out of bounds (-1)");
  EXPECT_THROW(t.engine.Items(2), EListError);

  // The list goes away with its last child.
  expectError([&] { a->Items(0); }, "Index of the list exceeds the range. (0)");
  LogSprite* child = t.Add("child", a);
  EXPECT_EQ(a->Items(0), child);
  delete child;
  expectError([&] { a->Items(0); }, "Index of the list exceeds the range. (0)");
}

// ---- Z order ----

TEST(SpriteZOrder, Table) {
  // Sprites a, b, c are created in that order; then each step assigns a Z.
  const struct {
    std::vector<std::pair<char, int>> steps;
    std::string drawOrder;
  } cases[] = {
      {{}, "cba"},
      {{{'a', 5}, {'b', 5}}, "cba"},
      {{{'b', 0}}, "cba"},  // the current Z: no move
      {{{'a', 5}, {'b', 5}, {'a', 5}}, "cba"},
      {{{'a', -1}}, "acb"},
      {{{'c', 2}, {'a', 1}}, "bac"},
      {{{'a', 5}, {'b', 5}, {'c', 5}}, "cba"},
      {{{'c', 5}, {'a', 5}}, "bac"},  // a re-assigned last goes before c
      {{{'b', 3}, {'c', 3}, {'b', 0}, {'b', 3}}, "abc"},
      {{{'a', 7}, {'b', -2}, {'c', 4}}, "bca"},
  };
  for (const auto& c : cases) {
    Tree t;
    LogSprite* sprites[3] = {t.Add("a"), t.Add("b"), t.Add("c")};
    for (auto [name, z] : c.steps) sprites[name - 'a']->AssignZ(z);
    t.engine.Draw();
    std::string order;
    for (const std::string& entry : t.Take()) order += entry.substr(5);
    std::string steps;
    for (auto [name, z] : c.steps) steps += std::string(1, name) + "=" + std::to_string(z) + " ";
    EXPECT_EQ(order, c.drawOrder) << steps;
  }
}

TEST(SpriteZOrder, ParentDrawsBeforeItsChildrenInTheirOwnOrder) {
  Tree t;
  LogSprite* p = t.Add("p");
  LogSprite* q = t.Add("q");
  t.Add("p1", p)->AssignZ(1);
  t.Add("p2", p);
  q->AssignZ(-1);
  t.engine.Draw();
  EXPECT_EQ(t.Take(), (Log{"draw:q", "draw:p", "draw:p2", "draw:p1"}));
  EXPECT_EQ(t.engine.DrawnCount(), 4);
}

// ---- draw pass ----

TEST(SpriteDraw, CullingAgainstTheSurface) {
  // The surface is 100 x 80.
  const struct {
    double x, y;
    int width, height;
    bool drawn;
  } cases[] = {
      {0, 0, 10, 10, true},    {-10, 0, 10, 10, false},  // right edge at 0 only touches
      {-9.9, 0, 10, 10, true}, {-0.7, 0, 10, 10, true}, {100, 0, 10, 10, false}, {99.9, 79.9, 1, 1, true},
      {0, 80, 10, 10, false},  {0, -10, 10, 10, false}, {0, -9.5, 10, 10, true}, {50, 40, 0, 10, false},
      {50, 40, 10, 0, false},  {50, 40, -5, 10, false},
  };
  for (const auto& c : cases) {
    Tree t;
    LogSprite* s = t.Add("s");
    s->X = c.x;
    s->Y = c.y;
    s->Width = c.width;
    s->Height = c.height;
    t.engine.Draw();
    EXPECT_EQ(t.engine.DrawnCount(), c.drawn ? 1 : 0) << c.x << ", " << c.y << " " << c.width << "x" << c.height;
  }
}

TEST(SpriteDraw, InvisibleSkipsTheSubtreeCulledDoesNot) {
  Tree t;
  LogSprite* hidden = t.Add("hidden");
  t.Add("h1", hidden);
  LogSprite* off = t.Add("off");
  off->X = -500;
  t.Add("o1", off)->X = 500;  // back on the surface
  hidden->Visible = false;
  t.engine.Draw();
  EXPECT_EQ(t.Take(), (Log{"draw:o1"}));
  EXPECT_EQ(t.engine.DrawnCount(), 1);
}

TEST(SpriteDraw, DrawnCountStartsFromZeroEachDraw) {
  Tree t;
  t.Add("a");
  t.Add("b");
  t.engine.Draw();
  t.engine.Draw();
  EXPECT_EQ(t.engine.DrawnCount(), 2);
}

TEST(SpriteDraw, ImageSpriteExIsNeverCulled) {
  Tree t;
  auto* ex = new TImageSpriteEx(&t.engine);
  ex->X = -1000;
  ex->Width = ex->Height = 5;
  EXPECT_EQ(ex->Alpha, 255);
  EXPECT_EQ(ex->GetBounds(), Bounds(0, 0, 100, 80));
  t.engine.Draw();
  EXPECT_EQ(t.engine.DrawnCount(), 1);
}

TEST(SpriteDraw, AttachSurfaceSetsBoundsAndEngineSize) {
  TSpriteEngine engine;
  Surface s(64, 48);
  engine.AttachSurface(&s);
  EXPECT_EQ(engine.DrawSurface(), &s);
  EXPECT_EQ(engine.SurfaceBounds(), Bounds(0, 0, 64, 48));
  EXPECT_EQ(engine.Width, 64);
  EXPECT_EQ(engine.Height, 48);
  engine.AttachSurface(nullptr);
  EXPECT_EQ(engine.DrawSurface(), nullptr);
}

// ---- move pass ----

TEST(SpriteMove, PreOrderInCreationOrderAndCanMoveSkipsTheSubtree) {
  Tree t;
  LogSprite* a = t.Add("a");
  t.Add("a1", a)->AssignZ(-5);
  LogSprite* b = t.Add("b");
  t.Add("b1", b);
  t.Add("c")->AssignZ(-1);
  b->CanMove = false;
  t.engine.MoveTree(-7);
  EXPECT_EQ(t.Take(), (Log{"move-7:a", "move-7:a1", "move-7:c"}));
}

TEST(SpriteMove, SpriteMadeDuringTheMovePassMovesNextPassButDrawsThisTick) {
  Tree t;
  LogSprite* maker = t.Add("maker");
  LogSprite* made = nullptr;
  maker->OnMove = [&] {
    if (made == nullptr) made = t.Add("made");
  };
  t.engine.MoveTree(1);
  t.engine.Purge();
  t.engine.Draw();
  EXPECT_EQ(t.Take(), (Log{"move1:maker", "draw:made", "draw:maker"}));
  t.engine.MoveTree(2);
  EXPECT_EQ(t.Take(), (Log{"move2:maker", "move2:made"}));
}

// ---- Kill and Purge ----

TEST(SpriteKill, KilledSpriteLivesUntilPurge) {
  Tree t;
  LogSprite* a = t.Add("a");
  LogSprite* b = t.Add("b");
  a->Kill();
  a->Kill();
  EXPECT_TRUE(a->IsDead);
  EXPECT_EQ(t.engine.KilledList(), (std::vector<TSprite*>{a}));
  t.engine.MoveTree(1);
  t.engine.Draw();
  EXPECT_EQ(t.Take(), (Log{"move1:a", "move1:b", "draw:b", "draw:a"}));
  t.engine.Purge();
  EXPECT_EQ(t.Take(), (Log{"~a"}));
  EXPECT_TRUE(t.engine.KilledList().empty());
  EXPECT_EQ(t.engine.SpriteCount(), 1);
  EXPECT_EQ(t.engine.Items(0), b);
}

TEST(SpriteKill, KillingTheEngineDoesNothing) {
  Tree t;
  t.engine.Kill();
  EXPECT_FALSE(t.engine.IsDead);
  EXPECT_TRUE(t.engine.KilledList().empty());
}

TEST(SpriteKill, PurgeDestroysTheLastKilledFirst) {
  Tree t;
  LogSprite* a = t.Add("a");
  LogSprite* b = t.Add("b");
  LogSprite* c = t.Add("c");
  c->Kill();
  a->Kill();
  b->Kill();
  t.engine.Purge();
  EXPECT_EQ(t.Take(), (Log{"~b", "~a", "~c"}));
  EXPECT_EQ(t.engine.SpriteCount(), 0);
  EXPECT_EQ(t.engine.Count(), 0);
}

TEST(SpriteKill, KilledParentsAndChildrenInEitherOrder) {
  const struct {
    std::string killOrder;
    Log destroyed;
  } cases[] = {
      {"pc", {"~c", "~g", "~p", "~c2"}},
      {"cp", {"~p", "~c2", "~c", "~g"}},  // the parent takes its killed child along
      {"c", {"~c", "~g"}},
      {"cgp", {"~p", "~c2", "~c", "~g"}},
      {"gc", {"~c", "~g"}},
      {"gp", {"~p", "~c2", "~c", "~g"}},
  };
  for (const auto& k : cases) {
    Tree t;
    LogSprite* p = t.Add("p");
    LogSprite* c = t.Add("c", p);
    t.Add("c2", p);
    LogSprite* g = t.Add("g", c);
    std::vector<LogSprite*> byName = {p, c, g};
    for (char name : k.killOrder) byName[std::string("pcg").find(name)]->Kill();
    t.engine.Purge();
    Log got = t.Take();
    EXPECT_EQ(got, k.destroyed) << k.killOrder;
    EXPECT_TRUE(t.engine.KilledList().empty());
    EXPECT_EQ(t.engine.SpriteCount(), 4 - int(k.destroyed.size()));
  }
}

TEST(SpriteKill, DestroyingAParentLeavesNoKilledChildBehind) {
  Tree t;
  LogSprite* keep = t.Add("keep");
  LogSprite* p = t.Add("p");
  t.Add("c1", p)->Kill();
  keep->Kill();
  t.Add("c2", p)->Kill();
  delete p;
  EXPECT_EQ(t.engine.KilledList(), (std::vector<TSprite*>{keep}));
  t.Take();
  t.engine.Purge();
  EXPECT_EQ(t.Take(), (Log{"~keep"}));
}

// ---- animation ----

TEST(SpriteAnimation, Table) {
  const struct {
    bool looped;
    int frameCount;
    double pos, speed;
    std::vector<int> moves;
    double expectedPos, expectedSpeed;
  } cases[] = {
      {false, 4, 0, 0.5, {1, 2, 3, 4}, 3, 0},  // stops on the last pattern
      {true, 4, 0, -0.5, {1}, 3.5, -0.5},      // runs backwards from the first to the last
      {false, 0, 0, 1, {1}, 0, 0},
      {false, 0, 0, 0, {5}, 0, 0},
      {true, 0, 2, 1, {1}, 0, 1},
      {false, 4, 1, -1, {2}, 0, 0},  // stops on the first pattern
      {false, 4, 2, 0.5, {-2}, 1, 0.5},
      {false, 4, 2.5, 0.75, {2}, 3, 0},
      {false, 4, 2.5, 0.25, {2}, 3, 0.25},
      {true, 4, 3, 0.5, {3}, 0.5, 0.5},
      {true, 4, 0, -1, {9}, 3, -1},
      {true, 4, 0, 1, {8}, 0, 1},
      {true, 3, 0.5, 0.25, {1, 1, 1}, 1.25, 0.25},
  };
  for (const auto& c : cases) {
    TSpriteEngine engine;
    auto* s = new TImageSprite(&engine);
    s->FrameLooped = c.looped;
    s->FrameCount = c.frameCount;
    s->FramePos = c.pos;
    s->FrameSpeed = c.speed;
    for (int m : c.moves) engine.MoveTree(m);
    EXPECT_DOUBLE_EQ(s->FramePos, c.expectedPos) << c.looped << " " << c.frameCount << " " << c.pos << " " << c.speed;
    EXPECT_DOUBLE_EQ(s->FrameSpeed, c.expectedSpeed) << c.looped << " " << c.frameCount << " " << c.pos;
  }
}

TEST(SpriteAnimation, CurrentPatternAddsTheTruncatedPosition) {
  TSpriteEngine engine;
  auto* s = new TImageSprite(&engine);
  s->FrameStart = 10;
  s->FrameCount = 4;
  s->FrameLooped = true;
  s->FrameSpeed = -0.5;
  engine.MoveTree(1);
  EXPECT_EQ(s->CurrentPattern(), 13);
  s->FramePos = 0.99;
  EXPECT_EQ(s->CurrentPattern(), 10);
}

TEST(WrapReal, Table) {
  const struct {
    double x, n, expected;
  } cases[] = {
      {5.5, 4, 1.5}, {-0.5, 4, 3.5}, {-4, 4, 0},      {8, 4, 0},  {3.25, 4, 3.25}, {7.25, 2.5, 2.25},
      {-9, 4, 3},    {2.5, 0, 2.5},  {-2.5, 0, -2.5}, {3, -4, 3}, {-3, -4, -7},  // r + n when r < 0
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(WrapReal(c.x, c.n), c.expected) << c.x << " mod " << c.n;
}

}  // namespace
