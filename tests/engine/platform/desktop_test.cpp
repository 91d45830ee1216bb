// Desktop services: HTTP GET against a local canned server, file checks, the "open" action.
#include "engine/platform/Desktop.h"

#include "support/CannedServer.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using platform::HttpGetUrl;
using platform::InternetShortcutUrl;
using platform::OpenWithDesktop;
using platform::PathExists;

namespace {

std::string Reply(const std::string& status, const std::string& body, bool withLength = true,
                  const std::string& extraHeaders = "") {
  return HttpReplyText(status, body, withLength, extraHeaders);
}

constexpr uint32_t kPatience = 5000;  // ms for a request to a local server

TEST(HttpGetUrl, RepliesArriveWithStatusAndBody) {
  struct Case {
    std::string Reply;
    long Status;
    std::string Body;
  };
  const std::string nearCap(1024 * 1024, 'x');
  const Case cases[] = {
      {Reply("200 OK", "version=2.1\n"), 200, "version=2.1\n"},
      {Reply("404 Not Found", "no such page"), 404, "no such page"},
      {Reply("500 Internal Server Error", ""), 500, ""},
      {Reply("200 OK", "until the end", false), 200, "until the end"},  // no length: ends with the connection
      {Reply("200 OK", std::string("\xC2\xE5\xF0\0x", 5)), 200, std::string("\xC2\xE5\xF0\0x", 5)},  // bytes as sent
      {Reply("200 OK", nearCap, false), 200, nearCap},  // exactly the cap is still fine
  };
  for (const Case& c : cases) {
    CannedServer server({c.Reply});
    const platform::HttpReply reply = HttpGetUrl(server.Url("/news.txt"), kPatience);
    EXPECT_TRUE(reply.Ok) << reply.Error;
    EXPECT_EQ(reply.Status, c.Status);
    EXPECT_EQ(reply.Body, c.Body);
  }
}

TEST(HttpGetUrl, SendsAGetAndFollowsRedirects) {
  CannedServer target({Reply("200 OK", "moved here")});
  CannedServer origin({Reply("302 Found", "", true, "Location: " + target.Url("/new") + "\r\n")});
  const platform::HttpReply reply = HttpGetUrl(origin.Url("/old?a=1"), kPatience);
  EXPECT_TRUE(reply.Ok) << reply.Error;
  EXPECT_EQ(reply.Status, 200);
  EXPECT_EQ(reply.Body, "moved here");
  origin.Join();
  ASSERT_EQ(origin.Requests.size(), 1u);
  EXPECT_EQ(origin.Requests[0], "GET /old?a=1 HTTP/1.1");
  // The headers the game's score server has always seen from it.
  for (const char* header : {"\r\nAccept: text/html, */*", "\r\nUser-Agent: Mozilla/3.0 (compatible; Indy Library)"})
    EXPECT_NE(origin.Heads[0].find(header), std::string::npos) << header;
}

TEST(HttpGetUrl, GivesUpAfterItsTimeWhateverTheServerDoes) {
  const CannedReply behaviours[] = {{"", 0, true}, {Reply("200 OK", std::string(100, 'x')), 300, false}};
  for (const CannedReply& behaviour : behaviours) {
    CannedServer server(std::vector<CannedReply>{behaviour});
    const auto start = std::chrono::steady_clock::now();
    const platform::HttpReply reply = HttpGetUrl(server.Url("/"), 700);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(reply.Ok);
    EXPECT_LT(took, std::chrono::seconds(3));  // 0.7 s asked; generous for a loaded machine
  }
}

TEST(HttpGetUrl, OversizedRepliesAreErrors) {
  const std::string big(1024 * 1024 + 1, 'x');
  for (bool withLength : {true, false}) {
    CannedServer server({Reply("200 OK", big, withLength)});
    const platform::HttpReply reply = HttpGetUrl(server.Url("/big"), kPatience);
    EXPECT_FALSE(reply.Ok) << "with length " << withLength;
    EXPECT_FALSE(reply.Error.empty());
    EXPECT_TRUE(reply.Body.empty());
  }
}

TEST(HttpGetUrl, UnreachableOrInvalidGivesAnError) {
  int closedPort = 0;
  {
    CannedServer server(std::vector<CannedReply>{});
    closedPort = server.Port();
  }  // the listener is closed now, so connecting is refused
  const std::string urls[] = {"http://127.0.0.1:" + std::to_string(closedPort) + "/", "not a url", "",
                              "file:///etc/passwd", "ftp://127.0.0.1:" + std::to_string(closedPort) + "/"};
  for (const std::string& url : urls) {
    const platform::HttpReply reply = HttpGetUrl(url, kPatience);
    EXPECT_FALSE(reply.Ok) << url;
    EXPECT_FALSE(reply.Error.empty()) << url;
    EXPECT_TRUE(reply.Body.empty()) << url;
  }
}

TEST(PathExists, FilesAndFoldersButNotMissingOnes) {
  char folder[] = "/tmp/zarovel-desktop-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string file = std::string(folder) + "/Настройки.ini";
  std::ofstream(file) << "x";
  EXPECT_TRUE(PathExists(folder));
  EXPECT_TRUE(PathExists(file));
  EXPECT_FALSE(PathExists(std::string(folder) + "/missing.ini"));
  EXPECT_FALSE(PathExists(""));
  std::remove(file.c_str());
  rmdir(folder);
  EXPECT_FALSE(PathExists(folder));
}

// The player's folder follows XDG_DATA_HOME when it is absolute, else HOME, and is made
// when missing; with neither there is none.
TEST(XdgDataFolder, FollowsTheEnvironmentAndMakesTheFolder) {
  char root[] = "/tmp/zarovel-xdg-XXXXXX";
  ASSERT_NE(mkdtemp(root), nullptr);
  const std::string base(root);
  struct Case {
    const char* Xdg;  // nullptr: unset
    const char* Home;
    std::string Expected;
  };
  const std::string xdg = base + "/data", home = base + "/home";
  const Case cases[] = {
      {xdg.c_str(), home.c_str(), xdg + "/Zarovel/"},
      {"relative/data", home.c_str(), home + "/.local/share/Zarovel/"},
      {"", home.c_str(), home + "/.local/share/Zarovel/"},
      {nullptr, home.c_str(), home + "/.local/share/Zarovel/"},
      {nullptr, nullptr, ""},
      {"/proc/no-such-place", nullptr, ""},  // cannot be made
  };
  const char* savedXdg = std::getenv("XDG_DATA_HOME");
  const char* savedHome = std::getenv("HOME");
  const std::string keptXdg = savedXdg ? savedXdg : "", keptHome = savedHome ? savedHome : "";
  for (const Case& c : cases) {
    c.Xdg ? setenv("XDG_DATA_HOME", c.Xdg, 1) : unsetenv("XDG_DATA_HOME");
    c.Home ? setenv("HOME", c.Home, 1) : unsetenv("HOME");
    const std::string folder = platform::XdgDataFolder("Zarovel");
    EXPECT_EQ(folder, c.Expected) << (c.Xdg ? c.Xdg : "(unset)");
    if (!folder.empty()) {
      EXPECT_TRUE(PathExists(folder));
    }
  }
  savedXdg ? setenv("XDG_DATA_HOME", keptXdg.c_str(), 1) : unsetenv("XDG_DATA_HOME");
  savedHome ? setenv("HOME", keptHome.c_str(), 1) : unsetenv("HOME");
  std::filesystem::remove_all(base);
}

// The target reaches xdg-open as one untouched argument. A stand-in xdg-open on PATH
// writes what it got into a file; no browser starts.
TEST(OpenWithDesktop, PassesTheTargetAsOneArgument) {
  char folder[] = "/tmp/zarovel-open-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string dir = folder, script = dir + "/xdg-open", out = dir + "/got";
  std::ofstream(script) << "#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > \"" << out << ".tmp\"\n/bin/mv \"" << out
                        << ".tmp\" \"" << out << "\"\n";
  ASSERT_EQ(chmod(script.c_str(), 0755), 0);
  const std::string oldPath = getenv("PATH") ? getenv("PATH") : "";
  setenv("PATH", folder, 1);

  const std::string target = "http://example.org/a b?x=1&y=$(id);`id` 'q' \"r\" > /tmp/x";
  OpenWithDesktop(target);
  std::string got;
  for (int i = 0; i < 1000 && !PathExists(out); ++i) usleep(10000);  // the child runs on its own
  std::getline(std::ifstream(out), got, '\0');
  EXPECT_EQ(got, "1|" + target);

  // A leading dash is not taken for an option.
  std::remove(out.c_str());
  OpenWithDesktop("-v");
  for (int i = 0; i < 1000 && !PathExists(out); ++i) usleep(10000);
  std::getline(std::ifstream(out), got, '\0');
  EXPECT_EQ(got, "1|./-v");

  // An Internet shortcut hands over the address it holds; one without an address is
  // handed over as the file.
  const std::string shortcut = dir + "/more games.url", empty = dir + "/empty.URL";
  std::ofstream(shortcut) << "[InternetShortcut]\r\nURL=https://example.org/games\r\n";
  std::ofstream(empty) << "[InternetShortcut]\n";
  for (const auto& [file, expected] : {std::pair{shortcut, std::string("https://example.org/games")}, {empty, empty}}) {
    std::remove(out.c_str());
    OpenWithDesktop(file);
    for (int i = 0; i < 1000 && !PathExists(out); ++i) usleep(10000);
    std::getline(std::ifstream(out), got, '\0');
    EXPECT_EQ(got, "1|" + expected);
  }
  std::remove(shortcut.c_str());
  std::remove(empty.c_str());

  // Without any xdg-open nothing happens, and nothing breaks.
  std::remove(script.c_str());
  OpenWithDesktop("http://example.org/");
  setenv("PATH", oldPath.c_str(), 1);
  std::remove(out.c_str());
  rmdir(folder);
}

// Only a web address on the URL line of the shortcut section counts.
TEST(InternetShortcutUrl, ReadsTheWebAddressOfTheShortcutSection) {
  char folder[] = "/tmp/zarovel-url-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string file = std::string(folder) + "/x.url";
  const struct {
    std::string text, url;
  } cases[] = {
      {"[InternetShortcut]\r\nURL=http://example.org/a?b=1\r\n", "http://example.org/a?b=1"},
      {"[DEFAULT]\nBASEURL=http://other/\n[internetshortcut]\nIconIndex=0\nurl=HTTPS://example.org", "HTTPS://example.org"},
      {"URL=http://outside.section/\n", ""},
      {"[InternetShortcut]\nURL=file:///bin/sh\n", ""},
      {"[InternetShortcut]\nURL=javascript:alert(1)\n", ""},
      {"[InternetShortcut]\nURL=http://a\x01b/\n", ""},
      {"[Other]\nURL=http://example.org/\n", ""},
      {"[InternetShortcut]\nURL=", ""},
      {"", ""},
      {"[InternetShortcut]\nURL=http://example.org/" + std::string(70000, 'a'), ""},  // oversized
  };
  for (const auto& c : cases) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << c.text;
    EXPECT_EQ(InternetShortcutUrl(file), c.url) << c.text.substr(0, 60);
  }
  std::remove(file.c_str());
  EXPECT_EQ(InternetShortcutUrl(file), "");  // missing
  EXPECT_EQ(InternetShortcutUrl(folder), "");  // a folder
  rmdir(folder);
}

}  // namespace
