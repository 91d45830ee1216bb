// Decoding of Windows bitmaps (DIB and whole BMP files) into 32-bit surfaces, and the
// encoding of a surface as a 24-bit DIB for the archive writer.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/Surface.h"

// A decoded bitmap: the pixels in surface format plus what the file said about colours.
struct TDib {
  Surface Pixels;
  int BitCount = 0;
  std::vector<uint32_t> Palette;  // 0x00RRGGBB (the same bits as a blue, green, red, 0 entry)
};

// Largest side and pixel count of a run-length picture, whose data does not bound the size it
// unpacks to (64 MiB of pixels); larger is "DIB is invalid". Uncompressed pictures are bounded
// by their data instead.
inline constexpr int kMaxDibSide = 16384;
inline constexpr uint64_t kMaxDibPixels = uint64_t(1) << 24;

// A DIB without the file header: info header (40 bytes) or core header (12 bytes),
// masks, palette, pixels. Throws EArchiveError("DIB is invalid") on bad data.
TDib DecodeDib(std::span<const uint8_t> data);
// A whole BMP file with its "BM" header; the pixels start at the file's offset field.
// Headers larger than 40 bytes (V4, V5) are read as an info header followed by extra fields.
TDib DecodeBmpFile(std::span<const uint8_t> data);
// A 24-bit bottom-up DIB (info header, no palette) of the surface's pixels.
std::vector<uint8_t> EncodeDib24(const Surface& pixels);
