// Decodes the BMP Suite corpus through the archive reader: good files must match their
// reference pictures, bad files must fail with an archive error, questionable ones as pinned.
#include <gtest/gtest.h>
#include <png.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/ComponentStream.h"
#include "engine/PictureCollection.h"

namespace {

namespace fs = std::filesystem;
const fs::path kSuite = ZAROVEL_SHARED_DIR "/corpora/bmpsuite";

std::vector<uint8_t> ReadBytes(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | (uint32_t(b[at + 1]) << 8) | (uint32_t(b[at + 2]) << 16) | (uint32_t(b[at + 3]) << 24);
}

// An archive with one item whose "Picture.Data" is the class name followed by `graphic`.
std::vector<uint8_t> ArchiveWith(const std::string& className, const std::vector<uint8_t>& graphic) {
  std::vector<uint8_t> payload;
  TComponentWriter::PutShortString(payload, className);
  payload.insert(payload.end(), graphic.begin(), graphic.end());
  TComponentWriter w("TPICTURECOLLECTIONCOMPONENT", "TPictureCollectionComponent");
  w.PropName("List");
  w.BeginCollection();
  w.BeginItem();
  w.PropName("Name");
  w.String("Picture");
  w.PropName("Picture.Data");
  w.Binary(payload);
  w.EndList();
  w.EndList();
  return w.Finish();
}

std::vector<uint8_t> AsTDib(const std::vector<uint8_t>& bmp) { return {bmp.begin() + 14, bmp.end()}; }

std::vector<uint8_t> AsTBitmap(const std::vector<uint8_t>& bmp) {
  std::vector<uint8_t> out;
  TComponentWriter::PutU32(out, uint32_t(bmp.size()));
  out.insert(out.end(), bmp.begin(), bmp.end());
  return out;
}

// The decoded picture of a one-item archive (throws what the reader throws).
Surface Load(const std::vector<uint8_t>& archive) {
  TPictureCollection collection;
  collection.LoadFromMemory(archive);
  const TPicture& picture = collection.Items(0).Picture;
  return picture.Graphic ? picture.Graphic->Pixels : Surface();
}

Surface ReadPng(const fs::path& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
  image.format = PNG_FORMAT_BGRA;  // 0xAARRGGBB words on a little-endian machine
  Surface s(int(image.width), int(image.height));
  if (!png_image_finish_read(&image, nullptr, s.Pixels.data(), 0, nullptr)) return {};
  for (uint32_t& p : s.Pixels) p &= 0xFFFFFF;
  return s;
}

// "html/a.png, html/b.png" of the corpus index, for every file.
std::map<std::string, std::vector<std::string>> References() {
  std::map<std::string, std::vector<std::string>> refs;
  std::ifstream index(kSuite / "INDEX.md");
  for (std::string line; std::getline(index, line);) {
    std::vector<std::string> cells;
    std::stringstream row(line);
    for (std::string cell; std::getline(row, cell, '|');) cells.push_back(cell);
    if (cells.size() < 10 || cells[1].find(".bmp") == std::string::npos) continue;
    std::stringstream list(cells[9]);
    for (std::string ref; std::getline(list, ref, ',');) {
      ref.erase(0, ref.find_first_not_of(' '));
      ref.erase(ref.find_last_not_of(' ') + 1);
      if (ref.ends_with(".png")) refs[cells[1].substr(1, cells[1].size() - 2)].push_back(ref);
    }
  }
  return refs;
}

std::vector<fs::path> Files(const char* dir) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(kSuite / dir))
    if (entry.path().extension() == ".bmp") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

// True when the archive decodes to one of the reference pictures of the file.
::testing::AssertionResult MatchesReference(const std::string& file, const std::vector<uint8_t>& archive) {
  Surface got;
  try {
    got = Load(archive);
  } catch (const std::exception& e) {
    return ::testing::AssertionFailure() << file << ": " << e.what();
  }
  static const auto refs = References();
  auto it = refs.find(file);
  if (it == refs.end()) return ::testing::AssertionFailure() << "no reference for " << file;
  for (const std::string& ref : it->second) {
    const Surface want = ReadPng(kSuite / ref);
    if (want.Width == got.Width && want.Height == got.Height && want.Pixels == got.Pixels)
      return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << file << " differs from its reference";
}

TEST(BmpSuite, CorpusIsPresent) {
  ASSERT_TRUE(fs::exists(kSuite / "INDEX.md")) << kSuite;
  EXPECT_EQ(Files("g").size(), 27u);
  EXPECT_EQ(Files("b").size(), 20u);
}

TEST(BmpSuite, GoodFilesAsTBitmapMatchTheirReference) {
  for (const fs::path& path : Files("g")) {
    SCOPED_TRACE(path.filename().string());
    EXPECT_TRUE(MatchesReference("g/" + path.filename().string(), ArchiveWith("TBitmap", AsTBitmap(ReadBytes(path)))));
  }
}

TEST(BmpSuite, GoodFilesWithInfoOrCoreHeaderAsTDibMatchTheirReference) {
  int count = 0;
  for (const fs::path& path : Files("g")) {
    const std::vector<uint8_t> bmp = ReadBytes(path);
    const uint32_t headerSize = Le32(bmp, 14);
    if (headerSize != 40 && headerSize != 12) continue;
    SCOPED_TRACE(path.filename().string());
    EXPECT_TRUE(MatchesReference("g/" + path.filename().string(), ArchiveWith("TDIB", AsTDib(bmp))));
    ++count;
  }
  EXPECT_EQ(count, 25);  // all but the V4 and V5 headers
}

// "match", "decoded" (a picture unlike the reference) or the error text of one archive.
std::string Outcome(const std::string& file, const std::vector<uint8_t>& archive) {
  try {
    Load(archive);
    return MatchesReference(file, archive) ? "match" : "decoded";
  } catch (const EArchiveError& e) {
    return e.what();
  }
}

// Bad files, as TBitmap and as TDib. The reader refuses what cannot be decoded (absurd bit
// counts, a negative width, pixels or palettes beyond the data, broken run-length data,
// indexes past the palette) and nothing else: planes, resolutions and the image size are
// writers' notes, colours used is capped at 256, a zero mask is a channel of 0 and a
// top-down run-length picture is read top to bottom. Without the file header some faults
// (file size, header size, pixel offset) are not there to see.
TEST(BmpSuite, BadFilesAsPinned) {
  const std::string invalid = "DIB is invalid";
  // file -> {as TBitmap, as TDib}
  const std::map<std::string, std::pair<std::string, std::string>> expected = {
      {"badbitcount.bmp", {invalid, invalid}},
      {"badbitssize.bmp", {"decoded", "decoded"}},
      {"baddens1.bmp", {"decoded", "decoded"}},
      {"baddens2.bmp", {"decoded", "decoded"}},
      {"badfilesize.bmp", {invalid, "decoded"}},
      {"badheadersize.bmp", {invalid, invalid}},
      {"badpalettesize.bmp", {"decoded", invalid}},  // bare, 256 entries run into the pixels
      {"badplanes.bmp", {"decoded", "decoded"}},
      {"badrle.bmp", {invalid, invalid}},
      {"badrle4.bmp", {invalid, invalid}},
      {"badrle4bis.bmp", {invalid, invalid}},
      {"badrle4ter.bmp", {invalid, invalid}},
      {"badrlebis.bmp", {invalid, invalid}},
      {"badrleter.bmp", {invalid, invalid}},
      {"badwidth.bmp", {invalid, invalid}},
      {"pal8badindex.bmp", {invalid, invalid}},
      {"reallybig.bmp", {invalid, invalid}},
      {"rgb16-880.bmp", {"match", "match"}},
      {"rletopdown.bmp", {"decoded", "decoded"}},
      {"shortfile.bmp", {invalid, invalid}},
  };
  EXPECT_EQ(Files("b").size(), expected.size());
  for (const fs::path& path : Files("b")) {
    const std::string name = path.filename().string();
    SCOPED_TRACE(name);
    const std::vector<uint8_t> bmp = ReadBytes(path);
    EXPECT_EQ(Outcome("b/" + name, ArchiveWith("TBitmap", AsTBitmap(bmp))), expected.at(name).first);
    EXPECT_EQ(Outcome("b/" + name, ArchiveWith("TDIB", AsTDib(bmp))), expected.at(name).second);
  }
}

// Questionable files, as TBitmap. The reader takes every layout that fits its rules: header
// sizes 12, 16, 40, 52, 56, 64, 108, 124; 1, 2, 4, 8, 16, 24, 32 bits; no compression, RLE8,
// RLE4 or bit fields with one run of bits per channel (alpha masks ignored); pixels at the
// file's offset; short palettes. Those decode ("match": equal to a reference; "decoded": a
// picture, but the reference shows alpha or a finer scaling). Huffman, RLE24, JPEG, PNG,
// alpha bit fields and 64-bit pixels are rejected with "DIB is invalid".
TEST(BmpSuite, QuestionableFilesAsPinned) {
  const std::map<std::string, std::string> expected = {
      {"pal1huffmsb.bmp", "DIB is invalid"},
      {"pal1p1.bmp", "match"},
      {"pal2.bmp", "match"},
      {"pal2color.bmp", "match"},
      {"pal4rlecut.bmp", "match"},
      {"pal4rletrns.bmp", "match"},
      {"pal8offs.bmp", "match"},
      {"pal8os2-hs.bmp", "match"},
      {"pal8os2-sz.bmp", "match"},
      {"pal8os2sp.bmp", "match"},
      {"pal8os2v2-16.bmp", "match"},
      {"pal8os2v2-40sz.bmp", "match"},
      {"pal8os2v2-sz.bmp", "match"},
      {"pal8os2v2.bmp", "match"},
      {"pal8oversizepal.bmp", "match"},
      {"pal8rlecut.bmp", "match"},
      {"pal8rletrns.bmp", "match"},
      {"rgb16-231.bmp", "match"},
      {"rgb16-3103.bmp", "match"},
      {"rgb16faketrns.bmp", "match"},
      {"rgb24jpeg.bmp", "DIB is invalid"},
      {"rgb24largepal.bmp", "match"},
      {"rgb24lprof.bmp", "match"},
      {"rgb24png.bmp", "DIB is invalid"},
      {"rgb24prof.bmp", "match"},
      {"rgb24prof2.bmp", "decoded"},
      {"rgb24rle24.bmp", "DIB is invalid"},
      {"rgb32-111110.bmp", "decoded"},
      {"rgb32-7187.bmp", "decoded"},
      {"rgb32-xbgr.bmp", "match"},
      {"rgb32fakealpha.bmp", "match"},
      {"rgb32h52.bmp", "match"},
      {"rgba16-1924.bmp", "decoded"},
      {"rgba16-4444.bmp", "decoded"},
      {"rgba16-5551.bmp", "decoded"},
      {"rgba32-1.bmp", "decoded"},
      {"rgba32-1010102.bmp", "decoded"},
      {"rgba32-2.bmp", "decoded"},
      {"rgba32-61754.bmp", "decoded"},
      {"rgba32-81284.bmp", "decoded"},
      {"rgba32abf.bmp", "DIB is invalid"},
      {"rgba32h56.bmp", "decoded"},
      {"rgba64.bmp", "DIB is invalid"}
  };
  EXPECT_EQ(Files("q").size(), expected.size());
  for (const fs::path& path : Files("q")) {
    const std::string name = path.filename().string();
    SCOPED_TRACE(name);
    EXPECT_EQ(Outcome("q/" + name, ArchiveWith("TBitmap", AsTBitmap(ReadBytes(path)))), expected.at(name));
  }
}

}  // namespace
