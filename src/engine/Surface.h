// A 32-bit pixel surface: the display's back surface and every off-screen picture.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// Pixels are 0x00RRGGBB, rows top to bottom, no padding between rows.
struct Surface {
  int Width = 0;
  int Height = 0;
  std::vector<uint32_t> Pixels;

  Surface() = default;
  Surface(int width, int height) : Width(width), Height(height), Pixels(size_t(width) * size_t(height), 0) {}

  uint32_t* Row(int y) { return Pixels.data() + size_t(y) * size_t(Width); }
  const uint32_t* Row(int y) const { return Pixels.data() + size_t(y) * size_t(Width); }
  uint32_t& At(int x, int y) { return Row(y)[x]; }
  uint32_t At(int x, int y) const { return Row(y)[x]; }
};

constexpr uint32_t RGB(uint8_t r, uint8_t g, uint8_t b) { return (uint32_t(r) << 16) | (uint32_t(g) << 8) | b; }
