// The login item as an XDG autostart entry, for platforms without
// SMAppService.
#ifndef LOGINHELPER_LOGIN_ITEM_XDG_H_
#define LOGINHELPER_LOGIN_ITEM_XDG_H_

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "loginhelper/login_item.h"

namespace loginhelper {

// The status of the user's entry and of the system-wide entry of the same
// name, each absent or its text. The user's entry hides the system-wide one:
// the entry that counts is switched off by "Hidden" true or
// "X-GNOME-Autostart-enabled" false in its main group, read as GLib reads
// booleans. "Hidden" with a system-wide entry present (the system's own, or
// the user's mask in front of it that `disable` writes) is no entry at all:
// nothing is registered.
long autostartStatus(std::optional<std::string_view> user, std::optional<std::string_view> system);

// The Exec value that starts `program` with "launch", quoted and escaped
// as desktop entries require.
std::string execLine(std::string_view program);

// The folder of the user's configuration: $XDG_CONFIG_HOME, else
// $HOME/.config, else `userHome()` (the password database's) and
// "/.config". An empty or relative value counts as none.
std::string configFolder(const std::string& configHome, const std::string& home,
                         const std::function<std::string()>& userHome);

// The system's configuration folders in the order they are searched:
// $XDG_CONFIG_DIRS split at ':', without relative or empty parts;
// "/etc/xdg" when it is empty.
std::vector<std::string> systemConfigFolders(std::string_view configDirs);

// The autostart entry at `path`, started by `program`, in front of the
// system-wide entries at `systemPaths` (the first that can be read counts).
std::unique_ptr<LoginItemService> xdgLoginItem(std::string path, std::string program,
                                               std::vector<std::string> systemPaths);

}  // namespace loginhelper

#endif  // LOGINHELPER_LOGIN_ITEM_XDG_H_
