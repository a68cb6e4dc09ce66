// The built tokenvault against a real Secret Service (gnome-keyring on a
// private session bus, as misc/keyring-session starts it).
#include <libsecret/secret.h>

#include <cstdlib>

#include <gtest/gtest.h>

#include "test/subprocess.h"

namespace {

using testing_support::Launch;
using testing_support::Outcome;

class TokenvaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("VANTREL_KEYRING_SESSION"))
      GTEST_SKIP() << "needs the Secret Service: run under misc/keyring-session";
    EXPECT_EQ(vault({"delete"}).status, 0);
  }

  static Outcome vault(std::vector<std::string> words,
                       std::optional<std::string> input = std::nullopt,
                       std::map<std::string, std::string> env = {}) {
    Launch launch;
    launch.argv = {TOKENVAULT_PATH};
    launch.argv.insert(launch.argv.end(), words.begin(), words.end());
    launch.input = std::move(input);
    launch.env = std::move(env);
    Outcome outcome = testing_support::run(launch);
    EXPECT_EQ(outcome.err, "");  // never a message, whatever happens
    return outcome;
  }
};

TEST_F(TokenvaultTest, WriteThenReadReturnsTheBytesExactly) {
  std::string token;
  for (int i = 0; i < 256; ++i) token += static_cast<char>(i);
  token += "\n";
  EXPECT_EQ(vault({"write"}, token).status, 0);
  Outcome read = vault({"read"});
  EXPECT_EQ(read.status, 0);
  EXPECT_EQ(read.out, token);
}

TEST_F(TokenvaultTest, SecondWriteReplacesTheFirst) {
  EXPECT_EQ(vault({"write"}, "first").status, 0);
  EXPECT_EQ(vault({"write"}, "second\n").status, 0);
  EXPECT_EQ(vault({"read"}).out, "second\n");
  Launch lookup;
  lookup.argv = {"/usr/bin/secret-tool", "lookup", "service", "mirrowin.vantrel.linear.oauth",
                 "account", "default"};
  EXPECT_EQ(testing_support::run(lookup).out, "second\n");
}

TEST_F(TokenvaultTest, SizeLimitsKeepThePreviousToken) {
  std::string longest(16383, 't');
  EXPECT_EQ(vault({"write"}, longest).status, 0);
  EXPECT_EQ(vault({"write"}, std::string(16384, 'x')).status, 64);
  EXPECT_EQ(vault({"write"}, std::string(1 << 20, 'x')).status, 64);
  EXPECT_EQ(vault({"write"}, "").status, 64);
  EXPECT_EQ(vault({"write"}).status, 64);  // standard input closed at once
  EXPECT_EQ(vault({"read"}).out, longest);
}

TEST_F(TokenvaultTest, MissingTokenReadsAsTwoAndDeletesAsSuccess) {
  Outcome read = vault({"read"});
  EXPECT_EQ(read.status, 2);
  EXPECT_EQ(read.out, "");
  EXPECT_EQ(vault({"delete"}).status, 0);
  EXPECT_EQ(vault({"write"}, "gone soon").status, 0);
  EXPECT_EQ(vault({"delete"}).status, 0);
  EXPECT_EQ(vault({"read"}).status, 2);
}

// Another client stores a token longer than a write here accepts.
TEST_F(TokenvaultTest, ForeignTokenOfAnyLengthIsReadWhole) {
  std::string foreign(40000, 'f');
  foreign.back() = 'e';
  GHashTable* attributes = g_hash_table_new(g_str_hash, g_str_equal);
  g_hash_table_insert(attributes, const_cast<char*>("service"),
                      const_cast<char*>("mirrowin.vantrel.linear.oauth"));
  g_hash_table_insert(attributes, const_cast<char*>("account"), const_cast<char*>("default"));
  SecretValue* value = secret_value_new(foreign.data(), static_cast<gssize>(foreign.size()),
                                        "text/plain");
  GError* error = nullptr;
  bool stored = secret_service_store_sync(nullptr, nullptr, attributes, SECRET_COLLECTION_DEFAULT,
                                          "foreign", value, nullptr, &error);
  secret_value_unref(value);
  g_hash_table_unref(attributes);
  ASSERT_TRUE(stored) << (error ? error->message : "");
  Outcome read = vault({"read"});
  EXPECT_EQ(read.status, 0);
  EXPECT_EQ(read.out.size(), foreign.size());
  EXPECT_TRUE(read.out == foreign);
}

TEST_F(TokenvaultTest, ClosedStandardStreamsCarryNoToken) {
  // Eight bytes: what an eventfd that took descriptor 1 would accept.
  EXPECT_EQ(vault({"write"}, "12345678").status, 0);
  Launch read;
  read.argv = {TOKENVAULT_PATH, "read"};
  read.closed = {1};
  EXPECT_EQ(testing_support::run(read).status, 1);
  Launch write;
  write.argv = {TOKENVAULT_PATH, "write"};
  write.closed = {0};
  EXPECT_EQ(testing_support::run(write).status, 1);
  EXPECT_EQ(vault({"read"}).out, "12345678");
}

// A keyring of its own, locked, with no one to answer the unlock prompt.
TEST_F(TokenvaultTest, LockedKeyringIsAFailureAndKeepsTheToken) {
  Launch locked;
  locked.argv = {KEYRING_SESSION, "/bin/sh", "-c", R"(
      printf kept | "$1" write || exit 10
      gdbus call --session --dest org.freedesktop.secrets \
        --object-path /org/freedesktop/secrets --method org.freedesktop.Secret.Service.Lock \
        "['/org/freedesktop/secrets/collection/login']" >/dev/null || exit 11
      "$1" read; echo "read $?"
      "$1" delete; echo "delete $?"
      "$1" write </dev/null; echo "empty write $?"
      gdbus call --session --dest org.freedesktop.secrets \
        --object-path /org/freedesktop/secrets --method org.freedesktop.Secret.Service.SearchItems \
        "{'service': 'mirrowin.vantrel.linear.oauth', 'account': 'default'}")",
                 "sh", TOKENVAULT_PATH};
  locked.unset = {"VANTREL_KEYRING_SESSION", "DISPLAY", "WAYLAND_DISPLAY"};
  Outcome outcome = testing_support::run(locked, std::chrono::seconds(60));
  // Nothing unlocked, one item still there, locked.
  EXPECT_EQ(outcome.out,
            "read 1\ndelete 1\nempty write 64\n"
            "(@ao [], [objectpath '/org/freedesktop/secrets/collection/login/1'])\n")
      << outcome.err;
}

TEST_F(TokenvaultTest, UsageFaults) {
  EXPECT_EQ(vault({}).status, 64);
  EXPECT_EQ(vault({"read", "more"}).status, 64);
  EXPECT_EQ(vault({"READ"}).status, 64);
  EXPECT_EQ(vault({""}).status, 64);
}

TEST_F(TokenvaultTest, UnreachableSecretServiceIsAFailure) {
  std::map<std::string, std::string> noBus = {
      {"DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus"}};
  EXPECT_EQ(vault({"read"}, std::nullopt, noBus).status, 1);
  EXPECT_EQ(vault({"write"}, "token", noBus).status, 1);
  EXPECT_EQ(vault({"delete"}, std::nullopt, noBus).status, 1);
}

}  // namespace
