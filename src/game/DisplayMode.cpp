// Display mode changes and the cursor.
#include "game/DisplayMode.h"

#include "game/Form1.h"
#include "game/Screens.h"

namespace {
// Switches the frame timer back on when the display change ends, however it ends.
struct FrameTimerPause {
  explicit FrameTimerPause(TDXTimer& timer) : timer_(timer) { timer_.SetEnabled(false); }
  ~FrameTimerPause() { timer_.SetEnabled(true); }
  FrameTimerPause(const FrameTimerPause&) = delete;
  FrameTimerPause& operator=(const FrameTimerPause&) = delete;

 private:
  TDXTimer& timer_;
};
}  // namespace

void ApplyDisplayMode(TForm1& form) {
  const FrameTimerPause pause(form.DXTimer1);
  TDXDraw& display = form.DXDraw1;
  // The platform keeps the window's placement and centres it again on the way back.
  display.Display.Width = 800;
  display.Display.Height = 600;
  display.Display.BitCount = 32;
  if (form.G.Settings.Windowed == 0) {
    display.Options |= doFullScreen;
    display.InitDisplay();
  } else {
    display.Options &= ~uint32_t(doFullScreen);
    display.InitDisplay();
    display.Width = 800;
    display.Height = 600;
  }
  SaveSettings(form);
}

// The platform's cursor is shown or hidden outright; there is no show count to balance. It
// is hidden only in play, where the pointer steers as a relative device that stays in the
// window.
void SetCursorVisible(TForm1& form, bool show) {
  form.Platform.ShowCursor(show);
  form.Platform.SetRelativeMouse(!show);
}
