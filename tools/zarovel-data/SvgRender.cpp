// SVG rendering through librsvg and cairo.
#include "SvgRender.h"

#include <cairo.h>
#include <librsvg/rsvg.h>

#include <cmath>
#include <memory>

#include "DataBuild.h"

Surface RenderSvg(const std::filesystem::path& file, const std::filesystem::path& base, bool opaque) {
  GError* error = nullptr;
  // A base inside the image root, set before reading: librsvg resolves and allows
  // referenced files relative to it.
  RsvgHandle* handle = rsvg_handle_new_with_flags(RSVG_HANDLE_FLAGS_NONE);
  GFile* baseFile = g_file_new_for_path((base / "_").c_str());
  rsvg_handle_set_base_gfile(handle, baseFile);
  g_object_unref(baseFile);
  GFile* source = g_file_new_for_path(file.c_str());
  GInputStream* stream = G_INPUT_STREAM(g_file_read(source, nullptr, &error));
  g_object_unref(source);
  if (stream == nullptr || !rsvg_handle_read_stream_sync(handle, stream, nullptr, &error)) {
    g_object_unref(handle);
    handle = nullptr;
  }
  if (stream != nullptr) g_object_unref(stream);
  if (handle == nullptr) {
    const std::string why = error ? error->message : "unreadable";
    if (error) g_error_free(error);
    throw AssetError(file.string() + ": " + why);
  }
  std::unique_ptr<RsvgHandle, decltype(&g_object_unref)> guard(handle, &g_object_unref);
  double width = 0, height = 0;
  if (!rsvg_handle_get_intrinsic_size_in_pixels(handle, &width, &height) || width < 1 || height < 1)
    throw AssetError(file.string() + ": the drawing needs width and height in pixels");
  const int w = int(std::lround(width)), h = int(std::lround(height));

  cairo_surface_t* target = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_t* cr = cairo_create(target);
  if (opaque) {
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
  }
  const RsvgRectangle viewport{0, 0, double(w), double(h)};
  const bool drawn = rsvg_handle_render_document(handle, cr, &viewport, &error);
  cairo_destroy(cr);
  if (!drawn) {
    const std::string why = error ? error->message : "cannot draw";
    if (error) g_error_free(error);
    cairo_surface_destroy(target);
    throw AssetError(file.string() + ": " + why);
  }
  cairo_surface_flush(target);

  Surface picture(w, h);
  const unsigned char* data = cairo_image_surface_get_data(target);
  const int stride = cairo_image_surface_get_stride(target);
  for (int y = 0; y < h; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(data + size_t(y) * size_t(stride));
    for (int x = 0; x < w; ++x) {
      const uint32_t p = row[x];  // premultiplied ARGB
      const uint32_t a = p >> 24;
      if (a < 128) {
        picture.At(x, y) = kKeyColour;
        continue;
      }
      // Undo the premultiplication so edge pixels keep their full colour.
      const auto channel = [a](uint32_t c) { return uint32_t(std::min<uint32_t>(255, (c * 255 + a / 2) / a)); };
      uint32_t colour = (channel((p >> 16) & 255) << 16) | (channel((p >> 8) & 255) << 8) | channel(p & 255);
      if (colour == kKeyColour) colour = RGB(254, 0, 255);
      picture.At(x, y) = colour;
    }
  }
  cairo_surface_destroy(target);
  return picture;
}
