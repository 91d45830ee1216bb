// Headless back end: state set by scripts and tests, side effects kept as notes.
#include "engine/platform/headless/HeadlessPlatform.h"

#include "engine/platform/Desktop.h"
#include "payload/Cp1251.h"

namespace platform {

namespace {
uint32_t ButtonFlag(MouseButton button) {
  switch (button) {
    case MouseButton::Left: return ssLeft;
    case MouseButton::Right: return ssRight;
    case MouseButton::Middle: return ssMiddle;
  }
  return 0;
}
}  // namespace

HeadlessPlatform::HeadlessPlatform() : lastFrame_(800, 600) {}
HeadlessPlatform::~HeadlessPlatform() = default;

uint32_t HeadlessPlatform::CurrentShift() const {
  uint32_t shift = mouseButtons_;
  if (keys_[0x10] & 0x80) shift |= ssShift;
  if (keys_[0x11] & 0x80) shift |= ssCtrl;
  if (keys_[0x12] & 0x80) shift |= ssAlt;
  return shift;
}

void HeadlessPlatform::Push(const Event& pushed) {
  Event event = pushed;
  switch (event.Type) {
    case EventType::KeyDown:
      if (event.Key > 0 && event.Key < 256) keys_[size_t(event.Key)] = 0x80;
      break;
    case EventType::KeyUp:
      if (event.Key > 0 && event.Key < 256) keys_[size_t(event.Key)] = 0;
      break;
    case EventType::MouseDown:
      mouseButtons_ |= ButtonFlag(event.Button);
      mouseX_ = event.X, mouseY_ = event.Y;
      break;
    case EventType::MouseUp:
      mouseButtons_ &= ~ButtonFlag(event.Button);
      mouseX_ = event.X, mouseY_ = event.Y;
      break;
    case EventType::MouseMove:
      mouseX_ = event.X, mouseY_ = event.Y;
      break;
    case EventType::Activate: foreground_ = true; break;
    case EventType::Deactivate: foreground_ = false; break;
    case EventType::Minimize: minimized_ = true; break;
    default: break;
  }
  // Key and mouse events carry the modifiers and buttons held once the event happened (and
  // a press keeps the double-click mark it came with).
  if (event.Type != EventType::Char) event.Shift = CurrentShift() | (pushed.Shift & ssDouble);
  queue_.push_back(event);
}

void HeadlessPlatform::SetJoystick(bool present, const JoystickReading& reading) {
  joystickPresent_ = present;
  joystick_ = reading;
}

std::vector<HeadlessPlatform::Note> HeadlessPlatform::TakeNotes() {
  std::vector<Note> fresh(notes_.begin() + long(notesTaken_), notes_.end());
  notesTaken_ = notes_.size();
  return fresh;
}

bool HeadlessPlatform::OpenWindow(const std::string&, int width, int height) {
  lastFrame_ = Surface(width, height);
  presented_ = nullptr;
  return true;
}

bool HeadlessPlatform::SetFullScreen(bool fullScreen) {
  fullScreen_ = fullScreen;
  return true;
}

void HeadlessPlatform::Present(const Surface& surface) {
  presented_ = &surface;
  ++presentCount_;
}

void HeadlessPlatform::SurfaceGoing(const Surface& surface) {
  if (presented_ != &surface) return;
  lastFrame_ = surface;
  presented_ = nullptr;
}

bool HeadlessPlatform::WaitEvent(Event& event, uint32_t) {
  if (queue_.empty()) return false;
  event = queue_.front();
  queue_.pop_front();
  return true;
}

bool HeadlessPlatform::WaitEventUntil(Event& event, uint32_t deadline) {
  if (WaitEvent(event, 0)) return true;
  if (int32_t(deadline - now_) > 0) now_ = deadline;
  return false;
}

void HeadlessPlatform::PostKeyUp(int key, uint32_t shift) {
  Event event;
  event.Type = EventType::KeyUp;
  event.Key = key;
  event.Shift = shift;
  Push(event);
}

bool HeadlessPlatform::ReadPad(PadReading& reading) {
  if (pads_.empty()) return false;
  reading = pads_.front();
  return true;
}

void HeadlessPlatform::RumblePad(uint16_t low, uint16_t high, uint32_t ms) {
  if (pads_.empty()) return;
  Record("rumble", std::to_string(low) + " " + std::to_string(high) + " " + std::to_string(ms));
}

bool HeadlessPlatform::ReadJoystick(JoystickReading& reading) {
  if (!joystickPresent_) return false;
  reading = joystick_;
  return true;
}

void HeadlessPlatform::DrawText(Surface& surface, int x, int y, std::string_view text, const FontSpec& font) {
  text_.Draw(surface, x, y, text, font);
}

void HeadlessPlatform::TextExtent(std::string_view text, const FontSpec& font, int& width, int& height) {
  text_.Extent(text, font, width, height);
}

// The caption is not kept: tests and scripts read the text.
void HeadlessPlatform::MessageBox(std::string_view text, std::string_view) { Record("message", Cp1251ToUtf8(text)); }

void HeadlessPlatform::OpenDocument(const std::string& target) { Record("open", target); }

bool HeadlessPlatform::FileExists(const std::string& path) { return PathExists(path); }

HttpReply HeadlessPlatform::HttpGet(const std::string& url, uint32_t timeoutMs) {
  Record("http", url);
  return HttpGetUrl(url, timeoutMs);
}

void HeadlessPlatform::Record(std::string_view channel, std::string_view what) {
  notes_.push_back(Note{std::string(channel), std::string(what)});
}

}  // namespace platform
