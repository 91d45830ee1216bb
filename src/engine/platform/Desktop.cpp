// HTTP GET through libcurl, the desktop's "open" through xdg-open, and file checks.
#include "engine/platform/Desktop.h"

#include <curl/curl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "engine/TextCompare.h"

extern char** environ;

namespace platform {
namespace {

constexpr size_t kMaxBody = 1 << 20;

struct Download {
  std::string Body;
  bool TooLarge = false;
};

size_t Collect(char* data, size_t size, size_t count, void* user) {
  auto& download = *static_cast<Download*>(user);
  const size_t bytes = size * count;
  if (download.Body.size() + bytes > kMaxBody) {
    download.TooLarge = true;
    return 0;  // makes curl stop with a write error
  }
  download.Body.append(data, bytes);
  return bytes;
}

// Case-insensitive prefix and suffix tests.
bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameText(text.substr(0, prefix.size()), prefix);
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && SameText(text.substr(text.size() - suffix.size()), suffix);
}

}  // namespace

HttpReply HttpGetUrl(const std::string& url, uint32_t timeoutMs) {
  static std::once_flag curlInit;
  static CURLcode initResult = CURLE_OK;
  std::call_once(curlInit, [] { initResult = curl_global_init(CURL_GLOBAL_DEFAULT); });

  HttpReply reply;
  CURL* curl = initResult == CURLE_OK ? curl_easy_init() : nullptr;
  if (!curl) {
    reply.Error = "libcurl could not be initialised";
    return reply;
  }
  Download download;
  char error[CURL_ERROR_SIZE] = {};
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, long(std::max<uint32_t>(timeoutMs, 1)));
  // What the game's score server has always seen from it.
  curl_slist* headers = curl_slist_append(nullptr, "Accept: text/html, */*");
  headers = curl_slist_append(headers, "Content-Type: text/html");
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "Mozilla/3.0 (compatible; Indy Library)");
  curl_easy_setopt(curl, CURLOPT_COOKIEFILE, "");  // cookies accepted, kept for the request only
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);  // timeouts without SIGALRM, safe off the main thread
  curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(kMaxBody));
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &download);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);

  const CURLcode result = curl_easy_perform(curl);
  if (result == CURLE_OK) {
    reply.Ok = true;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.Status);
    reply.Body = std::move(download.Body);
  } else if (download.TooLarge || result == CURLE_FILESIZE_EXCEEDED) {
    reply.Error = "reply larger than 1 MiB";
  } else {
    reply.Error = error[0] ? error : curl_easy_strerror(result);
  }
  curl_easy_cleanup(curl);
  curl_slist_free_all(headers);
  return reply;
}

bool FolderWritable(const std::string& dir) {
  std::string probe = (dir.empty() ? std::string("./") : dir) + ".zarovel-write-test-XXXXXX";
  const int fd = ::mkstemp(probe.data());
  if (fd < 0) return false;
  ::close(fd);
  ::unlink(probe.c_str());
  return true;
}

std::string InternetShortcutUrl(const std::string& path) {
  constexpr std::streamsize kMaxShortcut = 64 * 1024;  // shortcuts are a few lines
  std::ifstream file(path, std::ios::binary);
  std::string text(size_t(kMaxShortcut) + 1, '\0');
  if (!file.read(text.data(), kMaxShortcut + 1) && file.gcount() == 0) return {};
  if (file.gcount() > kMaxShortcut) return {};
  text.resize(size_t(file.gcount()));
  bool inShortcut = false;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.starts_with('[')) inShortcut = StartsWithNoCase(line, "[InternetShortcut]");
    if (!inShortcut || !StartsWithNoCase(line, "URL=")) continue;
    const std::string_view url = line.substr(4);
    // Only web addresses: a shortcut must not become a way to start a local program.
    const bool web = StartsWithNoCase(url, "http://") || StartsWithNoCase(url, "https://");
    const bool plain = std::none_of(url.begin(), url.end(), [](char c) { return uint8_t(c) < 32 || c == 127; });
    return web && plain ? std::string(url) : std::string();
  }
  return {};
}

void OpenWithDesktop(const std::string& target) {
  if (target.empty()) return;
  std::string arg = target;
  if (EndsWithNoCase(target, ".url")) {
    const std::string url = InternetShortcutUrl(target);
    if (!url.empty()) arg = url;
  }
  // A leading '-' would read as an option of xdg-open; "./" keeps it a path.
  if (arg[0] == '-') arg = "./" + arg;
  char program[] = "xdg-open";
  char* argv[] = {program, arg.data(), nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, program, nullptr, nullptr, argv, environ) != 0) return;  // not installed
  // xdg-open hands over to the desktop and exits soon; a detached waiter reaps it.
  std::thread([pid] {
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
  }).detach();
}

bool PathExists(const std::string& path) {
  struct stat info;
  return !path.empty() && stat(path.c_str(), &info) == 0;
}

std::string XdgDataFolder(const std::string& name) {
  std::filesystem::path base;
  const char* xdg = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  if (xdg != nullptr && xdg[0] == '/') {
    base = xdg;
  } else if (home != nullptr && home[0] != '\0') {
    base = std::filesystem::path(home) / ".local" / "share";
  } else {
    return {};
  }
  const std::filesystem::path folder = base / name;
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (!std::filesystem::is_directory(folder, error)) return {};
  return folder.string() + "/";
}

}  // namespace platform
