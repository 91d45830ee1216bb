// Named pictures split into patterns, the collection that finds them by name, and the
// image list component that prepares them for the display.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>

#include "engine/Dib.h"
#include "engine/NamedItems.h"
#include "engine/Rect.h"
#include "engine/PatternDraw.h"
#include "engine/Surface.h"

class TDXDraw;

// Raised by FindItem for an absent name: "Image '%s' not found".
class EPictureCollectionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The graphic an item holds: none, or a decoded bitmap.
struct TPicture {
  std::optional<TDib> Graphic;

  bool Empty() const { return !Graphic.has_value(); }
  int Width() const { return Graphic ? Graphic->Pixels.Width : 0; }
  int Height() const { return Graphic ? Graphic->Pixels.Height : 0; }
};

class TPictureCollectionItem {
 public:
  // stored properties
  std::string Name;
  int PatternHeight = 0, PatternWidth = 0, SkipHeight = 0, SkipWidth = 0;
  bool SystemMemory = false, Transparent = true;
  uint32_t TransparentColor = 0;  // 0x00BBGGRR like the archive stores it
  TPicture Picture;

  int CellWidth() const;
  int CellHeight() const;
  int NumPatterns() const;
  bool Prepared() const { return prepared_; }
  // Rectangle of a pattern in picture coordinates; an empty rect for an index outside 0..NumPatterns()-1.
  TRect PatternRect(int pattern) const;
  // The prepared picture in surface pixel format, or nullptr when not prepared / no graphic.
  const Surface* PatternSurface() const;
  // TransparentColor in the surface pixel format (0x00RRGGBB).
  uint32_t TransparentKey() const;

  // Makes the pattern list from the picture (the collection calls this when the display
  // is initialised); Unprepare drops it.
  void Prepare();
  void Unprepare();

  // Draw operations; each does nothing when not prepared or the index is outside the patterns.
  void DrawPattern(Surface& dest, int x, int y, int pattern);
  void StretchPattern(Surface& dest, const TRect& destRect, int pattern);
  void BlendPattern(Surface& dest, const TRect& destRect, int pattern, int alpha);
  void RotatePattern(Surface& dest, int x, int y, int width, int height, int pattern, double centerX, double centerY,
                     int angle);
  void RotateBlendPattern(Surface& dest, int x, int y, int width, int height, int pattern, double centerX,
                          double centerY, int angle, int alpha);

 private:
  // The pattern grid made by Prepare: pattern r * columns + c is at (stepX * c, stepY * r).
  bool prepared_ = false;
  int columns_ = 0, rows_ = 0, cellWidth_ = 0, cellHeight_ = 0;
  int64_t stepX_ = 0, stepY_ = 0;

  // The runs a keyed copy draws, found at the first keyed draw and found again whenever the
  // picture or its key is no longer the one they were found for.
  const TOpaqueRuns* Runs();
  std::optional<TOpaqueRuns> runs_;
  const uint32_t* runsPixels_ = nullptr;
  int runsWidth_ = 0, runsHeight_ = 0;
  uint32_t runsKey_ = 0;
};

class TPictureCollection {
 public:
  TPictureCollection() = default;
  TPictureCollection(const TPictureCollection&) = delete;
  TPictureCollection& operator=(const TPictureCollection&) = delete;

  // 256 entries of blue, green, red, 0 (read as 0x00RRGGBB).
  std::array<uint32_t, 256> ColorTable{};

  int Count() const { return items_.Count(); }
  TPictureCollectionItem& Items(int index) { return items_.Items(index); }
  const TPictureCollectionItem& Items(int index) const { return items_.Items(index); }
  // Appends an item; it is indexed under its name (set before the next FindItem).
  TPictureCollectionItem& Add() { return items_.Add(); }
  void Clear() { items_.Clear(); }

  // Replaces every item from an image archive file; errors: "Cannot open file "%s". %s",
  // "Invalid stream format", "Property %s does not exist", "Stream read error",
  // "DIB is invalid" (EArchiveError). Prepares the new items when the display is initialised.
  void LoadArchive(const std::string& fileName);
  // The same from the bytes of an archive.
  void LoadFromMemory(std::span<const uint8_t> data);

  // Case-insensitive; the item added last wins between equal names.
  TPictureCollectionItem& FindItem(const std::string& name);
  // nullptr instead of an error.
  TPictureCollectionItem* Find(const std::string& name) { return items_.Find(name); }

  void BuildPalette();

  // Display link: prepared follows the display's state.
  void SetDisplayInitialized(bool initialized);
  bool DisplayInitialized() const { return displayInitialized_; }
  void PrepareAll();
  void UnprepareAll();

  // The bucket of a name in the 256-entry index.
  static int NameHash(const std::string& name) { return TNamedItems<TPictureCollectionItem>::NameHash(name); }

 private:
  TNamedItems<TPictureCollectionItem> items_;
  bool displayInitialized_ = false;
};

// The image list component: owns a collection and keeps it prepared for its display.
class TDXImageList {
 public:
  TDXImageList() = default;
  ~TDXImageList();
  TDXImageList(const TDXImageList&) = delete;
  TDXImageList& operator=(const TDXImageList&) = delete;

  TPictureCollection Items;

  TDXDraw* DXDraw() const { return dxdraw_; }
  // Links to a display (nullptr unlinks): listens to its notifications, prepares on
  // Initialised and Restored, drops on Finalised, detaches on Destroying.
  void SetDXDraw(TDXDraw* dxdraw);

 private:
  TDXDraw* dxdraw_ = nullptr;
  int notifyId_ = 0;
};
