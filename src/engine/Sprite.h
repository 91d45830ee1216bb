// The sprite tree: sprites with children ordered by creation and by Z, the engine at the
// root, the move / purge / draw passes, collisions and the image sprites that draw patterns.
#pragma once
#include <memory>
#include <stdexcept>
#include <vector>

#include "engine/Rect.h"
#include "engine/Surface.h"

class TPictureCollectionItem;
class TSpriteEngine;

// Asking a sprite without children for a child by index.
class ESpriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An index outside an existing child list.
class EListError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// x reduced into [0, n) by whole multiples of n; x itself when n is 0.
double WrapReal(double x, double n);

// A sprite owns its children: they are created with `new` and the sprite as parent, and
// destroying the sprite destroys them. Sprites must not be destroyed while a pass walks
// the list that holds them; `Kill` them instead and let the engine's `Purge` free them.
class TSprite {
 public:
  explicit TSprite(TSprite* parent);
  virtual ~TSprite();
  TSprite(const TSprite&) = delete;
  TSprite& operator=(const TSprite&) = delete;

  // Called on the sprite running `Collide` for each sprite it hits; setting done stops
  // the walk from descending into children.
  virtual void HandleCollision(TSprite* other, bool& done);
  virtual void DrawStep();
  virtual void MoveStep(int moveCount);
  virtual TRect GetBounds();
  virtual bool HitTest(TSprite* other);
  // The rectangle other sprites' hit tests see: GetBounds, except where those are the
  // whole surface, which stands for the sprite's own rectangle.
  virtual TRect HitBounds() { return GetBounds(); }

  TSpriteEngine* const Engine;  // null for the engine itself
  TSprite* const Parent;
  bool IsDead = false;
  bool CanCollide = true;
  bool CanMove = true;
  bool Visible = true;
  double X = 0, Y = 0;
  int Width = 0, Height = 0;

  int Z() const { return z_; }
  // Moves the sprite among its siblings; equal Z goes before the others.
  void AssignZ(int z);
  // Marks the sprite dead and queues it for the engine's `Purge`; a second call does nothing.
  void Kill();
  double GlobalX() const;
  double GlobalY() const;

  // Children in creation order.
  int Count() const;
  TSprite* Items(int index) const;
  // Child `index` in drawing order (ascending Z); the same range rules as Items.
  TSprite* ZItems(int index) const;

  // Tests this sprite against the engine's tree; returns the number of hits.
  int Collide();
  void MoveTree(int moveCount);
  void DrawTree();

  // Bounds(trunc(GlobalX), trunc(GlobalY), Width, Height).
  TRect OwnBounds() const;

 protected:
  // Destroys the children, last first.
  void DestroyChildren();

 private:
  void Add(TSprite* child);
  void Remove(TSprite* child);
  void InsertZ(TSprite* child);
  void CollisionWalk(TSpriteEngine& engine);

  int z_ = 0;
  // Created with the first child and discarded when the last one leaves.
  std::unique_ptr<std::vector<TSprite*>> children_;
  std::unique_ptr<std::vector<TSprite*>> zList_;
};

// Kills a sprite held by a non-owning reference and forgets it, so no handler can reach it
// once the engine has freed it.
template <typename T>
void KillRef(T*& sprite) {
  if (sprite != nullptr) sprite->Kill();
  sprite = nullptr;
}

// Draws one pattern of an image item and animates through its patterns.
class TImageSprite : public TSprite {
 public:
  explicit TImageSprite(TSprite* parent);

  void DrawStep() override;
  void MoveStep(int moveCount) override;
  bool HitTest(TSprite* other) override;

  int FrameCount = 0;
  bool FrameLooped = false;
  double FramePos = 0;
  double FrameSpeed = 0;
  int FrameStart = 0;
  TPictureCollectionItem* ImageItem = nullptr;  // not owned
  bool PixelExact = false;

  int CurrentPattern() const;
  // GetBounds centred on the item's cell.
  TRect DrawRect();
  // Whether a solid pixel of this sprite's pattern lies on a solid pixel of other's.
  bool PixelOverlap(TImageSprite& other) const;

 private:
  TRect CentredOnCell(TRect r) const;
};

// Draws its pattern stretched to its own size, rotated by Angle and blended by Alpha.
class TImageSpriteEx : public TImageSprite {
 public:
  explicit TImageSpriteEx(TSprite* parent);

  void DrawStep() override;
  TRect GetBounds() override;
  bool HitTest(TSprite* other) override;
  TRect HitBounds() override { return OwnBounds(); }

  int Angle = 0;    // low 8 bits: 256 units a full turn, clockwise
  int Alpha = 255;  // 255 or more is opaque
};

// The root of the tree.
class TSpriteEngine : public TSprite {
 public:
  explicit TSpriteEngine(TSprite* parent = nullptr);
  ~TSpriteEngine() override;

  // Destroys every killed sprite.
  void Purge();
  // Counts from zero and runs the draw pass over the tree.
  void Draw();
  // The surface drawn on; null detaches (the last bounds are kept).
  void AttachSurface(Surface* surface);

  int SpriteCount() const { return spriteCount_; }
  int HitCount() const { return hitCount_; }
  int DrawnCount() const { return drawnCount_; }
  const TRect& SurfaceBounds() const { return surfaceBounds_; }
  Surface* DrawSurface() const { return surface_; }
  // Killed, not yet purged, in order of `Kill`; the list does not own them.
  const std::vector<TSprite*>& KilledList() const { return killedList_; }

 private:
  friend class TSprite;

  int spriteCount_ = 0;
  int hitCount_ = 0;
  bool done_ = false;
  TRect collisionRect_;
  TSprite* collider_ = nullptr;
  std::vector<TSprite*> killedList_;
  int drawnCount_ = 0;
  Surface* surface_ = nullptr;
  TRect surfaceBounds_;
};
