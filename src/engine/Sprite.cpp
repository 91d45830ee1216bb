// The sprite tree, its passes, collisions and the image sprites.
#include "engine/Sprite.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "engine/PictureCollection.h"

namespace {

// Truncation toward zero; far-away or invalid positions are pinned so the rectangle
// arithmetic that follows cannot overflow.
int TruncInt(double v) {
  constexpr double kLimit = 1e9;
  if (std::isnan(v)) return 0;
  return int(std::clamp(v, -kLimit, kLimit));
}

TRect Shifted(TRect r, int dx, int dy) { return TRect{r.Left + dx, r.Top + dy, r.Right + dx, r.Bottom + dy}; }

// The engine of a sprite is its parent when that is the engine, else the parent's engine.
TSpriteEngine* EngineBelow(TSprite* parent) {
  if (parent == nullptr) return nullptr;
  if (auto* engine = dynamic_cast<TSpriteEngine*>(parent)) return engine;
  return parent->Engine;
}

std::string WithIndex(const char* text, int index) { return text + std::string(" (") + std::to_string(index) + ")"; }

// A child from one of a sprite's two lists, with the list errors for a bad index.
TSprite* ChildAt(const std::vector<TSprite*>* list, int index) {
  if (list == nullptr) throw ESpriteError(WithIndex("Index of the list exceeds the range.", index));
  if (index < 0 || index >= int(list->size())) throw EListError(WithIndex("List index out of bounds", index));
  return (*list)[size_t(index)];
}

}  // namespace

double WrapReal(double x, double n) {
  if (n == 0) return x;
  const double t = std::trunc(x / n);
  double r = x - t * n;
  if (r < 0) r += n;
  return r;
}

// ---- TSprite ----

TSprite::TSprite(TSprite* parent) : Engine(EngineBelow(parent)), Parent(parent) {
  if (Parent != nullptr) {
    Parent->Add(this);
    if (Engine != nullptr) ++Engine->spriteCount_;
  }
}

TSprite::~TSprite() {
  DestroyChildren();
  if (Parent != nullptr) {
    if (Engine != nullptr) {
      --Engine->spriteCount_;
      std::erase(Engine->killedList_, this);
    }
    Parent->Remove(this);
  }
}

void TSprite::DestroyChildren() {
  // Each child takes itself out of the list, and the last one discards it.
  while (children_ != nullptr && !children_->empty()) delete children_->back();
}

void TSprite::Add(TSprite* child) {
  if (children_ == nullptr) {
    children_ = std::make_unique<std::vector<TSprite*>>();
    zList_ = std::make_unique<std::vector<TSprite*>>();
  }
  children_->push_back(child);
  InsertZ(child);
}

void TSprite::Remove(TSprite* child) {
  if (children_ == nullptr) return;
  std::erase(*children_, child);
  std::erase(*zList_, child);
  if (children_->empty()) {
    children_.reset();
    zList_.reset();
  }
}

// Binary search for the first sibling whose Z is not below the child's: equal Z goes first.
void TSprite::InsertZ(TSprite* child) {
  std::vector<TSprite*>& list = *zList_;
  int low = 0, high = int(list.size()) - 1;
  while (low <= high) {
    const int mid = (low + high) / 2;
    if (list[size_t(mid)]->z_ < child->z_)
      low = mid + 1;
    else
      high = mid - 1;
  }
  list.insert(list.begin() + low, child);
}

void TSprite::AssignZ(int z) {
  if (z == z_) return;
  z_ = z;
  if (Parent == nullptr || Parent->zList_ == nullptr) return;
  std::erase(*Parent->zList_, this);
  Parent->InsertZ(this);
}

void TSprite::Kill() {
  if (Engine == nullptr || IsDead) return;
  IsDead = true;
  Engine->killedList_.push_back(this);
}

double TSprite::GlobalX() const { return Parent != nullptr ? X + Parent->GlobalX() : X; }
double TSprite::GlobalY() const { return Parent != nullptr ? Y + Parent->GlobalY() : Y; }

int TSprite::Count() const { return children_ != nullptr ? int(children_->size()) : 0; }

TSprite* TSprite::Items(int index) const { return ChildAt(children_.get(), index); }
TSprite* TSprite::ZItems(int index) const { return ChildAt(zList_.get(), index); }

TRect TSprite::OwnBounds() const { return Bounds(TruncInt(GlobalX()), TruncInt(GlobalY()), Width, Height); }

void TSprite::HandleCollision(TSprite*, bool&) {}
void TSprite::DrawStep() {}
void TSprite::MoveStep(int) {}
TRect TSprite::GetBounds() { return OwnBounds(); }
bool TSprite::HitTest(TSprite*) { return true; }

// The passes read the child count once, so children added meanwhile wait for the next
// pass; the second bound only guards against a list that shrank, which the rules forbid.
void TSprite::MoveTree(int moveCount) {
  if (!CanMove) return;
  MoveStep(moveCount);
  const int count = Count();
  for (int i = 0; i < count && i < Count(); ++i) (*children_)[size_t(i)]->MoveTree(moveCount);
}

void TSprite::DrawTree() {
  if (!Visible) return;
  if (Engine != nullptr && OverlapRect(GetBounds(), Engine->surfaceBounds_)) {
    DrawStep();
    ++Engine->drawnCount_;
  }
  const int count = Count();
  for (int i = 0; i < count && i < Count(); ++i) (*zList_)[size_t(i)]->DrawTree();
}

int TSprite::Collide() {
  if (Engine == nullptr || IsDead || !CanCollide) return 0;
  TSpriteEngine& engine = *Engine;
  engine.hitCount_ = 0;
  engine.done_ = false;
  engine.collisionRect_ = GetBounds();
  engine.collider_ = this;
  // The done flag only stops descents: every direct child of the engine is visited.
  const int count = engine.Count();
  for (int i = 0; i < count && i < engine.Count(); ++i) (*engine.children_)[size_t(i)]->CollisionWalk(engine);
  return engine.hitCount_;
}

void TSprite::CollisionWalk(TSpriteEngine& engine) {
  if (!CanCollide) return;
  TSprite* collider = engine.collider_;
  if (this != collider && OverlapRect(GetBounds(), engine.collisionRect_) && collider->HitTest(this) &&
      HitTest(collider)) {
    ++engine.hitCount_;
    collider->HandleCollision(this, engine.done_);
    if (!collider->CanCollide || collider->IsDead) engine.done_ = true;
  }
  if (engine.done_) return;
  const int count = Count();
  for (int i = 0; i < count && i < Count(); ++i) (*children_)[size_t(i)]->CollisionWalk(engine);
}

// ---- TImageSprite ----

TImageSprite::TImageSprite(TSprite* parent) : TSprite(parent) {}

int TImageSprite::CurrentPattern() const { return FrameStart + TruncInt(FramePos); }

TRect TImageSprite::CentredOnCell(TRect r) const {
  const int cellWidth = ImageItem != nullptr ? ImageItem->CellWidth() : 0;
  const int cellHeight = ImageItem != nullptr ? ImageItem->CellHeight() : 0;
  return Shifted(r, (Width - cellWidth) / 2, (Height - cellHeight) / 2);
}

TRect TImageSprite::DrawRect() { return CentredOnCell(GetBounds()); }

void TImageSprite::DrawStep() {
  if (ImageItem == nullptr || Engine == nullptr || Engine->DrawSurface() == nullptr) return;
  const TRect r = DrawRect();
  ImageItem->DrawPattern(*Engine->DrawSurface(), r.Left, r.Top, CurrentPattern());
}

void TImageSprite::MoveStep(int moveCount) {
  FramePos += moveCount * FrameSpeed;
  if (FrameLooped) {
    FramePos = FrameCount > 0 ? WrapReal(FramePos, FrameCount) : 0;
    return;
  }
  // A one-shot animation stops on its last pattern, or on its first when running backwards.
  if (FramePos >= FrameCount) {
    FramePos = FrameCount - 1;
    FrameSpeed = 0;
  }
  if (FramePos < 0) {
    FramePos = 0;
    FrameSpeed = 0;
  }
}

bool TImageSprite::HitTest(TSprite* other) {
  auto* image = dynamic_cast<TImageSprite*>(other);
  if (image == nullptr || !PixelExact) return true;
  return PixelOverlap(*image);
}

namespace {

// The pixels of one sprite's current pattern, clipped to its picture.
struct PatternView {
  const Surface* Pixels = nullptr;
  TRect Area;  // in picture coordinates
  uint32_t Key = 0;

  int Width() const { return Area.Width(); }
  int Height() const { return Area.Height(); }
};

PatternView ViewOf(const TImageSprite& sprite) {
  PatternView view;
  const TPictureCollectionItem* item = sprite.ImageItem;
  const int pattern = sprite.CurrentPattern();
  if (item == nullptr || pattern < 0 || pattern >= item->NumPatterns()) return view;
  // An item without pixels (not prepared) still has the size of its cells.
  view.Pixels = item->PatternSurface();
  view.Area = view.Pixels != nullptr ? item->PatternRect(pattern) : Bounds(0, 0, item->CellWidth(), item->CellHeight());
  view.Key = item->TransparentKey();
  return view;
}

}  // namespace

bool TImageSprite::PixelOverlap(TImageSprite& other) const {
  const TRect a = CentredOnCell(OwnBounds());
  const TRect b = other.CentredOnCell(other.OwnBounds());
  const PatternView pa = ViewOf(*this), pb = ViewOf(other);
  const int dx = b.Left - a.Left, dy = b.Top - a.Top;
  if (!OverlapRect(Bounds(0, 0, pa.Width(), pa.Height()), Bounds(dx, dy, pb.Width(), pb.Height()))) return false;
  if (pa.Pixels == nullptr || pb.Pixels == nullptr) return true;

  // Start of the shared region in each pattern, and its size clipped to both patterns.
  const int ax = std::max(dx, 0), ay = std::max(dy, 0);
  const int bx = std::max(-dx, 0), by = std::max(-dy, 0);
  int w = std::min(pa.Width() - ax, pb.Width() - bx);
  int h = std::min(pa.Height() - ay, pb.Height() - by);
  // Never read outside a picture, whatever its pattern rectangles say.
  const int aLeft = pa.Area.Left + ax, aTop = pa.Area.Top + ay;
  const int bLeft = pb.Area.Left + bx, bTop = pb.Area.Top + by;
  if (aLeft < 0 || aTop < 0 || bLeft < 0 || bTop < 0) return false;
  w = std::min({w, pa.Pixels->Width - aLeft, pb.Pixels->Width - bLeft});
  h = std::min({h, pa.Pixels->Height - aTop, pb.Pixels->Height - bTop});

  for (int y = 0; y < h; ++y) {
    const uint32_t* rowA = pa.Pixels->Row(aTop + y) + aLeft;
    const uint32_t* rowB = pb.Pixels->Row(bTop + y) + bLeft;
    for (int x = 0; x < w; ++x)
      if (rowA[x] != pa.Key && rowB[x] != pb.Key) return true;
  }
  return false;
}

// ---- TImageSpriteEx ----

TImageSpriteEx::TImageSpriteEx(TSprite* parent) : TImageSprite(parent) { Alpha = 255; }

// Never culled; the broad-phase collision test passes whenever the other is on the surface.
TRect TImageSpriteEx::GetBounds() { return Engine != nullptr ? Engine->SurfaceBounds() : TRect{}; }

bool TImageSpriteEx::HitTest(TSprite* other) {
  if (other == nullptr) return false;
  const TRect own = OwnBounds();
  return OverlapRect(other->HitBounds(), own);
}

void TImageSpriteEx::DrawStep() {
  if (ImageItem == nullptr || Engine == nullptr || Engine->DrawSurface() == nullptr) return;
  Surface& surface = *Engine->DrawSurface();
  const TRect r = OwnBounds();
  const int pattern = CurrentPattern();
  const int angle = Angle & 0xFF;
  if (angle == 0) {
    if (Alpha >= 255)
      ImageItem->StretchPattern(surface, r, pattern);
    else
      ImageItem->BlendPattern(surface, r, pattern, Alpha);
    return;
  }
  const int cx = (r.Left + r.Right) / 2, cy = (r.Top + r.Bottom) / 2;
  if (Alpha >= 255)
    ImageItem->RotatePattern(surface, cx, cy, Width, Height, pattern, 0.5, 0.5, angle);
  else
    ImageItem->RotateBlendPattern(surface, cx, cy, Width, Height, pattern, 0.5, 0.5, angle, Alpha);
}

// ---- TSpriteEngine ----

TSpriteEngine::TSpriteEngine(TSprite* parent) : TSprite(parent) {}

// The children go first, while the killed list they leave still exists.
TSpriteEngine::~TSpriteEngine() { DestroyChildren(); }

void TSpriteEngine::Purge() {
  // Each destructor takes its sprite, and any killed children, off the list.
  while (!killedList_.empty()) delete killedList_.back();
}

void TSpriteEngine::Draw() {
  drawnCount_ = 0;
  DrawTree();
}

void TSpriteEngine::AttachSurface(Surface* surface) {
  surface_ = surface;
  if (surface == nullptr) return;
  surfaceBounds_ = Bounds(0, 0, surface->Width, surface->Height);
  Width = surface->Width;
  Height = surface->Height;
}
