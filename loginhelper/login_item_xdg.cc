#include "loginhelper/login_item_xdg.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gio/gdesktopappinfo.h>

#include <algorithm>
#include <memory>

#include "common/deleter.h"
#include "common/io.h"
#include "common/replace_file.h"
#include "common/unique_fd.h"

namespace loginhelper {

namespace {

// The two keys that matter sit near the top of any entry anyone wrote; an
// entry is read only this far, so that a huge one can still be replaced or
// removed.
constexpr size_t kLargestEntry = 1 << 20;

// Made where it is called, which an unchecked failure names.
Failure<Error> fileError(const std::string& what, const std::string& path, int error,
                         const char* file = __builtin_FILE(), int line = __builtin_LINE()) {
  return Failure(Error{"NSPOSIXErrorDomain", error, what + " " + path + ": " + ::strerror(error)}, file,
                 line);
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
    text.remove_suffix(1);
  return text;
}

// Creates `directory` and its parents; 0 or the errno.
[[nodiscard]] int makeDirectories(const std::string& directory) {
  struct stat status;
  if (::stat(directory.c_str(), &status) == 0) return S_ISDIR(status.st_mode) ? 0 : ENOTDIR;
  size_t slash = directory.rfind('/');
  if (slash != std::string::npos && slash > 0) {
    if (int error = makeDirectories(directory.substr(0, slash))) return error;
  }
  if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) return errno;
  return 0;
}

// Whether GLib, as a session's launcher does, reads the entry at `path` as
// starting exactly `program` with "launch". A path that is not UTF-8 leaves
// the entry without a command; a "%" is written "%%", which no launcher
// reads back in the program's path.
bool startsProgram(const std::string& path, const std::string& program) {
  std::unique_ptr<GDesktopAppInfo, vantrel::Deleter<g_object_unref>> entry(
      ::g_desktop_app_info_new_from_filename(path.c_str()));
  const char* command = entry ? ::g_app_info_get_commandline(G_APP_INFO(entry.get())) : nullptr;
  gchar** argv = nullptr;
  if (!command || !::g_shell_parse_argv(command, nullptr, &argv, nullptr)) return false;
  std::unique_ptr<gchar*, vantrel::Deleter<g_strfreev>> arguments(argv);
  return ::g_strv_length(argv) == 2 && argv[0] == program && std::string_view(argv[1]) == "launch";
}

class XdgLoginItem : public LoginItemService {
 public:
  XdgLoginItem(std::string path, std::string program, std::vector<std::string> systemPaths)
      : path_(std::move(path)), program_(std::move(program)), systemPaths_(std::move(systemPaths)) {}

  Result<long> status() override {
    Result<std::optional<std::string>> user = readEntry(path_);
    if (!user) return Failure(user.error());
    return autostartStatus(*user, systemEntry());
  }

  Result<> registerService() override {
    return writeEntry("[Desktop Entry]\nType=Application\nName=Vantrel\nExec=" + execLine(program_) +
                          "\nX-GNOME-Autostart-enabled=true\n",
                      true);
  }

  Result<> unregisterService() override {
    // Only an entry of the user's own keeps a system-wide one from starting;
    // "Hidden=true" is the one switch that every launcher reads.
    if (std::optional<std::string> system = systemEntry();
        system && autostartStatus(std::nullopt, *system) != kNotRegistered)
      return writeEntry("[Desktop Entry]\nType=Application\nName=Vantrel\nHidden=true\n", false);
    if (::unlink(path_.c_str()) != 0 && errno != ENOENT)
      return fileError("Could not remove the login item", path_, errno);
    return Done{};
  }

  void openSystemSettingsLoginItems() override {}

 private:
  // The entry's text, none when there is none.
  static Result<std::optional<std::string>> readEntry(const std::string& path) {
    struct stat link;
    if (::lstat(path.c_str(), &link) != 0) {
      if (errno == ENOENT) return std::optional<std::string>();
      return fileError("Could not read the login item", path, errno);
    }
    vantrel::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return fileError("Could not read the login item", path, errno);
    vantrel::Result<std::string, int> text = read(fd.get());
    if (!text) return fileError("Could not read the login item", path, text.error());
    return std::optional<std::string>(std::move(*text));
  }

  // The first system-wide entry that can be read; one that cannot is passed
  // over, for the user could not mend it.
  std::optional<std::string> systemEntry() const {
    for (const std::string& path : systemPaths_) {
      if (Result<std::optional<std::string>> entry = readEntry(path); entry && *entry) return **entry;
    }
    return std::nullopt;
  }

  // Writes the entry whole, in place once it is complete (and, for one that
  // starts the program, once GLib reads it back as doing so).
  Result<> writeEntry(const std::string& entry, bool startsThisProgram) {
    std::string directory = path_.substr(0, path_.rfind('/'));
    if (int error = makeDirectories(directory))
      return fileError("Could not create the folder", directory, error);
    bool unread = false;
    int error = vantrel::replaceFile(path_, entry, 0644, [&](const std::string& temporary) {
      unread = startsThisProgram && !startsProgram(temporary, program_);
      return unread ? EINVAL : 0;
    });
    if (unread)
      return Failure(Error{"NSPOSIXErrorDomain", EINVAL,
                           "No launcher would start " + program_ + " from the login item " + path_ +
                               ": a desktop entry needs a program path in UTF-8 without \"%\""});
    if (error != 0) return fileError("Could not write the login item", path_, error);
    return Done{};
  }

  // The text of a regular file, or the errno.
  static vantrel::Result<std::string, int> read(int fd) {
    struct stat status;
    if (::fstat(fd, &status) != 0) return Failure(errno);
    if (S_ISDIR(status.st_mode)) return Failure(EISDIR);
    if (!S_ISREG(status.st_mode)) return Failure(EINVAL);
    std::string text(kLargestEntry + 1, '\0');
    size_t done = 0;
    if (int error = vantrel::readAll(fd, text.data(), text.size(), &done)) return Failure(error);
    text.resize(done);
    // Cut short: a line broken off at the end is not read at all.
    if (done > kLargestEntry) text.resize(text.rfind('\n', kLargestEntry - 1) + 1);
    return text;
  }

  std::string path_;
  std::string program_;
  std::vector<std::string> systemPaths_;
};

std::string environment(const char* name) {
  const char* value = ::getenv(name);
  return value ? value : "";
}

}  // namespace

long autostartStatus(std::optional<std::string_view> user, std::optional<std::string_view> system) {
  if (!user && !system) return kNotRegistered;
  // The last value of a key counts; only "true" or "1" and "false" or "0"
  // are booleans, and anything else leaves the key unset.
  std::string_view hidden, enabled;
  std::string_view entry = user ? *user : *system;
  bool inMainGroup = true;  // keys before any group header count too
  while (!entry.empty()) {
    size_t end = entry.find('\n');
    std::string_view line = trim(entry.substr(0, end));
    entry.remove_prefix(end == std::string_view::npos ? entry.size() : end + 1);
    if (line.starts_with('[')) {
      inMainGroup = line == "[Desktop Entry]";
      continue;
    }
    size_t equals = line.find('=');
    if (!inMainGroup || equals == std::string_view::npos) continue;
    std::string_view key = trim(line.substr(0, equals));
    if (key == "Hidden") hidden = trim(line.substr(equals + 1));
    if (key == "X-GNOME-Autostart-enabled") enabled = trim(line.substr(equals + 1));
  }
  // A system-wide entry that "Hidden" switches off counts as deleted, and
  // so does one that the user's entry masks: nothing is registered, and
  // `enable` writes the user's entry. Only a user's own entry switched off
  // is the user's choice.
  if (hidden == "true" || hidden == "1") return system ? kNotRegistered : kRequiresApproval;
  return enabled == "false" || enabled == "0" ? kRequiresApproval : kEnabled;
}

std::string execLine(std::string_view program) {
  // Quote the argument, then escape the quoted text as a string value.
  std::string quoted = "\"";
  for (char c : program) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    if (c == '%') quoted += '%';
    quoted += c;
  }
  quoted += '"';
  std::string escaped;
  for (char c : quoted) {
    switch (c) {
      case '\\': escaped += "\\\\"; break;
      case '\n': escaped += "\\n"; break;
      case '\t': escaped += "\\t"; break;
      case '\r': escaped += "\\r"; break;
      default: escaped += c;
    }
  }
  return escaped + " launch";
}

std::unique_ptr<LoginItemService> xdgLoginItem(std::string path, std::string program,
                                               std::vector<std::string> systemPaths) {
  return std::make_unique<XdgLoginItem>(std::move(path), std::move(program), std::move(systemPaths));
}

std::string configFolder(const std::string& configHome, const std::string& home,
                         const std::function<std::string()>& userHome) {
  // A relative path would name a different folder in every working folder.
  if (configHome.starts_with('/')) return configHome;
  return (home.starts_with('/') ? home : userHome()) + "/.config";
}

std::vector<std::string> systemConfigFolders(std::string_view configDirs) {
  if (configDirs.empty()) return {"/etc/xdg"};
  std::vector<std::string> folders;
  while (!configDirs.empty()) {
    std::string_view folder = configDirs.substr(0, configDirs.find(':'));
    configDirs.remove_prefix(std::min(configDirs.size(), folder.size() + 1));
    if (folder.starts_with('/')) folders.emplace_back(folder);
  }
  return folders;
}

std::unique_ptr<LoginItemService> agentServiceWithPlistName(std::string_view plistName) {
  std::string config = configFolder(environment("XDG_CONFIG_HOME"), environment("HOME"), [] {
    const passwd* user = ::getpwuid(::getuid());
    return std::string(user && user->pw_dir ? user->pw_dir : "");
  });
  std::string name(plistName);
  if (name.ends_with(".plist")) name.resize(name.size() - 6);
  std::string path = config + "/autostart/" + name + ".desktop";
  std::vector<std::string> systemPaths;
  for (const std::string& folder : systemConfigFolders(environment("XDG_CONFIG_DIRS"))) {
    std::string systemPath = folder + "/autostart/" + name + ".desktop";
    if (systemPath != path) systemPaths.push_back(systemPath);  // a folder in both lists is the user's
  }
  char program[PATH_MAX + 1];
  ssize_t length = ::readlink("/proc/self/exe", program, PATH_MAX);
  return xdgLoginItem(path, length > 0 ? std::string(program, static_cast<size_t>(length)) : "loginhelper",
                      std::move(systemPaths));
}

}  // namespace loginhelper
