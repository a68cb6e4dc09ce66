// The X11 session of the live desktop: the frontmost window, its process
// and application, the idle time, and changes of the active window.
#ifndef FOCUSWATCH_LINUX_X11_SESSION_H_
#define FOCUSWATCH_LINUX_X11_SESSION_H_

#include <xcb/xcb.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "common/deleter.h"

namespace focuswatch {

// What the frontmost window tells of its application.
struct FrontWindow {
  int32_t pid = 0;                           // _NET_WM_PID; 0 when unknown
  std::optional<std::string> applicationId;  // _GTK_APPLICATION_ID
  std::optional<std::string> instance;       // WM_CLASS: the instance name
  std::optional<std::string> windowClass;    // WM_CLASS: the class name
};

class X11Session {
 public:
  // The session on $DISPLAY, or null when it cannot be reached.
  static std::unique_ptr<X11Session> connect();
  ~X11Session();

  // The window of _NET_ACTIVE_WINDOW, if any.
  std::optional<FrontWindow> frontWindow();
  // From the screen-saver extension.
  double secondsSinceLastInput();
  // Calls `changed`, from the GLib main loop, whenever _NET_ACTIVE_WINDOW
  // changes; until the display goes away.
  void watchActiveWindow(std::function<void()> changed);

 private:
  using XPtr = std::unique_ptr<xcb_connection_t, vantrel::Deleter<xcb_disconnect>>;
  explicit X11Session(XPtr x);

  // The property's bytes if it has `type` (XCB_GET_PROPERTY_TYPE_ANY:
  // whatever type it has, told in `actualType`).
  std::optional<std::string> property(xcb_window_t window, xcb_atom_t name, xcb_atom_t type,
                                      xcb_atom_t* actualType = nullptr);
  // A text property, decoded by its type: STRING is Latin-1 (as ICCCM has
  // WM_CLASS) and becomes UTF-8, UTF8_STRING is taken as it is (the live
  // desktop checks it with all other text), any other type (COMPOUND_TEXT)
  // gives none.
  std::optional<std::string> text(xcb_window_t window, xcb_atom_t name);
  std::optional<uint32_t> cardinal(xcb_window_t window, xcb_atom_t name, xcb_atom_t type);
  // The raw property, whatever its type, so that any change counts.
  std::string activeWindowValue();
  bool onEvents();

  XPtr x_;
  xcb_window_t root_;
  xcb_atom_t activeWindowAtom_, pidAtom_, applicationIdAtom_, utf8Atom_;
  unsigned watch_ = 0;  // the GLib source of the display's events
  std::string lastActive_;
  std::function<void()> changed_;
};

}  // namespace focuswatch

#endif  // FOCUSWATCH_LINUX_X11_SESSION_H_
