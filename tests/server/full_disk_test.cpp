// The built server with its SQLite file on a small file system of the test's own (a tmpfs it
// mounts, which needs root, as CI runs): filled up, checks and submissions are answered 503;
// with room made, they are served again without a restart; and the server starts and serves
// on a disk with 16 MB free.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <cstring>

#include "server/ServerHarness.h"
#include "support/GameFixture.h"

namespace {

using namespace server_test;
namespace fs = std::filesystem;

// A tmpfs of `size` mounted on a new folder, unmounted when the value goes (also when the
// test failed on the way).
class SmallDisk {
 public:
  SmallDisk(const fs::path& folder, const char* size) : path_(folder) {
    fs::create_directories(path_);
    const std::string options = std::string("size=") + size;
    if (mount("tmpfs", path_.c_str(), "tmpfs", 0, options.c_str()) != 0)
      error_ = std::string("cannot mount a tmpfs (the test runs as root): ") + std::strerror(errno);
    else
      mounted_ = true;
  }
  ~SmallDisk() {
    if (mounted_ && umount(path_.c_str()) != 0) umount2(path_.c_str(), MNT_DETACH);
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  bool Mounted() const { return mounted_; }
  const std::string& Error() const { return error_; }
  const fs::path& Path() const { return path_; }
  int64_t Free() const {
    struct statvfs disk {};
    return statvfs(path_.c_str(), &disk) == 0 ? int64_t(disk.f_bavail) * int64_t(disk.f_frsize) : -1;
  }
  // Writes a file of `bytes` (or until the disk is full, when -1).
  void Fill(const fs::path& file, int64_t bytes) const {
    const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    static const std::string chunk(1 << 16, 'x');
    for (int64_t written = 0; bytes < 0 || written < bytes;) {
      const size_t size = bytes < 0 ? chunk.size() : size_t(std::min<int64_t>(int64_t(chunk.size()), bytes - written));
      const ssize_t n = write(fd, chunk.data(), size);
      if (n <= 0) break;
      written += n;
    }
    close(fd);
  }

 private:
  fs::path path_;
  bool mounted_ = false;
  std::string error_;
};

// The statuses of checks sent until one answers `status` (at most `tries`); the last one.
int CheckUntil(int port, int status, int tries) {
  int got = 0;
  for (int i = 0; i < tries && got != status; ++i) {
    got = HttpGet(port, kCheckTarget).Status;
    if (got != status) std::this_thread::sleep_for(20ms);
  }
  return got;
}

TEST(FullDisk, RequestsAreAnswered503UntilThereIsRoomAgainAndAServerStartsWith16MbFree) {
  TempFolder folder;  // the server's log stays here, off the small disk
  SmallDisk disk(folder.Path() / "disk", "24m");
  ASSERT_TRUE(disk.Mounted()) << disk.Error();
  const std::string db = (disk.Path() / "scores.sqlite").string();
  const fs::path filler = disk.Path() / "filler";
  const std::vector<std::string> options = {"--rate-limit", "0", "--check-rate-limit", "0"};
  {
    ServerProcess server(folder.Path().string(), db, options);
    const HttpReply first = HttpGet(server.Port(), SubmissionTarget(EncodedRecord("before", 10, FreshToken(server.Port()))));
    ASSERT_EQ(first.Body, "OK|stored\n");
    std::vector<std::string> tokens;
    for (int i = 0; i < 3; ++i) tokens.push_back(FreshToken(server.Port()));

    disk.Fill(filler, -1);
    // What room the log had left is soon used up; from then on every check fails.
    EXPECT_EQ(CheckUntil(server.Port(), 503, 2000), 503) << server.Log();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(HttpGet(server.Port(), kCheckTarget).Status, 503);
    const HttpReply full = HttpGet(server.Port(), SubmissionTarget(EncodedRecord("full", 20, tokens[0])));
    EXPECT_EQ(full.Status, 503) << full.Body;
    EXPECT_EQ(HttpGet(server.Port(), kPageTarget).Status, 200);  // reading needs no room
    EXPECT_NE(server.Log().find("the disk is full"), std::string::npos) << server.Log();

    // Room again: served at once, without a restart.
    fs::remove(filler);
    EXPECT_EQ(CheckUntil(server.Port(), 200, 50), 200) << server.Log();
    EXPECT_EQ(HttpGet(server.Port(), SubmissionTarget(EncodedRecord("again", 30, tokens[0]))).Body, "OK|stored\n");
    EXPECT_EQ(HttpGet(server.Port(), SubmissionTarget(EncodedRecord("more", 40, tokens[1]))).Body, "OK|stored\n");
    EXPECT_EQ(server.Stop(), 0);
  }

  // Started again on the disk with 16 MB free: it serves.
  disk.Fill(filler, disk.Free() - (int64_t(16) << 20));
  const int64_t free = disk.Free();
  EXPECT_GE(free, int64_t(16) << 20);
  EXPECT_LT(free, int64_t(17) << 20);
  ServerProcess again(folder.Path().string(), db, options);
  for (int i = 0; i < 20; ++i) {
    const std::string token = FreshToken(again.Port());
    EXPECT_EQ(HttpGet(again.Port(), SubmissionTarget(EncodedRecord("after" + std::to_string(i), 50 + uint32_t(i), token)))
                  .Body,
              "OK|stored\n");
  }
  const HttpReply page = HttpGet(again.Port(), kPageTarget);
  EXPECT_EQ(page.Status, 200);
  for (const char* name : {"before", "again", "more", "after19"})
    EXPECT_NE(page.Body.find(std::string(">") + name + "<"), std::string::npos) << name;
  EXPECT_EQ(page.Body.find(">full<"), std::string::npos);
  EXPECT_EQ(again.Stop(), 0);
}

}  // namespace
