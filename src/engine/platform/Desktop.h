// Services of the desktop shared by both back ends: HTTP GET, the "open" action, files.
#pragma once
#include <string>

#include "engine/platform/Platform.h"

namespace platform {

// A plain GET; never throws. Times out rather than hanging the game for long.
HttpReply HttpGetUrl(const std::string& url);

// Hands a file or URL to xdg-open, started directly (no shell) and not waited for. An
// Internet shortcut (a ".url" file) opens the web address it holds, as it does on the
// desktop it was made for; Linux desktops would show it as text.
void OpenWithDesktop(const std::string& target);

// The http or https address on the "URL=" line of an Internet shortcut file; empty when
// the file is missing, unreadable, too large or holds no such address.
std::string InternetShortcutUrl(const std::string& path);

bool PathExists(const std::string& path);

}  // namespace platform
