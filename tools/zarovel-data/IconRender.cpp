// Icon rendering through librsvg and cairo.
#include "IconRender.h"

#include <cairo.h>
#include <librsvg/rsvg.h>

#include <cctype>
#include <memory>
#include <string>

#include "DataBuild.h"

namespace {

// The message of a GError, which is freed, without the line break libxml leaves at its end.
std::string Take(GError* error, const char* otherwise) {
  if (error == nullptr) return otherwise;
  std::string message = error->message;
  g_error_free(error);
  while (!message.empty() && std::isspace(static_cast<unsigned char>(message.back()))) message.pop_back();
  return message;
}

}  // namespace

void RenderIconPng(const std::filesystem::path& svg, int size, const std::filesystem::path& png) {
  if (size < 1) throw AssetError(svg.string() + ": an icon needs a size of at least 1, not " + std::to_string(size));
  GError* error = nullptr;
  GFile* source = g_file_new_for_path(svg.c_str());
  RsvgHandle* loaded = rsvg_handle_new_from_gfile_sync(source, RSVG_HANDLE_FLAGS_NONE, nullptr, &error);
  g_object_unref(source);
  if (loaded == nullptr) throw AssetError(svg.string() + ": " + Take(error, "unreadable"));
  std::unique_ptr<RsvgHandle, decltype(&g_object_unref)> handle(loaded, &g_object_unref);

  std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> target(
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size), &cairo_surface_destroy);
  if (cairo_surface_status(target.get()) != CAIRO_STATUS_SUCCESS)
    throw AssetError(svg.string() + ": no " + std::to_string(size) + "x" + std::to_string(size) +
                     " picture: " + cairo_status_to_string(cairo_surface_status(target.get())));
  // A new image surface is cleared to transparent; the drawing fills the square viewport as
  // its viewBox and preserveAspectRatio say.
  cairo_t* cr = cairo_create(target.get());
  const RsvgRectangle viewport{0, 0, double(size), double(size)};
  const bool drawn = rsvg_handle_render_document(handle.get(), cr, &viewport, &error);
  cairo_destroy(cr);
  if (!drawn) throw AssetError(svg.string() + ": " + Take(error, "cannot draw"));
  cairo_surface_flush(target.get());

  const cairo_status_t written = cairo_surface_write_to_png(target.get(), png.c_str());
  if (written != CAIRO_STATUS_SUCCESS)
    throw AssetError(png.string() + ": cannot write the icon: " + cairo_status_to_string(written));
}

std::vector<std::filesystem::path> BuildIcons(const std::filesystem::path& svg, const std::filesystem::path& out) {
  namespace fs = std::filesystem;
  std::vector<fs::path> files;
  const fs::path theme = out / "hicolor";
  for (int size : kIconSizes) {
    const fs::path folder = theme / (std::to_string(size) + "x" + std::to_string(size)) / "apps";
    fs::create_directories(folder);
    files.push_back(folder / (std::string(kIconName) + ".png"));
    RenderIconPng(svg, size, files.back());
  }
  const fs::path scalable = theme / "scalable" / "apps";
  fs::create_directories(scalable);
  files.push_back(scalable / (std::string(kIconName) + ".svg"));
  fs::copy_file(svg, files.back(), fs::copy_options::overwrite_existing);
  return files;
}
