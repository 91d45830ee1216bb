// The display component: owns the 800 x 600 back surface, initialises the window or full
// screen, tells listeners about its life cycle, and presents each finished frame.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

#include "engine/Canvas.h"
#include "engine/Surface.h"
#include "engine/platform/Platform.h"

class EDXDrawError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class TDXDrawNotifyType { Initialising, Initialised, Finalised, Restored, Destroying };

enum TDXDrawOption : uint32_t {
  doFullScreen = 1u << 0,
  doNoWindowChange = 1u << 1,
  doAllowReboot = 1u << 2,
  doWaitVBlank = 1u << 3,
  doAllowPalette256 = 1u << 4,
  doSystemMemory = 1u << 5,
  doStretch = 1u << 6,
  doCenter = 1u << 7,
  doFlip = 1u << 8,
  do3D = 1u << 9,
  doDirectX7Mode = 1u << 10,
  doRetainedMode = 1u << 11,
  doHardware = 1u << 12,
  doSelectDriver = 1u << 13,
  doZBuffer = 1u << 14,
};

struct TDisplayMode {
  int Width = 1024, Height = 768, BitCount = 24;
  bool FixedBitCount = true, FixedRatio = true, FixedSize = false;
};

class TDXDraw {
 public:
  using Listener = std::function<void(TDXDrawNotifyType)>;

  explicit TDXDraw(platform::Platform& platform);
  ~TDXDraw();
  TDXDraw(const TDXDraw&) = delete;
  TDXDraw& operator=(const TDXDraw&) = delete;

  bool AutoInitialize = true;
  bool AutoSize = true;
  int SurfaceWidth = 800, SurfaceHeight = 600;
  int Width = 800, Height = 600;  // the component's client size
  TDisplayMode Display;
  uint32_t Options = doAllowReboot | doWaitVBlank | doCenter | doFlip | doDirectX7Mode | doHardware | doSelectDriver;
  bool HasParent = true;  // a display without a window cannot initialise
  std::array<uint32_t, 256> ColorTable{};
  std::array<uint32_t, 256> DefColorTable{};

  // Raises EDXDrawError with "Form not found" or "Display mode cannot be changed (%dx%d %dbit)".
  void InitDisplay();
  void Finalize();
  bool Initialized() const { return initialized_; }
  bool ReadyToDraw();
  void FillSurface(uint32_t value);
  TCanvas& SurfaceCanvas();
  void ReleaseCanvas();
  void Present();
  void ApplyPalette();

  Surface& BackSurface() { return surface_; }

  // A listener registered while the display is initialised hears Initialised and
  // Restored at once. The returned id unregisters it.
  int RegisterNotifyEvent(Listener listener);
  void UnRegisterNotifyEvent(int id);

 private:
  void Notify(TDXDrawNotifyType type);

  platform::Platform& platform_;
  Surface surface_;
  std::unique_ptr<TCanvas> canvas_;
  bool initialized_ = false;
  struct Entry {
    int Id;
    Listener Callback;
  };
  std::vector<Entry> listeners_;
  int nextId_ = 1;
};
