#include "focuswatch/linux/desktop_entries.h"

#include <gio/gdesktopappinfo.h>

#include <memory>
#include <utility>

#include "common/deleter.h"

namespace focuswatch {

namespace {

using EntryPtr = std::unique_ptr<GDesktopAppInfo, vantrel::Deleter<g_object_unref>>;

EntryPtr entryOf(const std::string& id) {
  return EntryPtr(g_desktop_app_info_new((id + ".desktop").c_str()));
}

// The entry named after a WM_CLASS name: as it is, else lower-cased with
// blanks as dashes ("Fedora Eclipse" is fedora-eclipse.desktop).
EntryPtr entryNamedAfter(std::string name) {
  if (EntryPtr found = entryOf(name)) return found;
  for (char& c : name) c = c == ' ' ? '-' : g_ascii_tolower(c);
  return entryOf(name);
}

// The entry whose StartupWMClass is the window's instance name, else the
// one whose StartupWMClass is its class name.
EntryPtr entryStartingClass(const FrontWindow& window) {
  GList* all = g_app_info_get_all();
  EntryPtr byInstance, byClass;
  for (GList* item = all; item; item = item->next) {
    if (!G_IS_DESKTOP_APP_INFO(item->data)) continue;
    auto* entry = G_DESKTOP_APP_INFO(item->data);
    const char* startupClass = g_desktop_app_info_get_startup_wm_class(entry);
    if (!startupClass) continue;
    auto hold = [entry] { return EntryPtr(G_DESKTOP_APP_INFO(g_object_ref(entry))); };
    if (!byInstance && window.instance == startupClass) byInstance = hold();
    if (!byClass && window.windowClass == startupClass) byClass = hold();
  }
  g_list_free_full(all, g_object_unref);
  return byInstance ? std::move(byInstance) : std::move(byClass);
}

EntryPtr entryOf(const FrontWindow& window) {
  EntryPtr found;
  if (window.applicationId) found = entryOf(*window.applicationId);
  if (!found && (window.instance || window.windowClass)) found = entryStartingClass(window);
  for (const std::optional<std::string>* name : {&window.instance, &window.windowClass}) {
    if (!found && *name) found = entryNamedAfter(**name);
  }
  return found;
}

}  // namespace

DesktopEntries::DesktopEntries() : monitor_(g_app_info_monitor_get()) {
  changed_ = g_signal_connect_swapped(monitor_, "changed",
                                      G_CALLBACK(+[](DesktopEntries* self) { self->known_.clear(); }), this);
}

DesktopEntries::~DesktopEntries() {
  g_signal_handler_disconnect(monitor_, changed_);
  g_object_unref(monitor_);
}

std::optional<std::string> DesktopEntries::name(const FrontWindow& window) {
  Names names{window.applicationId, window.instance, window.windowClass};
  if (auto found = known_.find(names); found != known_.end()) return found->second;
  EntryPtr entry = entryOf(window);
  const char* name = entry ? g_app_info_get_name(G_APP_INFO(entry.get())) : nullptr;
  std::optional<std::string> result;
  if (name && *name) result = name;
  known_.emplace(std::move(names), result);
  return result;
}

}  // namespace focuswatch
