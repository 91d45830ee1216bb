// Services of the desktop shared by both back ends: HTTP GET, the "open" action, files.
#pragma once
#include <string>

#include "engine/platform/Platform.h"

namespace platform {

// A plain GET; never throws. Times out rather than hanging the game for long.
HttpReply HttpGetUrl(const std::string& url);

// Hands a file or URL to xdg-open, started directly (no shell) and not waited for.
void OpenWithDesktop(const std::string& target);

bool PathExists(const std::string& path);

}  // namespace platform
