// Tests of the component stream framing: bounded reads, the header, all tagged values, the writer.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/ComponentStream.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EArchiveError& e) {
    return e.what();
  }
  return "";
}

TEST(ByteReader, ReadsLittleEndianValues) {
  const Bytes data = {0x01, 0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 3, 'a', 'b', 'c'};
  TByteReader r(data);
  EXPECT_EQ(r.U8(), 0x01);
  EXPECT_EQ(r.U16(), 0x1234);
  EXPECT_EQ(r.U32(), 0x12345678u);
  EXPECT_EQ(r.I64(), -1);
  EXPECT_EQ(r.ShortString(), "abc");
  EXPECT_TRUE(r.AtEnd());
}

TEST(ByteReader, EveryOverrunIsAStreamReadError) {
  const std::vector<std::pair<Bytes, std::function<void(TByteReader&)>>> cases = {
      {{}, [](TByteReader& r) { r.U8(); }},
      {{1}, [](TByteReader& r) { r.U16(); }},
      {{1, 2, 3}, [](TByteReader& r) { r.U32(); }},
      {{1, 2, 3, 4, 5, 6, 7}, [](TByteReader& r) { r.U64(); }},
      {{5, 'a', 'b'}, [](TByteReader& r) { r.ShortString(); }},
      {{1, 2}, [](TByteReader& r) { r.Bytes(0xFFFFFFFFFFFFFFFFull); }},
      {{}, [](TByteReader& r) { r.PeekU8(); }},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    TByteReader r(cases[i].first);
    EXPECT_EQ(ErrorOf([&] { cases[i].second(r); }), "Stream read error");
  }
}

Bytes Header(const std::string& name) {
  Bytes b = {0xFF, 10, 0};
  for (char c : name) b.push_back(uint8_t(c));
  b.insert(b.end(), {0, 0x30, 0x10, 0, 0, 0, 0, 'T', 'P', 'F', '0'});
  return b;
}

TEST(ComponentReader, HeaderIsNamePlusTenBytesThenSignature) {
  for (const std::string& name : {std::string(), std::string("TPICTURECOLLECTIONCOMPONENT"), std::string(63, 'X')}) {
    const Bytes b = Header(name);
    TComponentReader r(b);
    EXPECT_NO_THROW(r.ReadHeader());
    EXPECT_EQ(r.Position(), name.size() + 10 + 4);
  }
}

TEST(ComponentReader, BadHeadersAreRejected) {
  Bytes wrongMark = Header("A"), wrongVersion = Header("A"), wrongSignature = Header("A");
  wrongMark[0] = 0xFE;
  wrongVersion[1] = 11;
  wrongSignature.back() = '1';
  const Bytes noNameEnd(100, 'A');
  Bytes longName = Header(std::string(80, 'N'));
  const Bytes good = Header("A");
  const Bytes cutSignature(good.begin(), good.end() - 2);
  const std::vector<std::pair<Bytes, std::string>> cases = {
      {wrongMark, "Invalid stream format"},
      {wrongVersion, "Invalid stream format"},
      {wrongSignature, "Invalid stream format"},
      {longName, "Invalid stream format"},
      {Bytes{0xFF, 10, 0, 'A'}, "Stream read error"},
      {Bytes{0xFF, 10}, "Stream read error"},
      {cutSignature, "Stream read error"},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    TComponentReader r(cases[i].first);
    EXPECT_EQ(ErrorOf([&] { r.ReadHeader(); }), cases[i].second);
  }
}

TEST(ComponentReader, ObjectStartWithAndWithoutPrefix) {
  const Bytes plain = {3, 'T', 'A', 'B', 1, 'x'};
  const Bytes prefixed = {0xF2, 2, 7, 3, 'T', 'A', 'B', 0};  // child position 7 follows
  for (const Bytes& b : {plain, prefixed}) {
    TComponentReader r(b);
    EXPECT_EQ(r.ReadObjectStart(), "TAB");
    EXPECT_TRUE(r.AtEnd());
  }
}

// Every tag with a payload, followed by a marker byte that skipping must land on.
TEST(ComponentReader, SkipsAllTwentyOneTags) {
  const std::vector<Bytes> values = {
      {0},
      {1, 2, 5, 6, 1, 'a', 1, 9, 0, 0},  // list of int8, string, nested list of true
      {2, 0xFE},
      {3, 1, 2},
      {4, 1, 2, 3, 4},
      {5, 0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F},
      {6, 3, 'a', 'b', 'c'},
      {7, 2, 'c', 'l'},
      {8},
      {9},
      {10, 3, 0, 0, 0, 1, 2, 3},
      {11, 2, 'a', 'b', 1, 'c', 0},
      {12, 2, 0, 0, 0, 'h', 'i'},
      {13},
      {14, 2, 1, 1, 4, 'N', 'a', 'm', 'e', 6, 1, 'x', 0, 1, 0, 0},  // two items, the first numbered
      {15, 0, 0, 0x80, 0x3F},
      {16, 1, 2, 3, 4, 5, 6, 7, 8},
      {17, 1, 2, 3, 4, 5, 6, 7, 8},
      {18, 2, 0, 0, 0, 'h', 0, 'i', 0},
      {19, 1, 2, 3, 4, 5, 6, 7, 8},
      {20, 2, 0, 0, 0, 0xC3, 0xA9},
  };
  ASSERT_EQ(values.size(), 21u);
  for (size_t tag = 0; tag < values.size(); ++tag) {
    SCOPED_TRACE(tag);
    Bytes b = values[tag];
    b.push_back(0x55);
    TComponentReader r(b);
    const TValueType type = r.ReadValueType();
    EXPECT_EQ(int(type), int(tag));
    r.SkipValue(type);
    EXPECT_EQ(r.U8(), 0x55);
    // Cut anywhere inside the payload: a read error, never more.
    for (size_t cut = 1; cut < values[tag].size(); ++cut) {
      const Bytes shortened(values[tag].begin(), values[tag].begin() + std::ptrdiff_t(cut));
      TComponentReader s(shortened);
      EXPECT_EQ(ErrorOf([&] { s.SkipValue(s.ReadValueType()); }), "Stream read error") << "cut " << cut;
    }
  }
}

TEST(ComponentReader, UnknownTagAndDeepNestingAreInvalid) {
  const Bytes unknownTag = {21};
  TComponentReader r(unknownTag);
  EXPECT_EQ(ErrorOf([&] { r.ReadValueType(); }), "Invalid stream format");
  const Bytes deep(100000, 1);  // lists inside lists
  TComponentReader d(deep);
  EXPECT_EQ(ErrorOf([&] { d.SkipValue(d.ReadValueType()); }), "Invalid stream format");
}

TEST(ComponentReader, TypedReads) {
  const Bytes b = {2, 0x80, 3, 0x00, 0x80, 4, 0xFF, 0xFF, 0xFF, 0x7F, 19, 0, 0, 0, 0, 0, 0, 0, 0x80,
                   18, 2, 0, 0, 0, 0x41, 0x04, 'x', 0,  // U+0441, 'x'
                   12, 1, 0, 0, 0, 'L', 20, 1, 0, 0, 0, 'U', 9, 8, 7, 1, 'i'};
  TComponentReader r(b);
  EXPECT_EQ(r.ReadInteger(r.ReadValueType()), -128);
  EXPECT_EQ(r.ReadInteger(r.ReadValueType()), -32768);
  EXPECT_EQ(r.ReadInteger(r.ReadValueType()), 0x7FFFFFFF);
  EXPECT_EQ(r.ReadInteger(r.ReadValueType()), INT64_MIN);
  EXPECT_EQ(r.ReadString(r.ReadValueType()), "\xD1\x81x");
  EXPECT_EQ(r.ReadString(r.ReadValueType()), "L");
  EXPECT_EQ(r.ReadString(r.ReadValueType()), "U");
  EXPECT_TRUE(r.ReadBool(r.ReadValueType()));
  EXPECT_FALSE(r.ReadBool(r.ReadValueType()));
  EXPECT_EQ(r.ReadIdent(r.ReadValueType()), "i");
  // A value of the wrong kind.
  const Bytes wrong = {6, 0};
  TComponentReader w(wrong);
  EXPECT_EQ(ErrorOf([&] { w.ReadInteger(w.ReadValueType()); }), "Invalid stream format");
}

TEST(ComponentWriter, WritesWhatTheReaderReads) {
  TComponentWriter w("Thing", "TThing");
  const std::vector<int64_t> numbers = {0, -128, 127, 128, -32769, 40000, INT32_MIN, int64_t(1) << 40};
  const std::vector<int> expectedTags = {2, 2, 2, 3, 4, 4, 4, 19};
  for (int64_t n : numbers) {
    w.PropName("N");
    w.Integer(n);
  }
  w.PropName("S");
  w.String(std::string(300, 's'));
  w.PropName("B");
  w.Binary(Bytes{1, 2});
  w.PropName("C");
  w.BeginCollection();
  w.BeginItem();
  w.PropName("T");
  w.Bool(true);
  w.EndList();
  w.EndList();
  const Bytes out = w.Finish();

  TComponentReader r(out);
  r.ReadHeader();
  EXPECT_EQ(r.Position(), 5u + 10 + 4);  // the name was written in capitals: "THING"
  EXPECT_EQ(std::string(out.begin() + 3, out.begin() + 8), "THING");
  const uint32_t size = uint32_t(out[11] | (out[12] << 8) | (out[13] << 16) | (out[14] << 24));
  EXPECT_EQ(size, out.size() - 15);  // everything after the 15-byte header
  EXPECT_EQ(r.ReadObjectStart(), "TThing");
  for (size_t i = 0; i < numbers.size(); ++i) {
    EXPECT_EQ(r.ShortString(), "N");
    const TValueType type = r.ReadValueType();
    EXPECT_EQ(int(type), expectedTags[i]);
    EXPECT_EQ(r.ReadInteger(type), numbers[i]);
  }
  EXPECT_EQ(r.ShortString(), "S");
  EXPECT_EQ(r.ReadString(r.ReadValueType()), std::string(300, 's'));
  EXPECT_EQ(r.ShortString(), "B");
  EXPECT_EQ(r.ReadBinary(r.ReadValueType()).size(), 2u);
  EXPECT_EQ(r.ShortString(), "C");
  r.SkipValue(r.ReadValueType());
  EXPECT_TRUE(r.EndOfList());  // end of the root's properties
  EXPECT_TRUE(r.EndOfList());  // no children
  EXPECT_TRUE(r.AtEnd());
}

TEST(ArchiveFile, MissingFileNamesFileAndReason) {
  EXPECT_EQ(ErrorOf([] { ReadArchiveFile("/nonexistent/x.dxg"); }),
            "Cannot open file \"/nonexistent/x.dxg\". No such file or directory");
}

}  // namespace
