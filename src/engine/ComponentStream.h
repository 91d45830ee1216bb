// Resource-framed component streams: a bounded little-endian reader, the tagged values
// of the stream format, and the matching writer. Image and sound archives share them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// Every archive error carries its message text: "Invalid stream format", "Stream read error",
// "Property %s does not exist", "DIB is invalid", "Cannot open file "%s". %s".
class EArchiveError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

[[noreturn]] void ThrowReadError();      // "Stream read error"
[[noreturn]] void ThrowInvalidFormat();  // "Invalid stream format"
[[noreturn]] void ThrowUnknownProperty(const std::string& name);  // "Property %s does not exist"

// Reads a whole file into memory; "Cannot open file "%s". %s" when it cannot be opened.
std::vector<uint8_t> ReadArchiveFile(const std::string& fileName);
// Writes the bytes as the whole file; "Cannot create file "%s". %s" when it cannot be written.
void WriteArchiveFile(const std::string& fileName, std::span<const uint8_t> bytes);

// Little-endian reads over a byte buffer; any read past the end throws "Stream read error".
class TByteReader {
 public:
  explicit TByteReader(std::span<const uint8_t> data) : data_(data) {}

  size_t Position() const { return pos_; }
  size_t Remaining() const { return data_.size() - pos_; }
  bool AtEnd() const { return pos_ == data_.size(); }

  uint8_t U8();
  uint16_t U16();
  uint32_t U32();
  uint64_t U64();
  int8_t I8() { return int8_t(U8()); }
  int16_t I16() { return int16_t(U16()); }
  int32_t I32() { return int32_t(U32()); }
  int64_t I64() { return int64_t(U64()); }
  uint8_t PeekU8() const;
  std::span<const uint8_t> Bytes(uint64_t count);
  void Skip(uint64_t count) { Bytes(count); }
  // One length byte, then that many bytes.
  std::string ShortString();

 private:
  std::span<const uint8_t> data_;
  size_t pos_ = 0;
};

enum class TValueType : uint8_t {
  Null, List, Int8, Int16, Int32, Extended, String, Ident, False, True, Binary, Set, LString, Nil,
  Collection, Single, Currency, Date, WString, Int64, Utf8String
};

// Reads the framing and tagged values of a component stream.
class TComponentReader : public TByteReader {
 public:
  using TByteReader::TByteReader;

  // Resource header (0xFF, 10, name, flags, size) then "TPF0"; "Invalid stream format" otherwise.
  void ReadHeader();
  // Optional prefix byte, class name, object name; returns the class name.
  std::string ReadObjectStart();
  // A whole archive of one root object without children: the header, the object's start,
  // then readProperty(name, tag) for each property, which reads that property's value.
  void ReadRoot(const std::function<void(const std::string& name, TValueType type)>& readProperty);

  TValueType ReadValueType();
  // Consumes a 0 byte ending a list of properties, values or items; false (nothing read) otherwise.
  bool EndOfList();
  // Value readers for an already read tag; a tag of the wrong kind is "Invalid stream format".
  int64_t ReadInteger(TValueType type);  // tags 2, 3, 4, 19
  std::string ReadString(TValueType type);  // tags 6, 12, 18 (as UTF-8), 20
  bool ReadBool(TValueType type);  // tags 8, 9
  std::string ReadIdent(TValueType type);  // tag 7
  std::span<const uint8_t> ReadBinary(TValueType type);  // tag 10
  // Tag 14: for each item, an optional position and the item's tag, then readItem(), which
  // reads the item's properties up to and including the 0 byte that ends them.
  void ReadCollection(TValueType type, const std::function<void()>& readItem);
  // Skips the payload of any tag, lists and collections included.
  void SkipValue(TValueType type);

 private:
  void SkipValue(TValueType type, int depth);
};

// Writes component streams the reader takes.
class TComponentWriter {
 public:
  // Resource header with the name (capitals), "TPF0", the root's class and an empty object name.
  TComponentWriter(std::string_view resourceName, std::string_view rootClass);

  void PropName(std::string_view name);
  void Integer(int64_t value);  // the smallest of tags 2, 3, 4, 19
  void String(std::string_view value);  // tag 6 up to 255 bytes, else 12
  void Bool(bool value);
  void Ident(std::string_view value);
  void Binary(std::span<const uint8_t> bytes);
  void BeginCollection();  // tag 14
  void BeginItem();  // tag 1: an item's properties follow
  void EndList();  // a 0 byte: ends properties, an item or a collection
  // A collection property: each entry an item whose properties writeItem(entry) writes.
  template <class Entries, class WriteItem>
  void Collection(std::string_view name, const Entries& entries, WriteItem writeItem) {
    PropName(name);
    BeginCollection();
    for (const auto& entry : entries) {
      BeginItem();
      writeItem(entry);
      EndList();
    }
    EndList();
  }

  // Ends the root's properties and children and fills in the header's size.
  std::vector<uint8_t> Finish();

  // Raw little-endian output, e.g. for payloads built beside the stream.
  static void PutU16(std::vector<uint8_t>& out, uint16_t value);
  static void PutU32(std::vector<uint8_t>& out, uint32_t value);
  static void PutShortString(std::vector<uint8_t>& out, std::string_view value);

 private:
  std::vector<uint8_t> out_;
  size_t sizeAt_ = 0;
};
