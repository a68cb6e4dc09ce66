// The keychain as the desktop's Secret Service, through libsecret. The item
// carries exactly the attributes "service" and "account"; no schema name is
// stored or matched, so other Secret Service clients find it by those two.
// Items are handled by their D-Bus paths, as `secret-tool lookup` handles
// them: no item object, with its own property request, is made for a match.
#define SECRET_API_SUBJECT_TO_CHANGE  // the D-Bus path calls
#include <libsecret/secret.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/deleter.h"
#include "tokenvault/keychain.h"

namespace tokenvault {

namespace {

using vantrel::Deleter;
using Table = std::unique_ptr<GHashTable, Deleter<g_hash_table_unref>>;
using ErrorPtr = std::unique_ptr<GError, Deleter<g_error_free>>;
using ValuePtr = std::unique_ptr<SecretValue, Deleter<secret_value_unref>>;
using VariantPtr = std::unique_ptr<GVariant, Deleter<g_variant_unref>>;
using Paths = std::vector<std::string>;

Table attributesOf(const ItemQuery& query) {
  Table attributes(g_hash_table_new(g_str_hash, g_str_equal));
  g_hash_table_insert(attributes.get(), const_cast<char*>("service"),
                      const_cast<char*>(query.service.c_str()));
  g_hash_table_insert(attributes.get(), const_cast<char*>("account"),
                      const_cast<char*>(query.account.c_str()));
  return attributes;
}

// Takes over a null-terminated array of paths.
Paths takePaths(gchar** array) {
  Paths paths;
  for (gchar** path = array; path && *path; ++path) paths.emplace_back(*path);
  g_strfreev(array);
  return paths;
}

// The null-terminated array that libsecret takes, viewing `paths`.
std::vector<const gchar*> pathArray(const Paths& paths) {
  std::vector<const gchar*> array;
  for (const std::string& path : paths) array.push_back(path.c_str());
  array.push_back(nullptr);
  return array;
}

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
    Table secrets(secret_service_get_secrets_for_dbus_paths_sync(
        service_.get(), pathArray(paths).data(), nullptr, &raw));
    ErrorPtr error(raw);
    for (const std::string& path : paths) {
      auto* value = secrets ? static_cast<SecretValue*>(g_hash_table_lookup(secrets.get(), path.c_str()))
                            : nullptr;
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
                 "org.freedesktop.Secret.Item", "SetSecret", g_variant_new("(@(oayays))", secret),
                 nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, error)) != nullptr;
    });
    if (failed.empty()) return kErrSecSuccess;
    if (!gone(query, failed)) return kErrSecNotAvailable;
    return failed.size() < paths.size() ? kErrSecSuccess : kErrSecItemNotFound;
  }

  int32_t add(const ItemQuery& query, std::span<const uint8_t> data) override {
    SecretService* service = connect();
    if (!service) return kErrSecNotAvailable;
    ValuePtr value(secretValue(data));
    GError* raw = nullptr;
    bool stored = secret_service_store_sync(service, nullptr, attributesOf(query).get(),
                                            SECRET_COLLECTION_DEFAULT, query.service.c_str(),
                                            value.get(), nullptr, &raw);
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
    return failed.empty() || gone(query, failed) ? kErrSecSuccess : kErrSecNotAvailable;
  }

 private:
  // Every item with exactly the query's attributes, unlocked ones first;
  // locked ones are offered for unlocking. Not found when there is none; a
  // failure when the service cannot be asked or an item stays locked.
  int32_t find(const ItemQuery& query, Paths& paths) {
    Paths locked;
    if (!search(query, paths, locked)) return kErrSecNotAvailable;
    if (!locked.empty()) {
      GError* raw = nullptr;
      gint unlocked = secret_service_unlock_dbus_paths_sync(
          service_.get(), pathArray(locked).data(), nullptr, nullptr, &raw);
      ErrorPtr error(raw);
      if (unlocked < static_cast<gint>(locked.size())) return kErrSecInteractionNotAllowed;
      paths.insert(paths.end(), locked.begin(), locked.end());
    }
    return paths.empty() ? kErrSecItemNotFound : kErrSecSuccess;
  }

  // One SearchItems request: the paths of the matches, as the service
  // lists them unlocked and locked. False when it cannot be asked.
  bool search(const ItemQuery& query, Paths& unlocked, Paths& locked) {
    SecretService* service = connect();
    if (!service) return false;
    gchar** unlockedArray = nullptr;
    gchar** lockedArray = nullptr;
    GError* raw = nullptr;
    bool searched = secret_service_search_for_dbus_paths_sync(
        service, nullptr, attributesOf(query).get(), nullptr, &unlockedArray, &lockedArray, &raw);
    ErrorPtr error(raw);
    unlocked = takePaths(unlockedArray);
    locked = takePaths(lockedArray);
    return searched;
  }

  // Whether none of `paths` is listed any longer: the calls on them failed
  // because another client deleted the items in between, not because the
  // service refused. Services tell a vanished item in different errors
  // (gnome-keyring's is UnknownMethod), so a second search decides.
  bool gone(const ItemQuery& query, const Paths& paths) {
    Paths listed, locked;
    if (!search(query, listed, locked)) return false;
    listed.insert(listed.end(), locked.begin(), locked.end());
    return std::ranges::none_of(paths, [&](const std::string& path) {
      return std::ranges::find(listed, path) != listed.end();
    });
  }

  // The paths for which `call` (path, error) failed.
  template <typename Call>
  static Paths failing(const Paths& paths, Call call) {
    Paths failed;
    for (const std::string& path : paths) {
      GError* raw = nullptr;
      bool done = call(path.c_str(), &raw);
      ErrorPtr error(raw);
      if (!done) failed.push_back(path);
    }
    return failed;
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
    return secret_value_new(reinterpret_cast<const gchar*>(data.data()),
                            static_cast<gssize>(data.size()), "application/octet-stream");
  }

  std::unique_ptr<SecretService, Deleter<g_object_unref>> service_;
};

}  // namespace

std::unique_ptr<Keychain> makeKeychain() { return std::make_unique<SecretServiceKeychain>(); }

}  // namespace tokenvault
