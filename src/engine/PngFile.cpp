// PNG reading and writing through libpng's simplified interface.
#include "engine/PngFile.h"

#include <png.h>

#include <cstring>
#include <vector>

bool WritePng(const std::string& path, const Surface& surface) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = png_uint_32(surface.Width);
  image.height = png_uint_32(surface.Height);
  image.format = PNG_FORMAT_BGRA;  // 0x00RRGGBB in little-endian memory is B, G, R, 0
  // Force the unused byte opaque so viewers do not show a see-through picture.
  std::vector<uint32_t> pixels(surface.Pixels);
  for (uint32_t& p : pixels) p |= 0xFF000000u;
  const int ok = png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), 0, nullptr);
  png_image_free(&image);
  return ok != 0;
}

std::optional<Surface> ReadPng(const std::string& path) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return std::nullopt;
  image.format = PNG_FORMAT_BGRA;
  Surface surface(int(image.width), int(image.height));
  if (!png_image_finish_read(&image, nullptr, surface.Pixels.data(), 0, nullptr)) {
    png_image_free(&image);
    return std::nullopt;
  }
  for (uint32_t& p : surface.Pixels) p &= 0x00FFFFFFu;
  return surface;
}
