// Display component life cycle and presentation.
#include "engine/DXDraw.h"

#include <cstdio>
#include <cstring>

namespace {

// Sets count pixels to value. When its four bytes are equal (black, white, greys; the frame
// loop clears to black) this is a memset, the fastest store the C library has. Otherwise the
// pixels go in blocks of a fixed size with the rest one by one: GCC vectorises a loop at -O2
// only when it can prove the trip count a multiple of the vector width, which the blocks give
// it, while std::fill stays one 32-bit store per pixel.
void FillPixels(uint32_t* pixels, size_t count, uint32_t value) {
  const uint32_t low = value & 0xFF;
  if (value == low * 0x01010101u) {
    std::memset(pixels, int(low), count * sizeof(uint32_t));
    return;
  }
  constexpr size_t kBlock = 16;
  size_t i = 0;
  for (; i + kBlock <= count; i += kBlock) {
    for (size_t k = 0; k < kBlock; ++k) pixels[i + k] = value;
  }
  for (; i < count; ++i) pixels[i] = value;
}

}  // namespace

TDXDraw::TDXDraw(platform::Platform& platform) : platform_(platform) {}

TDXDraw::~TDXDraw() {
  platform_.SurfaceGoing(surface_);
  Finalize();
  Notify(TDXDrawNotifyType::Destroying);
}

void TDXDraw::Notify(TDXDrawNotifyType type) {
  // A listener may unregister itself while being told; walk a copy.
  const std::vector<Entry> current = listeners_;
  for (const Entry& entry : current) entry.Callback(type);
}

void TDXDraw::InitDisplay() {
  Finalize();
  if (!HasParent) throw EDXDrawError("Form not found");
  Notify(TDXDrawNotifyType::Initialising);
  const bool fullScreen = (Options & doFullScreen) != 0;
  if (!platform_.SetFullScreen(fullScreen)) {
    char text[96];
    std::snprintf(text, sizeof text, "Display mode cannot be changed (%dx%d %dbit)", Display.Width, Display.Height,
                  Display.BitCount);
    throw EDXDrawError(text);
  }
  if (AutoSize) SurfaceWidth = Width, SurfaceHeight = Height;
  if (surface_.Width != SurfaceWidth || surface_.Height != SurfaceHeight) {
    platform_.SurfaceGoing(surface_);
    surface_ = Surface(SurfaceWidth, SurfaceHeight);
  }
  initialized_ = true;
  Notify(TDXDrawNotifyType::Initialised);
}

void TDXDraw::Finalize() {
  if (!initialized_) return;
  initialized_ = false;
  canvas_.reset();
  Notify(TDXDrawNotifyType::Finalised);
}

// Our surfaces live in ordinary memory and are never taken away, so a ready display is
// simply an initialised one.
bool TDXDraw::ReadyToDraw() { return initialized_; }

void TDXDraw::FillSurface(uint32_t value) { FillPixels(surface_.Pixels.data(), surface_.Pixels.size(), value); }

TCanvas& TDXDraw::SurfaceCanvas() {
  if (!canvas_) canvas_ = std::make_unique<TCanvas>(platform_, surface_);
  return *canvas_;
}

// The canvas keeps its brush, font and pen from one frame to the next; releasing it
// only ends the drawing (nothing is held between frames that must be let go).
void TDXDraw::ReleaseCanvas() {}

void TDXDraw::Present() {
  if (!initialized_) return;
  platform_.Present(surface_);
}

// The picture is always 32-bit, so there is no screen palette to send.
void TDXDraw::ApplyPalette() {}

int TDXDraw::RegisterNotifyEvent(Listener listener) {
  const int id = nextId_++;
  listeners_.push_back(Entry{id, listener});
  if (initialized_) {
    listener(TDXDrawNotifyType::Initialised);
    listener(TDXDrawNotifyType::Restored);
  }
  return id;
}

void TDXDraw::UnRegisterNotifyEvent(int id) {
  std::erase_if(listeners_, [id](const Entry& entry) { return entry.Id == id; });
}
