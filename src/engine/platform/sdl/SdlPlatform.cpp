// The SDL2 back end: window and letterboxed presentation, input translated to Windows
// conventions (virtual keys, Windows-1251 characters, 800 x 600 pointer coordinates), sound.
#include "engine/platform/sdl/SdlPlatform.h"

#include <SDL.h>

#include <time.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "engine/platform/Desktop.h"
#include "engine/platform/VirtualKeys.h"
#include "engine/platform/sdl/SdlKeymap.h"
#include "payload/Cp1251.h"

namespace platform {
namespace {

uint32_t ModifierFlags(unsigned mod) {
  uint32_t shift = 0;
  if (mod & KMOD_SHIFT) shift |= ssShift;
  if (mod & KMOD_CTRL) shift |= ssCtrl;
  if (mod & KMOD_ALT) shift |= ssAlt;
  return shift;
}

uint32_t ButtonFlags(uint32_t sdlButtons) {
  uint32_t shift = 0;
  if (sdlButtons & SDL_BUTTON_LMASK) shift |= ssLeft;
  if (sdlButtons & SDL_BUTTON_RMASK) shift |= ssRight;
  if (sdlButtons & SDL_BUTTON_MMASK) shift |= ssMiddle;
  return shift;
}

// The game's button and its shift flag for an SDL button; false for the extra buttons.
bool GameButton(uint8_t sdlButton, MouseButton& button, uint32_t& flag) {
  switch (sdlButton) {
    case SDL_BUTTON_LEFT: button = MouseButton::Left, flag = ssLeft; return true;
    case SDL_BUTTON_RIGHT: button = MouseButton::Right, flag = ssRight; return true;
    case SDL_BUTTON_MIDDLE: button = MouseButton::Middle, flag = ssMiddle; return true;
    default: return false;
  }
}

int64_t MonotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

// Sleeps until the monotonic clock reads `ns`; an absolute wake-up, so the time spent
// getting here does not push it later.
void SleepUntilNs(int64_t ns) {
  timespec ts{};
  ts.tv_sec = time_t(ns / 1'000'000'000);
  ts.tv_nsec = long(ns % 1'000'000'000);
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
  }
}

}  // namespace

SdlPlatform::SdlPlatform() : originNs_(MonotonicNs()) {
  // Closing the window is reported once, as a window event, not again as SDL_QUIT.
  SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
  // No vsync: the game paces its frames with its own 20 ms timer, and waiting for the
  // vertical blank inside Present would fight that timer.
  SDL_SetHint(SDL_HINT_RENDER_VSYNC, "0");
  // Smooth scaling when full screen stretches 800 x 600 by an uneven factor.
  SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "linear");
  // The picture is made in memory, so presenting it is one copy into the window. The
  // window system's own shared-memory framebuffer does that copy cheaply; going through
  // OpenGL costs several milliseconds a frame wherever OpenGL itself runs in software.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");

  if (SDL_Init(SDL_INIT_EVENTS | SDL_INIT_TIMER) != 0) {
    std::fprintf(stderr, "SDL: %s\n", SDL_GetError());
    return;
  }
  videoOk_ = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
  if (!videoOk_) std::fprintf(stderr, "SDL video: %s\n", SDL_GetError());
  audioOk_ = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
  // Controllers' buttons by position (A is always the south button), so every pad has the
  // same layout whatever its labels. SDL's mapping database and SDL_GAMECONTROLLERCONFIG
  // tell it which devices are controllers.
  SDL_SetHint(SDL_HINT_GAMECONTROLLER_USE_BUTTON_LABELS, "0");
  joystickOk_ = SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) == 0 || SDL_InitSubSystem(SDL_INIT_JOYSTICK) == 0;
  // Joysticks and controllers are read by polling in ReadJoystick and ReadPad, which also
  // notice plugging. With their events on, SDL would wake every millisecond inside
  // SDL_WaitEventTimeout while a device is attached.
  if (joystickOk_) {
    SDL_JoystickEventState(SDL_IGNORE);
    SDL_GameControllerEventState(SDL_IGNORE);
  }
}

SdlPlatform::~SdlPlatform() {
  CloseAudio();
  if (joystick_ != nullptr) SDL_JoystickClose(joystick_);
  if (pad_ != nullptr) SDL_GameControllerClose(pad_);
  if (videoOk_) SDL_StopTextInput();
  if (texture_ != nullptr) SDL_DestroyTexture(texture_);
  if (renderer_ != nullptr) SDL_DestroyRenderer(renderer_);
  if (window_ != nullptr) SDL_DestroyWindow(window_);
  SDL_Quit();
}

// --- Window and display ---

bool SdlPlatform::OpenWindow(const std::string& title, int width, int height) {
  if (!videoOk_) return false;
  const std::string utf8Title = Cp1251ToUtf8(title);
  if (window_ != nullptr) {
    SDL_SetWindowTitle(window_, utf8Title.c_str());
    return true;
  }
  width_ = width, height_ = height;
  // Resizable, or window managers offer no maximise command (which the game turns into
  // full screen); a window dragged to another size shows the picture scaled.
  window_ = SDL_CreateWindow(utf8Title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height,
                             SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE);
  if (window_ == nullptr) {
    std::fprintf(stderr, "SDL window: %s\n", SDL_GetError());
    return false;
  }
  // Smaller than half the picture, nothing in it could be read or hit.
  SDL_SetWindowMinimumSize(window_, width / 2, height / 2);
  // No SDL_RENDERER_PRESENTVSYNC, for the reason given in the constructor. The software
  // renderer draws straight into the window's framebuffer (see the constructor).
  renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
  if (renderer_ == nullptr) renderer_ = SDL_CreateRenderer(window_, -1, 0);
  if (renderer_ == nullptr) {
    std::fprintf(stderr, "SDL renderer: %s\n", SDL_GetError());
    SDL_DestroyWindow(window_);
    window_ = nullptr;
    return false;
  }
  SDL_RendererInfo info{};
  softwareRenderer_ = SDL_GetRendererInfo(renderer_, &info) == 0 && (info.flags & SDL_RENDERER_SOFTWARE) != 0;
  // The picture keeps its size in logical units: letterboxed in full screen, and SDL
  // maps mouse event coordinates back into it.
  SDL_RenderSetLogicalSize(renderer_, width, height);
  SDL_StartTextInput();
  modifiers_ = ModifierFlags(SDL_GetModState());
  return true;
}

bool SdlPlatform::SetFullScreen(bool fullScreen) {
  if (window_ == nullptr) return false;
  if (fullScreen == fullScreen_) return true;
  // The desktop's own mode, stretched: no real mode switch.
  if (SDL_SetWindowFullscreen(window_, fullScreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) != 0) return false;
  fullScreen_ = fullScreen;
  if (!fullScreen) {
    // A maximise that led to full screen would otherwise leave the window maximised.
    if ((SDL_GetWindowFlags(window_) & SDL_WINDOW_MAXIMIZED) != 0) SDL_RestoreWindow(window_);
    SDL_SetWindowSize(window_, width_, height_);
    SDL_SetWindowPosition(window_, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
  }
  return true;
}

void SdlPlatform::MinimizeWindow() {
  if (window_ != nullptr) SDL_MinimizeWindow(window_);
}

bool SdlPlatform::PresentIntoWindowSurface(const Surface& surface) {
  if (!softwareRenderer_) return false;
  int outputW = 0, outputH = 0;
  if (SDL_GetRendererOutputSize(renderer_, &outputW, &outputH) != 0 || outputW != surface.Width ||
      outputH != surface.Height) {
    return false;
  }
  SDL_Surface* target = SDL_GetWindowSurface(window_);
  if (target == nullptr || target->w != surface.Width || target->h != surface.Height ||
      target->format->format != SDL_PIXELFORMAT_RGB888) {
    return false;
  }
  if (SDL_MUSTLOCK(target) && SDL_LockSurface(target) != 0) return false;
  const size_t rowBytes = size_t(surface.Width) * sizeof(uint32_t);
  auto* out = static_cast<uint8_t*>(target->pixels);
  if (size_t(target->pitch) == rowBytes) {
    std::memcpy(out, surface.Pixels.data(), rowBytes * size_t(surface.Height));
  } else {
    for (int y = 0; y < surface.Height; ++y) std::memcpy(out + size_t(y) * size_t(target->pitch), surface.Row(y), rowBytes);
  }
  if (SDL_MUSTLOCK(target)) SDL_UnlockSurface(target);
  inWindowSurface_ = SDL_UpdateWindowSurface(window_) == 0;
  return inWindowSurface_;
}

// The window was uncovered: shows the last frame again from where it was put, since the
// frame timer does not run while another window is active.
void SdlPlatform::Repaint() {
  if (inWindowSurface_) {
    SDL_UpdateWindowSurface(window_);
  } else if (texture_ != nullptr) {
    SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    SDL_RenderClear(renderer_);
    SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
    SDL_RenderPresent(renderer_);
  }
}

void SdlPlatform::Present(const Surface& surface) {
  if (renderer_ == nullptr || surface.Width <= 0 || surface.Height <= 0) return;
  if (PresentIntoWindowSurface(surface)) return;
  inWindowSurface_ = false;
  if (texture_ == nullptr || textureW_ != surface.Width || textureH_ != surface.Height) {
    if (texture_ != nullptr) SDL_DestroyTexture(texture_);
    // Our pixels are 0x00RRGGBB, which is SDL's RGB888: the top byte is not alpha. It is
    // also the window's own format on a 24-bit X display, so that drawing the texture into
    // the window is a plain copy of rows rather than a conversion of every pixel.
    texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, surface.Width,
                                 surface.Height);
    if (texture_ == nullptr) return;
    SDL_SetTextureBlendMode(texture_, SDL_BLENDMODE_NONE);
    textureW_ = surface.Width, textureH_ = surface.Height;
  }
  SDL_UpdateTexture(texture_, nullptr, surface.Pixels.data(), surface.Width * int(sizeof(uint32_t)));
  // The picture covers the whole window when the window has the picture's size; only a
  // larger window (full screen, or one dragged bigger) has bars around it to clear.
  int outputW = 0, outputH = 0;
  if (SDL_GetRendererOutputSize(renderer_, &outputW, &outputH) != 0 || outputW != surface.Width ||
      outputH != surface.Height) {
    SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    SDL_RenderClear(renderer_);
  }
  SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
  SDL_RenderPresent(renderer_);
}

bool SdlPlatform::IsForeground() const {
  return window_ != nullptr && (SDL_GetWindowFlags(window_) & SDL_WINDOW_INPUT_FOCUS) != 0;
}

// --- Clock and events ---

// Whole milliseconds of the monotonic clock since the platform started.
int64_t SdlPlatform::ClockMs() const { return (MonotonicNs() - originNs_) / 1'000'000; }

uint32_t SdlPlatform::Milliseconds() { return uint32_t(ClockMs()); }

bool SdlPlatform::WaitEvent(Event& event, uint32_t timeoutMs) {
  const int64_t now = ClockMs();
  return WaitUntilNs(event, originNs_ + (now + int64_t(std::min<uint32_t>(timeoutMs, INT32_MAX))) * 1'000'000);
}

bool SdlPlatform::WaitEventUntil(Event& event, uint32_t deadline) {
  const int64_t now = ClockMs();
  const int64_t left = int32_t(deadline - uint32_t(now));
  return WaitUntilNs(event, originNs_ + (now + std::max<int64_t>(left, 0)) * 1'000'000);
}

bool SdlPlatform::WaitUntilNs(Event& event, int64_t wakeNs) {
  // SDL's own wait sleeps until an event comes or a timeout in whole milliseconds passes,
  // and now and then wakes a few milliseconds late. It covers the wait but for the last
  // few milliseconds, which an absolute sleep on the monotonic clock ends on time; events
  // that come in those milliseconds are taken right after it.
  constexpr int64_t kPreciseNs = 4'000'000;
  for (;;) {
    if (!pending_.empty()) {
      event = pending_.front();
      pending_.pop_front();
      return true;
    }
    SDL_Event e;
    const int64_t left = wakeNs - MonotonicNs();
    const int64_t coarseMs = (left - kPreciseNs) / 1'000'000;
    if (coarseMs >= 1) {
      if (SDL_WaitEventTimeout(&e, int(std::min<int64_t>(coarseMs, INT_MAX))) != 0) Translate(e);
      continue;
    }
    if (SDL_PollEvent(&e) != 0) {
      Translate(e);
      continue;
    }
    if (left <= 0) return false;
    SleepUntilNs(wakeNs);
  }
}

void SdlPlatform::PostKeyUp(int key, uint32_t shift) {
  Event event;
  event.Type = EventType::KeyUp;
  event.Key = key;
  event.Shift = shift;
  Push(event);
}

uint32_t SdlPlatform::ShiftState() const { return modifiers_ | buttons_; }

void SdlPlatform::ClampToSurface(int& x, int& y) const {
  x = std::clamp(x, 0, width_ - 1);
  y = std::clamp(y, 0, height_ - 1);
}

void SdlPlatform::Translate(const SDL_Event& e) {
  Event event;
  switch (e.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      // Key repeat arrives as further SDL_KEYDOWN events: repeated KeyDown, as on Windows.
      modifiers_ = ModifierFlags(e.key.keysym.mod);
      const int key = GenericVirtualKey(VirtualKeyFromScancode(e.key.keysym.scancode));
      if (key == 0) return;
      event.Type = e.type == SDL_KEYDOWN ? EventType::KeyDown : EventType::KeyUp;
      event.Key = key;
      event.Shift = ShiftState();
      Push(event);
      return;
    }
    case SDL_TEXTINPUT:
      // One Char per Windows-1251 byte. Enter, Backspace and Escape never come as text.
      event.Type = EventType::Char;
      for (char c : Utf8ToCp1251(e.text.text)) {
        event.Char = uint8_t(c);
        Push(event);
      }
      return;
    case SDL_MOUSEMOTION:
      // Event coordinates and motion are already in logical (surface) units, thanks to the
      // renderer. A relative pointer moves by the motion from where the game left it.
      buttons_ = ButtonFlags(e.motion.state);
      event.Type = EventType::MouseMove;
      if (relative_) {
        pointerX_ += e.motion.xrel, pointerY_ += e.motion.yrel;
        ClampToSurface(pointerX_, pointerY_);
        event.X = pointerX_, event.Y = pointerY_;
      } else {
        event.X = e.motion.x, event.Y = e.motion.y;
      }
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      uint32_t flag = 0;
      if (!GameButton(e.button.button, event.Button, flag)) return;
      // Like Windows: the pressed button counts as held in its own MouseDown, the
      // released one no longer in its MouseUp.
      const bool down = e.type == SDL_MOUSEBUTTONDOWN;
      buttons_ = down ? (buttons_ | flag) : (buttons_ & ~flag);
      event.Type = down ? EventType::MouseDown : EventType::MouseUp;
      event.X = e.button.x, event.Y = e.button.y;
      if (relative_) event.X = pointerX_, event.Y = pointerY_;
      double_ = down && e.button.clicks >= 2;
      break;
    }
    case SDL_MOUSEWHEEL: {
      int notches = e.wheel.y;
      if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) notches = -notches;
      if (notches == 0) return;  // sideways scrolling only
      event.Type = EventType::MouseWheel;
      event.WheelDelta = notches * 120;
      GetCursorPos(event.X, event.Y);
      break;
    }
    case SDL_QUIT:  // SIGINT or SIGTERM: the window's close is reported on its own
      event.Type = EventType::SessionEnd;
      Push(event);
      return;
    case SDL_WINDOWEVENT:
      switch (e.window.event) {
        case SDL_WINDOWEVENT_FOCUS_GAINED:
          // Keys and buttons may have changed while another window had the input.
          modifiers_ = ModifierFlags(SDL_GetModState());
          buttons_ = ButtonFlags(SDL_GetMouseState(nullptr, nullptr));
          event.Type = EventType::Activate;
          break;
        case SDL_WINDOWEVENT_FOCUS_LOST: event.Type = EventType::Deactivate; break;
        case SDL_WINDOWEVENT_CLOSE: event.Type = EventType::Close; break;
        case SDL_WINDOWEVENT_MINIMIZED: event.Type = EventType::Minimize; break;
        case SDL_WINDOWEVENT_MAXIMIZED: event.Type = EventType::Maximize; break;
        case SDL_WINDOWEVENT_EXPOSED: Repaint(); return;
        default: return;
      }
      Push(event);
      return;
    default:
      return;
  }
  // The pointer events.
  ClampToSurface(event.X, event.Y);
  event.Shift = ShiftState() | (double_ ? uint32_t(ssDouble) : 0u);
  double_ = false;
  Push(event);
}

// --- Keyboard, mouse, joystick ---

void SdlPlatform::GetKeyboardState(std::array<uint8_t, 256>& keys) {
  keys.fill(0);
  int count = 0;
  const uint8_t* down = SDL_GetKeyboardState(&count);
  for (int sc = 0; sc < count; ++sc) {
    if (down[sc] == 0) continue;
    const int key = VirtualKeyFromScancode(SDL_Scancode(sc));
    if (key == 0) continue;
    keys[size_t(key)] = 0x80;
    keys[size_t(GenericVirtualKey(key))] = 0x80;  // Shift/Ctrl/Alt: both codes
  }
  const uint32_t buttons = SDL_GetMouseState(nullptr, nullptr);
  if (buttons & SDL_BUTTON_LMASK) keys[vk::LButton] = 0x80;
  if (buttons & SDL_BUTTON_RMASK) keys[vk::RButton] = 0x80;
  if (buttons & SDL_BUTTON_MMASK) keys[vk::MButton] = 0x80;
  // Bit 0 is the toggle state, as Windows keeps it for the lock keys.
  const SDL_Keymod mod = SDL_GetModState();
  if (mod & KMOD_CAPS) keys[vk::Capital] |= 0x01;
  if (mod & KMOD_NUM) keys[0x90] |= 0x01;
}

void SdlPlatform::WindowToSurface(int wx, int wy, int& x, int& y) const {
  x = wx, y = wy;
  if (renderer_ == nullptr) return;
  float lx = 0, ly = 0;
  SDL_RenderWindowToLogical(renderer_, wx, wy, &lx, &ly);
  // Truncated like the coordinates SDL puts into mouse events, so polls and events agree.
  x = int(lx), y = int(ly);
}

void SdlPlatform::GetCursorPos(int& x, int& y) {
  if (relative_) {
    x = pointerX_, y = pointerY_;
    return;
  }
  int wx = 0, wy = 0;
  SDL_GetMouseState(&wx, &wy);
  WindowToSurface(wx, wy, x, y);
  ClampToSurface(x, y);
}

void SdlPlatform::SetCursorPos(int x, int y) {
  ClampToSurface(x, y);
  if (relative_) {
    pointerX_ = x, pointerY_ = y;
    return;
  }
  if (window_ == nullptr || renderer_ == nullptr) return;
  // Aim at the middle of the surface pixel, then step to a window pixel that reads back
  // as exactly (x, y): a game that centres the pointer and measures how far it moved
  // must see no drift from rounding.
  int wx = 0, wy = 0, gotX = 0, gotY = 0;
  SDL_RenderLogicalToWindow(renderer_, float(x) + 0.5f, float(y) + 0.5f, &wx, &wy);
  for (int step = 0; step < 4; ++step) {
    WindowToSurface(wx, wy, gotX, gotY);
    if (gotX == x && gotY == y) break;
    wx += gotX < x ? 1 : gotX > x ? -1 : 0;
    wy += gotY < y ? 1 : gotY > y ? -1 : 0;
  }
  SDL_WarpMouseInWindow(window_, wx, wy);
}

void SdlPlatform::ShowCursor(bool show) { SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE); }

void SdlPlatform::SetRelativeMouse(bool on) {
  if (on == relative_ || window_ == nullptr) return;
  if (on) {
    GetCursorPos(pointerX_, pointerY_);  // it goes on from where it is
    relative_ = SDL_SetRelativeMouseMode(SDL_TRUE) == 0;
  } else {
    SDL_SetRelativeMouseMode(SDL_FALSE);
    relative_ = false;
    SetCursorPos(pointerX_, pointerY_);  // the real pointer comes back where the game left it
  }
}

bool SdlPlatform::ReadJoystick(JoystickReading& reading) {
  if (!joystickOk_) return false;
  // Device events are off, so this is where SDL reads the devices and notices plugging.
  SDL_JoystickUpdate();
  devicesRead_ = true;
  if (joystick_ != nullptr && !SDL_JoystickGetAttached(joystick_)) {
    SDL_JoystickClose(joystick_);
    joystick_ = nullptr;
  }
  // The first device that is no game controller: those are read as controllers.
  for (int i = 0; joystick_ == nullptr && i < SDL_NumJoysticks(); ++i)
    if (!SDL_IsGameController(i)) joystick_ = SDL_JoystickOpen(i);
  if (joystick_ == nullptr) return false;

  reading = JoystickReading{};
  const int axes = SDL_JoystickNumAxes(joystick_);
  int* out[3] = {&reading.X, &reading.Y, &reading.Z};
  for (int i = 0; i < 3; ++i) *out[i] = (i < axes ? SDL_JoystickGetAxis(joystick_, i) : 0) + 32768;
  const int buttons = std::min(SDL_JoystickNumButtons(joystick_), 32);
  for (int i = 0; i < buttons; ++i) {
    if (SDL_JoystickGetButton(joystick_, i)) reading.Buttons |= 1u << i;
  }
  return true;
}

static_assert(int(PadA) == int(SDL_CONTROLLER_BUTTON_A) && int(PadStart) == int(SDL_CONTROLLER_BUTTON_START) &&
                  int(PadDpadRight) == int(SDL_CONTROLLER_BUTTON_DPAD_RIGHT),
              "PadButton follows SDL's button order");

bool SdlPlatform::ReadPad(PadReading& reading) {
  if (!joystickOk_) return false;
  // An input poll reads the joystick first, which has read every device just now.
  if (!devicesRead_) SDL_GameControllerUpdate();
  devicesRead_ = false;
  if (pad_ != nullptr && !SDL_GameControllerGetAttached(pad_)) {
    SDL_GameControllerClose(pad_);
    pad_ = nullptr;
  }
  // Until the player's controller goes, any other is ignored.
  for (int i = 0; pad_ == nullptr && i < SDL_NumJoysticks(); ++i)
    if (SDL_IsGameController(i)) pad_ = SDL_GameControllerOpen(i);
  if (pad_ == nullptr) return false;
  reading = PadReading{};
  for (int b = 0; b < PadButtonCount; ++b)
    if (SDL_GameControllerGetButton(pad_, SDL_GameControllerButton(b))) reading.Buttons |= 1u << b;
  reading.LeftX = SDL_GameControllerGetAxis(pad_, SDL_CONTROLLER_AXIS_LEFTX);
  reading.LeftY = SDL_GameControllerGetAxis(pad_, SDL_CONTROLLER_AXIS_LEFTY);
  return true;
}

void SdlPlatform::RumblePad(uint16_t low, uint16_t high, uint32_t ms) {
  if (pad_ != nullptr) SDL_GameControllerRumble(pad_, low, high, ms);  // -1 where there is no motor
}

// --- Sound ---

void SdlPlatform::AudioCallback(void* self, uint8_t* stream, int bytes) {
  auto* platform = static_cast<SdlPlatform*>(self);
  platform->audioSource_->Render(reinterpret_cast<int16_t*>(stream), bytes / int(2 * sizeof(int16_t)));
}

bool SdlPlatform::OpenAudio(AudioSource& source) {
  if (!audioOk_) return false;
  CloseAudio();
  audioSource_ = &source;
  SDL_AudioSpec want{};
  want.freq = AudioRate;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = 1024;
  want.callback = &SdlPlatform::AudioCallback;
  want.userdata = this;
  // No allowed changes: SDL converts to whatever the device really plays.
  audioDevice_ = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
  if (audioDevice_ == 0) return false;
  SDL_PauseAudioDevice(audioDevice_, 0);
  return true;
}

void SdlPlatform::CloseAudio() {
  if (audioDevice_ != 0) SDL_CloseAudioDevice(audioDevice_);
  audioDevice_ = 0;
  audioSource_ = nullptr;
}

void SdlPlatform::LockAudio() {
  if (audioDevice_ != 0) SDL_LockAudioDevice(audioDevice_);
}

void SdlPlatform::UnlockAudio() {
  if (audioDevice_ != 0) SDL_UnlockAudioDevice(audioDevice_);
}

// --- Text ---

void SdlPlatform::DrawText(Surface& surface, int x, int y, std::string_view text, const FontSpec& font) {
  text_.Draw(surface, x, y, text, font);
}

void SdlPlatform::TextExtent(std::string_view text, const FontSpec& font, int& width, int& height) {
  text_.Extent(text, font, width, height);
}

// --- Desktop and network ---

void SdlPlatform::MessageBox(std::string_view text, std::string_view caption) {
  const std::string utf8 = Cp1251ToUtf8(text);
  const std::string title(caption);
  if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_INFORMATION, title.c_str(), utf8.c_str(), window_) != 0) {
    std::fprintf(stderr, "%s\n", utf8.c_str());
  }
}

void SdlPlatform::OpenDocument(const std::string& target) { OpenWithDesktop(target); }

bool SdlPlatform::FileExists(const std::string& path) { return PathExists(path); }

bool SdlPlatform::CanWriteFolder(const std::string& dir) { return FolderWritable(dir); }

std::string SdlPlatform::UserDataFolder() { return XdgDataFolder("Zarovel"); }

HttpReply SdlPlatform::HttpGet(const std::string& url, uint32_t timeoutMs) { return HttpGetUrl(url, timeoutMs); }

uint32_t SdlPlatform::ClockSeed() {
  // Wall-clock seconds stirred with the fine counter, so two quick starts still differ.
  uint64_t v = uint64_t(std::time(nullptr)) ^ (SDL_GetPerformanceCounter() * 0x9E3779B97F4A7C15ull);
  v ^= v >> 31;
  v *= 0xBF58476D1CE4E5B9ull;
  v ^= v >> 29;
  return uint32_t(v ^ (v >> 32));
}

int64_t SdlPlatform::WallClock() { return int64_t(std::time(nullptr)); }

}  // namespace platform
