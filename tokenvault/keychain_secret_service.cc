// The keychain as the desktop's Secret Service, through libsecret. The item
// carries exactly the attributes "service" and "account"; no schema name is
// stored or matched, so other Secret Service clients find it by those two.
// Items are handled by their D-Bus paths, as `secret-tool lookup` handles
// them: no item object, with its own property request, is made for a match.
#define SECRET_API_SUBJECT_TO_CHANGE  // the D-Bus path calls
#include <libsecret/secret.h>

#include <string>

#include "common/deleter.h"
#include "tokenvault/keychain.h"

namespace tokenvault {

namespace {

using vantrel::Deleter;
using Table = std::unique_ptr<GHashTable, Deleter<g_hash_table_unref>>;
using ErrorPtr = std::unique_ptr<GError, Deleter<g_error_free>>;
using ValuePtr = std::unique_ptr<SecretValue, Deleter<secret_value_unref>>;
using VariantPtr = std::unique_ptr<GVariant, Deleter<g_variant_unref>>;
// Item paths, null-terminated, as libsecret hands them out and takes them.
using Paths = std::unique_ptr<gchar*, Deleter<g_strfreev>>;
using PathsBuilder = std::unique_ptr<GStrvBuilder, Deleter<g_strv_builder_unref>>;

Table attributesOf(const ItemQuery& query) {
  Table attributes(g_hash_table_new(g_str_hash, g_str_equal));
  g_hash_table_insert(attributes.get(), const_cast<char*>("service"),
                      const_cast<char*>(query.service.c_str()));
  g_hash_table_insert(attributes.get(), const_cast<char*>("account"),
                      const_cast<char*>(query.account.c_str()));
  return attributes;
}

const gchar** view(const Paths& paths) { return const_cast<const gchar**>(paths.get()); }

class SecretServiceKeychain : public Keychain {
 public:
  ~SecretServiceKeychain() override {
    if (service_) secret_service_disconnect();
  }

  // The first match whose secret could be loaded, all loaded in one request.
  int32_t copyMatching(const ItemQuery& query, SecretBuffer& data) override {
    Paths paths;
    int32_t status = find(query, paths);
    if (status != kErrSecSuccess) return status;
    GError* raw = nullptr;
    Table secrets(secret_service_get_secrets_for_dbus_paths_sync(service_.get(), view(paths), nullptr, &raw));
    ErrorPtr error(raw);
    for (gchar** path = paths.get(); secrets && *path; ++path) {
      auto* value = static_cast<SecretValue*>(g_hash_table_lookup(secrets.get(), *path));
      if (!value) continue;
      gsize length = 0;
      const gchar* bytes = secret_value_get(value, &length);
      data.assign(reinterpret_cast<const uint8_t*>(bytes), length);
      return kErrSecSuccess;
    }
    return gone(query, paths) ? kErrSecItemNotFound : kErrSecNotAvailable;
  }

  // Items that vanished under the update do not hold the token: when none
  // took it, it is not found, and the caller adds it.
  int32_t update(const ItemQuery& query, std::span<const uint8_t> data) override {
    Paths paths;
    int32_t status = find(query, paths);
    if (status != kErrSecSuccess) return status;
    ValuePtr value(secretValue(data));
    GDBusProxy* proxy = G_DBUS_PROXY(service_.get());
    Paths failed = failing(paths, [&](const gchar* path, GError** error) {
      GVariant* secret = secret_service_encode_dbus_secret(service_.get(), value.get());
      return VariantPtr(g_dbus_connection_call_sync(
                 g_dbus_proxy_get_connection(proxy), g_dbus_proxy_get_name(proxy), path,
                 "org.freedesktop.Secret.Item", "SetSecret", g_variant_new("(@(oayays))", secret), nullptr,
                 G_DBUS_CALL_FLAGS_NONE, -1, nullptr, error)) != nullptr;
    });
    if (!*failed) return kErrSecSuccess;
    if (!gone(query, failed)) return kErrSecNotAvailable;
    return g_strv_length(failed.get()) < g_strv_length(paths.get()) ? kErrSecSuccess : kErrSecItemNotFound;
  }

  int32_t add(const ItemQuery& query, std::span<const uint8_t> data) override {
    SecretService* service = connect();
    if (!service) return kErrSecNotAvailable;
    ValuePtr value(secretValue(data));
    GError* raw = nullptr;
    bool stored =
        secret_service_store_sync(service, nullptr, attributesOf(query).get(), SECRET_COLLECTION_DEFAULT,
                                  query.service.c_str(), value.get(), nullptr, &raw);
    ErrorPtr error(raw);
    return stored ? kErrSecSuccess : kErrSecNotAvailable;
  }

  // Every matching item is deleted, or nothing when one stays locked; one
  // that refuses is a failure, so the token never outlives a delete that
  // reported success. One that vanished under it is what it asked for.
  int32_t deleteItem(const ItemQuery& query) override {
    Paths paths;
    int32_t status = find(query, paths);
    if (status != kErrSecSuccess) return status;
    Paths failed = failing(paths, [&](const gchar* path, GError** error) {
      return secret_service_delete_item_dbus_path_sync(service_.get(), path, nullptr, error);
    });
    return !*failed || gone(query, failed) ? kErrSecSuccess : kErrSecNotAvailable;
  }

 private:
  // Every item with exactly the query's attributes, unlocked ones first;
  // locked ones are offered for unlocking. Not found when there is none; a
  // failure when the service cannot be asked or an item stays locked.
  int32_t find(const ItemQuery& query, Paths& paths) {
    Paths unlocked, locked;
    if (!search(query, unlocked, locked)) return kErrSecNotAvailable;
    if (*locked) {
      GError* raw = nullptr;
      gint count =
          secret_service_unlock_dbus_paths_sync(service_.get(), view(locked), nullptr, nullptr, &raw);
      ErrorPtr error(raw);
      if (count < static_cast<gint>(g_strv_length(locked.get()))) return kErrSecInteractionNotAllowed;
    }
    PathsBuilder all(g_strv_builder_new());
    g_strv_builder_addv(all.get(), view(unlocked));
    g_strv_builder_addv(all.get(), view(locked));
    paths.reset(g_strv_builder_end(all.get()));
    return *paths ? kErrSecSuccess : kErrSecItemNotFound;
  }

  // One SearchItems request: the paths of the matches, as the service
  // lists them unlocked and locked. False when it cannot be asked.
  bool search(const ItemQuery& query, Paths& unlocked, Paths& locked) {
    SecretService* service = connect();
    if (!service) return false;
    gchar** unlockedPaths = nullptr;
    gchar** lockedPaths = nullptr;
    GError* raw = nullptr;
    bool searched = secret_service_search_for_dbus_paths_sync(service, nullptr, attributesOf(query).get(),
                                                              nullptr, &unlockedPaths, &lockedPaths, &raw);
    ErrorPtr error(raw);
    unlocked.reset(unlockedPaths);
    locked.reset(lockedPaths);
    return searched;
  }

  // Whether none of `paths` is listed any longer: the calls on them failed
  // because another client deleted the items in between, not because the
  // service refused. Services tell a vanished item in different errors
  // (gnome-keyring's is UnknownMethod), so a second search decides.
  bool gone(const ItemQuery& query, const Paths& paths) {
    Paths unlocked, locked;
    if (!search(query, unlocked, locked)) return false;
    for (gchar** path = paths.get(); *path; ++path) {
      if (g_strv_contains(unlocked.get(), *path) || g_strv_contains(locked.get(), *path)) return false;
    }
    return true;
  }

  // The paths for which `call` (path, error) failed.
  template <typename Call>
  static Paths failing(const Paths& paths, Call call) {
    PathsBuilder failed(g_strv_builder_new());
    for (gchar** path = paths.get(); *path; ++path) {
      GError* raw = nullptr;
      bool done = call(*path, &raw);
      ErrorPtr error(raw);
      if (!done) g_strv_builder_add(failed.get(), *path);
    }
    return Paths(g_strv_builder_end(failed.get()));
  }

  // The service, with its session opened for transferring secrets.
  SecretService* connect() {
    if (!service_) {
      GError* raw = nullptr;
      service_.reset(secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, &raw));
      ErrorPtr error(raw);
    }
    return service_.get();
  }

  static SecretValue* secretValue(std::span<const uint8_t> data) {
    return secret_value_new(reinterpret_cast<const gchar*>(data.data()), static_cast<gssize>(data.size()),
                            "application/octet-stream");
  }

  std::unique_ptr<SecretService, Deleter<g_object_unref>> service_;
};

}  // namespace

std::unique_ptr<Keychain> makeKeychain() { return std::make_unique<SecretServiceKeychain>(); }

}  // namespace tokenvault
