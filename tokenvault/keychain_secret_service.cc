// The keychain as the desktop's Secret Service, through libsecret. The
// token's item is a password in the default collection whose attributes are
// exactly "service" and "account" (gnome-keyring may add "xdg:schema" with
// its generic schema on its own); no schema name is stored or matched, so
// other clients find it by those two. An item with more attributes, another
// schema or in another collection belongs to another application: it is
// never read, changed or deleted. Items are handled by their D-Bus paths, as
// `secret-tool lookup` handles them: no item object, with its own property
// requests, is made for a match.
#define SECRET_API_SUBJECT_TO_CHANGE  // the D-Bus path calls
#include <libsecret/secret.h>

#include <string>
#include <string_view>

#include "common/deleter.h"
#include "common/result.h"
#include "tokenvault/keychain.h"

namespace tokenvault {

namespace {

using vantrel::Deleter;
using Table = std::unique_ptr<GHashTable, Deleter<g_hash_table_unref>>;
using ErrorPtr = std::unique_ptr<GError, Deleter<g_error_free>>;
using ValuePtr = std::unique_ptr<SecretValue, Deleter<secret_value_unref>>;
using VariantPtr = std::unique_ptr<GVariant, Deleter<g_variant_unref>>;
using TextPtr = std::unique_ptr<gchar, Deleter<g_free>>;
// Item paths, null-terminated, as libsecret hands them out and takes them.
using Paths = std::unique_ptr<gchar*, Deleter<g_strfreev>>;
using PathsBuilder = std::unique_ptr<GStrvBuilder, Deleter<g_strv_builder_unref>>;
// Item paths, or the status (kErrSec*) that the request came to.
using ItemPaths = vantrel::Result<Paths, int32_t>;
using vantrel::Failure;

// The default collection, whichever collection the alias names.
constexpr char kDefaultCollection[] = "/org/freedesktop/secrets/aliases/default";
// The schema gnome-keyring gives an item that was stored without one.
constexpr std::string_view kGenericSchema = "org.freedesktop.Secret.Generic";

// The query's two attributes, as a floating a{ss}.
GVariant* attributesOf(const ItemQuery& query) {
  GVariantBuilder builder;
  g_variant_builder_init(&builder, G_VARIANT_TYPE("a{ss}"));
  g_variant_builder_add(&builder, "{ss}", "service", query.service.c_str());
  g_variant_builder_add(&builder, "{ss}", "account", query.account.c_str());
  return g_variant_builder_end(&builder);
}

// Whether `attributes` (a{ss}) are exactly the query's, the generic schema
// allowed beside them.
bool isToken(const ItemQuery& query, GVariant* attributes) {
  GVariantIter iter;
  g_variant_iter_init(&iter, attributes);
  const gchar* key = nullptr;
  const gchar* value = nullptr;
  int matched = 0;
  while (g_variant_iter_next(&iter, "{&s&s}", &key, &value)) {
    std::string_view name = key;
    if ((name == "service" && value == query.service) || (name == "account" && value == query.account))
      ++matched;
    else if (name != "xdg:schema" || value != kGenericSchema)
      return false;
  }
  return matched == 2;
}

const gchar** view(const Paths& paths) { return const_cast<const gchar**>(paths.get()); }

Paths end(PathsBuilder& builder) { return Paths(g_strv_builder_end(builder.get())); }

class SecretServiceKeychain : public Keychain {
 public:
  // The first item whose secret could be loaded, all loaded in one request.
  int32_t copyMatching(const ItemQuery& query, SecretBuffer& data) override {
    ItemPaths paths = find(query);
    if (!paths) return paths.error();
    // Null on any failure, whose kind does not matter: gone() tells a vanished item from a refusal.
    Table secrets(
        secret_service_get_secrets_for_dbus_paths_sync(service_.get(), view(*paths), nullptr, nullptr));
    for (gchar** path = paths->get(); secrets && *path; ++path) {
      auto* value = static_cast<SecretValue*>(g_hash_table_lookup(secrets.get(), *path));
      if (!value) continue;
      gsize length = 0;
      const gchar* bytes = secret_value_get(value, &length);
      data.assign(reinterpret_cast<const uint8_t*>(bytes), length);
      return kErrSecSuccess;
    }
    return gone(query, *paths) ? kErrSecItemNotFound : kErrSecNotAvailable;
  }

  // Items that vanished under the update do not hold the token: when none
  // took it, it is not found, and the caller adds it.
  int32_t update(const ItemQuery& query, std::span<const uint8_t> data) override {
    ItemPaths paths = find(query);
    if (!paths) return paths.error();
    ValuePtr value(secretValue(data));
    Paths failed = failing(*paths, [&](const gchar* path) {
      GVariant* secret = secret_service_encode_dbus_secret(service_.get(), value.get());
      return call(path, "org.freedesktop.Secret.Item", "SetSecret", g_variant_new("(@(oayays))", secret),
                  nullptr) != nullptr;
    });
    if (!*failed) return kErrSecSuccess;
    if (!gone(query, failed)) return kErrSecNotAvailable;
    return g_strv_length(failed.get()) < g_strv_length(paths->get()) ? kErrSecSuccess : kErrSecItemNotFound;
  }

  // A new item in the default collection. The service replaces an item
  // that holds the attributes it is given and maybe more, so it may replace
  // only while no other application's item holds them: then two racing
  // writers leave one item, not two.
  int32_t add(const ItemQuery& query, std::span<const uint8_t> data) override {
    bool others = false;
    ItemPaths paths = find(query, &others);
    if (paths) return kErrSecDuplicateItem;
    if (paths.error() != kErrSecItemNotFound) return paths.error();
    Table properties(g_hash_table_new_full(g_str_hash, g_str_equal, nullptr,
                                           reinterpret_cast<GDestroyNotify>(g_variant_unref)));
    g_hash_table_insert(properties.get(), const_cast<char*>("org.freedesktop.Secret.Item.Label"),
                        g_variant_ref_sink(g_variant_new_string(query.service.c_str())));
    g_hash_table_insert(properties.get(), const_cast<char*>("org.freedesktop.Secret.Item.Attributes"),
                        g_variant_ref_sink(attributesOf(query)));
    ValuePtr value(secretValue(data));
    // Null on any failure; every failure is the one status, for the program prints no message.
    TextPtr created(secret_service_create_item_dbus_path_sync(
        service_.get(), kDefaultCollection, properties.get(), value.get(),
        others ? SECRET_ITEM_CREATE_NONE : SECRET_ITEM_CREATE_REPLACE, nullptr, nullptr));
    return created ? kErrSecSuccess : kErrSecNotAvailable;
  }

  // Every item of the token is deleted, or nothing when one stays locked;
  // one that refuses is a failure, so the token never outlives a delete
  // that reported success. One that vanished under it is what it asked for.
  int32_t deleteItem(const ItemQuery& query) override {
    ItemPaths paths = find(query);
    if (!paths) return paths.error();
    Paths failed = failing(*paths, [&](const gchar* path) {
      return secret_service_delete_item_dbus_path_sync(service_.get(), path, nullptr, nullptr);
    });
    return !*failed || gone(query, failed) ? kErrSecSuccess : kErrSecNotAvailable;
  }

 private:
  // The items of the token; `others` tells whether the default
  // collection holds other items with the query's attributes. Each match is
  // judged by its attributes; locked ones are offered for unlocking first,
  // since a locked item may not show them. Not found when there is none; a
  // failure when the service cannot be asked or an item stays locked.
  ItemPaths find(const ItemQuery& query, bool* others = nullptr) {
    ItemPaths listed = search(query);
    if (!listed) return listed;
    Paths pending = std::move(*listed);
    PathsBuilder tokens(g_strv_builder_new()), unreadable(g_strv_builder_new());
    for (bool unlocked = false; *pending; unlocked = true) {
      PathsBuilder locked(g_strv_builder_new());
      for (gchar** path = pending.get(); *path; ++path) {
        gboolean isLocked = FALSE;
        VariantPtr attributes = itemAttributes(*path, isLocked);
        if (!attributes)
          g_strv_builder_add(unreadable.get(), *path);
        else if (isLocked)
          g_strv_builder_add(locked.get(), *path);
        else if (isToken(query, attributes.get()))
          g_strv_builder_add(tokens.get(), *path);
        else if (others)
          *others = true;
      }
      pending = end(locked);
      if (!*pending) break;
      if (unlocked) return Failure(kErrSecInteractionNotAllowed);  // still locked after the unlock
      // The count decides: any failure, a dismissed prompt too, leaves it short.
      gint count =
          secret_service_unlock_dbus_paths_sync(service_.get(), view(pending), nullptr, nullptr, nullptr);
      if (count < static_cast<gint>(g_strv_length(pending.get())))
        return Failure(kErrSecInteractionNotAllowed);
    }
    // An item whose attributes could not be read is passed over only when
    // another client deleted it in between.
    Paths unread = end(unreadable);
    if (*unread && !gone(query, unread)) return Failure(kErrSecNotAvailable);
    Paths paths = end(tokens);
    if (!*paths) return Failure(kErrSecItemNotFound);
    return paths;
  }

  // One GetAll request: the item's attributes (null when they cannot be
  // read), and whether it is locked.
  VariantPtr itemAttributes(const gchar* path, gboolean& locked) {
    VariantPtr reply = call(path, "org.freedesktop.DBus.Properties", "GetAll",
                            g_variant_new("(s)", "org.freedesktop.Secret.Item"), G_VARIANT_TYPE("(a{sv})"));
    if (!reply) return nullptr;
    VariantPtr properties(g_variant_get_child_value(reply.get(), 0));
    g_variant_lookup(properties.get(), "Locked", "b", &locked);
    return VariantPtr(g_variant_lookup_value(properties.get(), "Attributes", G_VARIANT_TYPE("a{ss}")));
  }

  // One SearchItems request to the default collection: the paths of the
  // items holding the query's attributes, and maybe more. None when there
  // is no default collection; not available when the service cannot be asked.
  ItemPaths search(const ItemQuery& query) {
    if (!connect()) return Failure(kErrSecNotAvailable);
    VariantPtr reply = call(kDefaultCollection, "org.freedesktop.Secret.Collection", "SearchItems",
                            g_variant_new("(@a{ss})", attributesOf(query)), G_VARIANT_TYPE("(ao)"));
    if (!reply) {
      GError* raw = nullptr;
      TextPtr collection(secret_service_read_alias_dbus_path_sync(service_.get(), "default", nullptr, &raw));
      ErrorPtr error(raw);
      if (collection || error) return Failure(kErrSecNotAvailable);
      return Paths(g_new0(gchar*, 1));
    }
    gchar** found = nullptr;
    g_variant_get(reply.get(), "(^ao)", &found);
    return Paths(found);
  }

  // Whether none of `paths` is listed any longer: the calls on them failed
  // because another client deleted the items in between, not because the
  // service refused. Services tell a vanished item in different errors
  // (gnome-keyring's is UnknownMethod), so a second search decides.
  bool gone(const ItemQuery& query, const Paths& paths) {
    // A service that cannot be asked cannot tell: the failure stands.
    ItemPaths listed = search(query);
    if (!listed) return false;
    for (gchar** path = paths.get(); *path; ++path) {
      if (g_strv_contains(listed->get(), *path)) return false;
    }
    return true;
  }

  // The paths for which `act` (path) failed.
  template <typename Call>
  static Paths failing(const Paths& paths, Call act) {
    PathsBuilder failed(g_strv_builder_new());
    for (gchar** path = paths.get(); *path; ++path) {
      if (!act(*path)) g_strv_builder_add(failed.get(), *path);
    }
    return end(failed);
  }

  // A method call to the service; null when it failed.
  VariantPtr call(const gchar* path, const gchar* interface, const gchar* method, GVariant* parameters,
                  const GVariantType* reply) {
    GDBusProxy* proxy = G_DBUS_PROXY(service_.get());
    return VariantPtr(g_dbus_connection_call_sync(
        g_dbus_proxy_get_connection(proxy), g_dbus_proxy_get_name(proxy), path, interface, method, parameters,
        reply, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr));
  }

  // The service, with its session opened for transferring secrets: a proxy
  // of this run's own, which libsecret neither shares nor watches.
  SecretService* connect() {
    if (!service_) {
      // Null on any failure, and then every request fails alike.
      service_.reset(secret_service_open_sync(SECRET_TYPE_SERVICE, nullptr, SECRET_SERVICE_OPEN_SESSION,
                                              nullptr, nullptr));
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
