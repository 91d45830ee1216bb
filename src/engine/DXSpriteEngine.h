// The sprite-engine component: owns one sprite engine and links it to a display, so that
// sprites draw on the display's back surface while it is initialised.
#pragma once
#include <memory>

#include "engine/Sprite.h"

class TDXDraw;

class TDXSpriteEngine {
 public:
  TDXSpriteEngine();
  ~TDXSpriteEngine();
  TDXSpriteEngine(const TDXSpriteEngine&) = delete;
  TDXSpriteEngine& operator=(const TDXSpriteEngine&) = delete;

  // The root of the tree: the parent of the game's sprites.
  TSpriteEngine* Engine() const { return engine_.get(); }

  TDXDraw* DXDraw() const { return dxDraw_; }
  // Listens to the display's notifications (nullptr unlinks): attaches its back surface
  // when it is initialised, detaches it when finalised, forgets the display when destroyed.
  void SetDXDraw(TDXDraw* dxDraw);

  void MoveTree(int moveCount);
  void Purge();
  // Does nothing unless the display is set and initialised.
  void DrawTree();

 private:
  void Unlink();

  std::unique_ptr<TSpriteEngine> engine_;
  TDXDraw* dxDraw_ = nullptr;
  int notifyId_ = 0;
};
