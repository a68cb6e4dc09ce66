// The names that the desktop shows for applications: the Name of the
// desktop entry that a window belongs to, in the user's language, matched
// to the window as desktop shells match them (GIO's GDesktopAppInfo reads
// the entries).
#ifndef FOCUSWATCH_LINUX_DESKTOP_ENTRIES_H_
#define FOCUSWATCH_LINUX_DESKTOP_ENTRIES_H_

#include <map>
#include <optional>
#include <string>
#include <tuple>

#include "focuswatch/linux/x11_session.h"

typedef struct _GAppInfoMonitor GAppInfoMonitor;

namespace focuswatch {

class DesktopEntries {
 public:
  DesktopEntries();
  ~DesktopEntries();
  DesktopEntries(const DesktopEntries&) = delete;
  DesktopEntries& operator=(const DesktopEntries&) = delete;

  // The Name of the window's entry: "ID.desktop" for its application id;
  // else the entry whose StartupWMClass is its instance name, then its
  // class name; else the entry named after the instance name, then the
  // class name, each as it is and then lower-cased with blanks as dashes.
  // Remembered for the window's names until the installed entries change
  // (reading them all takes about 17 ms on a desktop of 300).
  std::optional<std::string> name(const FrontWindow& window);

 private:
  using Names =
      std::tuple<std::optional<std::string>, std::optional<std::string>, std::optional<std::string>>;
  std::map<Names, std::optional<std::string>> known_;
  GAppInfoMonitor* monitor_;
  unsigned long changed_;  // the handler of its "changed" signal
};

}  // namespace focuswatch

#endif  // FOCUSWATCH_LINUX_DESKTOP_ENTRIES_H_
