#include "focuswatch/linux/x11_session.h"

#include <glib-unix.h>
#include <xcb/screensaver.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace focuswatch {

namespace {

// What xcb hands back from malloc.
template <typename T>
using Malloced = std::unique_ptr<T, vantrel::Deleter<free>>;

xcb_atom_t internAtom(xcb_connection_t* x, const char* name) {
  Malloced<xcb_intern_atom_reply_t> reply(
      xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, static_cast<uint16_t>(strlen(name)), name), nullptr));
  return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

}  // namespace

std::unique_ptr<X11Session> X11Session::connect() {
  XPtr x(xcb_connect(nullptr, nullptr));
  if (!x || xcb_connection_has_error(x.get())) return nullptr;
  return std::unique_ptr<X11Session>(new X11Session(std::move(x)));
}

X11Session::X11Session(XPtr x) : x_(std::move(x)) {
  root_ = xcb_setup_roots_iterator(xcb_get_setup(x_.get())).data->root;
  activeWindowAtom_ = internAtom(x_.get(), "_NET_ACTIVE_WINDOW");
  pidAtom_ = internAtom(x_.get(), "_NET_WM_PID");
  applicationIdAtom_ = internAtom(x_.get(), "_GTK_APPLICATION_ID");
  utf8Atom_ = internAtom(x_.get(), "UTF8_STRING");
}

X11Session::~X11Session() {
  if (watch_) g_source_remove(watch_);
}

std::optional<FrontWindow> X11Session::frontWindow() {
  std::optional<uint32_t> window = cardinal(root_, activeWindowAtom_, XCB_ATOM_WINDOW);
  if (!window || *window == XCB_WINDOW_NONE) return std::nullopt;
  FrontWindow front;
  front.pid = static_cast<int32_t>(cardinal(*window, pidAtom_, XCB_ATOM_CARDINAL).value_or(0));
  front.applicationId = text(*window, applicationIdAtom_);
  // WM_CLASS holds the instance and then the class, each ending in NUL.
  std::string wmClass = text(*window, XCB_ATOM_WM_CLASS).value_or("");
  size_t nul = wmClass.find('\0');
  if (nul != std::string::npos) {
    std::string className = wmClass.substr(nul + 1);
    className.resize(std::min(className.size(), className.find('\0')));
    if (nul > 0) front.instance = wmClass.substr(0, nul);
    if (!className.empty()) front.windowClass = std::move(className);
  }
  return front;
}

double X11Session::secondsSinceLastInput() {
  Malloced<xcb_screensaver_query_info_reply_t> info(
      xcb_screensaver_query_info_reply(x_.get(), xcb_screensaver_query_info(x_.get(), root_), nullptr));
  return info ? info->ms_since_user_input / 1000.0 : 0;
}

void X11Session::watchActiveWindow(std::function<void()> changed) {
  changed_ = std::move(changed);
  if (watch_) return;
  uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
  xcb_change_window_attributes(x_.get(), root_, XCB_CW_EVENT_MASK, &mask);
  xcb_flush(x_.get());
  lastActive_ = activeWindowValue();
  watch_ = g_unix_fd_add(
      xcb_get_file_descriptor(x_.get()), static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR),
      [](gint, GIOCondition, gpointer self) -> gboolean {
        return static_cast<X11Session*>(self)->onEvents() ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
      },
      this);
}

bool X11Session::onEvents() {
  bool changed = false;
  while (Malloced<xcb_generic_event_t> event{xcb_poll_for_event(x_.get())}) {
    if ((event->response_type & ~0x80) == XCB_PROPERTY_NOTIFY &&
        reinterpret_cast<xcb_property_notify_event_t*>(event.get())->atom == activeWindowAtom_) {
      changed = true;
    }
  }
  if (xcb_connection_has_error(x_.get())) {
    watch_ = 0;
    return false;  // the display is gone: no more switches to see
  }
  if (changed) {
    std::string active = activeWindowValue();
    if (active != lastActive_) {
      lastActive_ = active;
      changed_();
    }
  }
  return true;
}

std::string X11Session::activeWindowValue() {
  return property(root_, activeWindowAtom_, XCB_GET_PROPERTY_TYPE_ANY).value_or("");
}

std::optional<std::string> X11Session::property(xcb_window_t window, xcb_atom_t name, xcb_atom_t type,
                                                xcb_atom_t* actualType) {
  if (name == XCB_ATOM_NONE) return std::nullopt;
  Malloced<xcb_get_property_reply_t> reply(xcb_get_property_reply(
      x_.get(), xcb_get_property(x_.get(), 0, window, name, type, 0, 1 << 16), nullptr));
  xcb_get_property_reply_t* r = reply.get();
  if (!r || r->type == XCB_ATOM_NONE || r->format == 0) return std::nullopt;
  if (actualType) *actualType = r->type;
  return std::string(static_cast<const char*>(xcb_get_property_value(r)),
                     static_cast<size_t>(xcb_get_property_value_length(r)));
}

std::optional<std::string> X11Session::text(xcb_window_t window, xcb_atom_t name) {
  xcb_atom_t type = XCB_ATOM_NONE;
  std::optional<std::string> bytes = property(window, name, XCB_GET_PROPERTY_TYPE_ANY, &type);
  if (type == utf8Atom_) return bytes;
  if (type != XCB_ATOM_STRING) return std::nullopt;
  std::string utf8;
  for (unsigned char byte : *bytes) {
    if (byte < 0x80)
      utf8 += static_cast<char>(byte);
    else
      utf8 += {static_cast<char>(0xC0 | byte >> 6), static_cast<char>(0x80 | (byte & 0x3F))};
  }
  return utf8;
}

std::optional<uint32_t> X11Session::cardinal(xcb_window_t window, xcb_atom_t name, xcb_atom_t type) {
  std::optional<std::string> bytes = property(window, name, type);
  if (!bytes || bytes->size() < 4) return std::nullopt;
  uint32_t value;
  memcpy(&value, bytes->data(), 4);
  return value;
}

}  // namespace focuswatch
