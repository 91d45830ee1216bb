// Services of the desktop shared by both back ends: HTTP GET, the "open" action, files.
#pragma once
#include <string>

#include "engine/platform/Platform.h"

namespace platform {

// A plain GET with the request headers of the game's old HTTP client; never throws. Given
// up after timeoutMs in all (connecting, sending, receiving).
HttpReply HttpGetUrl(const std::string& url, uint32_t timeoutMs);

// Hands a file or URL to xdg-open, started directly (no shell) and not waited for. An
// Internet shortcut (a ".url" file) opens the web address it holds, as it does on the
// desktop it was made for; Linux desktops would show it as text.
void OpenWithDesktop(const std::string& target);

// The http or https address on the "URL=" line of an Internet shortcut file; empty when
// the file is missing, unreadable, too large or holds no such address.
std::string InternetShortcutUrl(const std::string& path);

bool PathExists(const std::string& path);

// Whether a file can be made in the folder: one is made and removed again.
bool FolderWritable(const std::string& dir);

// The player's data folder for the program `name`, made when missing: $XDG_DATA_HOME/name/
// when that variable holds an absolute path, else $HOME/.local/share/name/. Empty when
// there is no such folder and it cannot be made. Ends in '/'.
std::string XdgDataFolder(const std::string& name);

}  // namespace platform
