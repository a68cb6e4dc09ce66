// The keychain as the desktop's Secret Service, through libsecret. The item
// carries exactly the attributes "service" and "account"; no schema name is
// stored or matched, so other Secret Service clients find it by those two.
#include <libsecret/secret.h>

#include "tokenvault/keychain.h"

namespace tokenvault {

namespace {

// Frees an object of libsecret or GLib through the call that owns it.
template <auto Free>
struct Deleter {
  void operator()(auto* object) const { Free(object); }
};
void freeItems(GList* items) { g_list_free_full(items, g_object_unref); }

using Attributes = std::unique_ptr<GHashTable, Deleter<g_hash_table_unref>>;
using ErrorPtr = std::unique_ptr<GError, Deleter<g_error_free>>;
using ValuePtr = std::unique_ptr<SecretValue, Deleter<secret_value_unref>>;
using Items = std::unique_ptr<GList, Deleter<freeItems>>;

Attributes attributesOf(const ItemQuery& query) {
  Attributes attributes(g_hash_table_new(g_str_hash, g_str_equal));
  g_hash_table_insert(attributes.get(), const_cast<char*>("service"),
                      const_cast<char*>(query.service.c_str()));
  g_hash_table_insert(attributes.get(), const_cast<char*>("account"),
                      const_cast<char*>(query.account.c_str()));
  return attributes;
}

class SecretServiceKeychain : public Keychain {
 public:
  ~SecretServiceKeychain() override {
    if (service_) secret_service_disconnect();
  }

  // The first unlocked item whose secret could be loaded. Locked items are
  // offered for unlocking first; an item that stays locked (a dismissed or
  // impossible prompt) is a failure, never "no such item".
  int32_t copyMatching(const ItemQuery& query, SecretBuffer& data) override {
    Items items;
    int32_t status = search(query, SECRET_SEARCH_LOAD_SECRETS, items);
    if (status != kErrSecSuccess) return status;
    for (GList* item = items.get(); item; item = item->next) {
      ValuePtr value(secret_item_get_secret(SECRET_ITEM(item->data)));
      if (!value) continue;
      gsize length = 0;
      const gchar* bytes = secret_value_get(value.get(), &length);
      data.assign(reinterpret_cast<const uint8_t*>(bytes), length);
      return kErrSecSuccess;
    }
    return kErrSecNotAvailable;
  }

  int32_t update(const ItemQuery& query, std::span<const uint8_t> data) override {
    Items items;
    int32_t status = search(query, SECRET_SEARCH_NONE, items);
    if (status != kErrSecSuccess) return status;
    ValuePtr value(secretValue(data));
    for (GList* item = items.get(); item; item = item->next) {
      GError* setError = nullptr;
      if (!secret_item_set_secret_sync(SECRET_ITEM(item->data), value.get(), nullptr, &setError)) {
        ErrorPtr error(setError);
        status = kErrSecNotAvailable;
      }
    }
    return status;
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

  // Every matching item is deleted; one that stays locked or refuses is a
  // failure, so the token never outlives a delete that reported success.
  int32_t deleteItem(const ItemQuery& query) override {
    Items items;
    int32_t status = search(query, SECRET_SEARCH_NONE, items);
    if (status != kErrSecSuccess) return status;
    for (GList* item = items.get(); item; item = item->next) {
      GError* raw = nullptr;
      if (!secret_item_delete_sync(SECRET_ITEM(item->data), nullptr, &raw)) {
        ErrorPtr error(raw);
        status = kErrSecNotAvailable;
      }
    }
    return status;
  }

 private:
  // Every item with exactly the query's attributes, locked ones offered for
  // unlocking. Not found when there is none; a failure when the service
  // cannot be asked or an item stays locked.
  int32_t search(const ItemQuery& query, SecretSearchFlags extra, Items& items) {
    SecretService* service = connect();
    if (!service) return kErrSecNotAvailable;
    GError* raw = nullptr;
    items.reset(secret_service_search_sync(
        service, nullptr, attributesOf(query).get(),
        static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | SECRET_SEARCH_UNLOCK | extra), nullptr,
        &raw));
    ErrorPtr error(raw);
    if (error) return kErrSecNotAvailable;
    if (!items) return kErrSecItemNotFound;
    for (GList* item = items.get(); item; item = item->next) {
      if (secret_item_get_locked(SECRET_ITEM(item->data))) return kErrSecInteractionNotAllowed;
    }
    return kErrSecSuccess;
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
