// Pattern blits on 32-bit surfaces; all of them clip through ClipToSurface.
#include "engine/PatternDraw.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>

namespace {

// Per channel: (src * alpha + dest * (256 - alpha)) / 256, which equals
// dest + (src - dest) * alpha / 256 rounded down.
inline uint32_t Blend(uint32_t src, uint32_t dest, uint32_t alpha) {
  const uint32_t inverse = 256 - alpha;
  const uint32_t rb = (((src & 0xFF00FF) * alpha + (dest & 0xFF00FF) * inverse) >> 8) & 0xFF00FF;
  const uint32_t g = (((src & 0x00FF00) * alpha + (dest & 0x00FF00) * inverse) >> 8) & 0x00FF00;
  return rb | g;
}

// Writes one source pixel: skipped when it is the colour key, blended when 0 < alpha < 255.
inline void Put(uint32_t& dest, uint32_t pixel, const TPatternSource& src, int alpha) {
  if (src.Transparent && pixel == src.Key) return;
  dest = alpha >= 255 ? pixel : Blend(pixel, dest, uint32_t(alpha));
}

// One row of a keyed copy: source pixels equal to the key leave the destination as it is.
// Written so that GCC vectorises it at -O2, where its cheapest vectoriser model takes only
// loops that need no run-time checks: the rows are declared not to overlap (no alias check),
// and the blocks have a fixed length (no check of the trip count); the rest of a row is
// done one pixel at a time. Each block becomes a compare and a select of source or
// destination, several pixels per instruction: four with the baseline's SSE2, eight in the
// second copy built for AVX2, which the loader picks where the processor has it.
__attribute__((target_clones("avx2", "default"))) void KeyedRow(uint32_t* __restrict out,
                                                                const uint32_t* __restrict source, int width,
                                                                uint32_t key) {
  constexpr int kBlock = 8;
  int i = 0;
  for (; i + kBlock <= width; i += kBlock) {
    for (int k = 0; k < kBlock; ++k) {
      const uint32_t pixel = source[i + k];
      out[i + k] = pixel == key ? out[i + k] : pixel;
    }
  }
  for (; i < width; ++i) {
    if (source[i] != key) out[i] = source[i];
  }
}

// 16.16 source step per destination pixel.
inline int64_t Step(int64_t sourceSize, int64_t destSize) { return (sourceSize * 65536) / destSize; }

// cos(2 pi i / 256); sin of the same angle is entry (i + 192) mod 256.
const std::array<double, 256>& CosTable() {
  static const std::array<double, 256> table = [] {
    std::array<double, 256> t{};
    for (int i = 0; i < 256; ++i) t[size_t(i)] = std::cos(2 * std::numbers::pi * i / 256);
    return t;
  }();
  return table;
}

void ScaledDraw(Surface& dest, const TPatternSource& src, const TRect& destRect, int alpha) {
  if (src.Rect.Empty()) return;
  TClip clip;
  if (!ClipToSurface(dest, destRect, clip)) return;
  const int64_t stepX = Step(src.Rect.Width(), int64_t(destRect.Right) - destRect.Left);
  const int64_t stepY = Step(src.Rect.Height(), int64_t(destRect.Bottom) - destRect.Top);
  const int width = clip.Visible.Width();
  for (int row = 0; row < clip.Visible.Height(); ++row) {
    const int sy = src.Rect.Top + int(((clip.CutTop + row) * stepY) >> 16);
    const uint32_t* source = src.Pixels.Row(sy) + src.Rect.Left;
    uint32_t* out = dest.Row(clip.Visible.Top + row) + clip.Visible.Left;
    int64_t sx = clip.CutLeft * stepX;
    for (int i = 0; i < width; ++i, sx += stepX) Put(out[i], source[sx >> 16], src, alpha);
  }
}

}  // namespace

TOpaqueRuns FindOpaqueRuns(const Surface& pixels, uint32_t key) {
  TOpaqueRuns found;
  found.RowFirst.reserve(size_t(pixels.Height) + 1);
  for (int y = 0; y < pixels.Height; ++y) {
    found.RowFirst.push_back(uint32_t(found.Runs.size()));
    const uint32_t* row = pixels.Row(y);
    for (int x = 0; x < pixels.Width;) {
      if (row[x] == key) {
        ++x;
        continue;
      }
      const int begin = x;
      while (x < pixels.Width && row[x] != key) ++x;
      found.Runs.emplace_back(begin, x);
    }
  }
  found.RowFirst.push_back(uint32_t(found.Runs.size()));
  return found;
}

namespace {

// One row of a keyed copy by its runs: columns left .. right - 1 of the source row go to out.
void RunsRow(uint32_t* out, const uint32_t* sourceRow, const std::pair<int, int>* first,
             const std::pair<int, int>* last, int left, int right) {
  first = std::partition_point(first, last, [left](const std::pair<int, int>& run) { return run.second <= left; });
  for (; first != last && first->first < right; ++first) {
    const int begin = std::max(first->first, left), end = std::min(first->second, right);
    std::memcpy(out + (begin - left), sourceRow + begin, size_t(end - begin) * sizeof(uint32_t));
  }
}

}  // namespace

bool ClipToSurface(const Surface& surface, const TRect& rect, TClip& clip) {
  const int64_t left = std::max<int64_t>(rect.Left, 0), top = std::max<int64_t>(rect.Top, 0);
  const int64_t right = std::min<int64_t>(rect.Right, surface.Width);
  const int64_t bottom = std::min<int64_t>(rect.Bottom, surface.Height);
  if (right <= left || bottom <= top) return false;
  clip.Visible = TRect{int(left), int(top), int(right), int(bottom)};
  clip.CutLeft = int(left - rect.Left);
  clip.CutTop = int(top - rect.Top);
  return true;
}

void DrawPattern(Surface& dest, const TPatternSource& src, int x, int y) {
  TClip clip;
  if (src.Rect.Empty() || !ClipToSurface(dest, Bounds(x, y, src.Rect.Width(), src.Rect.Height()), clip)) return;
  const int width = clip.Visible.Width();
  // A picture drawn onto itself may overlap its own rows: memmove, and the keyed copy one
  // pixel at a time.
  const bool sameSurface = &dest == &src.Pixels;
  const TOpaqueRuns* runs = src.Transparent && !sameSurface ? src.Runs : nullptr;
  const int left = src.Rect.Left + clip.CutLeft;
  for (int row = 0; row < clip.Visible.Height(); ++row) {
    const int sy = src.Rect.Top + clip.CutTop + row;
    const uint32_t* source = src.Pixels.Row(sy) + left;
    uint32_t* out = dest.Row(clip.Visible.Top + row) + clip.Visible.Left;
    if (runs != nullptr) {
      const auto* all = runs->Runs.data();
      RunsRow(out, src.Pixels.Row(sy), all + runs->RowFirst[size_t(sy)], all + runs->RowFirst[size_t(sy) + 1], left,
              left + width);
    } else if (!src.Transparent) {
      std::memmove(out, source, size_t(width) * sizeof(uint32_t));
    } else if (!sameSurface) {
      KeyedRow(out, source, width, src.Key);
    } else {
      for (int i = 0; i < width; ++i) {
        if (source[i] != src.Key) out[i] = source[i];
      }
    }
  }
}

void StretchPattern(Surface& dest, const TPatternSource& src, const TRect& destRect) {
  // Most sprites are drawn at their picture's own size: the plain row copy gives the same
  // pixels as the scaled walk, several at a time.
  if (int64_t(destRect.Right) - destRect.Left == src.Rect.Width() &&
      int64_t(destRect.Bottom) - destRect.Top == src.Rect.Height())
    DrawPattern(dest, src, destRect.Left, destRect.Top);
  else
    ScaledDraw(dest, src, destRect, 255);
}

void BlendPattern(Surface& dest, const TPatternSource& src, const TRect& destRect, int alpha) {
  if (alpha > 0) ScaledDraw(dest, src, destRect, alpha);
}

void RotatePattern(Surface& dest, const TPatternSource& src, int x, int y, int width, int height, double centerX,
                   double centerY, int angle, int alpha) {
  if (width <= 0 || height <= 0 || alpha <= 0 || src.Rect.Empty()) return;
  const int index = angle & 255;
  const double cosA = CosTable()[size_t(index)], sinA = CosTable()[size_t((index + 192) & 255)];
  // The scaled pattern's point that lands on (x, y).
  const double originU = std::trunc(centerX * width), originV = std::trunc(centerY * height);
  if (!std::isfinite(originU) || !std::isfinite(originV)) return;

  // Screen box of the four turned corners, then the usual clip.
  double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
  for (double u : {0.0, double(width)}) {
    for (double v : {0.0, double(height)}) {
      const double c = std::trunc(u - originU), d = std::trunc(v - originV);
      const double sx = std::trunc(c * cosA - d * sinA) + x, sy = std::trunc(c * sinA + d * cosA) + y;
      minX = std::min(minX, sx), maxX = std::max(maxX, sx);
      minY = std::min(minY, sy), maxY = std::max(maxY, sy);
    }
  }
  auto clampInt = [](double v) { return int(std::clamp(v, -1e9, 1e9)); };
  TClip clip;
  if (!ClipToSurface(dest, TRect{clampInt(minX), clampInt(minY), clampInt(maxX) + 1, clampInt(maxY) + 1}, clip)) return;

  // Each destination pixel centre is turned back into the scaled pattern (16.16 fixed point)
  // and sampled at the nearest source pixel.
  const int64_t cosF = std::llround(cosA * 65536), sinF = std::llround(sinA * 65536);
  const int64_t stepX = Step(src.Rect.Width(), width), stepY = Step(src.Rect.Height(), height);
  const int64_t limitU = int64_t(width) << 16, limitV = int64_t(height) << 16;
  const int64_t originUF = int64_t(originU) << 16, originVF = int64_t(originV) << 16;
  for (int py = clip.Visible.Top; py < clip.Visible.Bottom; ++py) {
    const int64_t dy2 = 2 * (int64_t(py) - y) + 1;  // doubled, for the half-pixel centre
    const int64_t dx2 = 2 * (int64_t(clip.Visible.Left) - x) + 1;
    int64_t u = (dx2 * cosF + dy2 * sinF) / 2 + originUF;
    int64_t v = (dy2 * cosF - dx2 * sinF) / 2 + originVF;
    uint32_t* out = dest.Row(py);
    for (int px = clip.Visible.Left; px < clip.Visible.Right; ++px, u += cosF, v -= sinF) {
      if (u < 0 || v < 0 || u >= limitU || v >= limitV) continue;
      const int sx = src.Rect.Left + int((u * stepX) >> 32);
      const int sy = src.Rect.Top + int((v * stepY) >> 32);
      Put(out[px], src.Pixels.At(sx, sy), src, alpha);
    }
  }
}
