// Reading and writing of resource-framed component streams.
#include "engine/ComponentStream.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>

void ThrowReadError() { throw EArchiveError("Stream read error"); }
void ThrowInvalidFormat() { throw EArchiveError("Invalid stream format"); }
void ThrowUnknownProperty(const std::string& name) { throw EArchiveError("Property " + name + " does not exist"); }

std::vector<uint8_t> ReadArchiveFile(const std::string& fileName) {
  std::ifstream file(fileName, std::ios::binary);
  if (!file) throw EArchiveError("Cannot open file \"" + fileName + "\". " + std::strerror(errno));
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) throw EArchiveError("Stream read error");
  return bytes;
}

void WriteArchiveFile(const std::string& fileName, std::span<const uint8_t> bytes) {
  std::ofstream file(fileName, std::ios::binary | std::ios::trunc);
  if (!file) throw EArchiveError("Cannot create file \"" + fileName + "\". " + std::strerror(errno));
  file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  if (!file) throw EArchiveError("Cannot create file \"" + fileName + "\". " + std::strerror(errno));
}

// --- TByteReader

std::span<const uint8_t> TByteReader::Bytes(uint64_t count) {
  if (count > Remaining()) ThrowReadError();
  auto result = data_.subspan(pos_, size_t(count));
  pos_ += size_t(count);
  return result;
}

uint8_t TByteReader::U8() { return Bytes(1)[0]; }

uint8_t TByteReader::PeekU8() const {
  if (AtEnd()) ThrowReadError();
  return data_[pos_];
}

uint16_t TByteReader::U16() {
  auto b = Bytes(2);
  return uint16_t(b[0] | (b[1] << 8));
}

uint32_t TByteReader::U32() {
  auto b = Bytes(4);
  return uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
}

uint64_t TByteReader::U64() {
  const uint64_t low = U32();
  return low | (uint64_t(U32()) << 32);
}

std::string TByteReader::ShortString() {
  auto b = Bytes(U8());
  return std::string(b.begin(), b.end());
}

// --- TComponentReader

namespace {

constexpr int kMaxNesting = 64;  // lists inside lists; deeper is not a real archive

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += char(cp);
  } else if (cp < 0x800) {
    out += char(0xC0 | (cp >> 6));
    out += char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += char(0xE0 | (cp >> 12));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  } else {
    out += char(0xF0 | (cp >> 18));
    out += char(0x80 | ((cp >> 12) & 0x3F));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  }
}

}  // namespace

void TComponentReader::ReadHeader() {
  if (U8() != 0xFF || U16() != 10) ThrowInvalidFormat();
  // The resource name ends with a 0 byte somewhere inside the first 79 bytes of the file.
  for (;;) {
    if (Position() >= 79) ThrowInvalidFormat();
    if (U8() == 0) break;
  }
  U16();  // flags
  U32();  // size
  auto signature = Bytes(4);
  if (std::memcmp(signature.data(), "TPF0", 4) != 0) ThrowInvalidFormat();
}

std::string TComponentReader::ReadObjectStart() {
  if ((PeekU8() & 0xF0) == 0xF0) {
    const uint8_t prefix = U8();
    if (prefix & 2) ReadInteger(ReadValueType());  // child position
  }
  std::string className = ShortString();
  ShortString();  // object name
  return className;
}

void TComponentReader::ReadRoot(const std::function<void(const std::string& name, TValueType type)>& readProperty) {
  ReadHeader();
  ReadObjectStart();
  while (!EndOfList()) {
    const std::string name = ShortString();
    readProperty(name, ReadValueType());
  }
  if (!EndOfList()) ThrowInvalidFormat();  // an archive's root has no children
}

TValueType TComponentReader::ReadValueType() {
  const uint8_t tag = U8();
  if (tag > uint8_t(TValueType::Utf8String)) ThrowInvalidFormat();
  return TValueType(tag);
}

bool TComponentReader::EndOfList() {
  if (PeekU8() != 0) return false;
  U8();
  return true;
}

int64_t TComponentReader::ReadInteger(TValueType type) {
  switch (type) {
    case TValueType::Int8: return I8();
    case TValueType::Int16: return I16();
    case TValueType::Int32: return I32();
    case TValueType::Int64: return I64();
    default: ThrowInvalidFormat();
  }
}

std::string TComponentReader::ReadString(TValueType type) {
  switch (type) {
    case TValueType::String: return ShortString();
    case TValueType::LString:
    case TValueType::Utf8String: {
      auto b = Bytes(U32());
      return std::string(b.begin(), b.end());
    }
    case TValueType::WString: {
      auto b = Bytes(uint64_t(U32()) * 2);
      std::string out;
      for (size_t i = 0; i < b.size(); i += 2) {
        uint32_t unit = uint32_t(b[i] | (b[i + 1] << 8));
        if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < b.size()) {
          const uint32_t low = uint32_t(b[i + 2] | (b[i + 3] << 8));
          if (low >= 0xDC00 && low < 0xE000) {
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
          }
        }
        AppendUtf8(out, unit);
      }
      return out;
    }
    default: ThrowInvalidFormat();
  }
}

bool TComponentReader::ReadBool(TValueType type) {
  if (type == TValueType::False) return false;
  if (type == TValueType::True) return true;
  ThrowInvalidFormat();
}

std::string TComponentReader::ReadIdent(TValueType type) {
  if (type != TValueType::Ident) ThrowInvalidFormat();
  return ShortString();
}

std::span<const uint8_t> TComponentReader::ReadBinary(TValueType type) {
  if (type != TValueType::Binary) ThrowInvalidFormat();
  return Bytes(U32());
}

void TComponentReader::ReadCollection(TValueType type, const std::function<void()>& readItem) {
  if (type != TValueType::Collection) ThrowInvalidFormat();
  while (!EndOfList()) {
    TValueType itemType = ReadValueType();
    if (itemType == TValueType::Int8 || itemType == TValueType::Int16 || itemType == TValueType::Int32) {
      ReadInteger(itemType);  // the item's position, not used
      itemType = ReadValueType();
    }
    if (itemType != TValueType::List) ThrowInvalidFormat();
    readItem();
  }
}

void TComponentReader::SkipValue(TValueType type) { SkipValue(type, 0); }

void TComponentReader::SkipValue(TValueType type, int depth) {
  if (depth > kMaxNesting) ThrowInvalidFormat();
  switch (type) {
    case TValueType::Null:
    case TValueType::False:
    case TValueType::True:
    case TValueType::Nil: return;
    case TValueType::List:
      while (!EndOfList()) SkipValue(ReadValueType(), depth + 1);
      return;
    case TValueType::Int8: Skip(1); return;
    case TValueType::Int16: Skip(2); return;
    case TValueType::Int32:
    case TValueType::Single: Skip(4); return;
    case TValueType::Extended: Skip(10); return;
    case TValueType::Currency:
    case TValueType::Date:
    case TValueType::Int64: Skip(8); return;
    case TValueType::String:
    case TValueType::Ident: Skip(U8()); return;
    case TValueType::Binary:
    case TValueType::LString:
    case TValueType::Utf8String: Skip(U32()); return;
    case TValueType::WString: Skip(uint64_t(U32()) * 2); return;
    case TValueType::Set:
      // Identifiers as short strings until an empty one.
      for (uint8_t length = U8(); length != 0; length = U8()) Skip(length);
      return;
    case TValueType::Collection:
      ReadCollection(type, [&] {
        while (!EndOfList()) {
          ShortString();  // property name
          SkipValue(ReadValueType(), depth + 1);
        }
      });
      return;
  }
  ThrowInvalidFormat();
}

// --- TComponentWriter

void TComponentWriter::PutU16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(uint8_t(value));
  out.push_back(uint8_t(value >> 8));
}

void TComponentWriter::PutU32(std::vector<uint8_t>& out, uint32_t value) {
  PutU16(out, uint16_t(value));
  PutU16(out, uint16_t(value >> 16));
}

void TComponentWriter::PutShortString(std::vector<uint8_t>& out, std::string_view value) {
  const size_t length = value.size() < 255 ? value.size() : 255;
  out.push_back(uint8_t(length));
  out.insert(out.end(), value.begin(), value.begin() + std::ptrdiff_t(length));
}

TComponentWriter::TComponentWriter(std::string_view resourceName, std::string_view rootClass) {
  out_.push_back(0xFF);
  PutU16(out_, 10);
  for (size_t i = 0; i < resourceName.size() && i < 63; ++i) {
    const char c = resourceName[i];
    out_.push_back(uint8_t(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c));
  }
  out_.push_back(0);
  PutU16(out_, 0x1030);  // flags: movable, pure, discardable
  sizeAt_ = out_.size();
  PutU32(out_, 0);
  out_.insert(out_.end(), {'T', 'P', 'F', '0'});
  PutShortString(out_, rootClass);
  PutShortString(out_, "");
}

void TComponentWriter::PropName(std::string_view name) { PutShortString(out_, name); }

void TComponentWriter::Integer(int64_t value) {
  if (value >= INT8_MIN && value <= INT8_MAX) {
    out_.push_back(uint8_t(TValueType::Int8));
    out_.push_back(uint8_t(value));
  } else if (value >= INT16_MIN && value <= INT16_MAX) {
    out_.push_back(uint8_t(TValueType::Int16));
    PutU16(out_, uint16_t(value));
  } else if (value >= INT32_MIN && value <= INT32_MAX) {
    out_.push_back(uint8_t(TValueType::Int32));
    PutU32(out_, uint32_t(value));
  } else {
    out_.push_back(uint8_t(TValueType::Int64));
    PutU32(out_, uint32_t(uint64_t(value)));
    PutU32(out_, uint32_t(uint64_t(value) >> 32));
  }
}

void TComponentWriter::String(std::string_view value) {
  if (value.size() <= 255) {
    out_.push_back(uint8_t(TValueType::String));
    PutShortString(out_, value);
  } else {
    out_.push_back(uint8_t(TValueType::LString));
    PutU32(out_, uint32_t(value.size()));
    out_.insert(out_.end(), value.begin(), value.end());
  }
}

void TComponentWriter::Bool(bool value) { out_.push_back(uint8_t(value ? TValueType::True : TValueType::False)); }

void TComponentWriter::Ident(std::string_view value) {
  out_.push_back(uint8_t(TValueType::Ident));
  PutShortString(out_, value);
}

void TComponentWriter::Binary(std::span<const uint8_t> bytes) {
  out_.push_back(uint8_t(TValueType::Binary));
  PutU32(out_, uint32_t(bytes.size()));
  out_.insert(out_.end(), bytes.begin(), bytes.end());
}

void TComponentWriter::BeginCollection() { out_.push_back(uint8_t(TValueType::Collection)); }
void TComponentWriter::BeginItem() { out_.push_back(uint8_t(TValueType::List)); }
void TComponentWriter::EndList() { out_.push_back(0); }

std::vector<uint8_t> TComponentWriter::Finish() {
  out_.push_back(0);  // end of the root's properties
  out_.push_back(0);  // no children
  const uint32_t size = uint32_t(out_.size() - sizeAt_ - 4);
  for (int i = 0; i < 4; ++i) out_[sizeAt_ + size_t(i)] = uint8_t(size >> (8 * i));
  return std::move(out_);
}
