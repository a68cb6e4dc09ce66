// The keychain as the desktop's Secret Service, through libsecret. The item
// carries exactly the attributes "service" and "account"; no schema name is
// stored or matched, so other Secret Service clients find it by those two.
#include <libsecret/secret.h>

#include <cstring>

#include "tokenvault/keychain.h"

namespace tokenvault {

namespace {

struct GErrorDeleter {
  void operator()(GError* error) const { g_error_free(error); }
};
struct HashTableDeleter {
  void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};
struct ValueDeleter {
  void operator()(SecretValue* value) const { secret_value_unref(value); }
};
struct ObjectDeleter {
  void operator()(gpointer object) const { g_object_unref(object); }
};

using Attributes = std::unique_ptr<GHashTable, HashTableDeleter>;

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

  int32_t copyMatching(const ItemQuery& query, SecretBuffer& data) override {
    SecretService* service = connect();
    if (!service) return kErrSecNotAvailable;
    GError* raw = nullptr;
    std::unique_ptr<SecretValue, ValueDeleter> value(
        secret_service_lookup_sync(service, nullptr, attributesOf(query).get(), nullptr, &raw));
    std::unique_ptr<GError, GErrorDeleter> error(raw);
    if (error) return kErrSecNotAvailable;
    if (!value) return kErrSecItemNotFound;
    gsize length = 0;
    const gchar* bytes = secret_value_get(value.get(), &length);
    if (length <= data.capacity()) {
      std::memcpy(data.data(), bytes, length);
      data.resize(length);
    }
    return kErrSecSuccess;
  }

  int32_t update(const ItemQuery& query, std::span<const uint8_t> data) override {
    SecretService* service = connect();
    if (!service) return kErrSecNotAvailable;
    GError* raw = nullptr;
    GList* items = secret_service_search_sync(service, nullptr, attributesOf(query).get(),
                                              SECRET_SEARCH_ALL, nullptr, &raw);
    std::unique_ptr<GError, GErrorDeleter> error(raw);
    if (error) return kErrSecNotAvailable;
    if (!items) return kErrSecItemNotFound;
    std::unique_ptr<SecretValue, ValueDeleter> value(secretValue(data));
    int32_t status = kErrSecSuccess;
    for (GList* item = items; item; item = item->next) {
      GError* setError = nullptr;
      if (!secret_item_set_secret_sync(SECRET_ITEM(item->data), value.get(), nullptr, &setError)) {
        g_error_free(setError);
        status = kErrSecNotAvailable;
      }
    }
    g_list_free_full(items, g_object_unref);
    return status;
  }

  int32_t add(const ItemQuery& query, std::span<const uint8_t> data) override {
    SecretService* service = connect();
    if (!service) return kErrSecNotAvailable;
    std::unique_ptr<SecretValue, ValueDeleter> value(secretValue(data));
    GError* raw = nullptr;
    bool stored = secret_service_store_sync(service, nullptr, attributesOf(query).get(),
                                            SECRET_COLLECTION_DEFAULT, query.service.c_str(),
                                            value.get(), nullptr, &raw);
    std::unique_ptr<GError, GErrorDeleter> error(raw);
    return stored ? kErrSecSuccess : kErrSecNotAvailable;
  }

  int32_t deleteItem(const ItemQuery& query) override {
    SecretService* service = connect();
    if (!service) return kErrSecNotAvailable;
    GError* raw = nullptr;
    bool removed =
        secret_service_clear_sync(service, nullptr, attributesOf(query).get(), nullptr, &raw);
    std::unique_ptr<GError, GErrorDeleter> error(raw);
    if (error) return kErrSecNotAvailable;
    return removed ? kErrSecSuccess : kErrSecItemNotFound;
  }

 private:
  // The service, with its session opened for transferring secrets.
  SecretService* connect() {
    if (!service_) {
      GError* raw = nullptr;
      service_.reset(secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, &raw));
      if (raw) g_error_free(raw);
    }
    return static_cast<SecretService*>(service_.get());
  }

  static SecretValue* secretValue(std::span<const uint8_t> data) {
    return secret_value_new(reinterpret_cast<const gchar*>(data.data()),
                            static_cast<gssize>(data.size()), "application/octet-stream");
  }

  std::unique_ptr<void, ObjectDeleter> service_;
};

}  // namespace

std::unique_ptr<Keychain> makeKeychain() { return std::make_unique<SecretServiceKeychain>(); }

}  // namespace tokenvault
