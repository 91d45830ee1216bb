// Windows bitmap decoding (every common layout) into 32-bit surfaces, and 24-bit encoding.
#include "engine/Dib.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "engine/ComponentStream.h"

namespace {

[[noreturn]] void Invalid() { throw EArchiveError("DIB is invalid"); }

struct Header {
  uint32_t size = 0;
  int64_t width = 0, height = 0;  // height as stored: negative means top-down
  uint16_t bitCount = 0;
  uint32_t compression = 0, sizeImage = 0, clrUsed = 0;
  uint32_t masks[3] = {0, 0, 0};
  bool core() const { return size == 12; }
};

enum : uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3 };

// Reads the header (size already read) and, for bit fields, the masks inside or after it.
Header ReadHeader(TByteReader& r, uint32_t size) {
  Header h;
  h.size = size;
  if (size == 12) {
    h.width = r.U16();
    h.height = r.U16();
    r.U16();  // planes: read, never tested (writers put 0 or 1 there)
    h.bitCount = r.U16();
    return h;
  }
  const size_t start = r.Position() - 4;
  h.width = r.I32();
  h.height = r.I32();
  r.U16();  // planes
  h.bitCount = r.U16();
  if (size == 16) return h;  // short OS/2 header: the rest is zero
  h.compression = r.U32();
  h.sizeImage = r.U32();
  r.U32();  // horizontal and vertical resolution: no bearing on the pixels
  r.U32();
  h.clrUsed = r.U32();
  r.U32();  // colours important
  if (size == 64 && h.compression > kRle4) Invalid();  // OS/2 Huffman and RLE24
  // Masks sit inside V2 and later headers, and right after a 40-byte header.
  const bool masksInHeader = size >= 52 && size != 64;
  if (masksInHeader) {
    for (uint32_t& mask : h.masks) mask = r.U32();
  }
  r.Skip(start + size - r.Position());  // the rest of a longer header
  if (!masksInHeader && h.compression == kBitFields) {
    for (uint32_t& mask : h.masks) mask = r.U32();
  }
  return h;
}

bool RunLength(const Header& h) { return h.compression == kRle8 || h.compression == kRle4; }
int64_t Rows(const Header& h) { return h.height < 0 ? -h.height : h.height; }
uint64_t RowBytes(const Header& h) { return ((uint64_t(h.width) * h.bitCount + 31) / 32) * 4; }

// Refuses only what cannot be decoded at all: an unknown compression or pixel size, or a
// negative width. Planes, resolution and image size are writers' notes and are not tested.
void Validate(const Header& h) {
  if (h.width < 0) Invalid();
  switch (h.bitCount) {
    case 1: case 2: case 4: case 8: case 16: case 24: case 32: break;
    default: Invalid();
  }
  if (h.compression > kBitFields) Invalid();
  // Run-length data does not bound the picture it unpacks to, so its size is capped here;
  // uncompressed pixels are bounded by the data itself (checked in Decode).
  if (RunLength(h) && (h.width > kMaxDibSide || Rows(h) > kMaxDibSide || uint64_t(h.width * Rows(h)) > kMaxDibPixels))
    Invalid();
}

// One colour channel described by a bit mask, scaled to 8 bits. A zero mask reads as 0; a
// mask with gaps is scaled over the span it covers.
struct Channel {
  uint32_t mask = 0;
  int shift = 0;
  uint32_t max = 0;

  explicit Channel(uint32_t m) : mask(m) {
    if (m == 0) return;
    shift = std::countr_zero(m);
    max = m >> shift;
  }
  uint32_t operator()(uint32_t pixel) const {
    if (max == 0) return 0;
    const uint64_t v = (pixel & mask) >> shift;
    return uint32_t((v * 255 + max / 2) / max);
  }
};

uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }

void DecodeUncompressed(const Header& h, const std::vector<uint32_t>& palette, std::span<const uint8_t> bits,
                        Surface& out) {
  const int width = out.Width, height = out.Height;
  const uint64_t rowBytes = RowBytes(h);
  uint32_t masks[3] = {h.masks[0], h.masks[1], h.masks[2]};
  if (h.compression != kBitFields) {
    if (h.bitCount == 16) masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
    if (h.bitCount == 32) masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
  }
  const Channel red(masks[0]), green(masks[1]), blue(masks[2]);
  for (int row = 0; row < height; ++row) {
    const uint8_t* src = bits.data() + rowBytes * uint64_t(row);
    uint32_t* dst = out.Row(h.height < 0 ? row : height - 1 - row);
    switch (h.bitCount) {
      case 1: case 2: case 4: case 8: {
        const int perByte = 8 / h.bitCount;
        const uint32_t valueMask = (1u << h.bitCount) - 1;
        for (int x = 0; x < width; ++x) {
          const int shift = 8 - h.bitCount * (x % perByte + 1);
          const uint32_t index = (src[x / perByte] >> shift) & valueMask;
          if (index >= palette.size()) Invalid();
          dst[x] = palette[index];
        }
        break;
      }
      case 16:
        for (int x = 0; x < width; ++x) {
          const uint32_t p = uint32_t(src[2 * x] | (src[2 * x + 1] << 8));
          dst[x] = RGB(uint8_t(red(p)), uint8_t(green(p)), uint8_t(blue(p)));
        }
        break;
      case 24:
        for (int x = 0; x < width; ++x) dst[x] = RGB(src[3 * x + 2], src[3 * x + 1], src[3 * x]);
        break;
      case 32:
        for (int x = 0; x < width; ++x) {
          const uint32_t p = Le32(src + 4 * x);
          dst[x] = RGB(uint8_t(red(p)), uint8_t(green(p)), uint8_t(blue(p)));
        }
        break;
    }
  }
}

// Run-length decoding; a run, literal or delta leaving the picture is invalid, and pixels
// the data skips stay black. A negative height stores the rows top to bottom, as for
// uncompressed pixels.
void DecodeRle(const Header& h, const std::vector<uint32_t>& palette, std::span<const uint8_t> bits, Surface& out) {
  if (h.sizeImage > bits.size()) Invalid();
  TByteReader r(h.sizeImage != 0 ? bits.first(h.sizeImage) : bits);
  const bool four = h.compression == kRle4;
  int64_t x = 0, row = 0;
  auto put = [&](uint32_t index) {
    if (x >= out.Width || row >= out.Height || index >= palette.size()) Invalid();
    out.At(int(x), int(h.height < 0 ? row : out.Height - 1 - row)) = palette[index];
    ++x;
  };
  while (!r.AtEnd()) {
    const uint8_t count = r.U8();
    const uint8_t value = r.U8();
    if (count > 0) {
      for (int i = 0; i < count; ++i) put(four ? (i % 2 == 0 ? value >> 4 : value & 15) : value);
    } else if (value == 0) {
      x = 0, ++row;
    } else if (value == 1) {
      return;
    } else if (value == 2) {
      x += r.U8();
      row += r.U8();
      if (x > out.Width || row > out.Height) Invalid();
    } else {
      const int bytes = four ? (value + 1) / 2 : value;
      auto literal = r.Bytes(uint64_t(bytes + (bytes & 1)));
      for (int i = 0; i < value; ++i) {
        const uint8_t byte = literal[size_t(four ? i / 2 : i)];
        put(four ? (i % 2 == 0 ? byte >> 4 : byte & 15) : byte);
      }
    }
  }
}

// Palette entries: colours used, or 2^bits for paletted pictures, capped at 256 before the
// count is used. `room` limits the count when the file says where the pixels begin.
std::vector<uint32_t> ReadPalette(TByteReader& r, const Header& h, uint64_t room) {
  uint64_t count = h.clrUsed != 0 ? h.clrUsed : (h.bitCount <= 8 ? 1u << h.bitCount : 0);
  const uint64_t entrySize = h.core() ? 3 : 4;
  count = std::min<uint64_t>({count, uint64_t(256), room / entrySize});
  std::vector<uint32_t> palette(size_t(count), 0);
  for (uint32_t& entry : palette) {
    auto p = r.Bytes(entrySize);
    entry = RGB(p[2], p[1], p[0]);
  }
  return palette;
}

TDib Decode(const Header& h, std::vector<uint32_t> palette, std::span<const uint8_t> bits) {
  TDib dib;
  dib.BitCount = h.bitCount;
  dib.Palette = palette;
  // A picture without area has no pixels to read, however many rows it claims.
  if (h.width == 0 || h.height == 0) return dib;
  // Checked before the surface is made: an uncompressed picture is refused when the data
  // cannot hold its rows, so no header can ask for more memory than its data bounds.
  if (!RunLength(h) && (RowBytes(h) * uint64_t(Rows(h)) > bits.size() || Rows(h) > INT32_MAX)) Invalid();
  dib.Pixels = Surface(int(h.width), int(Rows(h)));
  if (RunLength(h))
    DecodeRle(h, palette, bits, dib.Pixels);
  else
    DecodeUncompressed(h, palette, bits, dib.Pixels);
  return dib;
}

}  // namespace

TDib DecodeDib(std::span<const uint8_t> data) {
  try {
    TByteReader r(data);
    const uint32_t size = r.U32();
    if (size != 40 && size != 12) Invalid();
    const Header h = ReadHeader(r, size);
    Validate(h);
    std::vector<uint32_t> palette = ReadPalette(r, h, UINT64_MAX);
    return Decode(h, std::move(palette), r.Bytes(r.Remaining()));
  } catch (const EArchiveError&) {
    Invalid();
  }
}

TDib DecodeBmpFile(std::span<const uint8_t> data) {
  try {
    TByteReader r(data);
    if (r.U8() != 'B' || r.U8() != 'M') Invalid();
    const uint32_t fileSize = r.U32();
    r.U32();  // reserved
    const uint32_t offBits = r.U32();
    if (fileSize > data.size()) Invalid();
    const uint32_t size = r.U32();
    switch (size) {
      case 12: case 16: case 40: case 52: case 56: case 64: case 108: case 124: break;
      default: Invalid();
    }
    const Header h = ReadHeader(r, size);
    Validate(h);
    if (offBits != 0 && (offBits < r.Position() || offBits > data.size())) Invalid();
    const uint64_t room = offBits != 0 ? offBits - r.Position() : UINT64_MAX;
    std::vector<uint32_t> palette = ReadPalette(r, h, room);
    if (offBits != 0) r.Skip(offBits - r.Position());
    return Decode(h, std::move(palette), r.Bytes(r.Remaining()));
  } catch (const EArchiveError&) {
    Invalid();
  }
}

std::vector<uint8_t> EncodeDib24(const Surface& pixels) {
  const uint32_t rowBytes = (uint32_t(pixels.Width) * 3 + 3) & ~3u;
  const uint32_t imageSize = rowBytes * uint32_t(pixels.Height);
  std::vector<uint8_t> out;
  out.reserve(40 + imageSize);
  for (uint32_t v : {40u, uint32_t(pixels.Width), uint32_t(pixels.Height)}) TComponentWriter::PutU32(out, v);
  TComponentWriter::PutU16(out, 1);
  TComponentWriter::PutU16(out, 24);
  for (uint32_t v : {0u, imageSize, 0u, 0u, 0u, 0u}) TComponentWriter::PutU32(out, v);
  for (int y = pixels.Height - 1; y >= 0; --y) {
    const uint32_t* row = pixels.Row(y);
    for (int x = 0; x < pixels.Width; ++x) {
      out.push_back(uint8_t(row[x]));
      out.push_back(uint8_t(row[x] >> 8));
      out.push_back(uint8_t(row[x] >> 16));
    }
    out.resize(out.size() + (rowBytes - uint32_t(pixels.Width) * 3), 0);
  }
  return out;
}
