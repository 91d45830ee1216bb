// The sprite-engine component and its display link.
#include "engine/DXSpriteEngine.h"

#include "engine/DXDraw.h"

TDXSpriteEngine::TDXSpriteEngine() : engine_(std::make_unique<TSpriteEngine>(nullptr)) {}

TDXSpriteEngine::~TDXSpriteEngine() { Unlink(); }

// The surface belongs to the display, so it is let go together with the display.
void TDXSpriteEngine::Unlink() {
  if (dxDraw_ != nullptr) {
    dxDraw_->UnRegisterNotifyEvent(notifyId_);
    engine_->AttachSurface(nullptr);
  }
  dxDraw_ = nullptr;
  notifyId_ = 0;
}

void TDXSpriteEngine::SetDXDraw(TDXDraw* dxDraw) {
  if (dxDraw == dxDraw_) return;
  Unlink();
  if (dxDraw == nullptr) return;
  dxDraw_ = dxDraw;
  // A display that is already initialised answers at once with Initialised.
  notifyId_ = dxDraw->RegisterNotifyEvent([this](TDXDrawNotifyType type) {
    switch (type) {
      case TDXDrawNotifyType::Initialised:
        if (dxDraw_ != nullptr) engine_->AttachSurface(&dxDraw_->BackSurface());
        break;
      case TDXDrawNotifyType::Finalised: engine_->AttachSurface(nullptr); break;
      case TDXDrawNotifyType::Destroying: Unlink(); break;
      default: break;
    }
  });
}

void TDXSpriteEngine::MoveTree(int moveCount) { engine_->MoveTree(moveCount); }

void TDXSpriteEngine::Purge() { engine_->Purge(); }

void TDXSpriteEngine::DrawTree() {
  if (dxDraw_ == nullptr || !dxDraw_->Initialized()) return;
  engine_->Draw();
}
