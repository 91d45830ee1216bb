// Picture items, the name-indexed collection, the image archive reader and the image list.
#include "engine/PictureCollection.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>
#include <utility>

#include "engine/ComponentStream.h"
#include "engine/DXDraw.h"
#include "engine/PatternDraw.h"
#include "engine/TextCompare.h"

namespace {

// 0x00BBGGRR to 0x00RRGGBB.
uint32_t SwapRedBlue(uint32_t color) { return ((color & 0xFF) << 16) | (color & 0xFF00) | ((color >> 16) & 0xFF); }

struct NamedColor {
  const char* Name;
  uint32_t Value;  // 0x00BBGGRR, or 0xFF000000 + a system colour index
};

constexpr NamedColor kColorNames[] = {
    {"clBlack", 0x000000}, {"clMaroon", 0x000080}, {"clGreen", 0x008000}, {"clOlive", 0x008080},
    {"clNavy", 0x800000}, {"clPurple", 0x800080}, {"clTeal", 0x808000}, {"clGray", 0x808080},
    {"clSilver", 0xC0C0C0}, {"clRed", 0x0000FF}, {"clLime", 0x00FF00}, {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000}, {"clFuchsia", 0xFF00FF}, {"clAqua", 0xFFFF00}, {"clWhite", 0xFFFFFF},
    {"clMoneyGreen", 0xC0DCC0}, {"clSkyBlue", 0xF0CAA6}, {"clCream", 0xF0FBFF}, {"clMedGray", 0xA4A0A0},
    {"clScrollBar", 0xFF000000}, {"clBackground", 0xFF000001}, {"clActiveCaption", 0xFF000002},
    {"clInactiveCaption", 0xFF000003}, {"clMenu", 0xFF000004}, {"clWindow", 0xFF000005},
    {"clWindowFrame", 0xFF000006}, {"clMenuText", 0xFF000007}, {"clWindowText", 0xFF000008},
    {"clCaptionText", 0xFF000009}, {"clActiveBorder", 0xFF00000A}, {"clInactiveBorder", 0xFF00000B},
    {"clAppWorkSpace", 0xFF00000C}, {"clHighlight", 0xFF00000D}, {"clHighlightText", 0xFF00000E},
    {"clBtnFace", 0xFF00000F}, {"clBtnShadow", 0xFF000010}, {"clGrayText", 0xFF000011},
    {"clBtnText", 0xFF000012}, {"clInactiveCaptionText", 0xFF000013}, {"clBtnHighlight", 0xFF000014},
    {"cl3DDkShadow", 0xFF000015}, {"cl3DLight", 0xFF000016}, {"clInfoText", 0xFF000017},
    {"clInfoBk", 0xFF000018}, {"clHotLight", 0xFF00001A}, {"clGradientActiveCaption", 0xFF00001B},
    {"clGradientInactiveCaption", 0xFF00001C}, {"clMenuHighlight", 0xFF00001D}, {"clMenuBar", 0xFF00001E},
};

// The desktop's colours (the classic scheme), 0x00BBGGRR, by system colour index.
constexpr uint32_t kSystemColors[31] = {
    0xC8D0D4, 0x000000, 0x6A240A, 0x808080, 0xC8D0D4, 0xFFFFFF, 0x000000, 0x000000,
    0x000000, 0xFFFFFF, 0xC8D0D4, 0xC8D0D4, 0x808080, 0x6A240A, 0xFFFFFF, 0xC8D0D4,
    0x808080, 0x808080, 0x000000, 0xC8D0D4, 0xFFFFFF, 0x404040, 0xC8D0D4, 0x000000,
    0xE1FFFF, 0xB5B5B5, 0x800000, 0xF0CAA6, 0xC0C0C0, 0x6A240A, 0xC8D0D4,
};

uint32_t ColorFromIdent(const std::string& ident) {
  for (const NamedColor& named : kColorNames) {
    if (SameText(ident, named.Name)) return named.Value;
  }
  ThrowInvalidFormat();
}

// "Picture.Data": a class name, then that graphic's data.
TPicture ReadPictureData(std::span<const uint8_t> payload) {
  TByteReader r(payload);
  const std::string className = r.ShortString();
  TPicture picture;
  if (className == "TDIB") {
    if (!r.AtEnd()) picture.Graphic = DecodeDib(r.Bytes(r.Remaining()));
  } else if (className == "TBitmap") {
    const uint32_t size = r.U32();
    if (size != 0) picture.Graphic = DecodeBmpFile(r.Bytes(size));
  }
  return picture;
}

void ReadItemProperty(TComponentReader& r, TPictureCollectionItem& item) {
  const std::string name = r.ShortString();
  const TValueType type = r.ReadValueType();
  auto asInt = [&] {
    if (type != TValueType::Int8 && type != TValueType::Int16 && type != TValueType::Int32) ThrowInvalidFormat();
    return int(r.ReadInteger(type));
  };
  if (SameText(name, "Name")) {
    if (type == TValueType::Ident || type == TValueType::Binary) ThrowInvalidFormat();
    item.Name = r.ReadString(type);
  } else if (SameText(name, "PatternHeight")) {
    item.PatternHeight = asInt();
  } else if (SameText(name, "PatternWidth")) {
    item.PatternWidth = asInt();
  } else if (SameText(name, "Picture.Data")) {
    item.Picture = ReadPictureData(r.ReadBinary(type));
  } else if (SameText(name, "SkipHeight")) {
    item.SkipHeight = asInt();
  } else if (SameText(name, "SkipWidth")) {
    item.SkipWidth = asInt();
  } else if (SameText(name, "SystemMemory")) {
    item.SystemMemory = r.ReadBool(type);
  } else if (SameText(name, "Transparent")) {
    item.Transparent = r.ReadBool(type);
  } else if (SameText(name, "TransparentColor")) {
    item.TransparentColor = type == TValueType::Ident ? ColorFromIdent(r.ReadIdent(type)) : uint32_t(asInt());
  } else {
    ThrowUnknownProperty(name);
  }
}

}  // namespace

// --- TPictureCollectionItem

int TPictureCollectionItem::CellWidth() const { return PatternWidth > 0 ? PatternWidth : Picture.Width(); }
int TPictureCollectionItem::CellHeight() const { return PatternHeight > 0 ? PatternHeight : Picture.Height(); }

int TPictureCollectionItem::NumPatterns() const {
  if (prepared_) return int(int64_t(columns_) * rows_);
  if (Picture.Empty()) return 0;
  // Cells along one side from the stored values; a zero divisor means the whole side.
  auto count = [](int64_t size, int64_t pattern, int64_t skip) -> int64_t {
    const int64_t divisor = pattern + skip;
    if (divisor == 0) return 1;
    int64_t n = size / divisor;
    if (size - n * divisor == pattern) ++n;
    return std::max<int64_t>(n, 0);
  };
  const int64_t n = count(Picture.Width(), PatternWidth, SkipWidth) * count(Picture.Height(), PatternHeight, SkipHeight);
  return int(std::min<int64_t>(n, INT32_MAX));
}

void TPictureCollectionItem::Prepare() {
  prepared_ = true;
  runs_.reset();
  columns_ = rows_ = 0;
  if (Picture.Empty()) return;
  const int64_t w = Picture.Width(), h = Picture.Height();
  cellWidth_ = CellWidth();
  cellHeight_ = CellHeight();
  if (cellWidth_ == w && cellHeight_ == h) {
    columns_ = rows_ = 1;
    return;
  }
  stepX_ = int64_t(cellWidth_) + SkipWidth;
  stepY_ = int64_t(cellHeight_) + SkipHeight;
  if (stepX_ <= 0 || stepY_ <= 0) return;  // cells that do not advance make no patterns
  columns_ = int(std::max<int64_t>((w + SkipWidth) / stepX_, 0));
  rows_ = int(std::max<int64_t>((h + SkipHeight) / stepY_, 0));
}

void TPictureCollectionItem::Unprepare() {
  prepared_ = false;
  runs_.reset();
  columns_ = rows_ = 0;
}

TRect TPictureCollectionItem::PatternRect(int pattern) const {
  if (pattern < 0 || pattern >= NumPatterns() || !prepared_) return TRect{};
  const int column = pattern % columns_, row = pattern / columns_;
  return Bounds(int(stepX_ * column), int(stepY_ * row), cellWidth_, cellHeight_);
}

const Surface* TPictureCollectionItem::PatternSurface() const {
  return prepared_ && Picture.Graphic ? &Picture.Graphic->Pixels : nullptr;
}

uint32_t TPictureCollectionItem::TransparentKey() const {
  uint32_t color = TransparentColor;
  if ((color & 0xFF000000) == 0xFF000000 && (color & 0xFF) < std::size(kSystemColors))
    color = kSystemColors[color & 0xFF];
  return SwapRedBlue(color);
}

namespace {

// A pattern of a prepared item as a draw source; false when there is nothing to draw.
bool Source(const TPictureCollectionItem& item, int pattern, const Surface*& pixels, TRect& rect) {
  pixels = item.PatternSurface();
  rect = item.PatternRect(pattern);
  return pixels != nullptr && !rect.Empty();
}

}  // namespace

const TOpaqueRuns* TPictureCollectionItem::Runs() {
  const Surface* pixels = PatternSurface();
  if (pixels == nullptr || !Transparent) return nullptr;
  const uint32_t key = TransparentKey();
  if (!runs_ || runsPixels_ != pixels->Pixels.data() || runsWidth_ != pixels->Width ||
      runsHeight_ != pixels->Height || runsKey_ != key) {
    runs_ = FindOpaqueRuns(*pixels, key);
    runsPixels_ = pixels->Pixels.data();
    runsWidth_ = pixels->Width, runsHeight_ = pixels->Height;
    runsKey_ = key;
  }
  return &*runs_;
}

void TPictureCollectionItem::DrawPattern(Surface& dest, int x, int y, int pattern) {
  const Surface* pixels;
  TRect rect;
  if (Source(*this, pattern, pixels, rect))
    ::DrawPattern(dest, {*pixels, rect, Transparent, TransparentKey(), Runs()}, x, y);
}

void TPictureCollectionItem::StretchPattern(Surface& dest, const TRect& destRect, int pattern) {
  const Surface* pixels;
  TRect rect;
  if (Source(*this, pattern, pixels, rect))
    ::StretchPattern(dest, {*pixels, rect, Transparent, TransparentKey(), Runs()}, destRect);
}

void TPictureCollectionItem::BlendPattern(Surface& dest, const TRect& destRect, int pattern, int alpha) {
  const Surface* pixels;
  TRect rect;
  if (Source(*this, pattern, pixels, rect))
    ::BlendPattern(dest, {*pixels, rect, Transparent, TransparentKey()}, destRect, alpha);
}

void TPictureCollectionItem::RotatePattern(Surface& dest, int x, int y, int width, int height, int pattern,
                                           double centerX, double centerY, int angle) {
  RotateBlendPattern(dest, x, y, width, height, pattern, centerX, centerY, angle, 255);
}

void TPictureCollectionItem::RotateBlendPattern(Surface& dest, int x, int y, int width, int height, int pattern,
                                                double centerX, double centerY, int angle, int alpha) {
  const Surface* pixels;
  TRect rect;
  if (Source(*this, pattern, pixels, rect))
    ::RotatePattern(dest, {*pixels, rect, Transparent, TransparentKey()}, x, y, width, height, centerX, centerY,
                    angle, alpha);
}

// --- TPictureCollection

TPictureCollectionItem& TPictureCollection::FindItem(const std::string& name) {
  TPictureCollectionItem* item = Find(name);
  if (!item) throw EPictureCollectionError("Image '" + name + "' not found");
  return *item;
}

void TPictureCollection::LoadArchive(const std::string& fileName) { LoadFromMemory(ReadArchiveFile(fileName)); }

void TPictureCollection::LoadFromMemory(std::span<const uint8_t> data) {
  Clear();
  TComponentReader r(data);
  r.ReadRoot([&](const std::string& name, TValueType type) {
    if (SameText(name, "List.ColorTable")) {
      auto table = r.ReadBinary(type);
      if (table.size() != sizeof ColorTable) ThrowInvalidFormat();
      for (size_t i = 0; i < ColorTable.size(); ++i)
        ColorTable[i] = RGB(table[4 * i + 2], table[4 * i + 1], table[4 * i]);
    } else if (SameText(name, "List")) {
      r.ReadCollection(type, [&] {
        TPictureCollectionItem& item = Add();
        while (!r.EndOfList()) ReadItemProperty(r, item);
      });
    } else {
      ThrowUnknownProperty(name);
    }
  });
  if (displayInitialized_) PrepareAll();
}

void TPictureCollection::BuildPalette() {
  ColorTable.fill(0);
  std::array<bool, 256> used{};
  std::unordered_set<uint32_t> present;
  auto fix = [&](int index, uint8_t r, uint8_t g, uint8_t b) {
    ColorTable[size_t(index)] = RGB(r, g, b);
    used[size_t(index)] = true;
    present.insert(RGB(r, g, b));
  };
  fix(0, 0, 0, 0), fix(1, 128, 0, 0), fix(2, 0, 128, 0), fix(3, 128, 128, 0);
  fix(4, 0, 0, 128), fix(5, 128, 0, 128), fix(6, 0, 128, 128), fix(7, 192, 192, 192);
  fix(248, 128, 128, 128), fix(249, 255, 0, 0), fix(250, 0, 255, 0), fix(251, 255, 255, 0);
  fix(252, 0, 0, 255), fix(253, 255, 0, 255), fix(254, 0, 255, 255), fix(255, 255, 255, 255);
  size_t usedCount = 16, nextFree = 8;
  for (const auto& item : items_) {
    if (!item->Picture.Graphic) continue;
    const TDib& dib = *item->Picture.Graphic;
    std::vector<uint32_t> colors = dib.Palette;
    if (dib.BitCount <= 8) colors.resize(256, 0);  // a paletted bitmap always has 256 entries
    for (uint32_t color : colors) {
      if (usedCount == 256) break;
      if (!present.insert(color).second) continue;
      while (used[nextFree]) ++nextFree;
      ColorTable[nextFree] = color;
      used[nextFree] = true;
      ++usedCount;
    }
    if (usedCount == 256) break;
  }
}

void TPictureCollection::SetDisplayInitialized(bool initialized) {
  displayInitialized_ = initialized;
  if (initialized)
    PrepareAll();
  else
    UnprepareAll();
}

void TPictureCollection::PrepareAll() {
  for (auto& item : items_) item->Prepare();
}

void TPictureCollection::UnprepareAll() {
  for (auto& item : items_) item->Unprepare();
}

// --- TDXImageList

TDXImageList::~TDXImageList() { SetDXDraw(nullptr); }

void TDXImageList::SetDXDraw(TDXDraw* dxdraw) {
  if (dxdraw_) {
    dxdraw_->UnRegisterNotifyEvent(notifyId_);
    Items.SetDisplayInitialized(false);
  }
  dxdraw_ = dxdraw;
  notifyId_ = 0;
  if (!dxdraw_) return;
  notifyId_ = dxdraw_->RegisterNotifyEvent([this](TDXDrawNotifyType type) {
    switch (type) {
      case TDXDrawNotifyType::Initialised:
      case TDXDrawNotifyType::Restored: Items.SetDisplayInitialized(true); break;
      case TDXDrawNotifyType::Finalised: Items.SetDisplayInitialized(false); break;
      case TDXDrawNotifyType::Destroying: SetDXDraw(nullptr); break;
      case TDXDrawNotifyType::Initialising: break;
    }
  });
}
