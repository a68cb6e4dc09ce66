// The login item as an XDG autostart entry, for platforms without
// SMAppService.
#ifndef LOGINHELPER_LOGIN_ITEM_XDG_H_
#define LOGINHELPER_LOGIN_ITEM_XDG_H_

#include <functional>
#include <string>
#include <string_view>

#include "loginhelper/login_item.h"

namespace loginhelper {

// The entry's status: "Hidden=true" or "X-GNOME-Autostart-enabled=false"
// in its main group mean the user switched it off.
long autostartStatus(std::string_view entry);

// The Exec value that starts `program` with "launch", quoted and escaped
// as desktop entries require.
std::string execLine(std::string_view program);

// The folder of the user's configuration: $XDG_CONFIG_HOME, else
// $HOME/.config, else `userHome()` (the password database's) and
// "/.config". An empty or relative value counts as none.
std::string configFolder(const std::string& configHome, const std::string& home,
                         const std::function<std::string()>& userHome);

// The autostart entry at `path`, started by `program`.
std::unique_ptr<LoginItemService> xdgLoginItem(std::string path, std::string program);

}  // namespace loginhelper

#endif  // LOGINHELPER_LOGIN_ITEM_XDG_H_
